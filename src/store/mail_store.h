#pragma once
// The personal mail store: one text file per message ("MAIL%04d.TXT") and
// the directory "MAIL.DAT" with one line per message, both in LOGPATH.
//
// Directory line: "%d\t%d\t%s\t%-40.40s\t%s\t%s\n" with status, number
// (0 to 9999), date ("dd.mm.yyyy hh:mm"), addressee padded to 40, sender
// (empty for mail written here) and subject.
//
// The store keeps nothing between operations: each one reads the directory
// and every change writes it whole through a temporary file renamed over
// it, so a kill at any moment leaves the old or the new directory. Lines
// the store does not change are written back byte for byte, also lines it
// cannot read. A directory left behind as "MAIL.$$$" by an interrupted
// rewrite (with no "MAIL.DAT" beside it) is read in its place.
//
// Texts from other stations are untrusted: control bytes in addressee,
// sender and subject become blanks (a TAB or line end there would break the
// line apart), and they are cut to their limits. File names come from the
// number alone, never from a text.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::store {

inline constexpr std::string_view kMailDirectoryName = "MAIL.DAT";
inline constexpr std::string_view kMailOldDirectoryName = "MAIL.$$$";

enum MailStatus : int {
  kMailRead = 1,        // read
  kMailNew = 2,         // new, unread
  kMailIncomplete = 3,  // being received
  kMailWaiting = 4,     // written here, waiting to be sent
  kMailSent = 5,        // sent to a mailbox
};

// What the store holds, for the main window's MAIL control: 0 no mail,
// 1 mail, 2 new mail (window message 1120 + summary).
enum MailSummary : int { kMailNone = 0, kMailSome = 1, kMailHasNew = 2 };

inline constexpr int kMailHighestNumber = 9999;
inline constexpr std::size_t kMailToWidth = 40;
inline constexpr std::size_t kMailFromLimit = 40;
inline constexpr std::size_t kMailSubjectLimit = 80;
inline constexpr std::size_t kMailDateLimit = 16;

struct MailEntry {
  int status = 0;
  int number = -1;
  std::string date;
  std::string to;  // without the padding blanks
  std::string from;
  std::string subject;
  bool operator==(const MailEntry&) const = default;
};

// A directory line as it is written.
std::string FormatMailLine(const MailEntry& entry);
// A directory line (without its line end) of untrusted bytes; nothing when
// it is not a mail line (status or number missing or out of range).
std::optional<MailEntry> ParseMailLine(std::string_view line);
// A text from outside made fit for a field: control bytes become blanks,
// cut to `limit` characters.
std::string MailFieldText(std::string_view text, std::size_t limit);

// The line of the mail list's display file (without line end): status,
// number, date, addressee, sender and subject in columns of 1, 4, 20, 40,
// 40 and 60 characters, TAB separated; every line has the same length.
std::string MailListLine(const MailEntry& entry);
// The message number of a mail list line; -1 when it has none.
int MailListNumber(std::string_view line);
inline constexpr int kMailListNumberField = 1;

struct NewMail {
  int number = -1;
  std::string path;  // its text file
};

struct PendingMail {
  int number = -1;
  std::string to;       // at most 40 characters
  std::string subject;  // at most 60 characters
  std::string path;
};

class MailStore {
 public:
  using Now = std::function<ui::LocalTime()>;

  // `logPath` is LOGPATH (a prefix ending in "/"). `now` gives the date of
  // new entries; without one the system's local time.
  explicit MailStore(std::string logPath, Now now = {});

  std::string DirectoryPath() const;
  std::string TextPath(int number) const;

  // Every mail line of the directory in file order; a missing directory is
  // an empty one.
  std::vector<MailEntry> Entries() const;
  std::optional<MailEntry> Find(int number) const;
  // Summary of the directory as it is.
  int Summary() const;

  // Registers a mail being received: a new number, a line with status 3
  // (date now when empty). The caller writes the text file and then sets
  // status 2. Nothing when no number is free or the directory cannot be
  // written.
  std::optional<NewMail> NewIncoming(std::string_view date, std::string_view to, std::string_view from,
                                     std::string_view subject);
  // A message written here: `textFile` is copied to the new number's text
  // file, then a line with status 4, date now, an empty sender is added.
  // Nothing when the copy or the directory fails (no line without text).
  std::optional<NewMail> NewOutgoing(std::string_view to, std::string_view subject, const std::string& textFile);

  // The status of one message; the summary afterwards, nothing when the
  // number is not there or the directory cannot be written.
  std::optional<int> SetStatus(int number, int status);
  // The addressee of one message; false when not there or not written.
  bool SetAddressee(int number, std::string_view to);

  // The first message waiting to be sent (status 4).
  std::optional<PendingMail> NextToSend() const;

  // Removes the lines of messages still being received (their text files
  // stay); the summary afterwards (1 when any line remains at all).
  // Nothing when the directory cannot be written.
  std::optional<int> CleanUp();
  // The same; then 4 when a message waits to be sent, else 0.
  std::optional<int> CleanUpForSending();
  // Removes what a rewrite killed half-way left beside the directory (its
  // temporary files); for the start, before any writer runs.
  void RemoveStaleTemporaries() const;

  // Removes one message's line and, with `removeText`, its text file; the
  // summary afterwards, nothing when not there or not written.
  std::optional<int> Delete(int number, bool removeText = true);

 private:
  struct Line {
    std::string raw;                  // as read, without the line end
    std::optional<MailEntry> entry;   // when it is a mail line
  };
  // Nothing when the directory is there but cannot be read.
  std::optional<std::vector<Line>> read() const;
  bool write(const std::vector<Line>& lines) const;
  static std::vector<MailEntry> entriesOf(const std::vector<Line>& lines);
  std::string dateNow() const;

  std::string logPath_;
  Now now_;
};

// Summary of a set of entries: 2 when any is new, else 1 when any is read,
// else 0.
int MailSummaryOf(const std::vector<MailEntry>& entries);

}  // namespace tarvik::store
