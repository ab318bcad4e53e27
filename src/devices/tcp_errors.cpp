#include "devices/tcp_errors.h"

#include <netdb.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace tarvik::devices {

namespace {

struct CodeText {
  int code;
  std::string_view text;
};

// Sorted by code, for the binary search below.
constexpr std::array kTexts{
    CodeText{10004, "Interrupted system call"},
    CodeText{10009, "Bad file number"},
    CodeText{10013, "Access denied"},
    CodeText{10014, "Bad address"},
    CodeText{10022, "Invalid argument"},
    CodeText{10024, "Too many open files"},
    CodeText{10035, "Operation would block"},
    CodeText{10036, "Operation now in progress"},
    CodeText{10037, "Operation already in progress"},
    CodeText{10038, "Socket operation on non-socket"},
    CodeText{10039, "Destination address required"},
    CodeText{10040, "Message too long"},
    CodeText{10041, "Protocol is wrong type for socket"},
    CodeText{10042, "Bad protocol option"},
    CodeText{10043, "Protocol not supported"},
    CodeText{10044, "Socket type not supported"},
    CodeText{10045, "Operation not supported on socket"},
    CodeText{10046, "Protocol family not supported"},
    CodeText{10047, "Address family not supported by protocol family"},
    CodeText{10048, "Address already in use"},
    CodeText{10049, "Can't assign requested address"},
    CodeText{10050, "Network is down"},
    CodeText{10051, "ICMP network unreachable"},
    CodeText{10052, "Network was reset"},
    CodeText{10053, "Software caused connection abort"},
    CodeText{10054, "Connection reset by peer"},
    CodeText{10055, "No buffer space is supported"},
    CodeText{10056, "Socket is already connected"},
    CodeText{10057, "Socket is not connected"},
    CodeText{10058, "Can't send after socket shutdown"},
    CodeText{10059, "Too many references"},
    CodeText{10060, "Connection timed out"},
    CodeText{10061, "Connection refused"},
    CodeText{10062, "Too many levels of symbolic links"},
    CodeText{10063, "Name too long"},
    CodeText{10064, "Host is down"},
    CodeText{10065, "Host is unreachable"},
    CodeText{10066, "Directory not empty"},
    CodeText{10067, "EPROCLIM returned"},
    CodeText{10068, "EUSERS returned"},
    CodeText{10069, "Disk quota exceeded"},
    CodeText{10070, "ESTALE returned"},
    CodeText{10071, "The object is remote"},
    CodeText{10091, "System not ready"},
    CodeText{10092, "Version is not supported"},
    CodeText{10093, "Not initialized"},
    CodeText{11001, "Host not found"},
    CodeText{11002, "Try again"},
    CodeText{11003, "Non-recoverable error"},
    CodeText{11004, "No data record available"},
};

static_assert(std::is_sorted(kTexts.begin(), kTexts.end(),
                             [](const CodeText& a, const CodeText& b) { return a.code < b.code; }));

// The Winsock numbers are the BSD errno values plus 10000; Linux numbers its
// errno values differently, so every one is named.
constexpr std::pair<int, int> kErrnoCodes[] = {
    {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},
    {EPERM, 10013},        {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},       {ENFILE, 10024},          {EAGAIN, 10035},
    {EINPROGRESS, 10036},  {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},  {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},   {EPIPE, 10058},           {ENOBUFS, 10055},
    {EISCONN, 10056},      {ENOTCONN, 10057},        {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059}, {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {ELOOP, 10062},        {ENAMETOOLONG, 10063},    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065}, {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},       {ESTALE, 10070},          {EREMOTE, 10071},
};

}  // namespace

int WinsockCodeFromErrno(int err) {
  if (err == EWOULDBLOCK) return kWsaWouldBlock;  // the same value as EAGAIN on Linux
  for (const auto& [e, code] : kErrnoCodes) {
    if (e == err) return code;
  }
  return err;
}

int WinsockCodeFromLookup(int eai, int err) {
  switch (eai) {
    case 0: return 0;
    case EAI_NONAME: return kWsaHostNotFound;
#ifdef EAI_NODATA
    case EAI_NODATA: return kWsaNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return kWsaNoData;
#endif
    case EAI_AGAIN: return kWsaTryAgain;
    case EAI_MEMORY: return WinsockCodeFromErrno(ENOBUFS);
    case EAI_SYSTEM: return WinsockCodeFromErrno(err);
    default: return kWsaNoRecovery;
  }
}

std::string_view WinsockErrorText(int code) {
  const auto* it = std::lower_bound(kTexts.begin(), kTexts.end(), code,
                                    [](const CodeText& t, int c) { return t.code < c; });
  if (it != kTexts.end() && it->code == code) return it->text;
  return "Unknown";
}

}  // namespace tarvik::devices
