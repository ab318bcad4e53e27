// The channel bar, switching channels, the Windows menu and the conversation
// a channel window keeps when its link ends: whole stations on one ether,
// the operator through the UI driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "terminal_fixture.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
using channels::SessionState;

class ChannelBarTest : public TerminalFixture {
 protected:
  std::string Bar(Terminal& t, int slot) {
    const auto reply = Do("get " + Win(t.app->mainWindow) + " CHAN" + std::to_string(slot + 1));
    return reply.empty() || reply.back().size() < 3 ? std::string() : reply.back().substr(3);
  }
  // The remote station sends a line to the channel it holds.
  void Say(ChannelWindow* from, const std::string& text) { from->SendText(text + "\r"); }
  bool InputHasFocus(const ChannelWindow* ch) {
    const auto input = tk.controlByName(ch->id(), "INPUT");
    return input && tk.focusControl(ch->id()) == *input;
  }
};

TEST_F(ChannelBarTest, ShowsEachChannelsStateAndMarksTextTheOperatorHasNotSeen) {
  Terminal& b = AddStation("DB0BBB");
  Terminal& c = AddStation("DC0CCC");
  Terminal& a = AddStation("DL1AAA", true);
  for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(Bar(a, slot), std::to_string(slot + 1) + " free");

  // Connecting, then connected; a second station in the second slot.
  ASSERT_EQ(channels::OpenOutgoingChannel(*a.app, "DB0BBB"), 0);
  EXPECT_EQ(Bar(a, 0), "1 DB0BBB connecting");
  ASSERT_TRUE(ether.RunUntil([&] { return Connected(a.channel(0)) && b.channel(0); }));
  EXPECT_EQ(Bar(a, 0), "1 DB0BBB connected");
  ChannelWindow* toC = ConnectPair(a, c);
  ASSERT_NE(toC, nullptr);
  ChannelWindow* toB = a.channel(0);
  EXPECT_EQ(Bar(a, 1), "2 DC0CCC connected");
  EXPECT_EQ(Bar(a, 2), "3 free");

  // The operator looks at channel 2: text on channel 1 marks it, text on
  // channel 2 does not.
  Do("activate " + Win(toC->id()));
  Say(b.channel(0), "for channel one");
  Say(c.channel(0), "for channel two");
  ASSERT_TRUE(ether.RunUntil([&] {
    return PaneHas(toB, {"for channel one", ui::kBlack}) && PaneHas(toC, {"for channel two", ui::kBlack});
  }));
  EXPECT_EQ(Bar(a, 0), "* 1 DB0BBB connected");
  EXPECT_EQ(Bar(a, 1), "2 DC0CCC connected");

  // A click on the entry brings channel 1 up, the input line focused; the
  // mark goes.
  Do("press " + Win(a.app->mainWindow) + " CHAN1");
  EXPECT_EQ(tk.activeWindow(), toB->id());
  EXPECT_TRUE(InputHasFocus(toB));
  EXPECT_EQ(Bar(a, 0), "1 DB0BBB connected");

  // Alt+2 from the toolbox and Alt+1 from inside channel 2's input line.
  Do("type " + Win(a.app->mainWindow) + " . {A-2}");
  EXPECT_EQ(tk.activeWindow(), toC->id());
  EXPECT_TRUE(InputHasFocus(toC));
  Do("type " + Win(toC->id()) + " INPUT {A-1}");
  EXPECT_EQ(tk.activeWindow(), toB->id());
  EXPECT_EQ(tk.controlText(toC->id(), *tk.controlByName(toC->id(), "INPUT")), "") << "Alt+1 typed nothing";
  // A free channel's key and entry open nothing.
  const auto before = tk.windows();
  Do("type " + Win(a.app->mainWindow) + " . {A-5}");
  Do("press " + Win(a.app->mainWindow) + " CHAN5");
  EXPECT_EQ(tk.windows(), before);
  EXPECT_EQ(tk.activeWindow(), toB->id());

  // The Windows menu lists both channel windows; choosing one brings it up.
  ether.Run(1'100);  // a heartbeat looks at the windows
  const auto menus = Do("menus " + Win(a.app->mainWindow));
  const std::string title = tk.specOf(toC->id())->title;
  const auto item = std::find_if(menus.begin(), menus.end(), [&](const std::string& l) {
    return l.size() > title.size() && l.compare(l.size() - title.size(), title.size(), title) == 0;
  });
  ASSERT_NE(item, menus.end()) << title;
  Do("menu " + Win(a.app->mainWindow) + " " + item->substr(2, item->find(' ', 2) - 2));
  EXPECT_EQ(tk.activeWindow(), toC->id());
  EXPECT_TRUE(InputHasFocus(toC));

  // The far end disconnects channel 1: the entry is free again.
  b.channel(0)->Disconnect(true);
  ASSERT_TRUE(ether.RunUntil([&] { return a.channel(0) == nullptr; }));
  EXPECT_EQ(Bar(a, 0), "1 free");
  EXPECT_EQ(Bar(a, 1), "2 DC0CCC connected");
}

TEST_F(ChannelBarTest, AnEndedConnectionKeepsItsTextAndFreesItsSlotAtOnce) {
  Terminal& b = AddStation("DB0BBB");
  Terminal& a = AddStation("DL1AAA", true);
  ChannelWindow* kept = ConnectPair(a, b);
  ASSERT_NE(kept, nullptr);
  const ui::WindowId keptId = kept->id();
  Say(b.channel(0), "first contact");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(kept, {"first contact", ui::kBlack}); }));

  b.channel(0)->Disconnect(true);
  ASSERT_TRUE(ether.RunUntil([&] { return a.channel(0) == nullptr; }));
  ether.Run(500);
  ASSERT_TRUE(tk.exists(keptId));
  EXPECT_TRUE(kept->ended());
  EXPECT_EQ(kept->link(), ui::kNoWindow);
  const auto lines = Pane(kept);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(PaneHas(kept, {"first contact", ui::kBlack}));
  EXPECT_EQ(lines.back(), (PaneLine{"*** disconnected", ui::kRed}));
  EXPECT_EQ(tk.specOf(keptId)->title, "DL1AAA -- DB0BBB (disconnected)");
  EXPECT_FALSE(tk.controlEnabled(keptId, *tk.controlByName(keptId, "INPUT")));
  EXPECT_EQ(a.main()->channels().Check(), "");
  // The contact is in the log once, when it ended.
  EXPECT_NE(a.logFile().find("DB0BBB"), std::string::npos);
  const std::string log = a.logFile();

  // The same station calls again: a new window in the same slot, and
  // nothing of the new connection reaches the kept one.
  ASSERT_TRUE(channels::OpenOutgoingChannel(*b.app, "DL1AAA").has_value());
  ASSERT_TRUE(ether.RunUntil([&] { return Connected(a.channel(0)) && Connected(b.channel(0)); }));
  ChannelWindow* fresh = a.channel(0);
  EXPECT_NE(fresh->id(), keptId);
  Say(b.channel(0), "second contact");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(fresh, {"second contact", ui::kBlack}); }));
  Do("type " + Win(fresh->id()) + " INPUT to the new one{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(b.channel(0), {"to the new one", ui::kBlack}); }));
  EXPECT_EQ(Pane(kept), lines);
  EXPECT_EQ(Bar(a, 0), "* 1 DB0BBB connected");

  // Closing the kept window asks nothing, leaves the new channel alone and
  // logs nothing more.
  ui::Event close(ui::EventType::Close, 0);  // the window's close box
  tk.send(keptId, close);
  EXPECT_FALSE(tk.exists(keptId));
  EXPECT_TRUE(tk.openMessageDialogs().empty());
  EXPECT_EQ(a.channel(0), fresh);
  EXPECT_EQ(a.main()->channels().Check(), "");
  EXPECT_EQ(a.logFile(), log);
}

