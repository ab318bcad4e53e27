#pragma once
// Numbers in configuration and command texts are written in decimal: leading
// blanks, an optional sign, then digits. Text that does not start that way
// counts as 0, as does a missing value; digits stop at the first other
// character. Results are clamped to the range of the target type rather than
// wrapped, so an absurd value cannot turn into a small or negative one.

#include <cstdint>
#include <string_view>

namespace tarvik::core {

std::int16_t ParseInt16(std::string_view text);
std::int32_t ParseInt32(std::string_view text);

// True when the text holds a number in the form above (at least one digit).
bool HasNumber(std::string_view text);

}  // namespace tarvik::core
