#pragma once
// A station with TCP/IP switched on, run on the headless toolkit with a
// stepped clock, and the far ends of its TCP connections on 127.0.0.1.
//
// The stand-in main window records the frames the task window hands on
// (user event 800) and, like the real main window, passes one heartbeat per
// elapsed second to every open port window.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ax25/frame.h"
#include "ax25/frame_codec.h"
#include "ax25/frame_events.h"
#include "core/app.h"
#include "devices/kiss_deframer.h"
#include "devices/tcp_port.h"
#include "devices/tcp_server.h"
#include "devices/tcp_socket.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Receives what the task window passes to the main window, and fans the
// heartbeat out to the port windows.
struct StandInMainWindow : ui::Window {
  explicit StandInMainWindow(core::App& a) : app(a) {}
  void onEvent(ui::Event& e) override {
    if (e.type == ui::EventType::Create) timer = toolkit().createTimer(id(), 1000);
    if (e.type == ui::EventType::Timer) {
      for (const core::PortRecord& port : app.ports())
        if (port.portWindow != ui::kNoWindow) toolkit().sendUser(port.portWindow, core::kEvtHeartbeat);
    }
    if (e.type == ui::EventType::User && e.id == ax25::kEvtFrameReceived) {
      if (auto frame = e.take<ax25::FrameRecord>()) frames.push_back(std::move(*frame));
    }
  }
  core::App& app;
  ui::TimerId timer = 0;
  std::vector<ax25::FrameRecord> frames;
};

// An AX.25 address from its text form ("DL1ABC-3").
inline ax25::AddressRecord Call(const std::string& text) {
  auto a = ax25::ParseCall(text);
  EXPECT_TRUE(a.has_value()) << text;
  return a.value_or(ax25::AddressRecord{});
}

inline ax25::FrameRecord MakeFrame(int port, const std::string& dest, const std::string& src,
                                   std::vector<std::string> via, ax25::FrameType type,
                                   ax25::CrPf crpf, int nr, int ns, const Bytes& info) {
  ax25::ViaList v{};
  for (std::size_t i = 0; i < via.size(); ++i) v[i] = Call(via[i]);
  return ax25::BuildFrame(port, 0, false, Call(dest), Call(src), v, type, crpf,
                          ax25::kPidNoLayer3, nr, ns, info);
}

// The bytes of a frame as the KISS command byte and the AX.25 frame.
inline Bytes Encoded(const ax25::FrameRecord& frame) {
  auto raw = ax25::EncodeFrame(frame);
  EXPECT_TRUE(raw.has_value());
  if (!raw) return {};
  auto b = raw->bytes();
  return Bytes(b.begin(), b.end());
}

// KISS framing written out independently of the code under test: FEND,
// FEND as FESC TFEND, FESC as FESC TFESC, FEND.
inline Bytes Kiss(const Bytes& frame) {
  Bytes out{0xC0};
  for (std::uint8_t b : frame) {
    if (b == 0xC0) {
      out.insert(out.end(), {0xDB, 0xDC});
    } else if (b == 0xDB) {
      out.insert(out.end(), {0xDB, 0xDD});
    } else {
      out.push_back(b);
    }
  }
  out.push_back(0xC0);
  return out;
}

// The far end of a connection.
class Peer {
 public:
  Peer() = default;
  explicit Peer(int fd) : socket_(fd) {}
  int fd() const { return socket_.fd(); }
  explicit operator bool() const { return bool(socket_); }
  void close() { ::shutdown(socket_.fd(), SHUT_RDWR), socket_ = devices::Socket(); }

