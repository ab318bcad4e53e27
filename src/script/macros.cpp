#include "script/macros.h"

#include <cstdio>

#include "core/identification.h"

namespace tarvik::script {

namespace {

std::string TwoDigitDate(const ui::LocalTime& t, bool seconds) {
  char text[64];
  if (seconds)
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                  t.second);
  else
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year, t.hour, t.minute);
  return text;
}

// A date field macro: the suffix is taken from the fifth character of the
// name on, wherever the marker stands; an unknown suffix gives the name.
std::string FieldOf(std::string_view name, const DateRecord* record) {
  std::string out;
  const DateRecord none;
  if (name.size() > 4 && DateField(name.substr(4), record ? *record : none, out)) return out;
  return std::string(name);
}

}  // namespace

std::string MacroValue(std::string_view name, MacroContext& c) {
  if (name == "MYCALL") return c.myCall;
  if (name == "YOURCALL") return c.yourCall;
  if (name == "DATE") return TwoDigitDate(c.now, false);
  if (name.find("DATE.") != std::string_view::npos) return FieldOf(name, c.reference);
  if (name.find("GPSS.") != std::string_view::npos) return FieldOf(name, c.gpsStart);
  if (name.find("GPSE.") != std::string_view::npos) return FieldOf(name, c.gpsEnd);
  if (name == "NOW") {
    if (c.reference) *c.reference = DateNow(c.now);
    return TwoDigitDate(c.now, true);
  }
  if (name == "LASTCON") return c.lastCon;
  if (name == "YOURNAME") return c.yourName.empty() ? c.yourCall : c.yourName;
  if (name == "NO") return {};
  if (name == "CR") return "\r";
  if (name == "LF") return "\n";
  if (name == "LFCR") return "\n\r";
  if (name == "CRLF") return "\r\n";
  if (name == "PROD") return core::ProductText();
  if (name == "VER") return std::string(kProgramVersion);
  if (c.variables) return c.variables->Value(name);
  return std::string(name) + " undefined";
}

std::string Expand(std::string_view text, MacroContext& context) {
  std::string result;
  std::size_t copied = 0;  // text before this position is in the result
  for (;;) {
    const std::size_t open = text.find('%', copied);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;  // an unclosed "%" keeps the rest as it is
    std::string_view name = text.substr(open + 1, close - open - 1);
    if (name.size() > kMacroNameLimit) name = name.substr(0, kMacroNameLimit);
    std::string value = MacroValue(name, context);
    if (value.size() > kMacroValueLimit) value.resize(kMacroValueLimit);
    result.append(text.substr(copied, open - copied));
    result += value;
    copied = close + 1;
    if (result.size() >= kExpandedLimit) break;
  }
  if (copied < text.size()) result.append(text.substr(copied));
  if (result.size() > kExpandedLimit) result.resize(kExpandedLimit);
  return result;
}

}  // namespace tarvik::script
