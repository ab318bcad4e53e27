// The TCP/IP server: accepted connections as KISS ports, the 17th
// connection, switching TCP/IP on and off, and shutdown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include "tcp_fixture.h"

namespace tarvik::testing {
namespace {

// Stands for a port opened by another driver (a serial TNC).
struct OtherPortWindow : ui::Window {
  void onEvent(ui::Event&) override {}
};

class TcpServer : public TcpStation {
 protected:
  ui::WindowId occupy(int port) {
    ui::WindowSpec spec;
    spec.name = "OTHER";
    const ui::WindowId w = tk.create(spec, std::make_unique<OtherPortWindow>());
    app->ports()[port].portWindow = w;
    return w;
  }
  int tcpPortWindows() {
    int n = 0;
    for (const core::PortRecord& p : app->ports()) n += tk.findAs<devices::TcpPortWindow>(p.portWindow) != nullptr;
    return n;
  }
};

// What the resolver calls 127.0.0.1, or the dotted address when it has no name.
std::string LoopbackName() {
  const sockaddr_in a = Loopback(0);
  char name[NI_MAXHOST] = {};
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, name, sizeof name, nullptr, 0,
                    NI_NAMEREQD) != 0)
    return "127.0.0.1";
  return std::string(name).substr(0, 31);
}

TEST_F(TcpServer, AcceptedConnectionBecomesKissPortOnLowestFreePort) {
  writeIni();
  start();
  ASSERT_NE(serverPort(), 0);
  occupy(0);
  app->ports()[1].title = "old";
  app->ports()[1].protocol = core::kProtocolNone;

  Peer peer = ConnectTo(serverPort());
  ASSERT_TRUE(pumpUntil([&] { return app->ports()[1].open(); }));
  const core::PortRecord& record = app->ports()[1];
  EXPECT_EQ(portState(1), devices::kTcpConnected);
  EXPECT_EQ(record.protocol, core::kProtocolKiss);
  EXPECT_EQ(record.devType, core::kDevTypeTcpIp);
  EXPECT_EQ(record.channels[0], app->config().TcpChannel());
  EXPECT_EQ(record.channels[0].paclen, 200);
  // The title is the peer's name once the lookup is back; the device text
  // follows it.
  ASSERT_TRUE(pumpUntil([&] { return record.title == LoopbackName(); }));
  EXPECT_EQ(record.device, "Incomming TCP/IP " + record.title);

  const auto in = MakeFrame(0, "N0CALL-1", "DL2XYZ-2", {"DB0AA-7"}, ax25::FrameType::I,
                            ax25::CrPf::CommandPoll, 1, 2, {'h', 'i', 0xDB});
  peer.write(Kiss(Encoded(in)));
  ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 1; }));
  EXPECT_EQ(main().frames[0].port, 1);
  EXPECT_EQ(ax25::FormatCall(main().frames[0].source), "DL2XYZ-2");
  EXPECT_EQ(main().frames[0].info, (Bytes{'h', 'i', 0xDB}));

  const auto out = MakeFrame(1, "DL2XYZ-2", "N0CALL-1", {"DB0AA-7"}, ax25::FrameType::RR,
                             ax25::CrPf::ResponseFinal, 3, 0, {});
  ax25::SendFrame(*app, out);
  const auto frames = readFrames(peer, 1);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Encoded(out));

  peer.close();
  ASSERT_TRUE(pumpUntil([&] { return !app->ports()[1].open(); }));
  EXPECT_TRUE(tk.dialogLog().empty());
}

TEST_F(TcpServer, SeventeenthConnectionWaitsUntilAPortIsFree) {
  // Ports freed by a TCP/IP port closing are taken at once; ports freed by
  // another driver's window are found within a second.
  for (const bool freedByTcp : {true, false}) {
    SCOPED_TRACE(freedByTcp ? "freed by a TCP/IP port" : "freed by another port");
    writeIni();
    start();
    std::vector<Peer> clients;
    std::vector<ui::WindowId> others;
    for (int n = 0; n < core::kPortCount; ++n) {
      if (freedByTcp) {
        clients.push_back(ConnectTo(serverPort()));
        ASSERT_TRUE(pumpUntil([&] { return app->ports()[n].open(); }));
      } else {
        others.push_back(occupy(n));
      }
    }
    Peer waiting = ConnectTo(serverPort());
    ASSERT_TRUE(pumpUntil([&] { return devices::TcpServer(*app)->waiting(); }));
    for (int i = 0; i < 5; ++i) tk.pump(10);
    EXPECT_EQ(tcpPortWindows(), freedByTcp ? 16 : 0);
    EXPECT_FALSE(waiting.ended(0));  // not refused either

    constexpr int kFreed = 7;
    const ui::WindowId before = app->ports()[kFreed].portWindow;
    if (freedByTcp) {
      clients[kFreed].close();
    } else {
      tk.destroy(others[kFreed]);
      app->ports()[kFreed].portWindow = ui::kNoWindow;
      tk.pump(10);
      EXPECT_FALSE(app->ports()[kFreed].open());
      tk.stepSeconds(1);
    }
    ASSERT_TRUE(pumpUntil([&] {
      return app->ports()[kFreed].portWindow != before && portState(kFreed) == devices::kTcpConnected;
    }));
    EXPECT_FALSE(devices::TcpServer(*app)->waiting());

    const auto ui = MakeFrame(0, "CQ", "DL2XYZ", {}, ax25::FrameType::UI, ax25::CrPf::Command, 0,
                              0, {'1', '7'});
    waiting.write(Kiss(Encoded(ui)));
    ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 1; }));
    EXPECT_EQ(main().frames[0].port, kFreed);
    app.reset();
  }
}

