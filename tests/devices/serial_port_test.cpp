// The serial line: device strings, error texts, and a line on a
// pseudo-terminal with its reader thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "devices/pty_tnc.h"
#include "devices/serial_port.h"

namespace tarvik::devices {
namespace {

using testing::PtyTnc;
using Bytes = std::vector<std::uint8_t>;

TEST(DeviceString, Splitting) {
  struct Case {
    const char* device;
    const char* path;
    int baud;
    char parity;
    int bits, stop, in, out;
  } cases[] = {
      {"COM2:9600,n,8,1;4096,4096", "/dev/ttyS1", 9600, 'n', 8, 1, 4096, 4096},
      {"com1:1200,E,7,2", "/dev/ttyS0", 1200, 'e', 7, 2, 0, 0},  // no ";": queue sizes 0
      {"/dev/ttyUSB0:19200,n,8,1;8192,8192#x", "/dev/ttyUSB0", 19200, 'n', 8, 1, 8192, 8192},
      {"COM3", "/dev/ttyS2", 0, 'n', 8, 1, 0, 0},
      {"COM4:38400;1024", "/dev/ttyS3", 38400, 'n', 8, 1, 1024, 0},
      {"COM1:9600,n,8,1;123456,12", "/dev/ttyS0", 9600, 'n', 8, 1, 0, 12},  // over 5 digits
  };
  for (const Case& c : cases) {
    const auto s = ParseDeviceString(c.device);
    ASSERT_TRUE(s) << c.device;
    EXPECT_EQ(s->path, c.path) << c.device;
    EXPECT_EQ(s->baud, c.baud) << c.device;
    EXPECT_EQ(s->parity, c.parity) << c.device;
    EXPECT_EQ(s->dataBits, c.bits) << c.device;
    EXPECT_EQ(s->stopBits, c.stop) << c.device;
    EXPECT_EQ(s->inputQueue, c.in) << c.device;
    EXPECT_EQ(s->outputQueue, c.out) << c.device;
  }
  for (const char* bad : {"", ":9600", "COM0:9600", "COMX", "COM1:9601,n,8,1", "COM1:9600,q,8,1",
                          "COM1:9600,n,9,1", "COM1:9600,n,8,3", "COM1:9600,n,8,1,7"})
    EXPECT_FALSE(ParseDeviceString(bad)) << bad;
}

// The operator reads the reason in the system's words, whole.
TEST(DeviceString, ErrorText) {
  EXPECT_EQ(ComErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(ComErrorText(EBUSY), "Device or resource busy");
  EXPECT_EQ(ComErrorText(EACCES), "Permission denied");
}

// Collects what the reader thread hands over.
struct Received {
  std::mutex m;
  std::condition_variable cv;
  Bytes bytes;
  SerialPort::OnBytes sink() {
    return [this](std::span<const std::uint8_t> b) {
      std::lock_guard lock(m);
      bytes.insert(bytes.end(), b.begin(), b.end());
      cv.notify_all();
    };
  }
  Bytes waitFor(std::size_t n) {
    std::unique_lock lock(m);
    cv.wait_for(lock, std::chrono::seconds(5), [&] { return bytes.size() >= n; });
    return bytes;
  }
};

TEST(SerialLine, BytesBothWaysAndExclusiveUse) {
  PtyTnc tnc;
  ASSERT_TRUE(tnc.ok());
  const auto settings = ParseDeviceString(tnc.path() + ":9600,n,8,1");
  ASSERT_TRUE(settings);
  Received received;
  int error = -1;
  auto line = SerialPort::Open(*settings, received.sink(), error);
  ASSERT_TRUE(line) << ComErrorText(error);
  EXPECT_TRUE(line->ReaderRunning());

  // Bytes are passed raw both ways: no CR/LF translation, no flow control
  // characters eaten.
  const Bytes out = {0xC0, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x03, 0xFF, 0xC0};
  EXPECT_TRUE(line->Write(out));
  EXPECT_EQ(tnc.read(out.size()), out);
  Bytes in(700);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 7);
  tnc.send(in);
  EXPECT_EQ(received.waitFor(in.size()), in);

  // The line is taken: a second open and a probe are refused.
  int busy = 0;
  EXPECT_FALSE(SerialPort::Open(*settings, nullptr, busy));
  EXPECT_EQ(busy, EBUSY);
  EXPECT_FALSE(ProbeSerialDevice(tnc.path()));
  line.reset();  // returns once the reader, asleep in poll(), has ended
  EXPECT_TRUE(ProbeSerialDevice(tnc.path()));
  EXPECT_FALSE(ProbeSerialDevice("/dev/tarvik-no-such-line"));
}

TEST(SerialLine, ClosesWhileTheFarEndIsGone) {
  PtyTnc tnc;
  ASSERT_TRUE(tnc.ok());
  int error = 0;
  auto line = SerialPort::Open(*ParseDeviceString(tnc.path()), [](auto) {}, error);
  ASSERT_TRUE(line);
  tnc.closeMaster();  // the line hangs up for good
  line->Write(Bytes{1, 2, 3});  // must not hang or crash
  line.reset();  // and the reader, which stopped watching the dead line, ends
}

TEST(SerialLine, OpenFailuresCarryTheErrno) {
  int error = 0;
  EXPECT_FALSE(SerialPort::Open(*ParseDeviceString("/dev/tarvik-no-such-line:9600"), nullptr, error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(SerialPort::Open(*ParseDeviceString("/dev/null"), nullptr, error));
  EXPECT_EQ(error, ENOTTY);  // not a serial line
}

}  // namespace
}  // namespace tarvik::devices
