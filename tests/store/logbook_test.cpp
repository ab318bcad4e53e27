// The logbook's files byte for byte: the display file the list shows, the
// archive by date, and appending a connection.
#include "store/logbook.h"

#include "store_fixture.h"

namespace tarvik::store {
namespace {

using Logbook = testing::LogDir;

// A logbook line as the connection log writes it.
std::string Line(const char* call, const char* start, const char* end, const char* remark = "") {
  char text[160];
  std::snprintf(text, sizeof text, "%-12.12s Ch %1.1s,%-12.12s  %-16.16s - %-16.16s %-32.32s\n", call, "1",
                "144.800", start, end, remark);
  return text;
}

TEST_F(Logbook, DisplayLinesArePaddedOrCutTo100WithTabsBetweenTheColumns) {
  const std::string full = Line("DB0XYZ", "31.01.1997 10:02", "10:15", "Mail");
  std::string expected = full.substr(0, 100);
  for (const std::size_t at : {12u, 31u, 48u, 67u}) expected[at] = '\t';
  const std::string longLine = std::string(150, 'x');
  struct Case {
    std::string log, display;
  } cases[] = {
      {"", ""},
      {full, expected + "\n"},
      // Longer lines are cut at 100 characters; shorter ones padded.
      {longLine + "\n", std::string(12, 'x') + "\t" + std::string(18, 'x') + "\t" + std::string(16, 'x') + "\t" +
                            std::string(18, 'x') + "\t" + std::string(32, 'x') + "\n"},
      {"DL1ABC\r\nshort", "DL1ABC      \t" + std::string(18, ' ') + "\t" + std::string(16, ' ') + "\t" +
                              std::string(18, ' ') + "\t" + std::string(32, ' ') + "\n" + "short       \t" +
                              std::string(18, ' ') + "\t" + std::string(16, ' ') + "\t" + std::string(18, ' ') +
                              "\t" + std::string(32, ' ') + "\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LogbookDisplayText(c.log), c.display) << c.log;
    for (std::size_t at = 0; at < c.display.size(); at += 101) EXPECT_EQ(c.display[at + 100], '\n');
  }
  // The file itself keeps the long line whole.
  write("DL1AAA.log", longLine + "\n");
  ASSERT_TRUE(WriteLogbookDisplay(prefix() + "DL1AAA.log", prefix() + "00000001.$$$"));
  EXPECT_EQ(read("00000001.$$$").size(), 101u);
  EXPECT_EQ(read("DL1AAA.log"), longLine + "\n");
  // A missing logbook is an empty list.
  ASSERT_TRUE(WriteLogbookDisplay(prefix() + "none.log", prefix() + "00000002.$$$"));
  EXPECT_EQ(read("00000002.$$$"), "");
}

TEST_F(Logbook, DateKeysAndArchiveNames) {
  struct Case {
    const char* date;
    long key;  // 0: not a date
  } cases[] = {{"01.02.1997", 19970201}, {"31.01.1997 23:59", 19970131}, {"1.2.2026", 20260201},
               {"32.01.1997", 0},        {"01.13.1997", 0},           {"01-02-1997", 0},
               {"", 0},                  {"..", 0},                   {"01.02.19x7", 0}};
  for (const Case& c : cases) EXPECT_EQ(DateKey(c.date).value_or(0), c.key) << c.date;
  EXPECT_EQ(ArchivePath("/log/", "01.02.1997"), "/log/19970201.lar");
  EXPECT_FALSE(ArchivePath("/log/", "soon"));
}

TEST_F(Logbook, ArchivingMovesTheLinesUpToTheDate) {
  const std::string a = Line("DL1AAA", "30.01.1997 10:00", "10:05");
  const std::string b = Line("DL1BBB", "31.01.1997 23:50", "01.02.1997 00:10");
  const std::string c = Line("DL1CCC", "01.02.1997 08:00", "08:30");
  const std::string old = Line("DL1OLD", "15.01.1997 08:00", "08:30");  // out of order: stays
  const std::string d = Line("DL1DDD", "02.02.1998 08:00", "08:30");
  write("DL1ZZZ.log", a + b + c + old + d);

  // Before the first line: nothing happens.
  EXPECT_EQ(ArchiveLogbook(prefix(), "DL1ZZZ", "29.01.1997"), ArchiveResult::Nothing);
  EXPECT_EQ(read("DL1ZZZ.log"), a + b + c + old + d);
  EXPECT_EQ(fileCount(), 1u);
  EXPECT_EQ(ArchiveLogbook(prefix(), "DL1ZZZ", "no date"), ArchiveResult::Nothing);

  ASSERT_EQ(ArchiveLogbook(prefix(), "DL1ZZZ", "31.01.1997"), ArchiveResult::Archived);
  EXPECT_EQ(read("19970131.lar"), a + b);
  EXPECT_EQ(read("DL1ZZZ.log"), c + old + d);

  // The same date again: the archive keeps what it had.
  const std::string late = Line("DL1LAT", "31.01.1997 23:59", "23:59");
  write("DL1ZZZ.log", late + c + old + d);
  ASSERT_EQ(ArchiveLogbook(prefix(), "DL1ZZZ", "31.01.1997"), ArchiveResult::Archived);
  EXPECT_EQ(read("19970131.lar"), a + b + late);

  // Everything: the log is left empty.
  ASSERT_EQ(ArchiveLogbook(prefix(), "DL1ZZZ", "31.12.1999"), ArchiveResult::Archived);
  EXPECT_EQ(read("19991231.lar"), c + old + d);
  EXPECT_EQ(read("DL1ZZZ.log"), "");
  EXPECT_EQ(fileCount(), 3u);  // no temporary file stays behind
}

TEST_F(Logbook, AppendingAddsWholeLines) {
  const std::string path = prefix() + "DL1ZZZ.log";
  const std::string a = Line("DL1AAA", "30.01.1997 10:00", "10:05");
  ASSERT_TRUE(AppendLogbookLine(path, a));
  EXPECT_EQ(read("DL1ZZZ.log"), a);
  // A last line without its end (a foreign editor) is not glued onto.
  write("DL1ZZZ.log", "hand written");
  ASSERT_TRUE(AppendLogbookLine(path, a));
  EXPECT_EQ(read("DL1ZZZ.log"), "hand written\n" + a);
  EXPECT_EQ(fileCount(), 1u);
  EXPECT_FALSE(AppendLogbookLine(prefix() + "missing/DL1ZZZ.log", a));
}

}  // namespace
}  // namespace tarvik::store