TEST_F(TcpServer, TcpIpSettingSwitchesServerAndOutgoingPorts) {
  const std::pair<std::string, bool> cases[] = {
      {"Yes", true}, {"ja", true}, {"J", true}, {"No", false}, {"X", false}, {"", false}};
  for (const auto& [setting, on] : cases) {
    SCOPED_TRACE("TCP/IP=" + setting);
    writeIni(setting, "0", "[P2]\nDEVICE=127.0.0.1;1\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n");
    start();
    EXPECT_EQ(devices::FindTcpServer(tk) != ui::kNoWindow, on);
    EXPECT_EQ(app->ports()[2].open(), on);
    app.reset();
    EXPECT_EQ(devices::FindTcpServer(tk), ui::kNoWindow);
  }
}

TEST_F(TcpServer, ListensOnLoopbackUnlessTheListenSettingOpensIt) {
  struct Case {
    std::string listen;   // LISTEN in [TARVIK]; empty: no such line
    std::string address;  // what the server is bound to
  };
  const Case cases[] = {{"", "127.0.0.1"}, {"0.0.0.0", "0.0.0.0"}, {" 127.0.0.1 ", "127.0.0.1"}};
  for (const Case& c : cases) {
    writeIni();
    if (!c.listen.empty()) {
      std::ifstream in(dir / "TARVIK.INI");
      std::string text((std::istreambuf_iterator<char>(in)), {});
      text.insert(text.find('\n') + 1, "LISTEN=" + c.listen + "\n");
      std::ofstream(dir / "TARVIK.INI") << text;
    }
    start();
    auto* server = devices::TcpServer(*app);
    ASSERT_NE(server, nullptr) << c.listen;
    EXPECT_EQ(server->listeningAddress(), c.address) << c.listen;
    Peer peer = ConnectTo(serverPort());
    EXPECT_TRUE(pumpUntil([&] { return tcpPortWindows() == 1; })) << c.listen;
    app.reset();
  }
  EXPECT_TRUE(tk.dialogLog().empty());

  // An address that is none: the server cannot listen and says so.
  writeIni();
  std::ifstream in(dir / "TARVIK.INI");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  text.insert(text.find('\n') + 1, "LISTEN=localhost.example\n");
  std::ofstream(dir / "TARVIK.INI") << text;
  start();
  EXPECT_EQ(serverPort(), 0);
  ASSERT_EQ(tk.dialogLog().size(), 1u);
  EXPECT_THAT(dialogs(), ::testing::HasSubstr("\nCan't assign requested address"));
}

TEST_F(TcpServer, ListeningPortInUseIsReportedAndOutgoingPortsStillWork) {
  Listener taken(5);
  writeIni("Yes", std::to_string(taken.port()));
  start();
  ASSERT_EQ(tk.dialogLog().size(), 1u);
  EXPECT_THAT(dialogs(), ::testing::HasSubstr("cannot listen on port " + std::to_string(taken.port()) + ":"));
  EXPECT_THAT(dialogs(), ::testing::HasSubstr("\nAddress already in use"));
  EXPECT_EQ(serverPort(), 0);

  // An outgoing port without a port of its own connects to the PORT
  // setting, here the peer that holds it.
  app->ports()[4].device = "127.0.0.1";
  const ui::WindowId w = devices::CreateTcpPortWindow(*app, 4, -1);
  ASSERT_NE(w, ui::kNoWindow);
  EXPECT_EQ(app->ports()[4].portWindow, w);
  EXPECT_EQ(portWindow(4)->portText(), std::to_string(taken.port()));
  EXPECT_TRUE(pumpUntil([&] { return portState(4) == devices::kTcpConnected; }));
  EXPECT_TRUE(taken.accept(2000));
  devices::CloseTcpPort(*app, w);
  EXPECT_FALSE(app->ports()[4].open());
  EXPECT_FALSE(tk.exists(w));
}

TEST_F(TcpServer, ShutdownClosesConnectionsAndTheListeningSocket) {
  writeIni();
  start();
  const std::uint16_t port = serverPort();
  Peer peer = ConnectTo(port);
  ASSERT_TRUE(pumpUntil([&] { return app->ports()[0].open(); }));
  app.reset();
  EXPECT_TRUE(peer.ended(2000));

  Peer late(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in a = Loopback(port);
  EXPECT_NE(::connect(late.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(errno, ECONNREFUSED);
}

}  // namespace
}  // namespace tarvik::testing
