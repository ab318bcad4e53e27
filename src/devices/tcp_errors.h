#pragma once
// Error codes of TCP/IP ports and the texts the operator sees for them.
//
// Failures of sockets and host-name lookups are reported with the Winsock
// code numbers (10061 for a refused connection, 11001 for an unknown host,
// ...), because the message texts and the status records of the TCP/IP
// ports speak in those numbers. The POSIX errno values and the resolver's
// EAI_* results are mapped onto them here, in one place.

#include <string_view>

namespace tarvik::devices {

// Winsock codes the port and server windows act on.
inline constexpr int kWsaWouldBlock = 10035;
inline constexpr int kWsaInProgress = 10036;
inline constexpr int kWsaAddrNotAvail = 10049;
inline constexpr int kWsaTimedOut = 10060;
inline constexpr int kWsaConnRefused = 10061;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaTryAgain = 11002;
inline constexpr int kWsaNoRecovery = 11003;
inline constexpr int kWsaNoData = 11004;

// The Winsock code of an errno value. A value without a Winsock counterpart
// is returned unchanged; its text is then "Unknown".
int WinsockCodeFromErrno(int err);

// The Winsock code of a failed getaddrinfo/getnameinfo result (EAI_*);
// `err` is errno at the time, consulted for EAI_SYSTEM. 0 for 0.
int WinsockCodeFromLookup(int eai, int err);

// The text of a Winsock code; "Unknown" for any code without one.
std::string_view WinsockErrorText(int code);

}  // namespace tarvik::devices
