#include "script/checklist_recorder.h"

namespace tarvik::script {

namespace {

bool Contains(std::string_view line, const std::string& text) {
  return !text.empty() && line.find(text) != std::string_view::npos;
}

// The word after the board text: blanks skipped, up to a blank, ":" or "@".
std::string BoardAfter(std::string_view line, const std::string& text) {
  std::string_view rest = line.substr(line.find(text) + text.size());
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  rest = rest.substr(0, rest.find_first_of(" :@"));
  std::string board(rest.substr(0, kBoardLimit));
  for (char& c : board)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return board;
}

}  // namespace

void ListRecorder::SetPath(std::string path) {
  End();
  path_ = std::move(path);
}

void ListRecorder::End() {
  mode_ = ListMode::Idle;
  file_.reset();
}

ListRecorder::Step ListRecorder::Line(const MailboxDefinition& d, std::string_view line, bool prompt,
                                      const std::function<void(std::string&)>& convert) {
  if (mode_ == ListMode::Idle) {
    if (Contains(line, d.checkStart)) {
      mode_ = ListMode::CheckAnnounced;
      board_.clear();
    } else if (Contains(line, d.fileStart)) {
      mode_ = ListMode::FileAnnounced;
    } else if (Contains(line, d.fileBoard)) {
      board_ = BoardAfter(line, d.fileBoard);
    }
    return Step::None;
  }
  const bool linesSeen = mode_ == ListMode::CheckLines || mode_ == ListMode::FileLines;
  if (prompt || (line.size() < kShortListLine && linesSeen)) {
    End();
    return Step::Ended;
  }
  if (line.size() < kShortListLine) return Step::None;
  if (Contains(line, d.ignore)) return Step::None;
  const bool check = mode_ == ListMode::CheckAnnounced || mode_ == ListMode::CheckLines;
  mode_ = check ? ListMode::CheckLines : ListMode::FileLines;
  ListEntry entry = MatchListLine(check ? d.checkLine : d.fileLine, line);
  if (!check && !board_.empty()) entry[ListField::File] = board_;
  if (convert) convert(entry[ListField::Title]);
  append(ListFileLine(entry));
  return Step::Recorded;
}

void ListRecorder::append(const std::string& line) {
  if (divert_ && divert_(line)) {
    file_.reset();
    return;
  }
  if (path_.empty()) return;
  if (!file_) file_.reset(std::fopen(path_.c_str(), "ab"));
  if (!file_) return;  // a list file that cannot be written is not recorded
  std::fputs(line.c_str(), file_.get());
  std::fputc('\n', file_.get());
  std::fflush(file_.get());
}

}  // namespace tarvik::script
