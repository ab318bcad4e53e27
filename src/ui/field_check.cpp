#include "ui/field_check.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "core/text.h"

namespace tarvik::ui {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A part of a date or time: one to four digits, blanks around allowed.
std::optional<int> number(std::string_view s) {
  s = trim(s);
  if (s.empty() || s.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

std::optional<std::string> CheckDate(std::string_view text) {
  if (trim(text).empty()) return std::string(text);
  const auto parts = core::SplitText(text, '.');
  if (parts.size() != 3) return std::nullopt;
  const auto day = number(parts[0]), month = number(parts[1]);
  auto year = number(parts[2]);
  if (!day || !month || !year) return std::nullopt;
  if (*year < 90) {
    *year += 2000;
  } else if (*year < 100) {
    *year += 1900;
  }
  if (*month < 1 || *month > 12) return std::nullopt;
  int days = 31;
  if (*month == 4 || *month == 6 || *month == 9 || *month == 11) days = 30;
  // The full Gregorian rule: 2100 is no leap year although 00 divides by 4.
  if (*month == 2) days = leapYear(*year) ? 29 : 28;
  if (*day < 1 || *day > days) return std::nullopt;
  char out[40];
  std::snprintf(out, sizeof out, "%02d.%02d.%04d", *day, *month, *year);
  return std::string(out);
}

std::optional<std::string> CheckTime(std::string_view text) {
  if (trim(text).empty()) return std::string(text);
  const auto parts = core::SplitText(text, ':');
  if (parts.size() != 2) return std::nullopt;
  const auto hours = number(parts[0]), minutes = number(parts[1]);
  if (!hours || !minutes || *hours >= 24 || *minutes >= 60) return std::nullopt;
  char out[40];
  std::snprintf(out, sizeof out, "%02d:%02d", *hours, *minutes);
  return std::string(out);
}

bool KeepDigits(std::string& text) {
  std::string digits;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  }
  const bool removed = digits.size() != text.size();
  text = std::move(digits);
  return removed;
}

std::string ToCapitals(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 'a' && c <= 'z') {
      ch = static_cast<char>(c - 32);
    } else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {  // à..þ without ÷
      ch = static_cast<char>(c - 32);
    } else if (c == 0x9A || c == 0x9C || c == 0x9E) {  // š œ ž
      ch = static_cast<char>(c - 16);
    } else if (c == 0xFF) {  // ÿ
      ch = static_cast<char>(0x9F);
    }
  }
  return out;
}

}  // namespace tarvik::ui
