// The link state machine as frame exchanges: frames and events in, frames
// and reports out.
#include <fstream>
#include <sstream>

#include "link_fixture.h"

namespace tarvik::test {
namespace {

using S = std::vector<LinkStatus>;

class LinkStateTest : public LinkFixture {};

TEST_F(LinkStateTest, AcceptedLinkStartsConnectedAndAcknowledgesAfterT2) {
  Load();
  Accept();
  EXPECT_EQ(lcb().state, ax25::LinkState::Connected);
  EXPECT_EQ(lcb().statistics.receivedSABM, 1);
  EXPECT_EQ(lcb().statistics.sentUA, 1);
  EXPECT_EQ(lcb().t3Count.ticks, 180);
  Run({
      {"I ns0 nr0 cmd", {}},
      {"ms 1499", {}},
      {"ms 1", {"RR nr1 res"}},            // T2 ran out: the acknowledgement
      {"I ns1 nr0 cmd", {}},
      {"I ns2 nr0 cmd P", {"RR nr3 res F"}},  // a poll is answered at once, T2 cancelled
      {"ms 5000", {}},
      {"RR nr0 cmd P", {"RR nr3 res F"}},
  });
  EXPECT_EQ(owner->data, "datadatadata");
  EXPECT_EQ(lcb().statistics.receivedI, 3);
  EXPECT_EQ(lcb().statistics.receivedBytes, 12);
}

TEST_F(LinkStateTest, WindowOfFourSendsFourFramesThenWaitsForTheAcknowledgement) {
  Load();  // WINDOW 4, PACLEN 128
  Accept();
  Run({
      {"send 600", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd"}},
      {"send 10", {}},  // the window is full
  });
  EXPECT_EQ(lcb().t1Count.ticks, 10);
  EXPECT_EQ(owner->drained, 0);
  Do("RR nr2 res");
  // The acknowledgement freed two places: the rest of the queue, cut at PACLEN.
  ASSERT_EQ(task->frames.size(), 1u);
  EXPECT_EQ(Describe(task->frames[0]), "I ns4 nr0 cmd");
  EXPECT_EQ(task->frames[0].infoLength(), 98);  // 600 + 10 - 4 * 128
  task->frames.clear();
  EXPECT_EQ(owner->drained, 1);
  Run({{"RR nr5 res", {}}});
  EXPECT_EQ(lcb().t1Count.ticks, -1);  // nothing outstanding: T1 stopped
  EXPECT_EQ(lcb().statistics.sentI, 5);
  EXPECT_EQ(lcb().statistics.sentBytes, 610);
}

TEST_F(LinkStateTest, SendQueueCutsAcrossChunksAtPaclen) {
  ax25::SendQueue q;
  const std::vector<std::uint8_t> a(100, 'a'), b(100, 'b'), c(30, 'c');
  q.append(a);
  q.append(b);
  q.append(c);
  auto first = q.take(128);
  EXPECT_EQ(first.size(), 128u);
  EXPECT_EQ(first[99], 'a');
  EXPECT_EQ(first[100], 'b');
  auto second = q.take(128);
  ASSERT_EQ(second.size(), 102u);  // 72 b, 30 c
  EXPECT_EQ(second.front(), 'b');
  EXPECT_EQ(second.back(), 'c');
  EXPECT_TRUE(q.empty());
}

TEST_F(LinkStateTest, OutOfSequenceFramesGiveExactlyOneReject) {
  Load();
  Accept();
  Run({
      {"I ns2 nr0 cmd", {"REJ nr0 res"}},
      {"I ns3 nr0 cmd", {}},
      {"I ns0 nr0 cmd", {}},        // the missing frame ends the reject condition
      {"I ns1 nr0 cmd", {}},
      {"ms 1500", {"RR nr2 res"}},
      {"I ns1 nr0 cmd", {}},        // the frame just taken, heard again: dropped
      {"I ns4 nr0 cmd P", {"REJ nr2 res F"}},  // a poll out of sequence: REJ as the answer
  });
  EXPECT_EQ(owner->data, "datadata");
  EXPECT_EQ(lcb().statistics.resentBytesReceived, 4);
}

TEST_F(LinkStateTest, RejectFromThePeerSendsTheOutstandingFramesAgain) {
  Load();
  Accept();
  Run({
      {"send 300", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"REJ nr1 res", {"I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"RR nr3 res", {}},
  });
  EXPECT_EQ(owner->statuses, (S{LinkStatus::PeerReject, LinkStatus::PeerReady}));
  EXPECT_EQ(lcb().statistics.resentBytesSent, 128 + 44);
}

TEST_F(LinkStateTest, FrameRejectPaths) {
  Load();
  Accept();
  Run({
      {"send 10", {"I ns0 nr0 cmd"}},
      {"RR nr3 res", {"FRMR cmd"}},  // N(R) 3 acknowledges frames never sent: reason Z
  });
  EXPECT_EQ(lcb().state, ax25::LinkState::FrameReject);
  // Rejected control byte, V(R)·32 + V(S)·2 + 0x10 for a response, Z.
  EXPECT_EQ(lcb().frmrInfo[0], 0x61);
  EXPECT_EQ(lcb().frmrInfo[1], 0x12);
  EXPECT_EQ(lcb().frmrInfo[2], ax25::kFrmrZ);
  // The invalid N(R) released nothing.
  EXPECT_TRUE(lcb().sentFrames[0].has_value());
  Run({
      {"RR nr1 res", {"FRMR cmd"}},  // anything but SABM, DISC, DM: the FRMR again
      {"tick 10", {"FRMR cmd"}},     // and on T1
      {"SABM cmd P", {"UA res F"}},  // the peer sets the link up again
  });
  EXPECT_EQ(lcb().state, ax25::LinkState::Connected);
  EXPECT_EQ(lcb().vs, 0);
  EXPECT_FALSE(lcb().sentFrames[0].has_value());

  Run({{"SILL cmd", {"FRMR cmd"}}});  // an undefined supervisory frame: reason W
  EXPECT_EQ(lcb().frmrInfo[0], 0x0D);
  EXPECT_EQ(lcb().frmrInfo[1], 0x00);
  EXPECT_EQ(lcb().frmrInfo[2], ax25::kFrmrW);
  Run({{"DM res F", {}}});
  EXPECT_EQ(owner->statuses.back(), LinkStatus::Refused);
}

TEST_F(LinkStateTest, FrmrFromThePeerSetsTheLinkUpAgain) {
  Load();
  Accept();
  Run({
      {"send 300", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"FRMR res", {}},
      {"tick 1", {"SABM cmd P"}},
      {"UA res F", {}},
  });
  EXPECT_EQ(lcb().state, ax25::LinkState::Connected);
  EXPECT_EQ(lcb().vs, 0);
  EXPECT_EQ(lcb().statistics.receivedFRMR, 1);
}

TEST_F(LinkStateTest, DiscEndsTheLinkAndHeldReportsComeOutAsSeven) {
  Load();
  Accept();
  Run({{"hold 1", {}}, {"DISC cmd", {"UA res F"}}});  // final set whatever the poll bit
  EXPECT_EQ(owner->statuses, S{});
  ASSERT_EQ(task->texts.size(), 1u);
  EXPECT_EQ(task->texts[0], "Disconnected by DL1ABC");
  Do("hold 0");
  EXPECT_EQ(owner->statuses, S{LinkStatus::Disconnected});
}

TEST_F(LinkStateTest, UiFrameOnTheLinkIsShownWithCarriageReturnsAsBlanks) {
  Load();
  Accept();
  Rx(Peer("UI cmd", "hello\rworld"));
  ASSERT_EQ(task->texts.size(), 1u);
  EXPECT_EQ(task->texts[0], "UI DL1ABC: hello world");
}

TEST_F(LinkStateTest, RepeatedSabmIsAnsweredWithoutReset) {
  Load();
  Accept();
  Run({
      {"send 10", {"I ns0 nr0 cmd"}},
      {"SABM cmd P", {"UA res F"}},  // our UA was lost: the link stays as it is
  });
  EXPECT_EQ(lcb().vs, 1);
  EXPECT_TRUE(lcb().sentFrames[0].has_value());
  Run({
      {"send 600", {"I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd"}},
      {"RR nr1 res", {"I ns4 nr0 cmd"}},
      {"SABM cmd P", {"UA res F"}},  // once the peer has spoken, a SABM resets
  });
  EXPECT_EQ(lcb().vs, 0);
  EXPECT_EQ(lcb().va, 0);
  EXPECT_TRUE(lcb().sendQueue.empty());
  for (const auto& held : lcb().sentFrames) EXPECT_FALSE(held.has_value());
}

TEST_F(LinkStateTest, LateUaOnARunningLinkChangesNothing) {
  Load();
  Accept();
  Run({{"send 10", {"I ns0 nr0 cmd"}}, {"UA res F", {}}});
  EXPECT_EQ(lcb().vs, 1);
  EXPECT_TRUE(lcb().sentFrames[0].has_value());
}

TEST_F(LinkStateTest, ConnectRequestSendsSabmAndQueuedDataGoesOutWhenUp) {
  Load();
  Connect();
  EXPECT_EQ(lcb().state, ax25::LinkState::Connecting);
  Run({
      {"send 300", {}},
      {"I ns0 nr0 cmd", {}},  // ignored while connecting
      {"tick 1", {"SABM cmd P"}},
      {"UA res F", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
  });
  EXPECT_EQ(owner->statuses, (S{LinkStatus::PeerReady, LinkStatus::Connected}));
  EXPECT_FALSE(lcb().connectTime.empty());
  EXPECT_EQ(lcb().statistics.sentSABM, 1);
}

TEST_F(LinkStateTest, SabmCollisionWhileConnectingKeepsTheQueuedData) {
  Load();
  Connect();
  Run({
      {"send 100", {}},
      {"tick 1", {"SABM cmd P"}},
      {"SABM cmd P", {"UA res F", "I ns0 nr0 cmd"}},
  });
  EXPECT_EQ(owner->statuses, (S{LinkStatus::SabmReceived, LinkStatus::Connected}));
}

struct ConnectCase {
  int retry;
  std::vector<Step> steps;
};

class ConnectRetryTest : public LinkFixture, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectRetryTest, UnansweredSabmsEndWithDmAndStatusFive) {
  ChannelConfig c;
  c.retry = GetParam().retry;
  Load(c);
  Connect();
  Run(GetParam().steps);
  EXPECT_EQ(owner->statuses, S{LinkStatus::ConnectFailed});
}

INSTANTIATE_TEST_SUITE_P(
    Retries, ConnectRetryTest,
    ::testing::Values(ConnectCase{3,
                                  {{"tick 1", {"SABM cmd P"}},
                                   {"tick 9", {}},
                                   {"tick 1", {"SABM cmd P"}},
                                   {"tick 10", {"SABM cmd P"}},
                                   {"tick 9", {}},
                                   {"tick 1", {"DM res F"}}}},
                      ConnectCase{0, {{"tick 1", {"DM res F"}}}}));

TEST_F(LinkStateTest, RefusedConnectionReportsSix) {
  Load();
  Connect();
  Run({{"tick 1", {"SABM cmd P"}}, {"DM res F", {}}});
  EXPECT_EQ(owner->statuses, S{LinkStatus::Refused});
}

TEST_F(LinkStateTest, OwnBusyAnnouncesRnrAndDropsIFrames) {
  Load();
  Accept();
  Run({
      {"busy", {"RNR nr0 cmd P"}},
      {"I ns0 nr0 cmd", {}},
      {"RR nr0 res F", {}},
      {"busy", {"RR nr0 cmd P"}},
      {"I ns0 nr0 cmd", {}},
  });
  EXPECT_EQ(owner->data, "data");
}

TEST_F(LinkStateTest, PeerBusyHoldsTheSenderUntilItIsReady) {
  Load();
  Accept();
  Run({
      {"RNR nr0 res", {}},
      {"send 100", {}},
      {"RNR nr0 cmd P", {"RR nr0 res F"}},
  });
  Run({
      {"tick 20", {}},
      {"RR nr0 res", {"I ns0 nr0 cmd"}},  // ready again: the queue goes out
  });
  EXPECT_EQ(owner->statuses, (S{LinkStatus::PeerBusy, LinkStatus::PeerReady}));
}

TEST_F(LinkStateTest, EighthUnacknowledgedFrameIsDroppedAndAcknowledgedAtOnce) {
  Load();
  Accept();
  for (int ns = 0; ns < 7; ++ns) Do("I ns" + std::to_string(ns) + " nr0 cmd");
  EXPECT_EQ(Sent(), std::vector<std::string>{});
  Run({
      {"I ns7 nr0 cmd", {"RR nr7 res"}},  // dropped; our N(R) tells the peer where we are
      {"I ns7 nr0 cmd", {}},              // sent again, taken
  });
  EXPECT_EQ(owner->data.size(), 8u * 4);
  EXPECT_EQ(lcb().ownReceive, ax25::Receive::Ready);
}

TEST_F(LinkStateTest, LinkInfoItems) {
  ChannelConfig c;
  c.paclen = 200;
  Load(c);
  Accept();
  EXPECT_EQ(ax25::LinkInfo(tk, link, 2), "DL1ZZZ-1");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 3), "DL1ABC");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 4), "144.800");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 6), "0");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 7), "0");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 8), "200");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 1), std::nullopt);
  ax25::LinkCommand(tk, link, ax25::LinkCommandCode::SetQrg, 0, "438.100");
  EXPECT_EQ(ax25::LinkInfo(tk, link, 4), "438.100");
  EXPECT_TRUE(ax25::LinkSendUI(tk, link, "beacon"));
  ASSERT_EQ(task->frames.size(), 1u);
  EXPECT_EQ(Describe(task->frames[0]), "UI cmd");
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(LinkStateTest, StatisticsReportFile) {
  Load();
  std::tm tm{};
  tm.tm_year = 126, tm.tm_mon = 2, tm.tm_mday = 7, tm.tm_hour = 9, tm.tm_min = 5, tm.tm_isdst = -1;
  tk.setTime(ui::Clock::from_time_t(std::mktime(&tm)));
  Accept();
  const fs::path path = dir / "stat.txt";
  ASSERT_EQ(ax25::LinkInfo(tk, link, 0, path.string()), "");
  EXPECT_EQ(ReadFile(path),
            "Connection\n"
            "DL1ABC <-> DL1ZZZ-1\n"
            "07.03.2026 09:05 - 07.03.2026 09:05\n\n"
            "Packet Statistik\n"
            "Typ    rvc   snd        Typ    rcv   snd\n"
            "----------------------------------------\n"
            "RR       0     0       FRMR      0     0\n"
            "RNR      0     0       SABM      1     0\n"
            "REJ      0     0       UA        0     1\n"
            "I        0     0\n\n"
            "Data         rcv        snd\n"
            "----------------------------------------\n"
            "               0          0   Bytes\n"
            "resend         0          0   Bytes\n");
  // A second report replaces the first.
  Do("I ns0 nr0 cmd P");
  tk.stepMinutes(3);
  ASSERT_EQ(ax25::LinkInfo(tk, link, 0, path.string()), "");
  const std::string second = ReadFile(path);
  EXPECT_NE(second.find("07.03.2026 09:05 - 07.03.2026 09:08\n"), std::string::npos);
  EXPECT_NE(second.find("RR       0     1       FRMR"), std::string::npos);
  EXPECT_NE(second.find("I        1     0\n"), std::string::npos);
  EXPECT_NE(second.find("               4          0   Bytes\n"), std::string::npos);
  EXPECT_EQ(second.find("Connection", 1), std::string::npos);
  // A path that cannot be written: nothing.
  EXPECT_EQ(ax25::LinkInfo(tk, link, 0, (dir / "no/such/dir/x").string()), std::nullopt);
}

