#include "devices/tcp_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "devices/tcp_errors.h"

namespace tarvik::devices {

void Socket::reset() noexcept {
  if (fd_ < 0) return;
  const linger abortive{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(fd_);
  fd_ = -1;
}

Socket NewStreamSocket(int& code) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  code = fd < 0 ? LastSocketError() : 0;
  return Socket(fd);
}

int LastSocketError() { return WinsockCodeFromErrno(errno); }

int PendingSocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return LastSocketError();
  return err == 0 ? 0 : WinsockCodeFromErrno(err);
}

std::string DottedAddress(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (::inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) return {};
  return text;
}

std::uint16_t PortNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (value > 65535) return 0;
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace tarvik::devices
