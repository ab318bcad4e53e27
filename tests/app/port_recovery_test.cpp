// Whole stations whose KISS over TCP goes away and comes back while they
// run. Station A reaches the air through two outgoing TCP/IP ports to
// listeners of the test on 127.0.0.1; behind the listener of port 0 stands
// station B, which takes each accepted connection as its incoming KISS port
// 0. Stopping that peer (listener and connection gone) and starting it again
// is what a restart of Dire Wolf or of the neighbour station does to A.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/station.h"
#include "ax25/link_window.h"
#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "channels/main_window.h"
#include "channels/monitor_window.h"
#include "ui/fifo_text.h"
#include "core/app.h"
#include "devices/tcp_port.h"
#include "devices/tcp_socket.h"
#include "ui/cnx_file.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::test {
namespace {

namespace fs = std::filesystem;

// A listening socket on 127.0.0.1 that can be stopped and started again on
// the same port, or that refuses (bound, not listening) until it listens.
class PeerListener {
 public:
  explicit PeerListener(std::uint16_t port = 0, bool listening = true) { open(port, listening); }
  void open(std::uint16_t port, bool listening) {
    socket_ = devices::Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(::bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    if (listening) listen();
  }
  void listen() { EXPECT_EQ(::listen(socket_.fd(), 5), 0); }
  void stop() { socket_.reset(); }
  std::uint16_t port() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
  }
  // An accepted connection, or -1 when none is waiting.
  int accept() {
    pollfd p{socket_.fd(), POLLIN, 0};
    if (!socket_ || ::poll(&p, 1, 0) <= 0) return -1;
    return ::accept4(socket_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  }

 private:
  devices::Socket socket_;
};

struct Station {
  fs::path dir;
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
  std::vector<ui::WindowId> opened;
  channels::MainWindow* main() const { return app->toolkit().findAs<channels::MainWindow>(app->mainWindow); }
  channels::ChannelWindow* channel(int slot) const {
    channels::MainWindow* m = main();
    return m ? app->toolkit().findAs<channels::ChannelWindow>(m->channels()[slot].channelWindow) : nullptr;
  }
  const core::PortRecord& port(int n) const { return app->ports()[n]; }
};

class PortRecovery : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const ui::WindowId w : tk.windows()) tk.destroy(w);
    for (Station* s : {&a, &b}) {
      s->app.reset();
      if (!s->dir.empty()) fs::remove_all(s->dir);
    }
  }

  // A whole station as the program builds it; `ports` are its [Pn] sections.
  void Start(Station& s, const std::string& call, const std::string& tcpIp, const std::string& ports) {
    s.dir = fs::temp_directory_path() /
            ("tvk_recovery_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + call);
    fs::remove_all(s.dir);
    for (const char* sub : {"cnf", "log", "tmp"}) fs::create_directories(s.dir / sub);
    for (const int number : {channels::kChannelWindowNumber, channels::kConnectDialogNumber, 1050}) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(s.dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
    const std::string d = s.dir.string() + "/";
    // Links with T1 of 2 s and 10 tries: they outlast an outage of a few
    // seconds.
    const std::string link = "WINDOW=4\nPACLEN=128\nT1=2\nT2=100\nT3=180\nRETRY=10\nL2F=10\n";
    std::ofstream(s.dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=" << call << "\nMYNAME=" << call << "\nFLAGS=0000000000\nMESSAGEFILE="
        << TARVIK_SOURCE_DIR << "/data/TARVIK.MSG\nCNFPATH=" << d << "cnf/\nTMPPATH=" << d
        << "tmp/\nLOGPATH=" << d << "log/\nTCP/IP=" << tcpIp << "\nPORT=0\n"
        << "[TCPCHAN]\nTITLE=TCP\n" << link << ports;
    core::StartupOptions options;
    options.iniPath = (s.dir / "TARVIK.INI").string();
    s.app = std::make_unique<core::App>(tk, options);
    s.forms = ui::InstallForms(*s.app);
    Station* raw = &s;
    app::StationTaps taps;
    taps.channelOpened = [raw](ui::WindowId w) { raw->opened.push_back(w); };
    app::BuildStation(*s.app, *s.forms, std::move(taps));
    ASSERT_TRUE(s.app->Start());
    ASSERT_TRUE(RunUntil([raw] { return raw->app->mainWindow != ui::kNoWindow; }, 5000));
  }

  static std::string ClientPort(int n, const std::string& title, std::uint16_t tcpPort) {
    const std::string p = "[P" + std::to_string(n) + "]";
    return p + "\nTITLE=" + title + "\nDEVICE=127.0.0.1;" + std::to_string(tcpPort) +
           "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n[P" + std::to_string(n) +
           "CHAN0]\nTITLE=Local\nWINDOW=4\nPACLEN=128\nT1=2\nT2=100\nT3=180\nRETRY=10\nL2F=10\n";
  }

  // Station B takes a connection accepted by the peer's listener as its
  // incoming KISS port 0, as its own server would.
  void PeerTakes(int fd) {
    core::PortRecord& record = b.app->ports()[0];
    record.title = "A";
    record.device = "Incomming TCP/IP A";
    record.protocol = core::kProtocolKiss;
    record.devType = core::kDevTypeTcpIp;
    record.channels[0] = b.app->config().TcpChannel();
    ASSERT_NE(devices::CreateTcpPortWindow(*b.app, 0, fd), ui::kNoWindow);
  }
  // The peer stops: its listener and its connection go (reset).
  void StopPeer() {
    peer.stop();
    if (const ui::WindowId w = b.port(0).portWindow; w != ui::kNoWindow) tk.destroy(w);
  }

  // Runs the stepped clock (10 ms a step) with the sockets, and B takes the
  // connections the peer's listener accepts.
  bool RunUntil(const std::function<bool()>& pred, long long limitMs = 30'000) {
    for (long long t = 0;; t += 10) {
      tk.pump(1);
      if (b.app && b.app->mainWindow != ui::kNoWindow) {
        if (const int fd = peer.accept(); fd >= 0) PeerTakes(fd);
        if (const int fd = healthy.accept(); fd >= 0) healthyPeer = devices::Socket(fd);
      }
      if (pred()) return true;
      if (t >= limitMs) return false;
      tk.stepMs(10);
      elapsedMs += 10;
    }
  }
  void Run(long long ms) {
    RunUntil([] { return false; }, ms);
  }

  bool Connected(const channels::ChannelWindow* ch) const {
    return ch && ch->sessionState() == channels::SessionState::Connected;
  }
  // The channel A opens to B by a connect text, once both ends are up.
  channels::ChannelWindow* ConnectAToB() {
    const auto slot = channels::OpenOutgoingChannel(*a.app, "DB2BBB");
    EXPECT_TRUE(slot.has_value());
    if (!slot) return nullptr;
    EXPECT_TRUE(RunUntil([&] { return Connected(a.channel(*slot)) && Connected(b.channel(0)); }));
    return a.channel(*slot);
  }
  void Collect(channels::ChannelWindow* ch) {
    ch->setObserver({.data = [this](std::span<const std::uint8_t> bytes) {
      received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }});
  }
  std::string StatusField(int field) {
    const auto reply = driver.execute("status");
    const std::string prefix = "= " + std::to_string(field) + " ";
    for (const auto& line : reply)
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    return {};
  }
  std::string ChannelStateLine(const channels::ChannelWindow* ch) {
    return ch->GetCtlText(channels::kChStatus);
  }

  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  ui::UiDriver driver{tk};
  Station a, b;
  PeerListener peer;
  PeerListener healthy;
  devices::Socket healthyPeer;
  std::string received;
  long long elapsedMs = 0;
};

TEST_F(PortRecovery, APeerStoppedForThreeSecondsComesBackAndTheConnectionGoesOn) {
  Start(b, "DB2BBB", "No", "");
  Start(a, "DA1AAA", "Yes", ClientPort(0, "Peer", peer.port()) + ClientPort(1, "Other", healthy.port()));
  ASSERT_TRUE(RunUntil([&] { return b.port(0).open() && a.port(0).state == core::PortState::Up; }));
  ASSERT_TRUE(RunUntil([&] { return StatusField(2) == "P0 up P1 up"; }, 2000)) << StatusField(2);
  const ui::WindowId otherPort = a.port(1).portWindow;
  channels::ChannelWindow* ca = ConnectAToB();
  ASSERT_TRUE(ca);
  Collect(b.channel(0));
  ca->SendText("before the outage\r");
  ASSERT_TRUE(RunUntil([&] { return received.find("before the outage\r") != std::string::npos; }));
  a.main()->Command(channels::kToolMonitor);
  auto* monitor = tk.findAs<channels::MonitorWindow>(channels::FindMonitorWindow(tk));
  ASSERT_TRUE(monitor);

  // The peer stops: port 0 is down at once and says why, once; the channel
  // on it shows that its TNC is gone; what is typed meanwhile is not sent
  // into nothing.
  const std::uint16_t peerPort = peer.port();
  StopPeer();
  const long long stopped = elapsedMs;
  ASSERT_TRUE(RunUntil([&] { return a.port(0).state == core::PortState::Down; }, 2000));
  EXPECT_EQ(tk.statusField(0), "Port 0 (Peer) lost: Connection reset by peer");
  const auto* link = tk.findAs<ax25::LinkWindow>(ca->link());
  ASSERT_TRUE(link);
  const ax25::LinkStatistics before = link->block().statistics;
  ca->SendText("during the outage\r");
  EXPECT_TRUE(RunUntil([&] { return a.port(0).framesDropped > 0; }, 5000));
  // What the lost port dropped was never sent: the link's counters stand.
  EXPECT_EQ(link->block().statistics.sentI, before.sentI);
  EXPECT_EQ(link->block().statistics.sentBytes, before.sentBytes);
  ASSERT_TRUE(RunUntil([&] { return ChannelStateLine(ca) == "No TNC"; }, 2000)) << ChannelStateLine(ca);
  EXPECT_EQ(StatusField(2), "P0 down P1 up");
  EXPECT_TRUE(Connected(ca));
  // A channel whose connect dialog is open has no port under it yet: its
  // state line does not speak of the lost one.
  a.main()->Command(channels::kToolConnect);
  channels::ChannelWindow* waiting = a.channel(1);
  ASSERT_TRUE(waiting);
  Run(2500);
  EXPECT_EQ(ChannelStateLine(waiting), "Ready");
  tk.destroy(waiting->id());

  // Three seconds later the peer is back on its port; A finds it with the
  // try it is waiting for.
  Run(stopped + 3000 - elapsedMs);
  peer.open(peerPort, true);
  const long long restarted = elapsedMs;
  auto* window = tk.findAs<devices::TcpPortWindow>(a.port(0).portWindow);
  ASSERT_TRUE(window);
  const int bound = window->retryPauseMs() + 500;
  ASSERT_TRUE(RunUntil([&] { return a.port(0).state == core::PortState::Up; }, 10'000));
  EXPECT_LE(elapsedMs - restarted, bound);
  EXPECT_THAT(tk.statusField(0), ::testing::StartsWith("Port 0 (Peer) back after "));

  // The connection goes on where it was: the line of the outage arrives,
  // once, and so does the next.
  ASSERT_TRUE(RunUntil([&] { return received.find("during the outage\r") != std::string::npos; }));
  ca->SendText("after the outage\r");
  ASSERT_TRUE(RunUntil([&] { return received.find("after the outage\r") != std::string::npos; }));
  EXPECT_EQ(received, "before the outage\rduring the outage\rafter the outage\r");
  EXPECT_TRUE(Connected(ca));
  ASSERT_TRUE(RunUntil([&] { return ChannelStateLine(ca) == "Ready"; }, 2000)) << ChannelStateLine(ca);
  ASSERT_TRUE(RunUntil([&] { return StatusField(2) == "P0 up P1 up"; }, 2000)) << StatusField(2);

  // The healthy port was never touched; nothing asked the operator.
  EXPECT_EQ(a.port(1).portWindow, otherPort);
  EXPECT_EQ(a.port(1).framesDropped, 0u);
  EXPECT_TRUE(tk.dialogLog().empty());
  // The monitor has the loss and the return between the frames.
  std::vector<std::string> notices;
  if (const ui::FifoText* pane = ui::FindFifo(tk, monitor->textPane())) {
    const ui::FifoLines& lines = pane->lines();
    for (int i = 0; i < lines.count(); ++i) {
      const std::string& text = lines.slot(lines.oldest() + i).text;
      if (text.rfind("Port 0", 0) == 0) notices.push_back(text);
    }
  }
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0], "Port 0 (Peer) lost: Connection reset by peer");
  EXPECT_THAT(notices[1], ::testing::StartsWith("Port 0 (Peer) back after "));
}

TEST_F(PortRecovery, AStationStartedBeforeItsPeerSaysSoOnceAndConnectsWhenThePeerIsThere) {
  peer = PeerListener(0, false);  // refuses until it listens
  Start(b, "DB2BBB", "No", "");
  Start(a, "DA1AAA", "Yes", ClientPort(0, "Peer", peer.port()) + ClientPort(1, "Other", healthy.port()));
  ASSERT_TRUE(RunUntil([&] { return a.port(0).state == core::PortState::Down && a.port(1).state == core::PortState::Up; }));
  ASSERT_EQ(tk.dialogLog().size(), 1u);
  EXPECT_THAT(tk.dialogLog()[0].lines[0], ::testing::HasSubstr("Port Peer (127.0.0.1;" + std::to_string(peer.port())));

  // The connect dialog offers every port with its state. A connect on the
  // port that is down is refused at once, naming the port; the dialog stays.
  a.main()->Command(channels::kToolConnect);
  const std::vector<ui::WindowId> dialogs = a.forms->windowsOf(channels::kConnectDialogNumber);
  ASSERT_EQ(dialogs.size(), 1u);
  const std::string dialog = "#" + std::to_string(dialogs.front());
  const auto items = driver.execute("items " + dialog + " PORT");
  EXPECT_THAT(items, ::testing::Contains(::testing::EndsWith(" 0:Peer (down)")));
  EXPECT_THAT(items, ::testing::Contains(::testing::EndsWith("* 1:Other (up)")));  // the first port that is up is chosen
  EXPECT_EQ(driver.execute("select " + dialog + " PORT 0").back(), "OK");
  EXPECT_EQ(driver.execute("set " + dialog + " STATION DB2BBB").back(), "OK");
  EXPECT_EQ(driver.execute("press " + dialog + " OK").back(), "OK");
  RunUntil([&] { return tk.dialogLog().size() == 2; }, 1000);
  ASSERT_EQ(tk.dialogLog().size(), 2u);
  EXPECT_THAT(tk.dialogLog()[1].lines[0], ::testing::HasSubstr("Port Peer (127.0.0.1;" + std::to_string(peer.port()) +
                                                               ") is down (no TNC):"));
  EXPECT_THAT(tk.dialogLog()[1].lines[1], ::testing::HasSubstr("DB2BBB"));
  EXPECT_TRUE(tk.exists(dialogs.front()));

  // Ten seconds after the station the peer starts; the port is back within
  // the pause it was waiting, and the same dialog connects.
  Run(10'000 - elapsedMs);
  peer.listen();
  const long long started = elapsedMs;
  auto* window = tk.findAs<devices::TcpPortWindow>(a.port(0).portWindow);
  ASSERT_TRUE(window);
  const int bound = window->retryPauseMs() + 500;
  ASSERT_TRUE(RunUntil([&] { return a.port(0).state == core::PortState::Up && b.port(0).open(); }, 20'000));
  EXPECT_LE(elapsedMs - started, bound);
  EXPECT_EQ(driver.execute("press " + dialog + " OK").back(), "OK");
  ASSERT_TRUE(RunUntil([&] { return Connected(a.channel(0)) && Connected(b.channel(0)); }));
  Collect(b.channel(0));
  a.channel(0)->SendText("hello after the wait\r");
  ASSERT_TRUE(RunUntil([&] { return received == "hello after the wait\r"; })) << received;
  EXPECT_EQ(tk.dialogLog().size(), 2u);
}

}  // namespace
}  // namespace tarvik::test
