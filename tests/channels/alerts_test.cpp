// Alerts of a whole station: a station connecting and text arriving in a
// channel the operator is not looking at give a sound and, while the
// program does not have the desktop's focus, a notification; text alerts
// once until the operator has looked at the channel again.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "channels/terminal_fixture.h"

namespace tarvik::channels {
namespace {

class AlertsTest : public test::TerminalFixture {
 protected:
  // A (the whole station, with the alert settings given) and B, connected
  // from B to A; A's channel.
  ChannelWindow* Connect(const std::string& settings) {
    stationIni = [settings](const std::string&) { return settings; };
    a = &AddStation("DA1AAA", true);
    std::ofstream(a->dir / "TARVIK.MSG", std::ios::app) << "1790 2 %s: %s connected\n1791 2 %s: text from %s\n";
    stationIni = nullptr;
    b = &AddStation("DB2BBB");
    chB = ConnectPair(*b, *a);
    return chB ? a->channel(0) : nullptr;
  }
  void Say(const std::string& line) {
    const std::size_t lines = Pane(a->channel(0)).size();
    chB->SendText(line + "\r");
    ASSERT_TRUE(ether.RunUntil([&] { return Pane(a->channel(0)).size() > lines; }));
  }

  test::Terminal* a = nullptr;
  test::Terminal* b = nullptr;
  ChannelWindow* chB = nullptr;
};

TEST_F(AlertsTest, AwayFromTheDesktopAConnectAndNewTextAreToldOnce) {
  tk.setApplicationActive(false);
  const int beeps = tk.beeps();
  ChannelWindow* ch = Connect("");
  ASSERT_NE(ch, nullptr);
  // The defaults: a connect sounds and notifies, text only notifies.
  EXPECT_EQ(tk.beeps(), beeps + 1);
  ASSERT_EQ(tk.notifications().size(), 1u);
  EXPECT_EQ(tk.notifications()[0].rfind("1: DB2BBB connected\n", 0), 0u) << tk.notifications()[0];

  Say("hello A\x07");
  Say("are you there?");
  ASSERT_EQ(tk.notifications().size(), 2u);
  EXPECT_EQ(tk.notifications()[1], "1: text from DB2BBB\nhello A");
  EXPECT_EQ(tk.beeps(), beeps + 1);

  // The operator comes back and looks at the channel: the next text while
  // away is told again.
  tk.setApplicationActive(true);
  tk.activate(ch->id());
  ether.Run(1500);
  tk.setApplicationActive(false);
  Say("still there");
  ASSERT_EQ(tk.notifications().size(), 3u);
  EXPECT_EQ(tk.notifications()[2], "1: text from DB2BBB\nstill there");
}

TEST_F(AlertsTest, AtTheDesktopOnlyABackgroundChannelSounds) {
  ChannelWindow* ch = Connect("ALERTCONNECT=0\nALERTTEXT=3\n");
  ASSERT_NE(ch, nullptr);
  tk.activate(ch->id());
  const int beeps = tk.beeps();
  Say("in the channel the operator looks at");
  EXPECT_EQ(tk.beeps(), beeps);

  tk.activate(a->app->mainWindow);
  Say("while the toolbox is active");
  Say("and more");
  EXPECT_EQ(tk.beeps(), beeps + 1);
  // The program has the focus: no notification.
  EXPECT_TRUE(tk.notifications().empty());
}

TEST_F(AlertsTest, SwitchedOffNothingIsTold) {
  tk.setApplicationActive(false);
  const int beeps = tk.beeps();
  ASSERT_NE(Connect("ALERTCONNECT=0\nALERTTEXT=0\n"), nullptr);
  Say("hello");
  EXPECT_EQ(tk.beeps(), beeps);
  EXPECT_TRUE(tk.notifications().empty());
}

}  // namespace
}  // namespace tarvik::channels
