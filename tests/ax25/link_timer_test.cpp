// Timers and recovery: T1, T2, T3, the set-up and release countdowns,
// retransmission and retry exhaustion, path scaling, disconnects with data
// still on its way, and the DAMA slave under a scripted master.
#include "ax25/frame_codec.h"
#include "link_fixture.h"

namespace tarvik::test {
namespace {

using S = std::vector<LinkStatus>;

class LinkTimerTest : public LinkFixture {};

TEST_F(LinkTimerTest, UnansweredFrameIsRepeatedThenPolledThenTheLinkIsReleased) {
  Load();  // T1 10, RETRY 3
  Accept();
  Run({
      {"send 10", {"I ns0 nr0 cmd"}},
      {"tick 9", {}},
      {"tick 1", {"I ns0 nr0 cmd P"}},  // the single frame again, with poll
      {"tick 4", {}},
      {"tick 1", {"RR nr0 cmd P"}},  // every repeat after half of T1
      {"tick 5", {"RR nr0 cmd P"}},
      {"tick 5", {"DISC cmd P"}},  // retries out: the disconnect starts and DISC goes in the same tick
  });
  EXPECT_EQ(owner->statuses, S{LinkStatus::Disconnecting});
  // The single repeat is neither counted nor held twice.
  EXPECT_EQ(lcb().statistics.sentI, 1);
  Run({
      {"tick 5", {"DISC cmd P"}},
      {"tick 5", {"DISC cmd P"}},
      {"tick 5", {"UA res F"}},  // no answer to the DISCs either
  });
  EXPECT_EQ(owner->statuses, (S{LinkStatus::Disconnecting, LinkStatus::Disconnected}));
}

TEST_F(LinkTimerTest, PollAnswerSendsWhatThePeerMissed) {
  Load();
  Accept();
  Run({
      {"send 300", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"tick 10", {"RR nr0 cmd P"}},  // more than one outstanding: ask
      {"RR nr1 res F", {"I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"RR nr3 res", {}},
  });
  EXPECT_EQ(lcb().t1Count.ticks, -1);
  EXPECT_FALSE(lcb().recovery);
  EXPECT_EQ(lcb().t1Retries, 0);
}

TEST_F(LinkTimerTest, FlagOneRepeatsOnlyTheOldestFrame) {
  ChannelConfig c;
  c.flags = "0100000000";
  Load(c);
  Accept();
  Run({
      {"send 300", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"tick 10", {"RR nr0 cmd P"}},
      {"RR nr1 res F", {"I ns1 nr0 cmd"}},
  });
}

TEST_F(LinkTimerTest, FlagZeroSendsThePendingAcknowledgementBeforeNewFrames) {
  ChannelConfig c;
  c.flags = "1000000000";
  Load(c);
  Accept();
  Run({
      {"I ns0 nr0 cmd", {}},  // T2 starts
      {"send 10", {"RR nr1 res", "I ns0 nr1 cmd"}},
      {"ms 5000", {}},  // T2 was cancelled
  });
}

TEST_F(LinkTimerTest, NewFramesCarryThePendingAcknowledgement) {
  Load();
  Accept();
  Run({
      {"I ns0 nr0 cmd", {}},
      {"send 10", {"I ns0 nr1 cmd"}},
      {"ms 5000", {}},
  });
}

TEST_F(LinkTimerTest, IdleLinkIsPolledAfterT3) {
  Load();
  Accept();
  Run({
      {"tick 179", {}},
      {"tick 1", {"RR nr0 cmd P"}},
      {"RR nr0 res F", {}},
  });
  EXPECT_EQ(lcb().t3Count.ticks, 180);
  EXPECT_EQ(lcb().t1Count.ticks, -1);
  // A peer that never answers: T1 repeats the poll, then the link is released.
  Run({{"tick 180", {"RR nr0 cmd P"}},
       {"tick 10", {"RR nr0 cmd P"}},
       {"tick 5", {"RR nr0 cmd P"}},
       {"tick 5", {"RR nr0 cmd P"}},
       {"tick 5", {"DISC cmd P"}}});
}

TEST_F(LinkTimerTest, DigipeatedPathScalesTheTimers) {
  ChannelConfig c;
  c.t1 = 10;
  c.t2 = 1000;
  c.t3 = 180;
  c.l2f = 15;
  Load(c);
  peerVia[0] = *ax25::ParseCall("DB0AAA");
  peerVia[1] = *ax25::ParseCall("DB0BBB");
  Accept();
  EXPECT_EQ(lcb().t1, 15);
  EXPECT_EQ(lcb().t2, 1500);
  EXPECT_EQ(lcb().t3, 270);
  // Our frames go back the way the peer's came.
  EXPECT_EQ(lcb().via[0].call, "DB0BBB");
  EXPECT_EQ(lcb().via[1].call, "DB0AAA");
  Run({{"I ns0 nr0 cmd", {}}, {"ms 1499", {}}, {"ms 1", {"RR nr1 res"}}});
}

TEST_F(LinkTimerTest, UnsetPathFactorLeavesTheTimersAsConfigured) {
  ChannelConfig c;
  c.l2f = 0;
  Load(c);
  peerVia[0] = *ax25::ParseCall("DB0AAA");
  Accept();
  EXPECT_EQ(lcb().t1, 10);
  EXPECT_EQ(lcb().t3, 180);
}

TEST_F(LinkTimerTest, RetryZeroReleasesOnTheFirstT1Expiry) {
  ChannelConfig c;
  c.retry = 0;
  Load(c);
  Accept();
  Run({{"send 10", {"I ns0 nr0 cmd"}}, {"tick 10", {"UA res F"}}});
  EXPECT_EQ(owner->statuses, (S{LinkStatus::Disconnecting, LinkStatus::Disconnected}));
}

// A link that gives up has no command to answer, but DM and UA exist only as
// responses: on the air the destination's C bit is clear and the source's
// set (a "DM command" is read as another frame by the peer's decoder).
TEST_F(LinkTimerTest, GivingUpSendsDmAndUaOnTheAirAsResponses) {
  struct Case {
    bool connecting;
    FrameType type;
    std::uint8_t control;
  };
  for (const Case& c : {Case{true, FrameType::DM, 0x1F}, Case{false, FrameType::UA, 0x73}}) {
    SCOPED_TRACE(TypeName(c.type));
    ChannelConfig config;
    config.retry = 0;
    Load(config);
    if (c.connecting) {
      Connect();
      Tick(1);
    } else {
      Accept();
      Do("disc now");
      Tick(1);
    }
    ASSERT_FALSE(task->frames.empty());
    const FrameRecord& last = task->frames.back();
    ASSERT_EQ(last.type, c.type);
    const auto raw = ax25::EncodeFrame(last);
    ASSERT_TRUE(raw.has_value());
    const auto bytes = raw->bytes();  // KISS command byte, then the frame
    ASSERT_GT(bytes.size(), 15u);
    EXPECT_EQ(bytes[7] & 0x80, 0) << "destination C bit";
    EXPECT_EQ(bytes[14] & 0x80, 0x80) << "source C bit";
    EXPECT_EQ(bytes[15], c.control);
    const auto decoded = ax25::DecodeFrame(0, bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->type, c.type);
    EXPECT_EQ(decoded->crpf, CrPf::ResponseFinal);
    for (auto w : tk.windows()) tk.destroy(w);
  }
}

TEST_F(LinkTimerTest, ShortT1KeepsRecovering) {
  ChannelConfig c;
  c.t1 = 1;
  Load(c);
  Accept();
  Run({
      {"send 300", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
      {"tick 1", {"RR nr0 cmd P"}},
      {"tick 1", {"RR nr0 cmd P"}},  // half of one second is still a tick
      {"tick 1", {"RR nr0 cmd P"}},
      {"tick 1", {"DISC cmd P"}},
  });
}

struct DisconnectCase {
  const char* name;
  std::vector<Step> steps;
  S statuses;
};

class DisconnectTest : public LinkFixture, public ::testing::WithParamInterface<DisconnectCase> {};

TEST_P(DisconnectTest, Scenario) {
  Load();  // WINDOW 4, PACLEN 128
  Accept();
  Run(GetParam().steps);
  EXPECT_EQ(owner->statuses, GetParam().statuses);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DisconnectTest,
    ::testing::Values(
        DisconnectCase{"IdleLinkSendsDiscAfterFiveTicks",
                       {{"disc", {}},
                        {"tick 4", {}},
                        {"tick 1", {"DISC cmd P"}},
                        {"tick 5", {"DISC cmd P"}},
                        {"UA res F", {}}},
                       {LinkStatus::Disconnecting, LinkStatus::Disconnected}},
        DisconnectCase{"AtOnceSendsDiscOnTheNextTick",
                       {{"disc now", {}}, {"tick 1", {"DISC cmd P"}}, {"DM res F", {}}},
                       {LinkStatus::Disconnecting, LinkStatus::Refused}},
        DisconnectCase{
            "OrderlyDisconnectWaitsForQueuedAndOutstandingData",
            {{"send 600", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd"}},
             {"disc", {}},
             {"tick 9", {}},
             {"tick 1", {"RR nr0 cmd P"}},  // T1 still guards the frames in flight
             {"RR nr4 res F", {"I ns4 nr0 cmd"}},
             {"tick 5", {}},
             {"RR nr5 res", {}},
             {"tick 4", {}},
             {"tick 1", {"DISC cmd P"}},
             {"UA res F", {}}},
            {LinkStatus::Disconnecting, LinkStatus::PeerReady, LinkStatus::Disconnected}},
        DisconnectCase{"OrderlyDisconnectWaitsForFramesInFlightWithAnEmptyQueue",
                       {{"send 100", {"I ns0 nr0 cmd"}},
                        {"disc", {}},
                        {"tick 5", {}},
                        {"RR nr1 res", {}},
                        {"tick 5", {"DISC cmd P"}}},
                       {LinkStatus::Disconnecting, LinkStatus::PeerReady}},
        DisconnectCase{"AtOnceDoesNotWaitForData",
                       {{"send 600", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd"}},
                        {"disc now", {}},
                        {"tick 1", {"DISC cmd P"}}},
                       {LinkStatus::Disconnecting}},
        DisconnectCase{"DisconnectingLinkAnswersDataWithDm",
                       {{"disc now", {}},
                        {"tick 1", {"DISC cmd P"}},
                        {"I ns0 nr0 cmd", {"DM res F"}},
                        {"DISC cmd P", {"DM res F"}},
                        {"UI cmd", {}},
                        {"UA res F", {}}},
                       {LinkStatus::Disconnecting, LinkStatus::PeerReady,
                        LinkStatus::Disconnected}},
        DisconnectCase{"PeerDiscWhileWaitingEndsTheLink",
                       {{"send 600", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd"}},
                        {"disc", {}},
                        {"DISC cmd P", {"UA res F"}}},
                       {LinkStatus::Disconnecting, LinkStatus::Disconnected}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(LinkTimerTest, DisconnectWhileNotConnectedReportsSevenAtOnce) {
  Load();
  Connect();
  Do("disc");
  EXPECT_EQ(owner->statuses, S{LinkStatus::Disconnected});
  EXPECT_TRUE(Sent().empty());
}

// A DAMA master as a script: it polls, the slave answers only when polled.
struct DamaCase {
  const char* name;
  std::string flags;
  std::vector<Step> steps;
};

class DamaSlaveTest : public LinkFixture, public ::testing::WithParamInterface<DamaCase> {};

TEST_P(DamaSlaveTest, ScriptedMaster) {
  ChannelConfig c;
  c.flags = GetParam().flags;
  Load(c);
  Accept();
  Run(GetParam().steps);
  // The master was recognised once: status 8, persistence 255 requested once.
  EXPECT_EQ(std::count(owner->statuses.begin(), owner->statuses.end(), LinkStatus::Dama), 1);
  ASSERT_EQ(port->parameters.size(), 1u);
  EXPECT_EQ(port->parameters[0].radioChannel, 0);
  EXPECT_EQ(port->parameters[0].parameter, ax25::kKissPersistence);
  EXPECT_EQ(port->parameters[0].value, 255);
  EXPECT_TRUE(lcb().damaMode);
  EXPECT_EQ(lcb().t1, 32000);
  EXPECT_EQ(lcb().t3, 200);
  EXPECT_EQ(lcb().t2, 500);
}

INSTANTIATE_TEST_SUITE_P(
    Master, DamaSlaveTest,
    ::testing::Values(
        DamaCase{"FramesGoOutOnlyWhenPolled",
                 "0000000000",
                 {{"RR nr0 cmd P dama", {"RR nr0 res F"}},
                  {"send 300", {}},  // stored, not sent
                  {"tick 100", {}},
                  {"RR nr0 cmd P dama", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd"}},
                  {"RR nr2 cmd P dama", {"I ns2 nr0 cmd"}},  // what the master missed
                  {"RR nr3 cmd P dama", {"RR nr0 res F"}},
                  {"I ns0 nr3 cmd P dama", {"RR nr1 res F"}},
                  // The release: no DISC of our own, it answers the next poll.
                  {"disc", {}},
                  {"tick 5", {}},
                  {"tick 10", {}},
                  {"RR nr3 cmd P dama", {"DISC res F"}},
                  {"UA res F dama", {}}}},
        DamaCase{"FlagThreeAddsTheFinalAfterTheFrames",
                 "0001000000",
                 {{"RR nr0 cmd P dama", {"RR nr0 res F"}},
                  {"send 200", {}},
                  {"RR nr0 cmd P dama", {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "RR nr0 res F"}},
                  {"RR nr2 cmd P dama", {"RR nr0 res F"}}}},
        DamaCase{"NewFramesWaitWhileOthersAreOutstanding",
                 "0000000000",
                 {{"RR nr0 cmd P dama", {"RR nr0 res F"}},
                  {"send 100", {}},
                  {"RR nr0 cmd P dama", {"I ns0 nr0 cmd"}},
                  {"send 100", {}},
                  {"RR nr0 cmd P dama", {"I ns0 nr0 cmd", "I ns1 nr0 cmd"}},
                  {"RR nr2 cmd P dama", {"RR nr0 res F"}}}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(LinkTimerTest, AcceptedFromADamaMasterStartsInDamaMode) {
  Load();
  Accept(/*dama=*/true);
  EXPECT_TRUE(lcb().damaMode);
  EXPECT_EQ(owner->statuses, S{LinkStatus::Dama});
  EXPECT_EQ(port->parameters.size(), 1u);
  Run({{"send 100", {}}, {"RR nr0 cmd P dama", {"I ns0 nr0 cmd"}}});
}

}  // namespace
}  // namespace tarvik::test
