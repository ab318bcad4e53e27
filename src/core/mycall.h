#pragma once
// The own call sign as the MYCALL key writes it: CALL-s1,s2,... lists the
// SSIDs the station answers on (the first is its default SSID), CALL-*
// answers on all 16, a bare CALL on SSID 0 only.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvik::core {

inline constexpr std::size_t kCallWithSsidCapacity = 11;
inline constexpr std::size_t kBaseCallCapacity = 6;
inline constexpr int kSsidCount = 16;
// Position n is "1" when SSID n is enabled.
inline constexpr std::string_view kEmptySsidMask = "0000000000000000";

struct MyCall {
  std::string callWithSsid;  // text up to the first ","
  std::string baseCall;      // text up to the first "-"
  int defaultSsid = 0;
  std::string ssidMask = std::string(kEmptySsidMask);
};

// Upper-cases and splits a MYCALL value. The SSID list ends at the end of the
// value or at a blank; numbers outside 0..15 and non-numbers in it enable
// nothing. A default SSID outside 0..15 counts as 0, so the station always
// answers on its default SSID.
MyCall ParseMyCall(std::string_view value);

// True for a call sign that can stand in an AX.25 address: one to six
// letters and digits, optionally followed by "-" and an SSID 0..15. An empty
// text, blanks or any other character make it invalid.
bool IsValidCall(std::string_view callWithSsid);

// The MYCALL text for a base call and an SSID mask: CALL-a,b,c with the
// enabled SSIDs ascending, or the base call alone when none is enabled.
std::string FormatMyCall(std::string_view baseCall, std::string_view ssidMask);

}  // namespace tarvik::core
