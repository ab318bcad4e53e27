#include "core/number.h"

#include <algorithm>
#include <limits>

namespace tarvik::core {
namespace {

struct Parsed {
  bool ok = false;
  long long value = 0;
};

Parsed parse(std::string_view text, long long lo, long long hi) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  Parsed p;
  long long v = 0;
  // Accumulating stops growing once past the limit, so no digit string can
  // overflow.
  const long long cap = std::max(-lo, hi) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    p.ok = true;
    v = std::min(cap, v * 10 + (text[i] - '0'));
  }
  if (!p.ok) return p;
  p.value = std::clamp(negative ? -v : v, lo, hi);
  return p;
}

}  // namespace

std::int16_t ParseInt16(std::string_view text) {
  return static_cast<std::int16_t>(parse(text, std::numeric_limits<std::int16_t>::min(),
                                         std::numeric_limits<std::int16_t>::max())
                                       .value);
}

std::int32_t ParseInt32(std::string_view text) {
  return static_cast<std::int32_t>(parse(text, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max())
                                       .value);
}

bool HasNumber(std::string_view text) {
  return parse(text, std::numeric_limits<std::int32_t>::min(),
               std::numeric_limits<std::int32_t>::max())
      .ok;
}

}  // namespace tarvik::core
