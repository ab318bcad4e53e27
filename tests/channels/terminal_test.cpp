// Channel windows of whole stations on one shared radio channel, driven by
// the operator through the UI driver: connecting by call, typing on both
// ends, disconnecting, connect paths through a node, eight channels at
// once, a station that never answers, and what the other side may send.

#include <random>

#include "terminal_fixture.h"
#include "ui/toolkit/headless/headless_canvas.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
using channels::SessionState;
constexpr ui::Color kRed = ui::kRed, kBlack = ui::kBlack, kBlue = ui::kBlue;

TEST_F(TerminalFixture, TwoStationsTalkAndTheCalledOneDisconnects) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  ASSERT_EQ(b.opened.size(), 1u);
  ChannelWindow* cb = b.channel(0);
  ASSERT_TRUE(Connected(cb));
  const ui::WindowId wa = ca->id(), wb = cb->id();

  // Both windows show the connection: title, lamp, own address.
  EXPECT_EQ(tk.specOf(wa)->title, "1: DL1AAA <-> DB0BBB");
  EXPECT_EQ(tk.specOf(wb)->title, "1: DB0BBB <-> DL1AAA");
  EXPECT_EQ(ca->State(channels::kLampCon), 1);
  EXPECT_EQ(cb->State(channels::kLampCon), 1);
  // ... and the operator sees the lamp lit: its label drawn black, not grey.
  tk.flushUpdates();
  auto lampColour = [&](ui::WindowId w) {
    auto* canvas = dynamic_cast<ui::HeadlessCanvas*>(tk.canvas(w));
    std::optional<ui::Color> colour;
    if (canvas)
      for (const auto& t : canvas->texts())
        if (t.text == "Conn") colour = t.fore;
    return colour;
  };
  EXPECT_EQ(lampColour(wa), std::optional<ui::Color>(kBlack));
  EXPECT_EQ(ca->remoteText(), "DB0BBB");
  EXPECT_EQ(ax25::FormatCall(a.main()->channels()[0].own), "DL1AAA");

  Do("type " + Win(wa) + " INPUT Hello B, this is A{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cb, {"Hello B, this is A", kBlack}); }));
  EXPECT_TRUE(PaneHas(ca, {"Hello B, this is A", kRed}));
  EXPECT_EQ(Do("get " + Win(wa) + " INPUT").back(), "OK");  // Enter cleared the input line

  Do("type " + Win(wb) + " INPUT Hi A{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"Hi A", kBlack}); }));
  EXPECT_TRUE(PaneHas(cb, {"Hi A", kRed}));
  ASSERT_TRUE(ether.RunUntil([&] { return !ca->sendQueueBusy() && !cb->sendQueueBusy(); }));
  EXPECT_EQ(cb->State(channels::kLampTxov), 0);

  // B's operator closes and confirms message 8: both channels end; their
  // windows keep the conversation until the operators close them.
  tk.queueDialogAnswer(1);
  Do("press " + Win(wb) + " EXIT");
  EXPECT_TRUE(DialogShown("Disconnect from DL1AAA?"));
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0 && b.openChannels() == 0; }));
  EXPECT_TRUE(ca->ended() && cb->ended());
  Do("press " + Win(wb) + " EXIT");
  Do("press " + Win(wa) + " EXIT");
  EXPECT_FALSE(tk.exists(wa) || tk.exists(wb));
  EXPECT_FALSE(a.main()->channels()[0].inUse());

  // Each station logged the connection.
  const std::string logA = a.logFile();
  ASSERT_GE(logA.size(), 50u);
  EXPECT_EQ(logA.substr(0, 21), "DB0BBB       Ch 0,438");
  EXPECT_EQ(logA.back(), '\n');
  EXPECT_EQ(b.logFile().substr(0, 12), "DL1AAA      ");
}

TEST_F(TerminalFixture, ClosingAsksOnlyWhileConnectedAndNoKeepsTheConnection) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  const ui::WindowId wa = ca->id();
  tk.queueDialogAnswer(0);
  Do("press " + Win(wa) + " EXIT");
  ether.Run(3000);
  ASSERT_TRUE(tk.exists(wa));
  EXPECT_TRUE(Connected(ca));
  Do("type " + Win(wa) + " INPUT still here{ENTER}");
  EXPECT_TRUE(ether.RunUntil([&] { return PaneHas(b.channel(0), {"still here", kBlack}); }));

  // A channel still setting up closes at once, without a question.
  const auto slot = channels::OpenOutgoingChannel(*a.app, "DB0ZZZ");
  ASSERT_TRUE(slot);
  const ui::WindowId pending = a.channel(*slot)->id();
  EXPECT_EQ(tk.specOf(pending)->title, "2: DL1AAA -> DB0ZZZ (connecting)");
  const std::size_t dialogs = tk.dialogLog().size();
  Do("press " + Win(pending) + " EXIT");
  EXPECT_FALSE(tk.exists(pending));
  EXPECT_EQ(tk.dialogLog().size(), dialogs);
  EXPECT_FALSE(a.main()->channels()[*slot].inUse());
}

