#pragma once
// One mail being received into the mail store, line by line, from a
// station (its "//M") or a mailbox (read by the mailbox dialogue).
//
// The mail is registered first (MailStore::NewIncoming, status 3); the
// capture writes every line to its text file with a line feed until a line
// that starts with "NNNN", then the text is flushed to disk and the mail
// becomes new (status 2). A capture that never ends keeps status 3 and is
// removed from the directory at the next start.
//
// Among the first 15 lines, a header line that starts with one of the
// "[FROM]" texts, then blanks, then the addressee names the addressee more
// fully: the text from the addressee up to "(" (at most 39 characters)
// becomes the mail's addressee.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/mail_store.h"

namespace tarvik::store {

inline constexpr int kMailHeaderLines = 15;
inline constexpr std::size_t kMailAddresseeLimit = 39;

// The addressee a header line names, when it is one (see above).
std::optional<std::string> HeaderAddressee(std::string_view line, const std::vector<std::string>& fromTexts,
                                           std::string_view addressee);

class MailCapture {
 public:
  MailCapture() = default;
  MailCapture(const MailCapture&) = delete;
  MailCapture& operator=(const MailCapture&) = delete;
  ~MailCapture();

  // Starts capturing the registered mail `mail` of `store`; false when its
  // text file cannot be written (the capture is then not active).
  bool Begin(MailStore store, const NewMail& mail, std::string addressee, std::vector<std::string> fromTexts);
  bool active() const { return file_ != nullptr; }
  int number() const { return number_; }

  enum class Result { Stored, Ended, Failed };
  // A received line without its line end. "NNNN..." ends the capture
  // (as End does; Failed when the mail could not be completed); any other
  // line goes to the text file.
  Result Line(std::string_view line);

  // Ends the capture: the text reaches the disk, then the mail is new. The
  // store's summary afterwards; nothing when no capture ran or the
  // directory could not be changed.
  std::optional<int> End();
  // Stops without marking the mail new (a lost connection): the text file
  // is closed, the mail stays incomplete.
  void Abandon();

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::optional<MailStore> store_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int number_ = -1;
  int lines_ = 0;
  std::string addressee_;
  std::vector<std::string> fromTexts_;
};

}  // namespace tarvik::store
