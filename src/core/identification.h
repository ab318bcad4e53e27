#pragma once
// The identification texts used by text macros and the about window.
//
// Mailboxes and nodes recognise the program by the texts other stations see
// (%PROD%, the "//V" reply): those stay as they have always been. The
// operator is shown the real version and build date of this program.

#include <string>

namespace tarvik::core {

std::string ProductText();  // "TARVIK/" followed by the platform word
std::string VersionText();  // the version number in decimal
std::string BuildStamp();   // build date and time joined by two blanks

std::string ProgramVersion();    // the release of this program, e.g. "0.1"
std::string ProgramBuildDate();  // the day it was built, as YYYY-MM-DD

}  // namespace tarvik::core
