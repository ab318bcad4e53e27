#include "store/logbook.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/atomic_file.h"

namespace tarvik::store {

namespace {

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a text, each with its "\n" (a last line without one gets it).
template <class F>
void ForEachLine(std::string_view text, F&& f) {
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    if (!f(line)) return;
    if (nl == std::string_view::npos) return;
    text.remove_prefix(nl + 1);
  }
}

}  // namespace

std::string LogbookPath(const std::string& logPath, const std::string& ownCall) {
  return logPath + ownCall + ".log";
}

std::optional<long> DateKey(std::string_view date) {
  long parts[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const std::size_t end = i < 2 ? date.find('.') : date.find(' ');
    const std::string_view digits = date.substr(0, end);
    if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    for (const char c : digits) parts[i] = parts[i] * 10 + (c - '0');
    if (i < 2) {
      if (end == std::string_view::npos) return std::nullopt;
      date.remove_prefix(end + 1);
    }
  }
  if (parts[0] < 1 || parts[0] > 31 || parts[1] < 1 || parts[1] > 12) return std::nullopt;
  return parts[2] * 10000 + parts[1] * 100 + parts[0];
}

std::optional<std::string> ArchivePath(const std::string& logPath, std::string_view date) {
  const auto key = DateKey(date);
  if (!key) return std::nullopt;
  char name[24];
  std::snprintf(name, sizeof name, "%08ld.lar", *key);
  return logPath + name;
}

bool AppendLogbookLine(const std::string& path, std::string_view line) {
  std::string text = ReadWhole(path).value_or(std::string());
  if (!text.empty() && text.back() != '\n') text += '\n';  // never glue onto a line
  text += line;
  if (text.empty() || text.back() != '\n') text += '\n';
  return core::WriteFileAtomically(path, text);
}

std::string LogbookDisplayText(std::string_view logText) {
  std::string out;
  ForEachLine(logText, [&out](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string row(line.substr(0, std::min(kLogLineRead, kLogDisplayWidth)));
    row.resize(kLogDisplayWidth, ' ');
    for (const std::size_t at : {12u, 31u, 48u, 67u}) row[at] = '\t';
    out += row + "\n";
    return true;
  });
  return out;
}

bool WriteLogbookDisplay(const std::string& source, const std::string& display) {
  return core::WriteFileAtomically(display, LogbookDisplayText(ReadWhole(source).value_or(std::string())));
}

ArchiveResult ArchiveLogbook(const std::string& logPath, const std::string& ownCall, std::string_view date) {
  const auto key = DateKey(date);
  const auto archive = ArchivePath(logPath, date);
  if (!key || !archive) return ArchiveResult::Nothing;
  const std::string path = LogbookPath(logPath, ownCall);
  const auto text = ReadWhole(path);
  if (!text) return ArchiveResult::Nothing;
  std::string archived, kept;
  bool later = false;
  ForEachLine(*text, [&](std::string_view line) {
    if (!later) {
      // A line without a readable date counts as the oldest.
      const long lineKey = line.size() > kLogStartAt ? DateKey(line.substr(kLogStartAt)).value_or(0) : 0;
      later = lineKey > *key;
    }
    (later ? kept : archived) += std::string(line) + "\n";
    return true;
  });
  if (archived.empty()) return ArchiveResult::Nothing;
  // The archive first: killed between the two writes, the lines are in the
  // archive and still in the log, never in neither.
  std::string whole = ReadWhole(*archive).value_or(std::string());
  if (!whole.empty() && whole.back() != '\n') whole += '\n';
  if (!core::WriteFileAtomically(*archive, whole + archived)) return ArchiveResult::Failed;
  if (!core::WriteFileAtomically(path, kept)) return ArchiveResult::Failed;
  return ArchiveResult::Archived;
}

}  // namespace tarvik::store
