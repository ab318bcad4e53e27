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
// A capture may have a size limit (mail a station leaves): a text that
// would grow past it is not stored. The lines up to "NNNN" are still taken
// (so none of them is read as anything else), and then the mail leaves the
// store with its text file.
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
inline constexpr std::size_t kNoMailLimit = static_cast<std::size_t>(-1);

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
  // `limit` bounds the text file's size in bytes.
  bool Begin(MailStore store, const NewMail& mail, std::string addressee, std::vector<std::string> fromTexts,
             std::size_t limit = kNoMailLimit);
  bool active() const { return file_ != nullptr; }
  int number() const { return number_; }

  enum class Result {
    Stored,   // the line is in the text
    Ended,    // "NNNN": the mail is new
    Failed,   // "NNNN", but the mail could not be completed
    TooLong,  // the line would pass the limit: the text is given up, lines are taken up to "NNNN"
    Dropped,  // "NNNN" after TooLong: the mail has left the store
  };
  // A received line without its line end. "NNNN..." ends the capture
  // (as End does); any other line goes to the text file.
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
  void drop();  // the mail leaves the store with its text

  std::optional<MailStore> store_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  int number_ = -1;
  int lines_ = 0;
  std::size_t limit_ = kNoMailLimit;
  std::size_t size_ = 0;
  bool tooLong_ = false;
  std::string addressee_;
  std::vector<std::string> fromTexts_;
};

}  // namespace tarvik::store