TEST_F(LinkStateTest, TransparentLinkPassesBytesBetweenChannelAndPort) {
  ChannelConfig c;
  c.protocol = "NONE";
  Load(c);
  Connect();
  EXPECT_EQ(owner->statuses, S{LinkStatus::Connected});
  EXPECT_EQ(app->ports()[0].transparentLink, link);
  Do("send 700");
  ASSERT_EQ(port->bytes.size(), 2u);
  EXPECT_EQ(port->bytes[0].size(), 618u);
  EXPECT_EQ(port->bytes[1].size(), 82u);
  auto in = std::make_unique<ax25::RawFrameBuffer>();
  in->assign(std::vector<std::uint8_t>{'h', 'i'});
  tk.sendUser(link, ax25::kEvtTransparentData, 0, std::move(in));
  EXPECT_EQ(owner->data, "hi");
  Do("I ns0 nr0 cmd P");  // no link layer here
  Do("tick 200");
  EXPECT_TRUE(task->frames.empty());
  tk.destroy(link);
  EXPECT_EQ(app->ports()[0].transparentLink, ui::kNoWindow);
}

TEST_F(LinkStateTest, TicksArePassedOnToTheOwner) {
  Load();
  Accept();
  Tick(3);
  EXPECT_EQ(owner->ticks, 3);
}

}  // namespace
}  // namespace tarvik::test
