#pragma once
// The check-list recorder: lines of a mailbox's check list (its list of new
// messages) and file lists, recorded into the station's list file.
//
// Idle, a line with the check list's start text announces a check list, a
// line with the file list's start text a file list, and a line with the
// board text names the board of the file list that follows. Announced,
// every line is a list line, matched with the list's line format and
// appended to the list file; the prompt ends the list, and so does a line
// shorter than 15 characters once list lines have come (before that it is
// skipped). The list file is open only while a list is being recorded.
// While the check-list window of the channel is open, entries go to it
// (the divert function takes them) instead of the file.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "script/mailbox_definition.h"

namespace tarvik::script {

enum class ListMode : int { Idle = 0, CheckAnnounced = 1, FileAnnounced = 2, CheckLines = 11, FileLines = 12 };

inline constexpr std::size_t kShortListLine = 15;
inline constexpr std::size_t kBoardLimit = 32;

class ListRecorder {
 public:
  // The list file of the station now connected; a list being recorded ends.
  void SetPath(std::string path);
  const std::string& path() const { return path_; }

  enum class Step { None, Recorded, Ended };
  // A received line; `prompt` tells whether it is the mailbox's prompt.
  // `convert` turns a title into the screen's character set.
  Step Line(const MailboxDefinition& definition, std::string_view line, bool prompt,
            const std::function<void(std::string&)>& convert = {});
  // The list ends (the prompt came): idle, the file closed.
  void End();
  // Entries go to `divert` while it takes them (returns true); the file is
  // closed meanwhile, since its taker may write it anew.
  void SetDivert(std::function<bool(const std::string&)> divert) { divert_ = std::move(divert); }
  // Closes the file, the list goes on (it opens again for the next entry).
  void CloseFile() { file_.reset(); }

  ListMode mode() const { return mode_; }
  const std::string& board() const { return board_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  void append(const std::string& line);

  std::string path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  ListMode mode_ = ListMode::Idle;
  std::string board_;
  std::function<bool(const std::string&)> divert_;
};

}  // namespace tarvik::script