// The middle button in the receive pane pastes the window system's
// selection at the end of the input line, its line breaks as blanks.
TEST_F(TerminalFixture, TheMiddleButtonPastesTheSelectionIntoTheInputLine) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  Do("type " + Win(ca->id()) + " INPUT name: ");
  tk.setSelectionText("Jo\nSpringfield\x07");
  tk.operatorMouse(ca->receivePane(), ui::MouseAction::Down, {20, 20}, 2);
  tk.operatorMouse(ca->receivePane(), ui::MouseAction::Up, {20, 20}, 2);
  ether.Run(100);
  EXPECT_EQ(Do("get " + Win(ca->id()) + " INPUT").back(), "OK name: Jo Springfield");
}

TEST_F(TerminalFixture, ConnectPathThroughANodeAndDataBothWays) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& node = AddStation("DB0NOD");
  Terminal& c = AddStation("DL1CCC");
  // The node's connect command: "c CALL" connects the channel through.
  node.addParts = [&node](channels::ChannelParts& parts) {
    parts.push_back(std::make_unique<test::TestLinePart>([&node](ChannelWindow& w, const std::string& line) {
      if (line.rfind("c ", 0) != 0) return false;
      ax25::ConnectRequest r;
      r.remote = *ax25::ParseCall(line.substr(2));
      r.own = *ax25::ParseCall(node.call);
      return w.OpenSecondLink(r, line.substr(2));
    }));
  };
  const auto slot = channels::OpenOutgoingChannel(*a.app, "DB0NOD DL1CCC");
  ASSERT_TRUE(slot);
  ChannelWindow* ca = a.channel(*slot);
  ASSERT_TRUE(ether.RunUntil([&] { return c.openChannels() == 1 && !ca->path().active(); }));
  EXPECT_TRUE(PaneHas(ca, {"c DL1CCC", kRed}));
  EXPECT_TRUE(PaneHas(ca, {"*** connected to DL1CCC", kBlack}));
  ChannelWindow* cn = node.channel(0);
  EXPECT_EQ(cn->State(channels::kLamp2ndCon), 1);
  EXPECT_FALSE(DialogShown("Connect failed: DB0NOD"));
  EXPECT_FALSE(DialogShown("Connect failed: DL1CCC"));

  ChannelWindow* cc = c.channel(0);
  Do("type " + Win(ca->id()) + " INPUT Hello C{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cc, {"Hello C", kBlack}); }));
  EXPECT_TRUE(PaneHas(cn, {"Hello C", kBlack}));
  Do("type " + Win(cc->id()) + " INPUT Hi A{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"Hi A", kBlack}); }));
  EXPECT_TRUE(PaneHas(cn, {"Hi A", kBlue}));  // what the second station sends shows blue at the node

  // C leaves: the node tells A and keeps A's connection.
  tk.queueDialogAnswer(1);
  Do("press " + Win(cc->id()) + " EXIT");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"*** reconnected to DB0NOD", kBlack}); }));
  EXPECT_EQ(cn->secondLink(), ui::kNoWindow);
  EXPECT_EQ(cn->State(channels::kLamp2ndCon), 0);
  EXPECT_EQ(node.openChannels(), 1);
  EXPECT_TRUE(Connected(ca));
}

TEST_F(TerminalFixture, ANodeReportingFailureDropsThePath) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& node = AddStation("DB0NOD");
  node.addParts = [](channels::ChannelParts& parts) {
    parts.push_back(std::make_unique<test::TestLinePart>([](ChannelWindow& w, const std::string& line) {
      if (line.rfind("c ", 0) != 0) return false;
      w.SendText("*** no answer from " + line.substr(2) + "\r");
      return true;
    }));
  };
  const auto slot = channels::OpenOutgoingChannel(*a.app, "DB0NOD DL1XYZ @mailbox");
  ASSERT_TRUE(slot);
  ChannelWindow* ca = a.channel(*slot);
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"*** no answer from DL1XYZ", kBlack}); }));
  EXPECT_FALSE(ca->path().active());
  EXPECT_TRUE(DialogShown("Connect failed: *** no answer from DL1XYZ"));
  EXPECT_FALSE(DialogShown("Not found: " + a.dir.string() + "/script/mailbox"));
  EXPECT_TRUE(Connected(ca));  // the connection to the node stays
}

