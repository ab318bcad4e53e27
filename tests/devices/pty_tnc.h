#pragma once
// A TNC stand-in on a pseudo-terminal pair: the program opens the slave side
// as its serial line, the test reads and writes the master side.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::devices::testing {

class PtyTnc {
 public:
  PtyTnc() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) == 0) path_ = name;
  }
  ~PtyTnc() { closeMaster(); }
  PtyTnc(const PtyTnc&) = delete;
  PtyTnc& operator=(const PtyTnc&) = delete;

  bool ok() const { return master_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }

  void send(const std::vector<std::uint8_t>& bytes) {
    [[maybe_unused]] ssize_t n = ::write(master_, bytes.data(), bytes.size());
  }

  // Everything that arrives until `want` bytes are there or nothing has come
  // for quietMs (a bound against hanging, not a timing check).
  std::vector<std::uint8_t> read(std::size_t want = SIZE_MAX, int quietMs = 300) {
    std::vector<std::uint8_t> got;
    while (got.size() < want) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN)) break;
      std::uint8_t buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  void closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace tarvik::devices::testing
