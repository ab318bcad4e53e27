// Routing of received frames in the main window: acceptance into channel
// slots, delivery to the links, refusal, digipeating and the ping answer.
#include "station_fixture.h"

namespace tarvik::test {
namespace {

class RouterTest : public StationFixture {};

TEST_F(RouterTest, SabmToAnOwnCallOpensAChannelAndIsAnsweredWithFinalEqualToPoll) {
  Load();
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll, {"DB0RPT*"}));
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::UA);
  EXPECT_EQ(out[0].crpf, CrPf::ResponseFinal);
  EXPECT_EQ(out[0].destination.call, "DL1ABC");
  EXPECT_EQ(ax25::FormatCall(out[0].source), "DL1ZZZ-1");
  EXPECT_EQ(out[0].via[0].call, "DB0RPT");
  EXPECT_FALSE(out[0].via[0].cbit);

  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(Slot(0).channelWindow, opened[0]);
  EXPECT_EQ(Slot(0).remote.call, "DL1ABC");
  EXPECT_EQ(ax25::FormatCall(Slot(0).own), "DL1ZZZ-1");
  auto* link = tk.findAs<ax25::LinkWindow>(Slot(0).linkWindow);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->block().state, ax25::LinkState::Connected);
  auto* channel = tk.findAs<channels::ChannelOwner>(opened[0]);
  EXPECT_EQ(channel->sessionState(), channels::SessionState::Connected);
  EXPECT_EQ(channel->remoteText(), "DL1ABC");

  // Without poll the UA has no final; the second own SSID is one of ours too.
  Receive(Frame("DL2XYZ", "DL1ZZZ-2", FrameType::SABM, CrPf::Command));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::UA);
  EXPECT_EQ(out[0].crpf, CrPf::Response);
  EXPECT_TRUE(Slot(1).inUse());
}

TEST_F(RouterTest, FramesOfAChannelReachItsLinkAndItsEndFreesTheSlot) {
  Load();
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll));
  TakeSent();
  std::string data;
  tk.findAs<channels::ChannelOwner>(opened[0])->setObserver(
      {[&data](std::span<const std::uint8_t> b) { data.append(b.begin(), b.end()); }, {}, {}});
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::I, CrPf::CommandPoll, {}, "hello", 0, 0));
  EXPECT_EQ(data, "hello");
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::RR);
  EXPECT_EQ(out[0].nr, 1);

  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::DISC, CrPf::CommandPoll));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::UA);
  tk.pump();  // the channel ends through its post; its window keeps the text
  const auto* ended = tk.findAs<channels::ChannelWindow>(opened[0]);
  EXPECT_TRUE(!ended || ended->ended());
  EXPECT_FALSE(Slot(0).inUse());
  EXPECT_TRUE(Slot(0).remote.empty());
  // The station is a stranger again: its next I frame gets DM.
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::I, CrPf::Command));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::DM);
}

TEST_F(RouterTest, NinthConnectionIsRefused) {
  Load();
  for (int i = 0; i < 8; ++i)
    Receive(Frame("DL" + std::to_string(i) + "AAA", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll));
  EXPECT_EQ(TakeSent().size(), 8u);
  Receive(Frame("DL9AAA", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll));
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::DM);
  EXPECT_EQ(out[0].crpf, CrPf::ResponseFinal);
  EXPECT_EQ(opened.size(), 8u);
}

struct RefusalCase {
  const char* name;
  std::string ini;  // extra [TARVIK] lines
  bool listenOnly;
  std::string from, to;
  FrameType answer;  // None: no answer
};

class RouterRefusalTest : public StationFixture,
                          public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RouterRefusalTest, FirstFrameFromAStation) {
  Load(GetParam().ini);
  main->setListenOnly(GetParam().listenOnly);
  Receive(Frame(GetParam().from, GetParam().to, FrameType::SABM, CrPf::CommandPoll));
  auto out = TakeSent();
  if (GetParam().answer == FrameType::None) {
    EXPECT_TRUE(out.empty());
  } else {
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].type, GetParam().answer);
  }
  EXPECT_EQ(opened.size(), GetParam().answer == FrameType::UA ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RouterRefusalTest,
    ::testing::Values(RefusalCase{"ListenOnly", "", true, "DL1ABC", "DL1ZZZ-1", FrameType::DM},
                      RefusalCase{"RcallOther", "RCALL=DL1ABC\n", false, "DL1XYZ", "DL1ZZZ-1",
                                  FrameType::DM},
                      RefusalCase{"RcallMatch", "RCALL=DL1ABC\n", false, "DL1ABC", "DL1ZZZ-1",
                                  FrameType::UA},
                      RefusalCase{"SsidNotEnabled", "", false, "DL1ABC", "DL1ZZZ-3",
                                  FrameType::None},
                      RefusalCase{"OtherStation", "", false, "DL1ABC", "DB0XYZ",
                                  FrameType::None}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(RouterTest, SecondSabmOfAStationGoesToItsChannelAndOtherSsidsAreRefused) {
  Load();
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll));
  TakeSent();
  // Our UA was lost: the repeated SABM reaches the link, which answers it.
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll));
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::UA);
  EXPECT_EQ(tk.findAs<ax25::LinkWindow>(Slot(0).linkWindow)->block().statistics.receivedSABM, 2);
  // The same station to our other SSID: DM.
  Receive(Frame("DL1ABC", "DL1ZZZ-2", FrameType::SABM, CrPf::CommandPoll));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::DM);
  EXPECT_EQ(opened.size(), 1u);
  // With listen only on, the existing channel is still served.
  main->setListenOnly(true);
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::RR, CrPf::CommandPoll));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::RR);
  EXPECT_EQ(out[0].crpf, CrPf::ResponseFinal);
}

