#include "devices/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdio>

#include "core/app.h"

namespace tarvik::devices {

namespace {

constexpr std::size_t kReadChunk = 255;
constexpr int kWriteBudgetMs = 1000;
constexpr std::size_t kMaxQueueDigits = 5;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// Decimal digits only; nothing for other texts.
std::optional<int> number(std::string_view s, std::size_t maxDigits = 9) {
  std::string t = trim(s);
  if (t.empty() || t.size() > maxDigits) return std::nullopt;
  int v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::optional<speed_t> speedOf(int baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return std::nullopt;
  }
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Opens a line exclusively: the kernel's exclusive mode keeps other
// programs out, the advisory lock keeps out other ports of this program
// (and programs running as root, which the exclusive mode lets through).
int openExclusive(const std::string& path, int& error) {
  // O_NONBLOCK: opening must not wait for a carrier; reads never block.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return -1;
  }
  if (!::isatty(fd)) {
    error = ENOTTY;
    ::close(fd);
    return -1;
  }
  ::ioctl(fd, TIOCEXCL);  // not every line supports it; the lock suffices
  return fd;
}

bool configure(int fd, const SerialSettings& s, int& error) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    error = errno;
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;  // no modem control: carrier loss never hangs up
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (s.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  switch (s.parity) {
    case 'e': tio.c_cflag |= PARENB; break;
    case 'o': tio.c_cflag |= PARENB | PARODD; break;
    case 'm': tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 's': tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (s.stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (s.baud != 0) {
    const auto speed = speedOf(s.baud);
    if (!speed || ::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0) {
      error = EINVAL;
      return false;
    }
  }
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    error = errno;
    return false;
  }
  ::tcflush(fd, TCIOFLUSH);
  return true;
}

}  // namespace

std::string ComDevicePath(std::string_view portName) {
  const std::string name = lower(portName);
  if (name.size() > 3 && name.starts_with("com")) {
    const auto n = number(name.substr(3), 3);
    if (!n || *n < 1) return {};
    return "/dev/ttyS" + std::to_string(*n - 1);
  }
  return std::string(portName);
}

std::optional<SerialSettings> ParseDeviceString(std::string_view device) {
  SerialSettings s;
  const std::size_t semi = device.find(';');
  const std::string_view comm = device.substr(0, semi);
  const std::size_t colon = comm.find(':');
  s.portName = trim(comm.substr(0, colon));
  s.path = ComDevicePath(s.portName);
  if (s.path.empty()) return std::nullopt;

  if (colon != std::string_view::npos) {
    // "baud,parity,data bits,stop bits"; omitted fields keep n, 8, 1.
    std::string_view mode = comm.substr(colon + 1);
    std::vector<std::string> fields;
    while (true) {
      const std::size_t comma = mode.find(',');
      fields.push_back(lower(trim(mode.substr(0, comma))));
      if (comma == std::string_view::npos) break;
      mode.remove_prefix(comma + 1);
    }
    if (fields.size() > 4) return std::nullopt;
    if (!fields[0].empty()) {
      const auto baud = number(fields[0]);
      if (!baud || !speedOf(*baud)) return std::nullopt;
      s.baud = *baud;
    }
    if (fields.size() > 1 && !fields[1].empty()) {
      if (fields[1].size() != 1 || std::string_view("neoms").find(fields[1][0]) == std::string_view::npos)
        return std::nullopt;
      s.parity = fields[1][0];
    }
    if (fields.size() > 2 && !fields[2].empty()) {
      const auto bits = number(fields[2], 1);
      if (!bits || *bits < 5 || *bits > 8) return std::nullopt;
      s.dataBits = *bits;
    }
    if (fields.size() > 3 && !fields[3].empty()) {
      if (fields[3] == "1") s.stopBits = 1;
      else if (fields[3] == "2" || fields[3] == "1.5") s.stopBits = 2;
      else return std::nullopt;
    }
  }

  if (semi != std::string_view::npos) {
    // Queue sizes: input up to ",", output up to "#"; malformed sizes count
    // as missing (the line's own buffers are used).
    std::string_view queues = device.substr(semi + 1);
    queues = queues.substr(0, queues.find('#'));
    const std::size_t comma = queues.find(',');
    s.inputQueue = number(queues.substr(0, comma), kMaxQueueDigits).value_or(0);
    if (comma != std::string_view::npos)
      s.outputQueue = number(queues.substr(comma + 1), kMaxQueueDigits).value_or(0);
  }
  return s;
}

std::string ComErrorText(int code) {
  // The system's own words for the errno value; the reader thread may ask
  // too, so the thread-safe form.
  char buffer[128];
  const char* text = ::strerror_r(code, buffer, sizeof buffer);
  return text ? text : "error " + std::to_string(code);
}

SerialPort::SerialPort(Key, SerialSettings settings, int fd, OnBytes onBytes, OnLost onLost)
    : settings_(std::move(settings)), fd_(fd), onBytes_(std::move(onBytes)), onLost_(std::move(onLost)) {}

std::unique_ptr<SerialPort> SerialPort::Open(const SerialSettings& settings, OnBytes onBytes,
                                             int& error, OnLost onLost) {
  error = 0;
  const int fd = openExclusive(settings.path, error);
  if (fd < 0) return nullptr;
  auto port = std::make_unique<SerialPort>(Key{}, settings, fd, std::move(onBytes), std::move(onLost));
  if (!configure(fd, settings, error) || !port->StartReader(error)) return nullptr;
  // Raise DTR: many TNCs only listen while it is up. Lines without modem
  // control (pseudo-terminals) refuse, which does no harm.
  int dtr = TIOCM_DTR;
  ::ioctl(fd, TIOCMBIS, &dtr);
  return port;
}

bool SerialPort::StartReader(int& error) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = errno;
    wake_[0] = wake_[1] = -1;
    return false;
  }
  running_ = true;
  readerRunning_ = true;
  try {
    reader_ = std::thread([this] { ReaderLoop(); });
  } catch (const std::system_error& e) {
    running_ = false;
    readerRunning_ = false;
    error = e.code().value();
    return false;
  }
  return true;
}

