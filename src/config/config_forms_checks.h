#pragma once
// What the configuration windows refuse to write: values TARVIK.INI cannot
// hold as typed (a "#" starts a comment, a line break ends the value, a text
// line beginning with "[" starts a section), numbers outside the range the
// program can use, call signs that are none, and passwords that would break
// the password file's line.
//
// Each check returns the message that refuses the value, or nothing when the
// value is fine.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::config {

// Message numbers of the refusals.
inline constexpr int kMsgBadIniValue = 1560;   // %s: KEY=value
inline constexpr int kMsgBadIniLine = 1561;    // %s: the block's name, %s: the line
inline constexpr int kMsgBadNumber = 1562;     // %s: KEY=value, %s: the range
inline constexpr int kMsgBadCall = 1563;       // %s: the call
inline constexpr int kMsgBadPasswordCall = 1565;
inline constexpr int kMsgNotWritten = 1566;    // %s: the file
inline constexpr int kMsgBadPassword = 1567;
inline constexpr int kMsgBadTcpDevice = 1568;  // %s: the device
inline constexpr int kMsgBadDirectory = 1569;  // %s: KEY=value

struct Refusal {
  int message = 0;
  std::string text1;
  std::string text2;
  bool operator==(const Refusal&) const = default;
};
using Check = std::optional<Refusal>;

// A value written as KEY=value: no "#", no line break.
Check CheckIniValue(std::string_view key, std::string_view value);

// A text block written as the lines of a section ([PnINI]): lines are
// separated by LF (a CR before it is dropped); empty lines are left out.
// No "#", and no line of one character or beginning with "[", which the
// reader would drop or take for a section.
Check CheckIniBlock(std::string_view name, std::string_view block);

// The block as the reader gives it back: its lines joined with CR LF, empty
// lines left out.
std::string NormalIniBlock(std::string_view block);

// A decimal number from lo to hi (digits only, blanks around it allowed).
Check CheckNumber(std::string_view key, std::string_view text, int lo, int hi, int& out);

// The own call without SSID: one to six letters and digits.
Check CheckBaseCall(std::string_view call);

// The device string of a port of that device type: a TCP/IP port needs
// HOST;PORT with a port from 1 to 65535.
Check CheckDevice(int devType, std::string_view device);

// A directory is a prefix of file names: it ends with "/" (empty: the
// current directory).
Check CheckDirectory(std::string_view key, std::string_view value);

// A password as the password file holds it: one line, no tab.
Check CheckPassword(std::string_view password);

}  // namespace tarvik::config
