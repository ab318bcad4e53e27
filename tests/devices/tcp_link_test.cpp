// Outgoing TCP/IP ports: connecting, KISS frames both ways, failures and the
// connect time limit, and a peer that stops reading.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "devices/tcp_errors.h"
#include "tcp_fixture.h"

namespace tarvik::testing {
namespace {

constexpr int kPort = 3;

std::string DeviceFor(const std::string& host, std::uint16_t port) {
  return "[P3]\nTITLE=Net\nDEVICE=" + host + ";" + std::to_string(port) +
         "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n";
}

class OutgoingPort : public TcpStation {
 protected:
  // Starts the station with port 3 connecting to `host`:port and, when
  // `peerListener` listens, accepts the connection there.
  Peer startConnected(const Listener& listener, const std::string& host = "127.0.0.1") {
    writeIni("Yes", "0", DeviceFor(host, listener.port()));
    start();
    Peer peer;
    EXPECT_TRUE(pumpUntil([&] { return portState(kPort) == devices::kTcpConnected; }));
    peer = listener.accept(2000);
    EXPECT_TRUE(peer);
    return peer;
  }
};

TEST_F(OutgoingPort, CarriesKissFramesBothWaysByteExact) {
  Listener listener(5);
  // A host name goes through the lookup on its worker thread.
  Peer peer = startConnected(listener, "localhost");
  ASSERT_TRUE(peer);
  auto* window = portWindow(kPort);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->countdown(), -1);
  EXPECT_EQ(window->portText(), std::to_string(listener.port()));

  // Out: FEND and FESC inside the frame are escaped, one FEND each side.
  const Bytes info{'a', 0xC0, 'b', 0xDB, 'c', 0xDB, 0xDC};
  ax25::FrameRecord ui =
      MakeFrame(kPort, "APZTVK", "DL1ABC-3", {"DB0AA-7"}, ax25::FrameType::UI,
                ax25::CrPf::Command, 0, 0, info);
  const Bytes expected = Kiss(Encoded(ui));
  ax25::SendFrame(*app, ui);
  Bytes got;
  while (got.size() < expected.size()) {
    const Bytes more = peer.readSome(2000);
    ASSERT_FALSE(more.empty());
    got.insert(got.end(), more.begin(), more.end());
  }
  EXPECT_EQ(got, expected);

  // In: two frames in one block, then one frame split over two blocks.
  const auto sabm = MakeFrame(0, "N0CALL-1", "DL2XYZ", {}, ax25::FrameType::SABM,
                              ax25::CrPf::CommandPoll, 0, 0, {});
  const auto iframe = MakeFrame(0, "N0CALL-1", "DL2XYZ", {"DB0AA"}, ax25::FrameType::I,
                                ax25::CrPf::Command, 3, 5, {0xC0, 0xDB, 'x'});
  const auto rr = MakeFrame(0, "N0CALL-1", "DL2XYZ", {}, ax25::FrameType::RR,
                            ax25::CrPf::ResponseFinal, 6, 0, {});
  Bytes joined = Kiss(Encoded(sabm));
  const Bytes second = Kiss(Encoded(iframe));
  joined.insert(joined.end(), second.begin(), second.end());
  peer.write(joined);
  ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 2; }));

  const Bytes third = Kiss(Encoded(rr));
  const std::size_t half = third.size() / 2;
  const std::uint64_t before = window->bytesReceived();
  peer.write(Bytes(third.begin(), third.begin() + static_cast<std::ptrdiff_t>(half)));
  ASSERT_TRUE(pumpUntil([&] { return window->bytesReceived() == before + half; }));
  EXPECT_EQ(main().frames.size(), 2u);
  peer.write(Bytes(third.begin() + static_cast<std::ptrdiff_t>(half), third.end()));
  ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 3; }));

  const auto& f = main().frames;
  for (const auto& frame : f) EXPECT_EQ(frame.port, kPort);
  EXPECT_EQ(f[0].type, ax25::FrameType::SABM);
  EXPECT_EQ(f[0].crpf, ax25::CrPf::CommandPoll);
  EXPECT_EQ(ax25::FormatCall(f[0].source), "DL2XYZ");
  EXPECT_EQ(ax25::FormatCall(f[0].destination), "N0CALL-1");
  EXPECT_EQ(f[1].type, ax25::FrameType::I);
  EXPECT_EQ(f[1].nr, 3);
  EXPECT_EQ(f[1].ns, 5);
  EXPECT_EQ(ax25::FormatCall(f[1].via[0]), "DB0AA");
  EXPECT_EQ(f[1].info, (Bytes{0xC0, 0xDB, 'x'}));
  EXPECT_EQ(f[2].type, ax25::FrameType::RR);
  EXPECT_EQ(f[2].crpf, ax25::CrPf::ResponseFinal);
  EXPECT_EQ(f[2].nr, 6);
  EXPECT_TRUE(tk.dialogLog().empty());
}