TEST_F(TerminalFixture, EightChannelsAtOnceAndNoNinth) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Terminal& c = AddStation("DL1CCC");
  for (int i = 0; i < ax25::kChannelSlots; ++i) ASSERT_EQ(channels::OpenOutgoingChannel(*a.app, "DB0BBB"), i);
  EXPECT_EQ(channels::OpenOutgoingChannel(*a.app, "DB0BBB"), std::nullopt);  // every slot taken
  ASSERT_TRUE(ether.RunUntil([&] {
    for (int s = 0; s < ax25::kChannelSlots; ++s)
      if (!Connected(a.channel(s)) || !Connected(b.channel(s))) return false;
    return true;
  }));
  // Each channel to the same station has an own SSID of its own.
  for (int s = 0; s < ax25::kChannelSlots; ++s) {
    EXPECT_EQ(a.main()->channels()[s].own.ssid, s);
    EXPECT_EQ(b.channel(s)->remoteText(), s == 0 ? "DL1AAA" : "DL1AAA-" + std::to_string(s));
  }
  // A ninth station is refused by the full station; its channel closes.
  const auto slot = channels::OpenOutgoingChannel(*c.app, "DB0BBB");
  ASSERT_TRUE(slot);
  const ui::WindowId refused = c.channel(*slot)->id();
  ASSERT_TRUE(ether.RunUntil([&] { return !tk.exists(refused); }));
  EXPECT_EQ(b.openChannels(), 8);
  EXPECT_EQ(c.openChannels(), 0);
  EXPECT_FALSE(DialogShown("Connect failed: DB0BBB"));  // refused, not unanswered
}

TEST_F(TerminalFixture, AStationThatNeverAnswers) {
  Terminal& a = AddStation("DL1AAA");
  const auto slot = channels::OpenOutgoingChannel(*a.app, "DB0ZZZ");
  ASSERT_TRUE(slot);
  const ui::WindowId w = a.channel(*slot)->id();
  ASSERT_TRUE(ether.RunUntil([&] { return !tk.exists(w); }, 120'000));
  EXPECT_TRUE(DialogShown("Connect failed: DB0ZZZ"));
  EXPECT_FALSE(a.main()->channels()[*slot].inUse());
  EXPECT_EQ(a.logFile(), "");  // never connected, nothing logged
}

TEST_F(TerminalFixture, ConnectTextsThatCannotBeUsed) {
  Terminal& a = AddStation("DL1AAA");
  struct {
    const char* text;
    const char* dialog;  // nullptr: dropped silently
  } cases[] = {
      {"17:DB0BBB", "Port 17 does not exist."},
      {"5:DB0BBB", "Port 5 does not exist."},
      {"0:3:DB0BBB", "Port 0: radio channel not configured."},
      {"D!BBB", nullptr},
      {"DB0BBB (DB0X", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::size_t dialogs = tk.dialogLog().size();
    EXPECT_EQ(channels::OpenOutgoingChannel(*a.app, c.text), std::nullopt);
    tk.pump();
    EXPECT_EQ(a.openChannels(), 0);  // the channel does not stay behind
    if (c.dialog) {
      EXPECT_TRUE(DialogShown(c.dialog));
    } else {
      EXPECT_EQ(tk.dialogLog().size(), dialogs);
    }
  }
}

TEST_F(TerminalFixture, ConnectDialogOffersPortsAndCancelClosesTheChannel) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ASSERT_EQ(channels::OpenOutgoingChannel(*a.app, ""), 0);
  EXPECT_EQ(Do("items CONNECT PORT")[0], "= * 0:Air");
  EXPECT_EQ(Do("items CONNECT CHAN")[0], "= * 0:Local");
  EXPECT_EQ(Do("get CONNECT QRG").back(), "OK 438.300");
  Do("set CONNECT STATION x");
  Do("press CONNECT OK");  // too short: the dialog stays
  Do("set CONNECT STATION db0bbb dl1!!");
  Do("press CONNECT OK");  // a digipeater that is no call: it stays
  Do("set CONNECT STATION db0bbb");
  Do("press CONNECT OK");
  EXPECT_EQ(driver.execute("get CONNECT QRG").back().rfind("ERR", 0), 0u);  // closed
  ASSERT_TRUE(ether.RunUntil([&] { return Connected(a.channel(0)) && b.openChannels() == 1; }));

  ASSERT_EQ(channels::OpenOutgoingChannel(*a.app, ""), 1);
  const ui::WindowId second = a.channel(1)->id();
  Do("press CONNECT EXIT");
  tk.pump();
  EXPECT_FALSE(tk.exists(second));
  EXPECT_TRUE(Connected(a.channel(0)));
}

TEST_F(TerminalFixture, InputLineRulesAcrossTheAir) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  ChannelWindow* cb = b.channel(0);
  const std::string wa = Win(ca->id());

  // "^" at the end sends no line end: the other side shows a partial line
  // and continues it on the same screen line.
  Do("type " + wa + " INPUT abc^{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cb, {"abc", kBlack}); }));
  Do("type " + wa + " INPUT def{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cb, {"abcdef", kBlack}); }));
  EXPECT_FALSE(PaneHas(cb, {"def", kBlack}));

  // History: up gives the newest, then older ones.
  Do("type " + wa + " INPUT {UP}");
  EXPECT_EQ(Do("get " + wa + " INPUT").back(), "OK def");
  Do("type " + wa + " INPUT {UP}");
  EXPECT_EQ(Do("get " + wa + " INPUT").back(), "OK abc^");
  Do("set " + wa + " INPUT");

  // A UI line shows blue here and reaches the other station as a UI frame.
  Do("type " + wa + " INPUT ~beacon{ENTER}");
  EXPECT_TRUE(PaneHas(ca, {"beacon", kBlue}));
  ASSERT_TRUE(ether.RunUntil([&] { return tk.statusField(0).find("UI from DL1AAA: beacon") != std::string::npos; }));

  // Characters typed while the receive pane has the focus go on in the
  // input line.
  Do("type " + wa + " LISTE xy");
  EXPECT_EQ(Do("get " + wa + " INPUT").back(), "OK xy");
  Do("set " + wa + " INPUT");

  // A line reaching the input line's length is wrapped at a blank.
  const std::string long1 = std::string(60, 'w') + " " + std::string(10, 'v');
  Do("set " + wa + " INPUT " + long1 + " tail678");
  EXPECT_EQ(Do("get " + wa + " INPUT").back(), "OK tail678");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cb, {long1, kBlack}); }));

  // The conversion mode applies to what is shown: IBM PC 0x81 is a u-umlaut.
  Do("press " + wa + " 8BITIBM");
  EXPECT_EQ(ca->conversionMode(), 2);
  cb->SendData(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("\x81\r"), 2));
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"\xFC", kBlack}); }));
}