TEST_F(ChannelBarTest, AnUnattendedStationKeepsOnlyTheNewestConversations) {
  Terminal& b = AddStation("DB0BBB");
  Terminal& a = AddStation("DL1AAA", true);
  std::vector<ui::WindowId> windows;
  for (int i = 0; i <= channels::kKeptConversations; ++i) {
    ASSERT_TRUE(channels::OpenOutgoingChannel(*b.app, "DL1AAA").has_value());
    ASSERT_TRUE(ether.RunUntil([&] { return Connected(a.channel(0)) && Connected(b.channel(0)); }));
    windows.push_back(a.channel(0)->id());
    b.channel(0)->Disconnect(true);
    ASSERT_TRUE(ether.RunUntil([&] { return !a.channel(0) && !b.channel(0); }));
    ether.Run(200);
  }
  EXPECT_FALSE(tk.exists(windows.front()));
  for (std::size_t i = 1; i < windows.size(); ++i) EXPECT_TRUE(tk.exists(windows[i])) << i;
}

TEST_F(ChannelBarTest, WithKeepTextOffTheWindowClosesWithItsLink) {
  stationIni = [](const std::string&) { return std::string("KEEPTEXT=0\n"); };
  Terminal& a = AddStation("DL1AAA", true);
  stationIni = nullptr;
  Terminal& b = AddStation("DB0BBB");
  ChannelWindow* ch = ConnectPair(a, b);
  ASSERT_NE(ch, nullptr);
  const ui::WindowId id = ch->id();
  b.channel(0)->Disconnect(true);
  ASSERT_TRUE(ether.RunUntil([&] { return !tk.exists(id); }));
  EXPECT_EQ(a.channel(0), nullptr);
}

}  // namespace
}  // namespace tarvik::test
