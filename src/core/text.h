#pragma once
// Small text helpers shared by every subsystem: upper-casing in the
// program's byte character set, and the date and time texts of the mail
// store, the logbook, the connection log and the station database.

#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::core {

// ASCII letters only: the bytes of other characters stay as they are.
char UpperChar(char c);
std::string UpperCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// The pieces of `text` between separators (one piece more than separators;
// empty pieces kept). The pieces point into `text`.
std::vector<std::string_view> SplitText(std::string_view text, char separator);
// A text as one line of printable characters, at most `most` long: line
// breaks and tabs become blanks, other control characters are dropped.
std::string PrintableLine(std::string_view text, std::size_t most);

// "%02d.%02d.%04d %02d:%02d", "%02d.%02d.%04d" and "%02d:%02d" of a local time.
std::string DateTimeText(const ui::LocalTime& t);
std::string DateText(const ui::LocalTime& t);
std::string TimeText(const ui::LocalTime& t);

}  // namespace tarvik::core
