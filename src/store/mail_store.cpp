#include "store/mail_store.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "core/atomic_file.h"
#include "core/text.h"

namespace tarvik::store {

namespace fs = std::filesystem;

namespace {

// Files larger than this are not a mail directory or a message this
// program wrote; reading stops there instead of taking all memory.
constexpr std::uintmax_t kReadLimit = 64u << 20;

std::optional<int> Number(std::string_view text, int highest) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > highest) return std::nullopt;
  return value;
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool ReadWhole(const std::string& path, std::string& contents) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents.clear();
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    contents.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (contents.size() > kReadLimit) return false;
  }
  return true;
}

ui::LocalTime SystemNow() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return ui::LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_wday};
}

}  // namespace

std::string MailFieldText(std::string_view text, std::size_t limit) {
  std::string out(text.substr(0, limit));
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) c = ' ';
  }
  return out;
}

std::string FormatMailLine(const MailEntry& entry) {
  std::string to = MailFieldText(entry.to, kMailToWidth);
  to.resize(kMailToWidth, ' ');
  std::string line = std::to_string(entry.status) + '\t' + std::to_string(entry.number) + '\t';
  line += MailFieldText(entry.date, kMailDateLimit) + '\t' + to + '\t';
  line += MailFieldText(entry.from, kMailFromLimit) + '\t' + MailFieldText(entry.subject, kMailSubjectLimit);
  return line + '\n';
}

std::optional<MailEntry> ParseMailLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  // The subject is the rest of the line, TABs and all.
  while (fields.size() < 5) {
    const std::size_t tab = line.find('\t', at);
    if (tab == std::string_view::npos) break;
    fields.push_back(line.substr(at, tab - at));
    at = tab + 1;
  }
  fields.push_back(line.substr(std::min(at, line.size())));
  if (fields.size() < 2) return std::nullopt;
  const auto status = Number(fields[0], 9);
  const auto number = Number(fields[1], kMailHighestNumber);
  if (!status || !number) return std::nullopt;
  MailEntry entry;
  entry.status = *status;
  entry.number = *number;
  if (fields.size() > 2) entry.date = std::string(fields[2]);
  if (fields.size() > 3) entry.to = TrimRight(std::string(fields[3]));
  if (fields.size() > 4) entry.from = std::string(fields[4]);
  if (fields.size() > 5) entry.subject = std::string(fields[5]);
  return entry;
}

std::string MailListLine(const MailEntry& entry) {
  char line[200];
  std::snprintf(line, sizeof line, "%1d\t%4d\t%-20.20s\t%-40.40s\t%-40.40s\t%-60.60s", entry.status % 10,
                entry.number, MailFieldText(entry.date, 20).c_str(), MailFieldText(entry.to, 40).c_str(),
                MailFieldText(entry.from, 40).c_str(), MailFieldText(entry.subject, 60).c_str());
  return line;
}

int MailListNumber(std::string_view line) {
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return -1;
  std::string_view field = line.substr(tab + 1, 4);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  return Number(field, kMailHighestNumber).value_or(-1);
}

int MailSummaryOf(const std::vector<MailEntry>& entries) {
  int summary = kMailNone;
  for (const MailEntry& e : entries) {
    if (e.status == kMailNew) return kMailHasNew;
    if (e.status == kMailRead) summary = kMailSome;
  }
  return summary;
}

MailStore::MailStore(std::string logPath, Now now) : logPath_(std::move(logPath)), now_(std::move(now)) {
  if (!now_) now_ = SystemNow;
}

std::string MailStore::DirectoryPath() const { return logPath_ + std::string(kMailDirectoryName); }

std::string MailStore::TextPath(int number) const {
  char name[16];
  std::snprintf(name, sizeof name, "MAIL%04d.TXT", std::clamp(number, 0, kMailHighestNumber));
  return logPath_ + name;
}

std::string MailStore::dateNow() const { return core::DateTimeText(now_()); }

