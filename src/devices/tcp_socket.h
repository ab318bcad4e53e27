#pragma once
// One owned socket descriptor, and the few socket calls the TCP/IP port and
// server windows share. Results are 0 or a Winsock code (tcp_errors.h).

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <utility>

namespace tarvik::devices {

class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) noexcept : fd_(fd) {}
  ~Socket() { reset(); }
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Closes the socket abortively (linger on with time 0): a port that goes
  // away drops its connection at once instead of leaving it to linger, and
  // the peer learns of it by a reset.
  void reset() noexcept;

 private:
  int fd_ = -1;
};

// A new non-blocking, close-on-exec IPv4 stream socket; empty on failure
// with the Winsock code in `code`.
Socket NewStreamSocket(int& code);

// The Winsock code of the last failed call (errno).
int LastSocketError();

// The pending error of a socket whose connect has completed (SO_ERROR), as a
// Winsock code; 0 when the connect succeeded.
int PendingSocketError(int fd);

// The address as dotted text ("127.0.0.1").
std::string DottedAddress(const in_addr& address);

// A TCP port text as a number in 0..65535: leading blanks, digits; anything
// else ends the number. Out-of-range numbers give 0.
std::uint16_t PortNumber(const std::string& text);

}  // namespace tarvik::devices
