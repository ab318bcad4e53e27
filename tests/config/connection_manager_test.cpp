// The connection manager in whole stations: the operator of station A adds a
// KISS port over TCP/IP to station B's TCP/IP server while A runs, connects
// to B through it, saves it, closes it, and finds it again after A starts
// anew. Each station has its own headless toolkit on a stepped clock; the
// TCP connection between them is real (127.0.0.1).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "app/station.h"
#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "channels/main_window.h"
#include "config/connect_forms.h"
#include "config/connection_manager.h"
#include "core/app.h"
#include "devices/tcp_server.h"
#include "ui/cnx_file.h"
#include "ui/list_control.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::config {
namespace {

namespace fs = std::filesystem;

struct Station {
  std::string call;
  fs::path dir;
  std::unique_ptr<ui::HeadlessToolkit> tk;
  std::unique_ptr<ui::UiDriver> driver;
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
  channels::ChannelWindow* channel(int slot) const {
    auto* m = tk->findAs<channels::MainWindow>(app->mainWindow);
    return m ? tk->findAs<channels::ChannelWindow>(m->channels()[slot].channelWindow) : nullptr;
  }
  // The open form of a window number.
  ui::Form* form(int number) const {
    const auto open = forms->windowsOf(number);
    return open.empty() ? nullptr : tk->findAs<ui::Form>(open.front());
  }
};

class ConnectionManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (Station* s : {&a, &b}) Stop(*s);
    for (Station* s : {&a, &b})
      if (!s->dir.empty()) fs::remove_all(s->dir);
  }

  static void Stop(Station& s) {
    if (!s.tk) return;
    for (const ui::WindowId w : s.tk->windows()) s.tk->destroy(w);
    s.app.reset();
    s.forms.reset();
    s.driver.reset();
    s.tk.reset();
  }

  // A whole station with TCP/IP on; `extra` goes into the INI file after
  // [TARVIK] (the first start only: a restart keeps the file as it is).
  void Start(Station& s, const std::string& call, const std::string& extra = {}) {
    const bool first = s.dir.empty();
    s.call = call;
    if (first) {
      s.dir = fs::temp_directory_path() /
              ("tvk_conman_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + call);
      fs::remove_all(s.dir);
      for (const char* sub : {"cnf", "log", "tmp"}) fs::create_directories(s.dir / sub);
      for (const int number : {channels::kChannelWindowNumber, channels::kConnectDialogNumber,
                               channels::kToolboxNumber, kConManNumber, kTcpConnectNumber, kSerialConnectNumber}) {
        const std::string name = ui::DescriptionFileName(number);
        std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
        std::stringstream text;
        text << in.rdbuf();
        std::ofstream(s.dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
      }
      const std::string d = s.dir.string() + "/";
      std::ofstream(s.dir / "TARVIK.INI")
          << "; the station of " << call << "\n[TARVIK]\nMYCALL=" << call << "\nMYNAME=" << call
          << "\nFLAGS=0000000000\nMESSAGEFILE=" << TARVIK_SOURCE_DIR << "/data/TARVIK.MSG\nCNFPATH=" << d
          << "cnf/\nTMPPATH=" << d << "tmp/\nLOGPATH=" << d << "log/\nTCP/IP=Yes\nPORT=0\nLISTEN=127.0.0.1\n"
          << "UNKNOWNKEY=kept\n" << extra
          << "[TCPCHAN]\nTITLE=TCP\nWINDOW=4\nPACLEN=128\nT1=2\nT2=100\nT3=180\nRETRY=10\nL2F=10\n";
    }
    s.tk = std::make_unique<ui::HeadlessToolkit>(ui::HeadlessToolkit::Mode::Manual);
    s.driver = std::make_unique<ui::UiDriver>(*s.tk);
    core::StartupOptions options;
    options.iniPath = (s.dir / "TARVIK.INI").string();
    s.app = std::make_unique<core::App>(*s.tk, options);
    s.forms = ui::InstallForms(*s.app);
    app::BuildStation(*s.app, *s.forms, {});
    ASSERT_TRUE(s.app->Start());
    Station* raw = &s;
    ASSERT_TRUE(RunUntil([raw] { return raw->app->mainWindow != ui::kNoWindow; }));
  }

  // Both stations' clocks in steps of 10 ms, with their sockets.
  bool RunUntil(const std::function<bool()>& pred, long long limitMs = 30'000) {
    for (long long t = 0;; t += 10) {
      for (Station* s : {&a, &b})
        if (s->tk) s->tk->pump(1);
      if (pred()) return true;
      if (t >= limitMs) return false;
      for (Station* s : {&a, &b})
        if (s->tk) s->tk->stepMs(10);
    }
  }

  std::vector<std::string> Do(Station& s, const std::string& request) {
    auto reply = s.driver->execute(request);
    EXPECT_FALSE(reply.empty() || reply.back().rfind("OK", 0) != 0)
        << request << " -> " << (reply.empty() ? "" : reply.back());
    return reply;
  }
  static std::string Win(const ui::Form* f) { return f ? "#" + std::to_string(f->id()) : "#0"; }

  // The lines of the manager's port list.
  std::vector<std::string> PortList(Station& s) {
    ui::Form* manager = s.form(kConManNumber);
    auto* list = manager ? s.tk->findAs<ui::ListControl>(manager->GetCtlWindow(7)) : nullptr;
    return list ? list->Lines() : std::vector<std::string>{};
  }
  // The operator clicks the first line of the port list.
  void SelectFirst(Station& s) {
    ui::Form* manager = s.form(kConManNumber);
    ASSERT_NE(manager, nullptr);
    auto* list = s.tk->findAs<ui::ListControl>(manager->GetCtlWindow(7));
    ASSERT_NE(list, nullptr);
    Do(s, "mouse " + Win(manager) + " LISTE click 20 " + std::to_string(list->RowMiddle(0)));
    RunUntil([&] { return manager->State(0) == 1; }, 2000);  // "SEL"
  }

  std::string Ini(const Station& s) {
    std::ifstream in(s.dir / "TARVIK.INI");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::uint16_t ServerPort(Station& s) {
    auto* server = s.tk->findAs<devices::TcpServerWindow>(devices::FindTcpServer(*s.tk));
    return server ? server->listeningPort() : 0;
  }

  bool Connected(const channels::ChannelWindow* ch) const {
    return ch && ch->sessionState() == channels::SessionState::Connected;
  }

  Station a, b;
};

TEST_F(ConnectionManagerTest, PortAddedAtRunTimeIsUsedSavedClosedAndBackAfterARestart) {
  Start(b, "DB2BBB");
  const std::uint16_t bPort = ServerPort(b);
  ASSERT_NE(bPort, 0);
  Start(a, "DA1AAA");
  const std::string device = "127.0.0.1;" + std::to_string(bPort);

  // The toolbox's CONMAN entry opens the manager; TCP/IP connects to B.
  Do(a, "press #" + std::to_string(a.app->mainWindow) + " CONMAN");
  ui::Form* manager = a.form(kConManNumber);
  ASSERT_NE(manager, nullptr);
  EXPECT_TRUE(PortList(a).empty());
  Do(a, "press " + Win(manager) + " TCPCON");
  ui::Form* tcp = a.form(kTcpConnectNumber);
  ASSERT_NE(tcp, nullptr);
  EXPECT_NE(Do(a, "state " + Win(tcp) + " CONNECT").back().find("enabled=0"), std::string::npos);  // no host yet
  Do(a, "set " + Win(tcp) + " HOST 127.0.0.1");
  Do(a, "set " + Win(tcp) + " PORT " + std::to_string(bPort));
  Do(a, "press " + Win(tcp) + " CONNECT");
  ASSERT_TRUE(RunUntil([&] { return a.forms->windowsOf(kTcpConnectNumber).empty(); }));
  const core::PortRecord& port0 = a.app->ports()[0];
  ASSERT_TRUE(port0.open());
  EXPECT_EQ(port0.device, device);
  ASSERT_TRUE(RunUntil([&] {
    const auto lines = PortList(a);
    return lines.size() == 1 && lines[0].find("up") != std::string::npos;
  }));
  char expected[160];
  std::snprintf(expected, sizeof expected, " 0\t  KISS\t%-40s\t3\t1\tup          ", device.c_str());
  EXPECT_EQ(PortList(a)[0], expected);

  // A connects to B through the new port, with the TCPCHAN parameters.
  const auto slot = channels::OpenOutgoingChannel(*a.app, "DB2BBB");
  ASSERT_TRUE(slot.has_value());
  ASSERT_TRUE(RunUntil([&] { return Connected(a.channel(*slot)) && Connected(b.channel(0)); }));

  // Saved: the port's sections at the end of the INI file, the rest kept.
  const std::string before = Ini(a);
  SelectFirst(a);
  Do(a, "press " + Win(manager) + " CONFSAVE");
  Do(a, "answer 1");
  ASSERT_TRUE(RunUntil([&] { return port0.mark == 0; }, 2000));
  const std::string saved = Ini(a);
  EXPECT_EQ(saved.rfind(before, 0), 0u) << saved;
  EXPECT_NE(saved.find("[P0]\nTITLE=127.0.0.1\nDEVICE=" + device + "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n"),
            std::string::npos)
      << saved;
  EXPECT_NE(PortList(a)[0].find("\t3\t0\t"), std::string::npos);

  // Closed: the port is free and the list is empty.
  const auto openPorts = [](Station& s) {
    return std::count_if(s.app->ports().begin(), s.app->ports().end(),
                         [](const core::PortRecord& p) { return p.open(); });
  };
  const auto bPorts = openPorts(b);
  SelectFirst(a);
  Do(a, "press " + Win(manager) + " DISCON");
  EXPECT_FALSE(port0.open());
  EXPECT_TRUE(PortList(a).empty());
  // B has let go of the connection before A comes back, so that A's new
  // connection is not taken while B still holds the old one.
  ASSERT_TRUE(RunUntil([&] { return openPorts(b) < bPorts; }));

  // A new start of A opens the saved port and reaches B again.
  Stop(a);
  Start(a, "DA1AAA");
  const core::PortRecord& again = a.app->ports()[0];
  EXPECT_EQ(again.device, device);
  ASSERT_TRUE(RunUntil([&] { return again.open() && again.state == core::PortState::Up; }));
  const auto second = channels::OpenOutgoingChannel(*a.app, "DB2BBB");
  ASSERT_TRUE(second.has_value());
  ASSERT_TRUE(RunUntil([&] { return Connected(a.channel(*second)); }));

  // The list follows the port's state: B goes away, the port is down.
  Do(a, "press #" + std::to_string(a.app->mainWindow) + " CONMAN");
  ASSERT_EQ(PortList(a).size(), 1u);
  EXPECT_NE(PortList(a)[0].find("\t3\t0\tup"), std::string::npos) << PortList(a)[0];
  Stop(b);
  ASSERT_TRUE(RunUntil([&] { return PortList(a)[0].find("\t3\t0\tdown") != std::string::npos; }));
}

TEST_F(ConnectionManagerTest, SerialWindowSwitchesBetweenTncAndModemTexts) {
  Start(a, "DA1AAA");
  Do(a, "press #" + std::to_string(a.app->mainWindow) + " CONMAN");
  Do(a, "press " + Win(a.form(kConManNumber)) + " COMCON");
  ui::Form* serial = a.form(kSerialConnectNumber);
  ASSERT_NE(serial, nullptr);
  const std::string w = Win(serial);
  EXPECT_EQ(Do(a, "get " + w + " CTITEL").back(), "OK Init text ");
  EXPECT_EQ(Do(a, "get " + w + " ATITEL").back(), "OK Exit text ");
  Do(a, "check " + w + " TNC 0");
  EXPECT_EQ(serial->State(1), 0);  // "ISTNC"
  EXPECT_EQ(Do(a, "get " + w + " CTITEL").back(), "OK Connect text ");
  EXPECT_EQ(Do(a, "get " + w + " ATITEL").back(), "OK Answer text ");
  // Without a line that can be opened, nothing can be connected.
  const bool lines = Do(a, "items " + w + " DEVICE").size() > 1;  // entries, then "OK"
  EXPECT_EQ(serial->State(0), lines ? 0 : 1);  // "CON"
  Do(a, "press " + w + " EXIT");
  EXPECT_TRUE(a.forms->windowsOf(kSerialConnectNumber).empty());
  EXPECT_FALSE(a.app->ports()[0].open());
}

TEST_F(ConnectionManagerTest, ConnectThatFailsOrIsCancelledLeavesNoPortBehind) {
  Start(a, "DA1AAA");
  Do(a, "press #" + std::to_string(a.app->mainWindow) + " CONMAN");
  ui::Form* manager = a.form(kConManNumber);
  ASSERT_NE(manager, nullptr);

  // Nobody listens on the port of a socket that was closed again.
  Do(a, "press " + Win(manager) + " TCPCON");
  ui::Form* tcp = a.form(kTcpConnectNumber);
  ASSERT_NE(tcp, nullptr);
  Do(a, "set " + Win(tcp) + " HOST 127.0.0.1");
  Do(a, "set " + Win(tcp) + " PORT 1");
  Do(a, "press " + Win(tcp) + " CONNECT");
  EXPECT_TRUE(a.app->ports()[0].open());
  ASSERT_TRUE(RunUntil([&] { return !a.app->ports()[0].open(); }));
  EXPECT_FALSE(a.app->ports()[0].configured());  // nothing left to save
  Do(a, "answer 1");
  ASSERT_TRUE(RunUntil([&] { return a.forms->windowsOf(kTcpConnectNumber).empty(); }, 2000));

  // Cancelled while the connection is pending: the port goes at once. A
  // host that is looked up forever is not needed: the form is cancelled
  // before the first step of the clock.
  Do(a, "press " + Win(manager) + " TCPCON");
  tcp = a.form(kTcpConnectNumber);
  ASSERT_NE(tcp, nullptr);
  Do(a, "set " + Win(tcp) + " HOST 127.0.0.1");
  Do(a, "set " + Win(tcp) + " PORT 1");
  Do(a, "press " + Win(tcp) + " CONNECT");
  ASSERT_TRUE(a.app->ports()[0].open());
  Do(a, "press " + Win(tcp) + " EXIT");
  EXPECT_FALSE(a.app->ports()[0].open());
  EXPECT_FALSE(a.app->ports()[0].configured());
  EXPECT_TRUE(a.forms->windowsOf(kTcpConnectNumber).empty());
  EXPECT_TRUE(PortList(a).empty());

  // Every port taken: the connect windows do not open (message 17).
  for (int p = 0; p < core::kPortCount; ++p) a.app->ports()[p].portWindow = a.app->taskWindow;
  const auto dialogs = a.tk->dialogLog().size();
  Do(a, "press " + Win(manager) + " COMCON");
  EXPECT_TRUE(a.forms->windowsOf(kSerialConnectNumber).empty());
  EXPECT_GT(a.tk->dialogLog().size(), dialogs);
  for (int p = 0; p < core::kPortCount; ++p) a.app->ports()[p].portWindow = ui::kNoWindow;
}

TEST(PortList, LinesAndTheirPorts) {
  EXPECT_EQ(PortListLine(3, ProtocolName(core::kProtocolHost), "COM1:9600,n,8,1;8192,8192", 1, 0, "connecting"),
            " 3\t UNDEF\tCOM1:9600,n,8,1;8192,8192" + std::string(15, ' ') + "\t1\t0\tconnecting  \n");
  const struct {
    int protocol;
    const char* name;
  } names[] = {{0, "NO"}, {1, "KISS"}, {2, "SMACK"}, {3, "UNDEF"}, {4, "RMNC"}, {-1, "UNDEF"}, {99, "UNDEF"}};
  for (const auto& n : names) EXPECT_EQ(ProtocolName(n.protocol), n.name) << n.protocol;
  // A device longer than the column is cut: every line has one length.
  EXPECT_EQ(PortListLine(15, "KISS", std::string(90, 'x'), 3, 1, "down").size(),
            PortListLine(0, "NO", "", 0, 0, "").size());

  core::PortTable ports;
  EXPECT_EQ(PortForConnect(ports), 0);
  ports[0].device = "saved;8001";  // configured but closed: kept for its owner
  ports[1].portWindow = 77;
  EXPECT_EQ(PortForConnect(ports), 2);
  for (int p = 2; p < core::kPortCount; ++p) ports[p].device = "x";
  EXPECT_EQ(PortForConnect(ports), 0);  // only configured ones left: the lowest closed
  for (int p = 0; p < core::kPortCount; ++p) ports[p].portWindow = 77;
  EXPECT_FALSE(PortForConnect(ports).has_value());

  EXPECT_EQ(SerialDeviceOfLine("2:COM3"), "COM3");
  EXPECT_EQ(SerialDeviceOfLine("1:/dev/ttyUSB0"), "/dev/ttyUSB0");
}

}  // namespace
}  // namespace tarvik::config