TEST_F(TerminalFixture, PeerBusyShowsInTheStatusField) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  ChannelWindow* cb = b.channel(0);
  Do("press " + Win(cb->id()) + " HOLD");
  EXPECT_TRUE(cb->busy());
  ASSERT_TRUE(ether.RunUntil([&] { return ca->peerState() == 11; }));
  EXPECT_EQ(ca->GetCtlText(channels::kChStatus), "Hold");
  EXPECT_EQ(ca->State(channels::kLampHold), 1);
  Do("press " + Win(cb->id()) + " HOLD");
  ASSERT_TRUE(ether.RunUntil([&] { return ca->peerState() == 10; }));
  EXPECT_EQ(ca->GetCtlText(channels::kChStatus), "Ready");
  EXPECT_EQ(ca->State(channels::kLampHold), 0);
}

TEST_F(TerminalFixture, WhateverTheOtherSideSendsTheWindowHolds) {
  Terminal& a = AddStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  ChannelWindow* cb = b.channel(0);
  std::mt19937 rng(7);
  std::string hostile;
  hostile += std::string(1000, 'L');                 // an overlong line without end
  hostile += "\r%s%n%x%d\r";                          // printf conversions as text
  hostile += std::string("\0\0\0\x07\x1b[2J\t\b", 10);  // control characters
  hostile += "*** connected to DL1XYZ\r";            // a node report with no path active
  for (int i = 0; i < 4000; ++i) hostile += static_cast<char>(rng() & 0xFF);
  hostile += std::string(300, '\n');
  hostile += "\rthe end\r";
  cb->SendData(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(hostile.data()), hostile.size()));
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"the end", kBlack}); }, 300'000));
  for (const PaneLine& l : Pane(ca)) EXPECT_LE(l.text.size(), 255u);
  EXPECT_TRUE(PaneHas(ca, {std::string(255, 'L'), kBlack}));
  EXPECT_TRUE(PaneHas(ca, {std::string(1000 - 3 * 255, 'L'), kBlack}));
  EXPECT_TRUE(PaneHas(ca, {"%s%n%x%d", kBlack}));
  EXPECT_FALSE(DialogShown("Connect failed: DL1XYZ"));
  EXPECT_TRUE(Connected(ca));
  // The window still works both ways.
  Do("type " + Win(ca->id()) + " INPUT still fine{ENTER}");
  EXPECT_TRUE(ether.RunUntil([&] { return PaneHas(cb, {"still fine", kBlack}); }));
}

}  // namespace
}  // namespace tarvik::test
