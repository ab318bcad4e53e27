// The rules adapted to the air (LINKRULES 0): T1 counts from when the
// frames have left the TNC, new frames go out as one burst packed to PACLEN
// with a poll on the last, recovery sends again only what has left the TNC,
// and T2 outlasts one frame. At BAUD 1200 a 128-byte I frame is about one
// second on the air; TXDELAY 300 and PERSIST 100 make one key-up 300 ms.
#include "link_fixture.h"

namespace tarvik::test {
namespace {

class LinkAirTest : public LinkFixture {
 protected:
  void LoadAir(int window = 4) {
    ChannelConfig c;  // PACLEN 128, T1 10, T2 1500
    c.linkRules = 0;
    c.window = window;
    Load(c);
  }
  std::vector<int> InfoLengths() {
    std::vector<int> out;
    for (const FrameRecord& f : task->frames)
      if (f.type == FrameType::I) out.push_back(f.infoLength());
    return out;
  }
};

const std::vector<std::string> kBurst = {"I ns0 nr0 cmd", "I ns1 nr0 cmd", "I ns2 nr0 cmd",
                                         "I ns3 nr0 cmd P"};

TEST_F(LinkAirTest, BlocksOfAnyLengthArePackedIntoFullFramesWithAPollOnTheLast) {
  LoadAir();
  Accept();
  // The owner hands over 200-byte blocks, each when the link asks for more.
  int blocks = 1;
  owner->onDrained = [&] {
    if (blocks < 5) {
      ++blocks;
      ax25::LinkSendData(tk, link, std::vector<std::uint8_t>(200, 'x'));
    }
  };
  Do("send 200");
  EXPECT_EQ(InfoLengths(), (std::vector<int>{128, 128, 128, 128}));
  EXPECT_EQ(Sent(), kBurst);
  Do("ms 5000");
  Do("RR nr4 res F");
  EXPECT_EQ(InfoLengths(), (std::vector<int>{128, 128, 128, 104}));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"I ns4 nr0 cmd", "I ns5 nr0 cmd", "I ns6 nr0 cmd",
                                               "I ns7 nr0 cmd P"}));
  // A single short frame (typing) goes out at once, without poll.
  Do("ms 5000");
  Do("RR nr0 res F");
  Do("send 10");
  EXPECT_EQ(Sent(), (std::vector<std::string>{"I ns0 nr0 cmd"}));
}

TEST_F(LinkAirTest, T1CountsFromWhenTheBurstHasLeftTheTnc) {
  LoadAir();
  Accept();
  Run({
      {"send 512", kBurst},  // 0.3 s key-up and four seconds on the air
      {"sec 14", {}},        // T1 10 after that: no poll while the burst is still going out
      // Nothing heard: burst or answer lost. What has left goes again, polled.
      {"sec 1", kBurst},
      {"RR nr4 res F", {}},
  });
  EXPECT_EQ(lcb().t1Count.ticks, -1);
  EXPECT_EQ(lcb().outstanding(), 0);
}

TEST_F(LinkAirTest, PeerAirtimeHoldsT1) {
  LoadAir();
  Accept();
  Run({{"send 512", kBurst}, {"sec 10", {}}});
  // The peer sends a frame of its own with an old N(R): T1 waits the
  // frame's airtime longer.
  const int before = lcb().t1Count.ticks;
  Rx(Peer("UI cmd", std::string(300, 'u')));  // 2.2 s on the air
  tk.pump();
  EXPECT_EQ(lcb().t1Count.ticks, before + 2);
}

TEST_F(LinkAirTest, RecoverySendsWhatThePeerMissedOnceAndNothingStillQueued) {
  LoadAir();
  Accept();
  Run({
      {"send 512", kBurst},
      {"ms 5000", {}},
      // Frame 1 was lost: the peer's REJ, then its answer to our poll.
      {"REJ nr1 res", {"I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd P"}},
      {"REJ nr1 res F", {}},  // the frames just sent again are still in the TNC
      {"ms 4000", {}},
      // Lost again: now they have left and go once more.
      {"RR nr1 res F", {"I ns1 nr0 cmd", "I ns2 nr0 cmd", "I ns3 nr0 cmd P"}},
      {"ms 4000", {}},
      {"RR nr4 res F", {}},
  });
  EXPECT_EQ(lcb().statistics.sentI, 10);
}

TEST_F(LinkAirTest, ALateAnswerToAPollT1GaveUpOnSendsNothingStillQueued) {
  LoadAir();
  Accept();
  Run({
      {"send 512", kBurst},
      {"sec 14", {}},
      {"sec 1", kBurst},  // T1: sent again, polled
      // The answer to the first poll, late: the frames just handed over
      // are still in the TNC and must not go a third time.
      {"RR nr0 res F", {}},
      {"ms 5000", {}},
      {"RR nr4 res F", {}},
  });
  EXPECT_EQ(lcb().statistics.sentI, 8);
  EXPECT_EQ(lcb().outstanding(), 0);
}

TEST_F(LinkAirTest, APeerThatKeepsSendingDoesNotHoldOffT1OfAFullWindow) {
  LoadAir();
  Accept();
  // The window is full and unanswered; the peer keeps sending frames that
  // acknowledge none of it (as an XMODEM receiver asking again does). Only
  // an acknowledgement restarts T1: it still runs out, and what has left
  // goes again.
  Run({
      {"send 512", kBurst},
      {"sec 4", {}},
      {"RR nr0 res", {}},
      {"sec 4", {}},
      {"RR nr0 res", {}},
      {"sec 4", {}},
      {"RR nr0 res", {}},
      {"sec 4", kBurst},
  });
}

TEST_F(LinkAirTest, ThePeersPollIsAnsweredWithoutSendingFramesAgain) {
  LoadAir();
  Accept();
  Run({
      {"send 512", kBurst},
      {"ms 5000", {}},
      // Its N(R) may be older than our burst: only T1 and the answer to our
      // own poll decide what goes again.
      {"RR nr2 cmd P", {"RR nr0 res F"}},
  });
  EXPECT_EQ(lcb().outstanding(), 2);
  EXPECT_GT(lcb().t1Count.ticks, 0);
}

TEST_F(LinkAirTest, T2OutlastsOneFrameSoABurstIsAcknowledgedOnce) {
  LoadAir();
  Accept();
  const std::string info(256, 'y');  // about 1.9 s on the air
  Rx(Peer("I ns0 nr0 cmd", info));
  Run({{"ms 1900", {}}});
  Rx(Peer("I ns1 nr0 cmd", info));
  Run({{"ms 1900", {}}, {"ms 300", {"RR nr2 res"}}});
  EXPECT_EQ(owner->data, info + info);
}

TEST_F(LinkAirTest, PlainRulesCutEachBlockAsItComes) {
  ChannelConfig c;
  c.linkRules = 1;
  Load(c);
  Accept();
  int blocks = 1;
  owner->onDrained = [&] {
    if (blocks < 2) {
      ++blocks;
      ax25::LinkSendData(tk, link, std::vector<std::uint8_t>(200, 'x'));
    }
  };
  Do("send 200");
  EXPECT_EQ(InfoLengths(), (std::vector<int>{128, 72, 128, 72}));
}

}  // namespace
}  // namespace tarvik::test
