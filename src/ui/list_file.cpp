#include "ui/list_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/atomic_file.h"

namespace tarvik::ui {

namespace {

bool Deleted(std::string_view line) { return line.find_first_not_of('\r') == std::string_view::npos; }

// One line from the stream, without LF; false at the end.
bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  return true;
}

}  // namespace

std::string_view ListField(std::string_view line, int n) {
  for (int i = 0; i < n; ++i) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return {};
    line.remove_prefix(tab + 1);
  }
  line = line.substr(0, line.find('\t'));
  while (!line.empty() && (line.front() == ' ' || line.front() == '\r')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool ListFile::Open() {
  size_ = 0;
  record_ = 0;
  lineEnd_ = 1;
  if (path_.empty()) return true;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path_, ec);
  if (ec) return false;
  size_ = static_cast<std::size_t>(size);
  std::string first;
  if (ReadLine(in, first)) {
    record_ = first.size() + 1;
    if (!first.empty() && first.back() == '\r' && !Deleted(first)) lineEnd_ = 2;
  }
  if (record_ == 0) record_ = 1;
  return true;
}

std::vector<ListRow> ListFile::Read(std::size_t offset, std::size_t count) const {
  std::vector<ListRow> rows;
  if (path_.empty() || count == 0 || offset >= size_) return rows;
  std::ifstream in(path_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string line;
  std::size_t at = offset;
  while (rows.size() < count && ReadLine(in, line)) {
    const std::size_t start = at;
    at += line.size() + 1;
    if (Deleted(line)) continue;
    if (lineEnd_ == 2 && line.back() == '\r') line.pop_back();
    ListRow row;
    row.wrongLength = line.size() != textLength();
    if (line.size() > kListLineMax) line.resize(kListLineMax);
    row.text = std::move(line);
    row.offset = start;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::optional<std::string> ListFile::LineAt(std::size_t offset) const {
  auto rows = Read(offset, 1);
  if (rows.empty() || rows.front().offset != offset) return std::nullopt;
  return std::move(rows.front().text);
}

std::size_t ListFile::Step(std::size_t offset, long steps) const {
  if (empty()) return 0;
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  auto shown = [&](std::size_t at) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    return ReadLine(in, line) && !Deleted(line);
  };
  std::size_t at = offset;
  for (; steps > 0; --steps) {
    std::size_t next = at + record_;
    while (next < size_ && !shown(next)) next += record_;
    if (next >= size_) break;
    at = next;
  }
  for (; steps < 0; ++steps) {
    std::size_t previous = at;
    bool found = false;
    while (previous >= record_) {
      previous -= record_;
      if (shown(previous)) {
        found = true;
        break;
      }
    }
    if (!found) break;
    at = previous;
  }
  return at;
}

std::size_t ListFile::LastOffset() const {
  if (size_ < record_) return 0;
  std::size_t last = (size_ / record_ - 1) * record_;
  if (auto line = LineAt(last)) return last;
  return Step(last, -1);
}

std::optional<std::string> ListFile::Contents() const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool ListFile::Write(const std::string& contents) {
  if (!core::WriteFileAtomically(path_, contents)) return false;
  return Open();
}

std::optional<std::size_t> ListFile::Insert(std::string_view text, Where where, std::size_t offset) {
  if (path_.empty() || !Fits(text) || text.find('\n') != std::string_view::npos) return std::nullopt;
  std::string contents = Contents().value_or(std::string());
  std::size_t at = contents.size();
  switch (where) {
    case Where::BeforeOffset: at = offset; break;
    case Where::AfterOffset: at = offset + record_; break;
    case Where::Top: at = 0; break;
    case Where::End: at = contents.size(); break;
  }
  at = std::min(at, contents.size());
  if (record_ != 0 && at % record_ != 0) at = at / record_ * record_;
  // The file as it was stays beside it, its name's last character "~".
  if (!contents.empty()) {
    std::string backup = path_;
    backup.back() = '~';
    core::WriteFileAtomically(backup, contents);
  }
  std::string line(text);
  line += lineEnd_ == 2 ? "\r\n" : "\n";
  contents.insert(at, line);
  if (!Write(contents)) return std::nullopt;
  return at;
}

bool ListFile::Overwrite(std::size_t offset, std::string_view text) {
  if (path_.empty() || empty() || text.size() != textLength() || offset + record_ > size_) return false;
  std::string contents = Contents().value_or(std::string());
  if (offset + text.size() > contents.size()) return false;
  contents.replace(offset, text.size(), text);
  return Write(contents);
}

bool ListFile::Delete(std::size_t offset) {
  if (!LineAt(offset)) return false;
  return Overwrite(offset, std::string(textLength(), '\r'));
}

std::optional<std::size_t> ListFile::FindByKey(int field, std::string_view key) const {
  while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  for (const ListRow& row : ReadAll())
    if (ListField(row.text, field) == key) return row.offset;
  return std::nullopt;
}

}  // namespace tarvik::ui
