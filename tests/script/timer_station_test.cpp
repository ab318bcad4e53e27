// The timer list in a whole station: an entry of today's timer file
// connects to a scripted peer when its minute comes, the path's script
// runs, and the entry's done file records the run.

#include <cstdio>

#include "channels/main_window.h"
#include "channels/terminal_fixture.h"
#include "script/timer_list.h"

namespace tarvik::test {
namespace {

class TimerStation : public TerminalFixture {};

TEST_F(TimerStation, AnEntryConnectsAtItsMinuteAndItsScriptRuns) {
  Terminal& a = AddStation("DL1AAA", true);
  Terminal& b = AddStation("DB0BBB");
  std::vector<std::string> heard;
  b.addParts = [&heard](channels::ChannelParts& parts) {
    parts.push_back(std::make_unique<TestLinePart>([&heard](channels::ChannelWindow& w, const std::string& line) {
      heard.push_back(line);
      if (line.find("who") != std::string::npos) w.SendText("DB0BBB here\r");
      return false;
    }));
  };
  fs::create_directories(a.dir / "script");
  std::ofstream(a.dir / "script" / "hello.scr") << "send who are you\nreadln reply\nsend got %reply%\ndisconnect\n";

  // An entry for the next minute in today's weekday file, read again as the
  // timer editor's saving would have it read.
  const ui::LocalTime now = tk.localTime();
  const int start = (now.hour * 60 + now.minute + 1) % (24 * 60);
  char line[64];
  std::snprintf(line, sizeof line, "%02d:%02d %02d:%02d 0 DB0BBB @hello.scr\n", start / 60, start % 60,
                (start + 5) / 60 % 24, (start + 5) % 60);
  std::ofstream(a.dir / "script" / (std::string(script::WeekdayName(now.dayOfWeek)) + ".tim")) << line;
  tk.sendUser(a.app->mainWindow, channels::kEvtReloadTimerList);
  EXPECT_EQ(tk.statusField(1).substr(0, 5), std::string(line, 5));

  auto got = [&] { return std::find(heard.begin(), heard.end(), "got DB0BBB here") != heard.end(); };
  ASSERT_TRUE(ether.RunUntil(got, 3 * 60'000));
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0; }));
  std::ifstream done(a.dir / "tmp" / (std::string(script::WeekdayName(now.dayOfWeek)) + ".001"));
  std::string date, time, result;
  done >> date >> time >> result;
  EXPECT_EQ(result, "OK");
  // Done for today: the next minutes open nothing.
  ether.Run(2 * 60'000);
  EXPECT_EQ(std::count(heard.begin(), heard.end(), "who are you"), 1);
}

}  // namespace
}  // namespace tarvik::test
