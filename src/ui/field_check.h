#pragma once
// The checks of typed fields. Date and time fields are checked when they
// lose the focus and rewritten in the program's one date and time notation
// ("%02d.%02d.%04d", "%02d:%02d"); a rejected text stays for the operator to
// correct. Texts are Windows-1252 bytes.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::ui {

inline constexpr int kMsgBadDate = 1000;
inline constexpr int kMsgBadTime = 1008;

// "d.m.y": day 1..31 within the month, month 1..12; a year below 90 means
// 20xx, 90..99 means 19xx. The normalised text, or nothing when rejected. An
// empty text is accepted as it is.
std::optional<std::string> CheckDate(std::string_view text);

// "h:m" with hours below 24 and minutes below 60. The normalised text, or
// nothing when rejected. An empty text is accepted as it is.
std::optional<std::string> CheckTime(std::string_view text);

// Removes every character that is not a digit; tells whether any was.
bool KeepDigits(std::string& text);

// Capitals of Windows-1252 text (accented letters included; "ß" and "ÿ"
// have none in the lower half).
std::string ToCapitals(std::string_view text);

}  // namespace tarvik::ui