TEST_F(RouterTest, StrangersGetDmExceptForUaAndDm) {
  Load();
  for (FrameType t : {FrameType::I, FrameType::RR, FrameType::DISC, FrameType::UI}) {
    Receive(Frame("DL1ABC", "DL1ZZZ-1", t, CrPf::CommandPoll));
    auto out = TakeSent();
    ASSERT_EQ(out.size(), 1u) << static_cast<int>(t);
    EXPECT_EQ(out[0].type, FrameType::DM);
    EXPECT_EQ(out[0].crpf, CrPf::ResponseFinal);
  }
  for (FrameType t : {FrameType::UA, FrameType::DM}) {
    Receive(Frame("DL1ABC", "DL1ZZZ-1", t, CrPf::ResponseFinal));
    EXPECT_TRUE(TakeSent().empty());
  }
}

TEST_F(RouterTest, FrameNamingUsAsNextDigipeaterIsRepeatedAtOnce) {
  Load();
  Receive(Frame("DL1ABC", "DB0XYZ", FrameType::SABM, CrPf::CommandPoll, {"DL1ZZZ-1", "DB0RPT"}));
  EXPECT_TRUE(TakeSent().empty());  // straight to the port, not through the task window
  ASSERT_EQ(port->frames.size(), 1u);
  const FrameRecord& f = port->frames[0];
  EXPECT_EQ(f.type, FrameType::SABM);
  EXPECT_EQ(f.destination.call, "DB0XYZ");
  EXPECT_TRUE(f.via[0].cbit);
  EXPECT_FALSE(f.via[1].cbit);
  EXPECT_EQ(f.via[1].call, "DB0RPT");
  EXPECT_FALSE(Slot(0).inUse());

  // A frame for us, but still to be repeated by someone else first: nothing.
  Receive(Frame("DL1ABC", "DL1ZZZ-1", FrameType::SABM, CrPf::CommandPoll, {"DB0RPT", "DL1ZZZ-1"}));
  // Our second SSID is not the digipeater address.
  Receive(Frame("DL1ABC", "DB0XYZ", FrameType::SABM, CrPf::CommandPoll, {"DL1ZZZ-2"}));
  // Already repeated by us: its next hop is elsewhere.
  Receive(Frame("DL1ABC", "DB0XYZ", FrameType::I, CrPf::Command, {"DL1ZZZ-1*", "DB0RPT"}));
  EXPECT_TRUE(TakeSent().empty());
  EXPECT_EQ(port->frames.size(), 1u);
  EXPECT_TRUE(opened.empty());
}

TEST_F(RouterTest, PingIsAnsweredWithTheStationNameAlongTheReversedPath) {
  Load();
  Receive(Frame("DL1ABC", "TARVK", FrameType::UI, CrPf::CommandPoll, {"DB0AAA*", "DB0BBB*"}, "ping"));
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  const FrameRecord& f = out[0];
  EXPECT_EQ(f.type, FrameType::UI);
  EXPECT_EQ(f.crpf, CrPf::ResponseFinal);
  EXPECT_EQ(f.pid, 0xF0);
  EXPECT_EQ(f.destination.call, "DL1ABC");
  EXPECT_EQ(ax25::FormatCall(f.source), "DL1ZZZ-1");
  EXPECT_EQ(f.via[0].call, "DB0BBB");
  EXPECT_EQ(f.via[1].call, "DB0AAA");
  EXPECT_EQ(std::string(f.info.begin(), f.info.end()), "Tarvik station Tester");
  Receive(Frame("DL1ABC", "TARVK", FrameType::UI, CrPf::Command));
  out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].crpf, CrPf::Response);
  // A ping still on its way through a digipeater is not answered yet.
  Receive(Frame("DL1ABC", "TARVK", FrameType::UI, CrPf::Command, {"DB0AAA"}));
  EXPECT_TRUE(TakeSent().empty());
}

TEST_F(RouterTest, OutgoingChannelConnectsThroughItsSlot) {
  Load();
  ax25::ConnectRequest r;
  r.remote = Call("DB0BOX");
  r.own = Call("DL1ZZZ-1");
  r.qrg = "438.100";
  const auto slot = channels::OpenOutgoingChannel(*app, r);
  ASSERT_EQ(slot, 0);
  EXPECT_EQ(Slot(0).remote.call, "DB0BOX");
  ASSERT_EQ(opened.size(), 1u);
  auto* channel = tk.findAs<channels::ChannelOwner>(opened[0]);
  EXPECT_EQ(channel->sessionState(), channels::SessionState::SettingUp);
  EXPECT_EQ(ax25::LinkInfo(tk, Slot(0).linkWindow, 4), "438.100");
  tk.stepSeconds(1);  // the heartbeat's first tick sends the SABM
  auto out = TakeSent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].type, FrameType::SABM);
  EXPECT_EQ(out[0].destination.call, "DB0BOX");
  Receive(Frame("DB0BOX", "DL1ZZZ-1", FrameType::UA, CrPf::ResponseFinal));
  EXPECT_EQ(channel->sessionState(), channels::SessionState::Connected);
  // A second channel to the same station may use the other SSID.
  r.own = Call("DL1ZZZ-2");
  EXPECT_EQ(channels::OpenOutgoingChannel(*app, r), 1);
  // Refused: the channel closes itself and frees its slot.
  Receive(Frame("DB0BOX", "DL1ZZZ-2", FrameType::DM, CrPf::ResponseFinal));
  tk.pump();
  EXPECT_FALSE(Slot(1).inUse());
  EXPECT_TRUE(Slot(0).inUse());
}

}  // namespace
}  // namespace tarvik::test
