// The logbook in a whole station: a finished connection is a line of the
// own call's log file, the logbook window lists it, and archiving moves the
// lines up to a date into that date's archive across a change of day.

#include <ctime>
#include <sstream>

#include "channels/logbook_window.h"
#include "channels/terminal_fixture.h"
#include "ui/cnx_file.h"
#include "ui/list_rows.h"

namespace tarvik::test {
namespace {

// A logbook line read by its character positions.
struct LogLine {
  std::string call, channel, start, end, remark;
};
std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
std::vector<LogLine> ReadLog(const std::string& text) {
  std::vector<LogLine> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (l.size() < 68) continue;
    out.push_back({Trim(l.substr(0, 12)), Trim(l.substr(13, 18)), l.substr(32, 16), Trim(l.substr(49, 16)),
                   Trim(l.substr(67))});
  }
  return out;
}

class LogbookStation : public TerminalFixture {
 protected:
  // Two stations just before midnight of 9 March 2026.
  void SetUp() override {
    std::tm tm{};
    tm.tm_year = 126, tm.tm_mon = 2, tm.tm_mday = 9, tm.tm_hour = 23, tm.tm_min = 59, tm.tm_isdst = -1;
    tk.setTime(ui::Clock::from_time_t(std::mktime(&tm)));
  }
  void Describe(Terminal& t) {
    for (const int number : {channels::kLogbookNumber, channels::kLogArchiveNumber}) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(t.dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
    std::ofstream(t.dir / "TARVIK.MSG", std::ios::app) << "15 1 Archive up to %s?\n16 1 Nothing up to %s.\n";
  }
  // A connects to B, and B ends it.
  void Connection(Terminal& a, Terminal& b) {
    channels::ChannelWindow* ca = ConnectPair(a, b);
    ASSERT_TRUE(ca);
    const ui::WindowId wa = ca->id();
    for (const ui::WindowId w : b.opened)
      if (auto* cb = tk.findAs<channels::ChannelWindow>(w)) cb->Disconnect(false);
    // The window keeps the conversation; the operator closes it.
    ASSERT_TRUE(ether.RunUntil([&] {
      const auto* ch = tk.findAs<channels::ChannelWindow>(wa);
      return !ch || ch->ended();
    }));
    tk.destroy(wa);
  }
};

TEST_F(LogbookStation, ConnectionsAreLoggedListedAndArchivedByDate) {
  Terminal& a = AddStation("DL1AAA", true);
  Terminal& b = AddStation("DB0BBB");
  Describe(a);
  Connection(a, b);
  auto lines = ReadLog(a.logFile());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].call, "DB0BBB");
  EXPECT_EQ(lines[0].channel, "Ch 0,438.300");
  EXPECT_EQ(lines[0].start, "09.03.2026 23:59");

  // After midnight, another.
  ether.Run(90'000);
  ASSERT_EQ(tk.localTime().day, 10);
  Connection(a, b);
  lines = ReadLog(a.logFile());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].start.substr(0, 10), "10.03.2026");

  // The logbook window (the toolbox's LOGBUCH) lists both.
  a.forms->OpenWindowById(a.app->mainWindow, channels::kLogbookNumber);
  ASSERT_EQ(a.forms->windowsOf(channels::kLogbookNumber).size(), 1u);
  const std::string L = Win(a.forms->windowsOf(channels::kLogbookNumber).front());
  auto rows = Do("lines " + L + " LISTE");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].substr(0, 15), "= DB0BBB      \t");
  auto enabled = [&](const std::string& control) {
    return Do("state " + L + " " + control).back().find("enabled=1") != std::string::npos;
  };
  EXPECT_FALSE(enabled("STATION"));  // nothing selected
  Do("mouse " + L + " LISTE click 10 " + std::to_string(ListRowY(tk, L, 0)));
  tk.stepMs(300);
  EXPECT_TRUE(enabled("STATION"));

  // Archive up to the first day: confirmed, the first line moves.
  Do("press " + L + " ARCHIVE");
  ASSERT_EQ(a.forms->windowsOf(channels::kLogArchiveNumber).size(), 1u);
  const std::string A = Win(a.forms->windowsOf(channels::kLogArchiveNumber).front());
  Do("set " + A + " DATUM 09.03.2026");
  tk.queueDialogAnswer(1);
  Do("press " + A + " OK");
  tk.pump(0);
  EXPECT_TRUE(DialogShown("Archive up to 09.03.2026?"));
  std::ifstream archive(a.dir / "log" / "20260309.lar");
  const std::string archived((std::istreambuf_iterator<char>(archive)), std::istreambuf_iterator<char>());
  ASSERT_EQ(ReadLog(archived).size(), 1u);
  EXPECT_EQ(ReadLog(archived)[0].start, "09.03.2026 23:59");
  lines = ReadLog(a.logFile());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].start.substr(0, 10), "10.03.2026");
  EXPECT_EQ(Do("lines " + L + " LISTE").size(), 2u);
  EXPECT_TRUE(a.forms->windowsOf(channels::kLogArchiveNumber).empty());

  // Archiving before the first line changes nothing.
  Do("press " + L + " ARCHIVE");
  const std::string A2 = Win(a.forms->windowsOf(channels::kLogArchiveNumber).front());
  Do("set " + A2 + " DATUM 01.01.2026");
  tk.queueDialogAnswer(1);
  Do("press " + A2 + " OK");
  tk.pump(0);
  EXPECT_TRUE(DialogShown("Nothing up to 01.01.2026."));
  EXPECT_EQ(ReadLog(a.logFile()).size(), 1u);

  // The archive is shown on request, the log again on RELOAD.
  tk.queueFileDialogAnswer((a.dir / "log" / "20260309.lar").string());
  Do("press " + L + " LOAD");
  EXPECT_TRUE(enabled("RELOAD"));
  EXPECT_FALSE(enabled("ARCHIVE"));
  rows = Do("lines " + L + " LISTE");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0].find("09.03.2026 23:59"), std::string::npos);
  Do("press " + L + " RELOAD");
  EXPECT_FALSE(enabled("RELOAD"));
  EXPECT_NE(Do("lines " + L + " LISTE")[0].find("10.03.2026"), std::string::npos);
}

}  // namespace
}  // namespace tarvik::test