std::optional<std::vector<MailStore::Line>> MailStore::read() const {
  std::string path = DirectoryPath();
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    path = logPath_ + std::string(kMailOldDirectoryName);
    if (!fs::exists(path, ec)) return std::vector<Line>{};
  }
  // A directory that is there but cannot be read is never replaced.
  std::string contents;
  if (!ReadWhole(path, contents)) return std::nullopt;
  std::vector<Line> lines;
  lines.reserve(static_cast<std::size_t>(std::count(contents.begin(), contents.end(), '\n')) + 1);
  std::size_t at = 0;
  while (at < contents.size()) {
    std::size_t end = contents.find('\n', at);
    if (end == std::string::npos) end = contents.size();
    std::string raw = contents.substr(at, end - at);
    at = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.empty()) continue;
    Line line;
    line.entry = ParseMailLine(raw);
    line.raw = std::move(raw);
    lines.push_back(std::move(line));
  }
  return lines;
}

bool MailStore::write(const std::vector<Line>& lines) const {
  std::string contents;
  for (const Line& line : lines) {
    contents += line.raw;
    contents += '\n';
  }
  if (!core::WriteFileAtomically(DirectoryPath(), contents)) return false;
  // The old directory of an interrupted rewrite is superseded now.
  std::error_code ec;
  fs::remove(logPath_ + std::string(kMailOldDirectoryName), ec);
  return true;
}

std::vector<MailEntry> MailStore::entriesOf(const std::vector<Line>& lines) {
  std::vector<MailEntry> entries;
  entries.reserve(lines.size());
  for (const Line& line : lines)
    if (line.entry) entries.push_back(*line.entry);
  return entries;
}

std::vector<MailEntry> MailStore::Entries() const {
  std::vector<Line> lines = read().value_or(std::vector<Line>{});
  std::vector<MailEntry> entries;
  entries.reserve(lines.size());
  for (Line& line : lines)
    if (line.entry) entries.push_back(std::move(*line.entry));
  return entries;
}

std::optional<MailEntry> MailStore::Find(int number) const {
  for (Line& line : read().value_or(std::vector<Line>{}))
    if (line.entry && line.entry->number == number) return std::move(line.entry);
  return std::nullopt;
}

int MailStore::Summary() const { return MailSummaryOf(Entries()); }

namespace {

// The smallest number less one when above 0, else the largest plus one;
// when that runs past the highest, the lowest number not in use.
std::optional<int> FreeNumber(const std::vector<MailEntry>& entries) {
  if (entries.empty()) return 0;
  int smallest = kMailHighestNumber, largest = 0;
  for (const MailEntry& e : entries) {
    smallest = std::min(smallest, e.number);
    largest = std::max(largest, e.number);
  }
  if (smallest > 0) return smallest - 1;
  if (largest < kMailHighestNumber) return largest + 1;
  std::set<int> used;
  for (const MailEntry& e : entries) used.insert(e.number);
  for (int n = 0; n <= kMailHighestNumber; ++n)
    if (!used.count(n)) return n;
  return std::nullopt;
}

}  // namespace

std::optional<NewMail> MailStore::NewIncoming(std::string_view date, std::string_view to, std::string_view from,
                                              std::string_view subject) {
  auto directory = read();
  if (!directory) return std::nullopt;
  std::vector<Line> lines = std::move(*directory);
  const std::vector<MailEntry> entries = entriesOf(lines);
  const auto number = FreeNumber(entries);
  if (!number) return std::nullopt;
  MailEntry entry{kMailIncomplete, *number, date.empty() ? dateNow() : std::string(date), std::string(to),
                  std::string(from), std::string(subject)};
  std::string raw = FormatMailLine(entry);
  raw.pop_back();
  lines.push_back(Line{std::move(raw), entry});
  if (!write(lines)) return std::nullopt;
  return NewMail{*number, TextPath(*number)};
}