TEST_F(OutgoingPort, FramesHandedOverWhileConnectingGoOutOnceConnected) {
  Listener listener(5);
  writeIni("Yes", "0", DeviceFor("127.0.0.1", listener.port()));
  start();
  // Nothing has been pumped: the lookup has not even come back.
  ASSERT_EQ(portState(kPort), devices::kTcpLookingUp);
  const auto sabm = MakeFrame(kPort, "DL2XYZ", "N0CALL-1", {}, ax25::FrameType::SABM,
                              ax25::CrPf::CommandPoll, 0, 0, {});
  ax25::SendFrame(*app, sabm);
  ASSERT_TRUE(pumpUntil([&] { return portState(kPort) == devices::kTcpConnected; }));
  Peer peer = listener.accept(2000);
  ASSERT_TRUE(peer);
  const auto frames = readFrames(peer, 1);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Encoded(sabm));
}

TEST_F(OutgoingPort, RefusedConnectionIsToldOnceAndTriedAgainUntilThePeerIsThere) {
  Listener bound(-1);  // bound but not listening: connections are refused
  writeIni("Yes", "0", DeviceFor("127.0.0.1", bound.port()));
  start();
  const ui::WindowId window = app->ports()[kPort].portWindow;
  ASSERT_NE(window, ui::kNoWindow);
  ASSERT_TRUE(pumpUntil([&] { return portWindow(kPort)->retryPending(); }));
  // The port is named by its title and where it leads, the reason in words.
  ASSERT_EQ(tk.dialogLog().size(), 1u);
  EXPECT_THAT(dialogs(), ::testing::HasSubstr("Port Net (127.0.0.1;" + std::to_string(bound.port()) + "): \n"));
  EXPECT_THAT(dialogs(), ::testing::HasSubstr("\nTCP/IP connection failed: Connection refused\n"));
  // The port stays, down, and tries again: the pause doubles up to a minute.
  EXPECT_EQ(app->ports()[kPort].portWindow, window);
  EXPECT_EQ(app->ports()[kPort].shownState(), core::PortState::Down);
  // Each try is refused again; the next waits twice as long, up to a
  // minute, each pause varied by at most a tenth.
  for (const int pause : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}) {
    auto* w = portWindow(kPort);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return w->retryPending() && w->state() == devices::kTcpWaiting; })) << pause;
    EXPECT_GE(w->retryPauseMs(), pause - pause / 10) << pause;
    EXPECT_LE(w->retryPauseMs(), pause + pause / 10) << pause;
    tk.stepMs(w->retryPauseMs());
    ASSERT_FALSE(w->retryPending()) << pause;
  }
  ASSERT_TRUE(pumpUntil([&] { return portWindow(kPort)->retryPending(); }));
  EXPECT_EQ(tk.dialogLog().size(), 1u);  // told once

  // The peer starts listening: the next try connects, and the operator
  // learns that the port is back.
  ASSERT_EQ(::listen(bound.fd(), 5), 0);
  tk.stepMs(portWindow(kPort)->retryPauseMs());
  ASSERT_TRUE(pumpUntil([&] { return portState(kPort) == devices::kTcpConnected; }));
  EXPECT_EQ(app->ports()[kPort].shownState(), core::PortState::Up);
  EXPECT_THAT(tk.statusField(0), ::testing::StartsWith("Port 3 (Net) back after "));
  EXPECT_EQ(tk.dialogLog().size(), 1u);
}

