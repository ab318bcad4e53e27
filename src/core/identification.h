#pragma once
// The identification texts used by text macros and the about window.

#include <string>

namespace tarvik::core {

std::string ProductText();  // "TARVIK/" followed by the platform word
std::string VersionText();  // the version number in decimal
std::string BuildStamp();   // build date and time joined by two blanks

}  // namespace tarvik::core
