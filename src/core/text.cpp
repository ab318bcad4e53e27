#include "core/text.h"

#include <algorithm>
#include <cstdio>

namespace tarvik::core {

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperChar(x) == UpperChar(y); });
}

std::string DateTimeText(const ui::LocalTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year, t.hour, t.minute);
  return text;
}

std::string DateText(const ui::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
  return text;
}

std::string TimeText(const ui::LocalTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
  return text;
}

std::string PrintableLine(std::string_view text, std::size_t most) {
  std::string out;
  for (const char c : text) {
    if (out.size() >= most) break;
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n' || c == '\r' || c == '\t') out += ' ';
    else if (u >= 0x20 && u != 0x7F) out += c;
  }
  return out;
}

std::vector<std::string_view> SplitText(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace tarvik::core
