// The timer list in a whole station: an entry of today's timer file
// connects to a scripted peer when its minute comes, the path's script
// runs, and the entry's done file records the run.

#include <cstdio>

#include "channels/main_window.h"
#include "channels/terminal_fixture.h"
#include "script/timer_list.h"
#include "script/timer_windows.h"
#include "ui/list_rows.h"

namespace tarvik::test {
namespace {

class TimerStation : public TerminalFixture {
 protected:
  // The operator clicks row `row` of a window's list.
  void Row(const std::string& window, int row) {
    Do("mouse " + window + " LISTE click 10 " + std::to_string(ListRowY(tk, window, row)));
    tk.stepMs(300);  // the click is told once the double-click time has passed
  }
};

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

// The operator edits a day's timer file in the timer list window without
// touching the file: a new entry, a time the timer list would not read, a
// changed entry, a deleted one; Save writes the file and the main window
// loads the next entry from it at once.
TEST_F(TimerStation, TheOperatorEditsADaysEntriesInTheTimerList) {
  Terminal& a = AddStation("DL1AAA", true);
  std::ofstream(a.dir / "TARVIK.MSG", std::ios::app) << "1008 1 Invalid time: %s\\nPlease enter HH:MM.\n";
  fs::create_directories(a.dir / "script");
  std::ofstream(a.dir / "script" / "Monday.tim") << "09:00 09:30 0 $BEEP   # morning\n";
  const ui::WindowId list = a.forms->OpenWindowById(a.app->mainWindow, script::kTimerListNumber);
  ASSERT_NE(list, ui::kNoWindow);
  const std::string L = Win(list);
  Do("press " + L + " MON");
  EXPECT_EQ(tk.specOf(list)->title, "Timer list: Monday");
  ASSERT_EQ(Do("lines " + L + " LISTE").size(), 2u);  // one entry and OK

  auto newEntry = [&](const std::string& start, const std::string& end, const std::string& command) {
    Do("press " + L + " NEW");
    const std::string E = Win(a.forms->windowsOf(script::kTimerEntryNumber).back());
    Do("set " + E + " START " + start);
    Do("set " + E + " END " + end);
    Do("set " + E + " COMMAND " + command);
    Do("press " + E + " OK");
  };
  newEntry("07:15", "07:45", "DB0BBB @hello.scr");
  newEntry("25:00", "07:45", "$BEEP");  // refused, the window stays
  const std::vector<std::string> dialogs = Dialogs();
  EXPECT_TRUE(std::any_of(dialogs.begin(), dialogs.end(),
                          [](const std::string& d) { return d.find("25:00") != std::string::npos; }))
      << (dialogs.empty() ? "no dialog" : dialogs.back());
  for (const ui::WindowId w : a.forms->windowsOf(script::kTimerEntryNumber)) tk.destroy(w);
  // The entries in the time order of their start.
  auto items = Do("lines " + L + " LISTE");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_NE(items[0].find("07:15"), std::string::npos);
  EXPECT_NE(items[1].find("09:00"), std::string::npos);

  // The 09:00 entry becomes periodic every 20 minutes, then is saved.
  Row(L, 1);
  Do("press " + L + " EDIT");
  const std::string E = Win(a.forms->windowsOf(script::kTimerEntryNumber).back());
  EXPECT_EQ(Do("get " + E + " COMMAND").back(), "OK $BEEP");
  Do("set " + E + " END 00:20");
  Do("check " + E + " PERIODIC 1");
  Do("press " + E + " OK");
  Do("press " + L + " SAVE");
  std::ifstream saved(a.dir / "script" / "Monday.tim");
  const std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "07:15 07:45 0 DB0BBB @hello.scr\n09:00 00:20 1 $BEEP\n");

  // Deleting and reloading: what was not saved is dropped again.
  Row(L, 0);
  Do("press " + L + " DEL");
  EXPECT_EQ(Do("lines " + L + " LISTE").size(), 2u);
  Do("press " + L + " LOAD");
  EXPECT_EQ(Do("lines " + L + " LISTE").size(), 3u);
  EXPECT_EQ(script::ReadTimerLines(text).size(), 2u);
}

}  // namespace
}  // namespace tarvik::test