SerialPort::~SerialPort() {
  running_ = false;
  if (wake_[1] >= 0) {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
  }
  if (reader_.joinable()) reader_.join();
  if (fd_ >= 0 && !lost_) {
    // What was written goes out before the line closes (a TNC's DEINI text
    // must arrive whole); only unread input is discarded. Flushing the
    // output would drop bytes the far end has not taken yet. A line that
    // is gone takes nothing more.
    ::tcdrain(fd_);
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, TIOCMBIC, &dtr);
    ::tcflush(fd_, TCIFLUSH);
  }
  closeFd(fd_);
  closeFd(wake_[0]);
  closeFd(wake_[1]);
}

void SerialPort::ReaderLoop() {
  std::uint8_t buffer[kReadChunk];
  int lostError = -1;  // set when the line is gone
  while (running_ && lostError < 0) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
    const int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (!running_ || (fds[0].revents & POLLIN)) break;
    const short ready = fds[1].revents;
    if (ready & POLLIN) {
      // Take everything waiting, chunk by chunk, before waiting again. Data
      // that came before a hang-up is delivered first. A raw line answers
      // "nothing waiting" with 0 (or EAGAIN); an error other than that
      // tells that the line is gone.
      while (running_) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
          onBytes_(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
          continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) lostError = errno;
        break;
      }
    }
    // A line that is gone (device unplugged, far end of a pseudo-terminal
    // closed) would report this forever: the reader ends instead of
    // spinning, and the owner learns it once.
    if (lostError < 0 && (ready & (POLLHUP | POLLERR | POLLNVAL))) lostError = 0;
  }
  if (lostError >= 0 && running_) {
    lost_ = true;
    if (onLost_) onLost_(lostError == EIO ? 0 : lostError);
  }
  readerRunning_ = false;
}

bool SerialPort::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(kWriteBudgetMs);
  bool started = false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      started = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return started;
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return true;  // the write time-out: the rest is lost
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, static_cast<int>(left));
    started = true;
  }
  return true;
}

void SerialPort::Purge() {
  if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

bool ProbeSerialDevice(const std::string& path) {
  int error = 0;
  int fd = openExclusive(path, error);
  if (fd < 0) return false;
  closeFd(fd);
  return true;
}

std::vector<bool> ProbeComPorts(int count) {
  std::vector<bool> free;
  for (int n = 1; n <= count; ++n) free.push_back(ProbeSerialDevice(ComDevicePath("COM" + std::to_string(n))));
  return free;
}

std::unique_ptr<SerialPort> SerialOpen(ui::Toolkit& toolkit, ui::WindowId owner, int port,
                                       const std::string& device, SerialPort::OnBytes onBytes,
                                       SerialPort::OnLost onLost) {
  const std::optional<SerialSettings> settings = ParseDeviceString(device);
  int error = EINVAL;
  std::unique_ptr<SerialPort> serial;
  if (settings) serial = SerialPort::Open(*settings, std::move(onBytes), error, std::move(onLost));
  const std::string name = settings ? settings->portName : device;
  if (serial) {
    toolkit.sendUser(owner, core::kEvtSerialOpened, 0,
                     std::make_unique<core::PortStatus>(port, name, std::string()));
  } else {
    toolkit.sendUser(owner, core::kEvtSerialFailed, error,
                     std::make_unique<core::PortStatus>(port, name, ComErrorText(error)));
  }
  return serial;
}

}  // namespace tarvik::devices