std::optional<NewMail> MailStore::NewOutgoing(std::string_view to, std::string_view subject,
                                              const std::string& textFile) {
  auto directory = read();
  if (!directory) return std::nullopt;
  std::vector<Line> lines = std::move(*directory);
  const std::vector<MailEntry> entries = entriesOf(lines);
  const auto number = FreeNumber(entries);
  std::string text;
  if (!number || !ReadWhole(textFile, text)) return std::nullopt;
  // The text is complete before a line names it.
  const std::string path = TextPath(*number);
  if (!core::WriteFileAtomically(path, text)) return std::nullopt;
  MailEntry entry{kMailWaiting, *number, dateNow(), std::string(to), {}, std::string(subject)};
  std::string raw = FormatMailLine(entry);
  raw.pop_back();
  lines.push_back(Line{std::move(raw), entry});
  if (!write(lines)) {
    std::error_code ec;
    fs::remove(path, ec);
    return std::nullopt;
  }
  return NewMail{*number, path};
}

std::optional<int> MailStore::SetStatus(int number, int status) {
  auto directory = read();
  if (!directory) return std::nullopt;
  std::vector<Line> lines = std::move(*directory);
  bool found = false;
  for (Line& line : lines) {
    if (!line.entry || line.entry->number != number) continue;
    // Only the status digit changes; the rest of the line stays as it was.
    const std::size_t tab = line.raw.find('\t');
    line.raw = std::to_string(status) + line.raw.substr(tab);
    line.entry->status = status;
    found = true;
  }
  if (!found || !write(lines)) return std::nullopt;
  const std::vector<MailEntry> entries = entriesOf(lines);
  return MailSummaryOf(entries);
}

bool MailStore::SetAddressee(int number, std::string_view to) {
  auto directory = read();
  if (!directory) return false;
  std::vector<Line> lines = std::move(*directory);
  bool found = false;
  for (Line& line : lines) {
    if (!line.entry || line.entry->number != number) continue;
    line.entry->to = TrimRight(MailFieldText(to, kMailToWidth));
    line.raw = FormatMailLine(*line.entry);
    line.raw.pop_back();
    found = true;
  }
  return found && write(lines);
}

std::optional<PendingMail> MailStore::NextToSend() const {
  for (const MailEntry& e : Entries()) {
    if (e.status != kMailWaiting) continue;
    return PendingMail{e.number, e.to.substr(0, kMailToWidth), e.subject.substr(0, 60), TextPath(e.number)};
  }
  return std::nullopt;
}

std::optional<int> MailStore::CleanUp() {
  auto directory = read();
  if (!directory) return std::nullopt;
  std::vector<Line> lines = std::move(*directory);
  const std::size_t before = lines.size();
  std::erase_if(lines, [](const Line& l) { return l.entry && l.entry->status == kMailIncomplete; });
  if (lines.size() != before && !write(lines)) return std::nullopt;
  const std::vector<MailEntry> entries = entriesOf(lines);
  const int summary = MailSummaryOf(entries);
  return summary == kMailNone && !entries.empty() ? kMailSome : summary;
}

void MailStore::RemoveStaleTemporaries() const { core::RemoveStaleTemporaries(DirectoryPath()); }

std::optional<int> MailStore::CleanUpForSending() {
  if (!CleanUp()) return std::nullopt;
  return NextToSend() ? kMailWaiting : 0;
}

std::optional<int> MailStore::Delete(int number, bool removeText) {
  auto directory = read();
  if (!directory) return std::nullopt;
  std::vector<Line> lines = std::move(*directory);
  const std::size_t before = lines.size();
  std::erase_if(lines, [number](const Line& l) { return l.entry && l.entry->number == number; });
  if (lines.size() == before || !write(lines)) return std::nullopt;
  if (removeText) {
    std::error_code ec;
    fs::remove(TextPath(number), ec);
  }
  const std::vector<MailEntry> entries = entriesOf(lines);
  return MailSummaryOf(entries);
}

}  // namespace tarvik::store
