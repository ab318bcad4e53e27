#include "core/identification.h"

namespace tarvik::core {

// These texts reach other stations through text macros; mailboxes and nodes
// that recognise the program by them expect them unchanged.
std::string ProductText() { return std::string("TARVIK/") + "WIN32"; }
std::string VersionText() { return std::to_string(98); }
std::string BuildStamp() { return std::string("Feb 22 1997") + "  " + "18:21:38"; }

}  // namespace tarvik::core