  void write(const Bytes& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::send(fd(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      ASSERT_GT(n, 0) << "peer write failed";
      done += static_cast<std::size_t>(n);
    }
  }

  // Reads whatever is there within `waitMs`; empty at the end of the stream
  // or when nothing came.
  Bytes readSome(int waitMs) const {
    pollfd p{fd(), POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return {};
    Bytes buf(65536);
    const ssize_t n = ::recv(fd(), buf.data(), buf.size(), MSG_DONTWAIT);
    buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buf;
  }

  // True when the connection has ended (end of stream or reset).
  bool ended(int waitMs) const {
    pollfd p{fd(), POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return false;
    char c;
    return ::recv(fd(), &c, 1, MSG_DONTWAIT | MSG_PEEK) <= 0;
  }

 private:
  devices::Socket socket_;
};

inline sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

inline std::uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A socket on 127.0.0.1 with a port of its own; listening with the given
// backlog, or only bound (connections to it are refused) for a negative one.
class Listener {
 public:
  explicit Listener(int backlog, int receiveBuffer = 0) {
    socket_ = devices::Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (receiveBuffer > 0)
      ::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in a = Loopback(0);
    EXPECT_EQ(::bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    if (backlog >= 0) {
      EXPECT_EQ(::listen(socket_.fd(), backlog), 0);
    }
  }
  std::uint16_t port() const { return LocalPort(socket_.fd()); }
  int fd() const { return socket_.fd(); }
  // A waiting connection, if one arrives within waitMs.
  Peer accept(int waitMs) const {
    pollfd p{socket_.fd(), POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return Peer();
    return Peer(::accept4(socket_.fd(), nullptr, nullptr, SOCK_CLOEXEC));
  }

 private:
  devices::Socket socket_;
};

// A client connected to 127.0.0.1:port (the handshake completes in the
// kernel, accepted or not).
inline Peer ConnectTo(std::uint16_t port) {
  Peer peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in a = Loopback(port);
  EXPECT_EQ(::connect(peer.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
  return peer;
}

class TcpStation : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tvk_tcp_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    app.reset();
    fs::remove_all(dir);
  }

  // Writes the INI file: TCP/IP as given, the server on `serverPort` ("0":
  // a port the system chooses), TCPCHAN parameters, then `extra` sections.
  void writeIni(const std::string& tcpIp = "Yes", const std::string& serverPort = "0",
                const std::string& extra = "") {
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=N0CALL-1\nTCP/IP=" << tcpIp << "\nPORT=" << serverPort
        << "\nTMPPATH=" << d << "tmp/\nLOGPATH=" << d << "log/\nMESSAGEFILE=" << TARVIK_SOURCE_DIR
        << "/data/TARVIK.MSG\n\n[TCPCHAN]\nTITLE=Net\nWINDOW=4\nPACLEN=200\nT1=5\nRETRY=7\n"
        << extra;
  }

  // Starts the station; the stand-in main window takes the frames.
  void start() {
    core::StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    app->hooks().startTcpServer = devices::StartTcpIp;
    app->hooks().stopTcpServer = devices::StopTcpIp;
    app->hooks().openPort = [](core::App& a, int port) {
      return a.ports()[port].devType == core::kDevTypeTcpIp
                 ? devices::CreateTcpPortWindow(a, port, -1)
                 : ui::kNoWindow;
    };
    app->hooks().encodeAndSend = ax25::EncodeAndSendEvent;
    ASSERT_TRUE(app->Start());
    ui::WindowSpec spec;
    spec.name = "MAIN";
    app->mainWindow = tk.create(spec, std::make_unique<StandInMainWindow>(*app));
  }

  StandInMainWindow& main() { return *tk.findAs<StandInMainWindow>(app->mainWindow); }
  devices::TcpPortWindow* portWindow(int port) {
    return tk.findAs<devices::TcpPortWindow>(app->ports()[port].portWindow);
  }
  std::uint16_t serverPort() {
    auto* server = devices::TcpServer(*app);
    return server ? server->listeningPort() : 0;
  }
  int portState(int port) {
    auto* w = portWindow(port);
    return w ? w->state() : -1;
  }
  bool pumpUntil(const std::function<bool()>& pred) { return tk.pumpUntil(pred, 5000); }

  // Every dialog line shown so far, joined.
  std::string dialogs() const {
    std::string all;
    for (const auto& d : tk.dialogLog())
      for (const auto& line : d.lines) all += line + "\n";
    return all;
  }

  // Reads from the peer, keeping the station running, until `count` KISS
  // frames have arrived or nothing more comes.
  std::vector<Bytes> readFrames(const Peer& peer, std::size_t count) {
    std::vector<Bytes> frames;
    devices::KissDeframer deframer;
    int idle = 0;
    while (frames.size() < count && idle < 100) {
      tk.pump(0);
      const Bytes got = peer.readSome(20);
      idle = got.empty() ? idle + 1 : 0;
      deframer.feed(got, [&](std::span<const std::uint8_t> f) {
        frames.emplace_back(f.begin(), f.end());
      });
    }
    return frames;
  }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
};

}  // namespace tarvik::testing
