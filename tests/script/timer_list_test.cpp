// The timer list on the stepped clock of the headless toolkit: which entry
// is loaded, when each kind of entry runs, the done files across restarts,
// connect entries that fail and succeed, and the date file that hides the
// weekday file, across midnight, a month's end and a leap day.

#include "script/timer_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::script {
namespace {

namespace fs = std::filesystem;

TEST(TimerLine, FixedColumnsAndHostileLines) {
  struct Case {
    const char* line;
    bool entry;
    int start, end;
    bool periodic;
    const char* command;
  };
  const Case cases[] = {
      {"08:00 08:30 0 $BEEP", true, 480, 510, false, "$BEEP"},
      {"00:00 00:15 1 $BEEP   # every quarter", true, 0, 15, true, "$BEEP"},
      {"06:05 07:00 0 N0BBS @boxlogin.scr\r", true, 365, 420, false, "N0BBS @boxlogin.scr #T"},
      {"23:59 23:59 0 $EXIT#", true, 1439, 1439, false, "$EXIT"},
      {"08:00 08:30 0 $", false, 0, 0, false, ""},        // shorter than 16
      {"8:00 08:30 0 $BEEP", false, 0, 0, false, ""},      // columns shifted
      {"24:00 24:30 0 $BEEP", false, 0, 0, false, ""},     // no such hour
      {"08:60 09:00 0 $BEEP", false, 0, 0, false, ""},     // no such minute
      {"08:00 08:30 2 $BEEP", false, 0, 0, false, ""},     // flag
      {"08:00 00:00 1 $BEEP", false, 0, 0, false, ""},     // a period of nothing
      {"08:00 08:30 0 $BE\x01P", false, 0, 0, false, ""},  // control byte
      {"# 08:00 a comment line", false, 0, 0, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto e = ParseTimerLine(c.line, 3);
    ASSERT_EQ(e.has_value(), c.entry);
    if (!e) continue;
    EXPECT_EQ(e->start(), c.start);
    EXPECT_EQ(e->end(), c.end);
    EXPECT_EQ(e->periodic, c.periodic);
    EXPECT_EQ(e->command, c.command);
    EXPECT_EQ(e->number, 3);
  }
  const std::string overlong = "08:00 08:30 0 N0BBS " + std::string(300, 'X');
  const auto e = ParseTimerLine(overlong, 1);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->command, "N0BBS " + std::string(kTimerLineMax - 20, 'X') + " #T");
  // Entries are numbered by the valid lines only.
  const auto all = ParseTimerText("garbage\n08:00 08:30 0 $BEEP\n\n09:00 09:30 0 $BEEP\n");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].number, 2);
}

class TimerListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tvk_timer_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "script");
    fs::create_directories(dir_ / "tmp");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Local wall-clock time: the day, month, year, hour and minute given.
  void SetClock(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    tk_.setTime(ui::Clock::from_time_t(std::mktime(&tm)));
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / "script" / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / "tmp" / name);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all;
  }
  std::unique_ptr<TimerList> Make() {
    TimerList::Actions a;
    a.now = [this] { return tk_.localTime(); };
    a.connect = [this](const std::string& text) {
      connects.push_back(text);
      return slotFree;
    };
    a.beep = [this] { beeps.push_back(tk_.localTime()); };
    a.exit = [this] { ++exits; };
    a.reinitTncs = [this] { ++reinits; };
    a.run = [this](const std::string& program) {
      runs.push_back(program);
      return true;
    };
    a.status = [this](const std::string& text) { status = text; };
    auto list = std::make_unique<TimerList>((dir_ / "script").string() + "/", (dir_ / "tmp").string() + "/",
                                            std::move(a));
    list->LoadNext();
    return list;
  }
  // Steps the clock a minute at a time, ticking the list at each, as the
  // main window does at every change of the minute; a new day reloads.
  void Minutes(TimerList& list, int n) {
    for (int i = 0; i < n; ++i) {
      const int day = tk_.localTime().day;
      tk_.stepMinutes(1);
      if (tk_.localTime().day != day) list.LoadNext();
      list.MinuteTick();
    }
  }

  ui::HeadlessToolkit tk_{ui::HeadlessToolkit::Mode::Manual};
  fs::path dir_;
  std::vector<std::string> connects, runs;
  std::vector<ui::LocalTime> beeps;
  int exits = 0, reinits = 0;
  bool slotFree = true;
  std::string status;
};

