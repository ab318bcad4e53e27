#include "core/identification.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef TARVIK_VERSION
#define TARVIK_VERSION "unknown"
#endif

namespace tarvik::core {

// These texts reach other stations through text macros; mailboxes and nodes
// that recognise the program by them expect them unchanged.
std::string ProductText() { return std::string("TARVIK/") + "WIN32"; }
std::string VersionText() { return std::to_string(98); }
std::string BuildStamp() { return std::string("Feb 22 1997") + "  " + "18:21:38"; }

std::string ProgramVersion() { return TARVIK_VERSION; }

std::string ProgramBuildDate() {
  // __DATE__ reads "Mmm dd yyyy".
  static constexpr const char* kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* date = __DATE__;
  const char* m = std::strstr(kMonths, std::string(date, 3).c_str());
  const int month = m ? static_cast<int>(m - kMonths) / 3 + 1 : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%.4s-%02d-%02d", date + 7, month % 100, std::atoi(date + 4) % 100);
  return text;
}

}  // namespace tarvik::core
