// Text macros in texts that are sent or written: any text, with any
// "%NAME%" in it, expands within its limits; dates given by texts parse
// without reading past them.
//
// Input: the first byte picks a date text length, the text to expand
// follows.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "script/date_record.h"
#include "script/macros.h"
#include "script/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::script;
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t dateLength = std::min<std::size_t>(data[0] % 32, input.size());
  DateRecord reference = DateParse(input.substr(0, dateLength));
  DateRecord start = DateNow({2026, 12, 10, 17, 36, 5, 4});
  DateRecord end = start;
  DateAddSeconds(static_cast<double>(data[0]) * 3600.0, end);
  VariableTable variables;
  variables.Define("A", input.substr(0, std::min<std::size_t>(input.size(), 40)));
  variables.Define("LONG", std::string(200, 'v'));
  MacroContext context;
  context.myCall = "DA1AAA";
  context.yourCall = "DB2BBB-3";
  context.yourName = std::string(input.substr(dateLength, 20));
  context.lastCon = "01.02.2026 10:11";
  context.now = {2026, 12, 10, 17, 36, 5, 4};
  context.reference = &reference;
  context.gpsStart = &start;
  context.gpsEnd = &end;
  context.variables = &variables;
  const std::string text = Expand(input.substr(dateLength), context);
  if (text.size() > kExpandedLimit) {
    std::fprintf(stderr, "expanded to %zu characters\n", text.size());
    std::abort();
  }
  std::string field;
  for (const char* suffix : {"DATE", "TIME", "DAY", "Y", ""}) DateField(suffix, reference, field);
  return 0;
}
