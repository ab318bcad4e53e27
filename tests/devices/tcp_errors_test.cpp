// Socket and resolver failures as the Winsock codes and texts the operator
// sees in messages 20 and 1051.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "devices/tcp_errors.h"

namespace tarvik::devices {
namespace {

TEST(TcpErrors, ErrnoValuesBecomeWinsockCodesWithTheirTexts) {
  struct Case {
    int err, code;
    const char* text;
  };
  const Case cases[] = {
      {ECONNREFUSED, 10061, "Connection refused"},
      {ETIMEDOUT, 10060, "Connection timed out"},
      {ECONNRESET, 10054, "Connection reset by peer"},
      {EHOSTUNREACH, 10065, "Host is unreachable"},
      {ENETUNREACH, 10051, "ICMP network unreachable"},
      {EADDRINUSE, 10048, "Address already in use"},
      {EADDRNOTAVAIL, 10049, "Can't assign requested address"},
      {EAGAIN, 10035, "Operation would block"},
      {EINPROGRESS, 10036, "Operation now in progress"},
      {EMFILE, 10024, "Too many open files"},
      {ENOBUFS, 10055, "No buffer space is supported"},
      {EACCES, 10013, "Access denied"},
      {ENOENT, ENOENT, "Unknown"},  // no Winsock counterpart
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WinsockCodeFromErrno(c.err), c.code) << c.text;
    EXPECT_EQ(WinsockErrorText(WinsockCodeFromErrno(c.err)), c.text);
  }
}

TEST(TcpErrors, ResolverResultsBecomeLookupCodes) {
  EXPECT_EQ(WinsockCodeFromLookup(0, 0), 0);
  EXPECT_EQ(WinsockErrorText(WinsockCodeFromLookup(EAI_NONAME, 0)), "Host not found");
  EXPECT_EQ(WinsockErrorText(WinsockCodeFromLookup(EAI_AGAIN, 0)), "Try again");
  EXPECT_EQ(WinsockErrorText(WinsockCodeFromLookup(EAI_FAIL, 0)), "Non-recoverable error");
  EXPECT_EQ(WinsockCodeFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(TcpErrors, CodesWithoutTextAreUnknown) {
  for (int code : {0, 10000, 10090, 11000, 11005, -1}) EXPECT_EQ(WinsockErrorText(code), "Unknown") << code;
  EXPECT_EQ(WinsockErrorText(10004), "Interrupted system call");
  EXPECT_EQ(WinsockErrorText(11004), "No data record available");
}

}  // namespace
}  // namespace tarvik::devices