TEST_F(OutgoingPort, ConnectionThatDoesNotComeUpInFortySecondsIsTriedAgain) {
  // A listener with a full backlog drops further connection requests, so the
  // port's connect stays pending without any network beyond loopback.
  Listener full(0);
  Peer filler = ConnectTo(full.port());
  writeIni("Yes", "0", DeviceFor("127.0.0.1", full.port()));
  start();
  ASSERT_TRUE(pumpUntil([&] { return portState(kPort) == devices::kTcpConnecting; }));
  EXPECT_EQ(portWindow(kPort)->countdown(), 40);
  EXPECT_EQ(app->ports()[kPort].shownState(), core::PortState::Connecting);
  tk.pump(20);
  tk.stepSeconds(39);
  ASSERT_EQ(portState(kPort), devices::kTcpConnecting);
  EXPECT_EQ(portWindow(kPort)->countdown(), 1);
  EXPECT_EQ(tk.beeps(), 0);
  tk.stepSeconds(1);
  EXPECT_EQ(tk.beeps(), 1);
  // The task window ignores a TCP/IP port's closed report: no message. The
  // port stays, down, and tries again.
  EXPECT_TRUE(tk.dialogLog().empty());
  ASSERT_TRUE(app->ports()[kPort].open());
  EXPECT_EQ(app->ports()[kPort].shownState(), core::PortState::Down);
  EXPECT_TRUE(portWindow(kPort)->retryPending());
  tk.stepMs(1200);
  ASSERT_TRUE(pumpUntil([&] { return portState(kPort) == devices::kTcpConnecting; }));
}

TEST_F(OutgoingPort, LostConnectionIsToldAndComesBackWithoutTheFramesOfTheOutage) {
  Listener listener(5);
  Peer peer = startConnected(listener);
  ASSERT_TRUE(peer);
  const ui::WindowId window = app->ports()[kPort].portWindow;
  const auto ui = MakeFrame(0, "CQ", "DL2XYZ", {}, ax25::FrameType::UI, ax25::CrPf::Command, 0,
                            0, {'b', 'y', 'e'});
  peer.write(Kiss(Encoded(ui)));
  peer.close();
  // The last frame still counts; then the port is down, told once.
  ASSERT_TRUE(pumpUntil([&] { return app->ports()[kPort].shownState() == core::PortState::Down; }));
  ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 1; }));
  EXPECT_EQ(main().frames[0].info, (Bytes{'b', 'y', 'e'}));
  EXPECT_EQ(tk.statusField(0), "Port 3 (Net) lost: closed by the other end");
  EXPECT_TRUE(tk.dialogLog().empty());
  EXPECT_EQ(app->ports()[kPort].portWindow, window);

  // Frames for the port while it is down are counted, not sent.
  const auto lost = MakeFrame(kPort, "DL2XYZ", "N0CALL-1", {}, ax25::FrameType::UI,
                              ax25::CrPf::Command, 0, 0, {'l', 'o', 's', 't'});
  ax25::SendFrame(*app, lost);
  EXPECT_EQ(app->ports()[kPort].framesDropped, 1u);

  // One second later the port tries again and is back; frames flow.
  ASSERT_LE(portWindow(kPort)->retryPauseMs(), 1100);
  tk.stepMs(portWindow(kPort)->retryPauseMs());
  ASSERT_TRUE(pumpUntil([&] { return app->ports()[kPort].shownState() == core::PortState::Up; }));
  Peer again = listener.accept(2000);
  ASSERT_TRUE(again);
  EXPECT_EQ(tk.statusField(0), "Port 3 (Net) back after 1 s");
  const auto after = MakeFrame(kPort, "DL2XYZ", "N0CALL-1", {}, ax25::FrameType::UI,
                               ax25::CrPf::Command, 0, 0, {'n', 'e', 'w'});
  ax25::SendFrame(*app, after);
  const auto frames = readFrames(again, 1);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], Encoded(after));
  tk.pump(20);
  EXPECT_TRUE(again.readSome(100).empty());  // the frame of the outage does not follow late
  again.write(Kiss(Encoded(ui)));
  ASSERT_TRUE(pumpUntil([&] { return main().frames.size() == 2; }));
  EXPECT_TRUE(tk.dialogLog().empty());
}

