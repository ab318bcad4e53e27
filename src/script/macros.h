#pragma once
// Text macros: a name between two "%" signs in a text that is sent or
// written for the operator is replaced by a value of the channel (own and
// remote call, the remote station's name, dates, line ends, product and
// version) or else by a script variable of the channel. There is no escape
// for a literal "%"; values are not expanded again.
//
// Limits keep every result bounded whatever a script or a received line
// contains: names count with their first 11 characters, a single value is
// cut to 127 characters and the whole result to 255.

#include <cstddef>
#include <string>
#include <string_view>

#include "script/date_record.h"
#include "script/variables.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::script {

inline constexpr std::size_t kMacroNameLimit = 11;
inline constexpr std::size_t kMacroValueLimit = 127;
inline constexpr std::size_t kExpandedLimit = 255;
// The program version that texts quote (the build number 98 is another thing).
inline constexpr std::string_view kProgramVersion = "2.10";

// What a channel offers to its macros. The reference time is changed by
// %NOW%; everything else is read only.
struct MacroContext {
  std::string myCall;    // the own call of the channel's link ("" without one)
  std::string yourCall;  // the call recorded when the link connected
  std::string yourName;  // from the station database; "" when unknown
  std::string lastCon;   // previous connect "dd.mm.yyyy hh:mm"; "" when unknown
  ui::LocalTime now;
  DateRecord* reference = nullptr;
  const DateRecord* gpsStart = nullptr;
  const DateRecord* gpsEnd = nullptr;
  const VariableTable* variables = nullptr;
};

// The value of one macro name (without the "%" signs), not yet cut.
std::string MacroValue(std::string_view name, MacroContext& context);

// The text with every macro replaced.
std::string Expand(std::string_view text, MacroContext& context);

}  // namespace tarvik::script
