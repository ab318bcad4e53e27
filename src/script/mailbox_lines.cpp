#include "script/mailbox_lines.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "channels/channel_session.h"

namespace tarvik::script {

namespace {

constexpr std::string_view kFieldNames[] = {"CNUM", "ABS", "FILE", "FNUM", "DATUM", "MBX", "LEN", "LTIM", "TITLE", "DMY"};

// Control bytes from the air become blanks.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

int SmallNumber(std::string_view text) {
  int n = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    n = std::min(n * 10 + (c - '0'), 9999);
  }
  return n;
}

}  // namespace

LineFormat CompileLineFormat(std::string_view value) {
  LineFormat format;
  while (format.items.size() < kLineFormatItems) {
    const std::size_t bang = value.find('!');
    if (bang == std::string_view::npos) break;
    value.remove_prefix(bang + 1);
    const std::size_t open = value.find('(');
    const std::size_t close = value.find(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
    const std::string_view name = value.substr(0, open);
    const auto known = std::find(std::begin(kFieldNames), std::end(kFieldNames), name);
    if (known == std::end(kFieldNames)) {
      format.items.clear();
      format.matchesEmpty = true;
      return format;
    }
    LineItem item;
    item.field = static_cast<ListField>(known - std::begin(kFieldNames));
    const std::string_view numbers = value.substr(open + 1, close - open - 1);
    if (const std::size_t comma = numbers.find(','); comma != std::string_view::npos) {
      item.columns = true;
      item.first = SmallNumber(numbers.substr(0, comma));
      item.last = SmallNumber(numbers.substr(comma + 1));
    } else {
      item.width = SmallNumber(numbers);
    }
    value.remove_prefix(close + 1);
    if (!value.empty()) {
      item.separator = value.front();
      value.remove_prefix(1);
    }
    format.items.push_back(item);
  }
  return format;
}

ListEntry MatchListLine(const LineFormat& format, std::string_view line) {
  ListEntry entry;
  std::size_t at = 0;
  while (at < line.size() && line[at] == ' ') ++at;
  for (const LineItem& item : format.items) {
    std::string text;
    if (item.columns) {
      if (item.first <= item.last && static_cast<std::size_t>(item.first) < line.size())
        text = line.substr(item.first, static_cast<std::size_t>(item.last - item.first + 1));
      at = std::max(at, std::min(line.size(), static_cast<std::size_t>(item.last) + 1));
    } else {
      const std::size_t end = std::min(line.find(item.separator, at), line.size());
      const std::size_t keep = item.width > 0 ? static_cast<std::size_t>(item.width - 1) : 0;
      text = line.substr(at, std::min(end - at, keep));
      at = end;
    }
    while (at < line.size() && line[at] == item.separator) ++at;
    if (item.field == ListField::Dmy) continue;
    const std::size_t field = static_cast<std::size_t>(item.field);
    entry.fields[field] = Printable(std::string_view(text).substr(0, kListFieldSize[field]));
  }
  return entry;
}

std::string ListFileLine(const ListEntry& e) {
  char line[256];
  std::snprintf(line, sizeof line, "%-10.10s\t%-10.10s\t%-32.32s\t%-10.10s\t%-10.10s\t%-10.10s\t%-40.40s",
                e[ListField::Datum].c_str(), e[ListField::Abs].c_str(), e[ListField::File].c_str(),
                e[ListField::Mbx].c_str(), e[ListField::Fnum].c_str(), e[ListField::Len].c_str(),
                e[ListField::Title].c_str());
  return line;
}

void CheckListVariables(std::string_view entry, VariableTable& variables) {
  // name and the characters kept, in the order of the list file's columns;
  // the length column is skipped.
  static constexpr std::pair<std::string_view, std::size_t> kColumns[] = {
      {"CHK_DATE", 29}, {"CHK_CALL", 11}, {"CHK_FILE", 31}, {"CHK_MBX", 31},
      {"CHK_FNUM", 11}, {"", 0},          {"CHK_TITLE", 63}};
  for (const auto& [name, size] : kColumns) {
    const std::size_t tab = entry.find('\t');
    std::string value(entry.substr(0, std::min(tab, size)));
    while (!value.empty() && value.back() == ' ') value.pop_back();
    if (!name.empty()) {
      // DECIDED: an empty column is stored as an empty value, so that the
      // script sees the variable of this entry and never the one before.
      variables.Define(name, value);
    }
    entry = tab == std::string_view::npos ? std::string_view() : entry.substr(tab + 1);
  }
}

std::string ListFileStem(std::string_view call) {
  std::string name = channels::StationFileName(call);
  std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
  return name;
}

}  // namespace tarvik::script
