#pragma once
// A serial line to a TNC or modem, on POSIX termios.
//
// A device string names the line and its settings:
//   "COMn:baud,parity,data bits,stop bits;input queue,output queue"
// where COMn stands for /dev/ttyS(n-1), or the same with a device path
// ("/dev/ttyUSB0:9600,n,8,1"). The line is opened exclusively and raw; one
// reader thread per open line waits in poll() on the line and on a wake-up
// pipe, reads what is waiting (at most 255 bytes per read) and hands each
// chunk to the owner's callback on that thread. Closing wakes the reader at
// once and returns when it has ended. A line that hangs up or goes away (the
// far end of a pseudo-terminal closed, a USB adapter pulled) is told once to
// the owner's loss callback, and the reader ends: it never spins on a dead
// line.
//
// Failures carry the errno value of the failing call; users see it as
// "Unknown COM error %4.4x".

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::devices {

// The parts of a device string.
struct SerialSettings {
  std::string portName;  // text before ":" ("COM2", "/dev/ttyUSB0")
  std::string path;      // the device opened
  int baud = 0;          // 0: the line keeps its speed
  char parity = 'n';     // n, e, o, m (mark), s (space)
  int dataBits = 8;      // 5..8
  int stopBits = 1;      // 1 or 2 (1.5 is taken as 2)
  int inputQueue = 0;    // sizes from after ";"; 0 when missing
  int outputQueue = 0;
};

// "COMn" (any case, n >= 1) names /dev/ttyS(n-1); any other name is a path
// as it stands. Empty for COM0 and malformed COM names.
std::string ComDevicePath(std::string_view portName);

// Splits a device string. Empty when the name is empty or a setting is not
// understood (unknown parity, speed or word size).
std::optional<SerialSettings> ParseDeviceString(std::string_view device);

// The text of an errno value from opening or setting up a line, as the
// system words it ("No such file or directory", "Device or resource busy").
std::string ComErrorText(int code);

class SerialPort {
 public:
  // Receives each chunk of received bytes, on the reader thread.
  using OnBytes = std::function<void(std::span<const std::uint8_t>)>;
  // Told once, on the reader thread, that the line hung up or failed (the
  // errno value of a failed read, 0 for a hang-up); the reader then ends.
  using OnLost = std::function<void(int error)>;

  // Opens and configures the line and starts its reader. On failure returns
  // null and sets `error` to the errno value of the failing call.
  static std::unique_ptr<SerialPort> Open(const SerialSettings& settings, OnBytes onBytes,
                                          int& error, OnLost onLost = nullptr);

  struct Key {
   private:
    friend class SerialPort;
    Key() = default;
  };
  SerialPort(Key, SerialSettings settings, int fd, OnBytes onBytes, OnLost onLost = nullptr);

  // Stops the reader (it ends at once), waits until what was written has
  // gone out (tcdrain), drops DTR, discards unread input and closes the line.
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Writes all bytes, waiting at most about one second for the line to take
  // them. False only when the write could not be started; errors after that
  // are ignored (the link layer's retries recover lost frames).
  bool Write(std::span<const std::uint8_t> bytes);

  // Discards what waits in both directions.
  void Purge();

  // True while the reader thread runs.
  bool ReaderRunning() const { return readerRunning_.load(); }
  // True once the line has hung up or failed.
  bool Lost() const { return lost_.load(); }

  const SerialSettings& settings() const { return settings_; }

 private:
  bool StartReader(int& error);
  void ReaderLoop();

  SerialSettings settings_;
  int fd_ = -1;
  int wake_[2] = {-1, -1};
  OnBytes onBytes_;
  OnLost onLost_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> readerRunning_{false};
  std::thread reader_;
};

// Tries to open a line exclusively for reading and writing and closes it
// again: true when that worked (the line exists and nobody uses it).
bool ProbeSerialDevice(const std::string& path);

// For COM1..COMcount: element n-1 is true when COMn can be opened now. The
// connection manager offers these lines.
std::vector<bool> ProbeComPorts(int count);

// Opens a line for a port window and reports the outcome to `owner`: user
// event 950 (opened) or 952 (failed, with "Unknown COM error %4.4x"), each
// with a core::PortStatus naming the port's device.
std::unique_ptr<SerialPort> SerialOpen(ui::Toolkit& toolkit, ui::WindowId owner, int port,
                                       const std::string& device, SerialPort::OnBytes onBytes,
                                       SerialPort::OnLost onLost = nullptr);

}  // namespace tarvik::devices