TEST_F(TimerListTest, ANormalEntryRunsOncePerDayAlsoAfterARestart) {
  SetClock(2026, 12, 10, 7, 58);  // a Thursday
  Write("Thursday.tim", "08:00 08:30 0 $BEEP\n09:00 09:10 0 $TNCINI\n");
  auto list = Make();
  EXPECT_EQ(status, "08:00 $BEEP           ...");
  Minutes(*list, 5);  // 07:59 .. 08:03
  ASSERT_EQ(beeps.size(), 1u);
  EXPECT_EQ(beeps[0].hour * 60 + beeps[0].minute, 8 * 60);
  EXPECT_EQ(Read("Thursday.001"), "10.12.2026 08:00 OK\n");
  EXPECT_EQ(status, "09:00 $TNCINI         ...");

  // A restart within the entry's window does not beep again.
  list = Make();
  Minutes(*list, 10);
  EXPECT_EQ(beeps.size(), 1u);
  Minutes(*list, 60);  // past 09:00
  EXPECT_EQ(reinits, 1);
  EXPECT_EQ(status, "");

  // Started late, within the window, on the next Thursday: it runs at the
  // first tick (last week's done file does not count).
  SetClock(2026, 12, 17, 8, 20);
  list = Make();
  Minutes(*list, 1);
  EXPECT_EQ(beeps.size(), 2u);
}

TEST_F(TimerListTest, APeriodicEntryComesRoundEveryPeriodAcrossMidnight) {
  SetClock(2026, 12, 31, 23, 0);  // Thursday; the next day is a Friday in a new year
  Write("Thursday.tim", "00:00 00:15 1 $BEEP\n");
  Write("Friday.tim", "00:00 00:15 1 $BEEP\n");
  auto list = Make();
  Minutes(*list, 90);  // to 00:30 on 1 January
  std::vector<int> at;
  for (const ui::LocalTime& t : beeps) at.push_back(t.hour * 60 + t.minute);
  EXPECT_EQ(at, (std::vector<int>{23 * 60 + 15, 23 * 60 + 30, 23 * 60 + 45, 15, 30}));
  EXPECT_EQ(beeps.back().year, 2027);
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "periodic entries keep no done files";
}

TEST_F(TimerListTest, TheDateFileHidesTheWeekdayFileOnALeapDay) {
  SetClock(2028, 2, 28, 23, 50);  // Monday; 29 February is a Tuesday
  Write("Tuesday.tim", "00:05 01:00 0 $BEEP\n");
  Write("20280229.tim", "00:10 01:00 0 $myprog --fetch\n");
  auto list = Make();
  EXPECT_EQ(status, "");  // nothing on Mondays
  Minutes(*list, 30);     // to 00:20 on the leap day
  EXPECT_TRUE(beeps.empty());
  EXPECT_EQ(runs, (std::vector<std::string>{"myprog --fetch"}));
  EXPECT_EQ(Read("20280229.001"), "29.02.2028 00:10 OK\n");
  // 1 March is a Wednesday without a file.
  Minutes(*list, 24 * 60);
  EXPECT_EQ(runs.size(), 1u);
}

TEST_F(TimerListTest, AConnectEntryIsDoneWhenItsPathReachesItsScript) {
  SetClock(2026, 12, 10, 5, 59);
  Write("Thursday.tim", "06:00 06:10 0 N0BBS @boxlogin.scr\n");
  auto list = Make();
  // Every slot taken: tried again the next minute.
  slotFree = false;
  Minutes(*list, 1);
  slotFree = true;
  Minutes(*list, 1);  // a channel opens at 06:01
  list->LoadNext();   // a reload meanwhile (start-up, the editor) keeps waiting for it
  Minutes(*list, 2);  // no second one while it runs
  EXPECT_EQ(connects, (std::vector<std::string>(2, "N0BBS @boxlogin.scr #T")));
  // The path fails: recorded, and tried again at the next minute.
  list->PathEnded(false);
  EXPECT_EQ(Read("Thursday.001"), "10.12.2026 06:03 FAIL\n");
  Minutes(*list, 1);
  EXPECT_EQ(connects.size(), 3u);
  // Another path reaching its script is not the timer's business.
  list->PathEnded(true);
  list->PathEnded(true);
  EXPECT_EQ(Read("Thursday.001"), "10.12.2026 06:04 OK\n");
  Minutes(*list, 10);
  EXPECT_EQ(connects.size(), 3u);
  list->PathEnded(false);  // nothing under way: ignored
  EXPECT_EQ(Read("Thursday.001"), "10.12.2026 06:04 OK\n");
}

TEST_F(TimerListTest, ExitIsRecordedBeforeTheProgramEnds) {
  SetClock(2026, 12, 10, 22, 59);
  Write("Thursday.tim", "23:00 23:30 0 $EXIT\n");
  auto list = Make();
  Minutes(*list, 1);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(Read("Thursday.001"), "10.12.2026 23:00 OK\n");
  list = Make();  // the next start
  Minutes(*list, 5);
  EXPECT_EQ(exits, 1);
}

}  // namespace
}  // namespace tarvik::script