TEST_F(OutgoingPort, PeerThatStopsReadingLosesNothingUpToTheBoundThenWholeFrames) {
  Listener listener(5, 4096);
  Peer peer = startConnected(listener);
  ASSERT_TRUE(peer);
  auto* window = portWindow(kPort);

  // Numbered frames until the socket would block, then enough to pass the
  // bound of the output queue. Nothing is pumped meanwhile, so the queue
  // cannot drain.
  auto frameNo = [](int n) {
    Bytes info(200, static_cast<std::uint8_t>(n));
    info[0] = static_cast<std::uint8_t>(n >> 16);
    info[1] = static_cast<std::uint8_t>(n >> 8);
    info[2] = static_cast<std::uint8_t>(n);
    info[3] = 0xC0;  // escaped: the encoding is longer than the frame
    return MakeFrame(kPort, "DL2XYZ", "N0CALL-1", {}, ax25::FrameType::UI, ax25::CrPf::Command,
                     0, 0, info);
  };
  int sent = 0;
  while (window->pendingOutput() == 0 && sent < 200000) ax25::SendFrame(*app, frameNo(sent++));
  ASSERT_GT(window->pendingOutput(), 0u) << "the socket never filled up";
  EXPECT_EQ(window->droppedFrames(), 0u);
  while (window->droppedFrames() < 10) ax25::SendFrame(*app, frameNo(sent++));
  EXPECT_LE(window->pendingOutput(), devices::kTcpMaxPendingOutput);

  // The peer reads again: every frame up to the first dropped one arrives,
  // in order and intact, and the next frame after the queue has drained
  // follows them directly.
  const std::size_t kept = static_cast<std::size_t>(sent) - window->droppedFrames();
  const auto frames = readFrames(peer, kept);
  ASSERT_EQ(frames.size(), kept);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    ASSERT_EQ(frames[i], Encoded(frameNo(static_cast<int>(i)))) << "frame " << i;
  }
  EXPECT_EQ(window->pendingOutput(), 0u);
  ax25::SendFrame(*app, frameNo(sent));
  const auto next = readFrames(peer, 1);
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0], Encoded(frameNo(sent)));
}

TEST_F(OutgoingPort, UnknownEventIsReported) {
  Listener listener(5);
  Peer peer = startConnected(listener);
  // Message answers are taken silently.
  tk.sendUser(app->ports()[kPort].portWindow, core::kAnswerBase + 1);
  tk.pump(0);
  EXPECT_EQ(tk.statusField(0), "");
  tk.sendUser(app->ports()[kPort].portWindow, 4711);
  tk.pump(0);
  EXPECT_EQ(tk.statusField(0), "Unhandled window event: TCPIP 4711");
}

TEST(TcpDevice, DeviceStringGivesHostAndPort) {
  struct Case {
    std::string device, host, portText;
  };
  const Case cases[] = {
      {"127.0.0.1;8001", "127.0.0.1", "8001"},
      {"db0abc.ampr.org ; 8002 # the node", "db0abc.ampr.org", "8002"},
      {"127.0.0.1", "127.0.0.1", ""},
      {"127.0.0.1;", "127.0.0.1", ""},
      {"127.0.0.1;#8001", "127.0.0.1", ""},
      {std::string(70, 'h') + ";123456789012345", std::string(63, 'h'), "12345678901"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const devices::TcpDevice d = devices::ParseTcpDevice(c.device);
    EXPECT_EQ(d.host, c.host) << c.device;
    EXPECT_EQ(d.portText, c.portText) << c.device;
  }
}

}  // namespace
}  // namespace tarvik::testing
