// Text macros and the date record: a table of texts and what they become
// on a channel with known calls, a known clock and a few script variables.

#include <gtest/gtest.h>

#include "script/date_record.h"
#include "script/macros.h"

namespace tarvik::script {
namespace {

struct MacroChannel {
  VariableTable variables;
  DateRecord reference = DateFromCalendar(2024, 3, 5, 7, 8, 9);
  DateRecord gpsStart = DateParse("06.01.1980 00:00:00");
  DateRecord gpsEnd = DateParse("17.11.1858 00:00:00");
  MacroContext context;
  MacroChannel() {
    variables.Define("answer", "42");
    variables.Define("ABCDEFGHIJK", "eleven");
    context.myCall = "DL1AAA";
    context.yourCall = "DB0BBB-3";
    context.lastCon = "01.02.2024 10:11";
    context.now = ui::LocalTime{1997, 2, 22, 18, 21, 38, 6};
    context.reference = &reference;
    context.gpsStart = &gpsStart;
    context.gpsEnd = &gpsEnd;
    context.variables = &variables;
  }
};

TEST(Macros, ExpansionTable) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"no macro at all", "no macro at all"},
      {"100%", "100%"},
      {"a %MYCALL b", "a %MYCALL b"},
      {"de %MYCALL% to %YOURCALL%", "de DL1AAA to DB0BBB-3"},
      {"%YOURNAME%", "DB0BBB-3"},  // no stored name: the call
      {"%DATE%", "22.02.1997 18:21"},
      {"%DATE.Y%-%DATE.M%-%DATE.D% %DATE.HH%:%DATE.MM%", "2024-03-05 07:08"},
      {"%DATE.YY%", "124"},
      {"%DATE.XX%", "DATE.XX"},
      {"%XDATE.Y%", "XDATE.Y"},  // the suffix is always from the fifth character
      {"%GPSS.GPS%", "0/0/00:00:00"},
      {"%GPSS.GW%|%GPSS.GD%|%GPSS.MJD%", "00|0|44244.000000"},
      {"%GPSE.MJD%", "0.000000"},
      {"%LASTCON%", "01.02.2024 10:11"},
      {"[%NO%]", "[]"},
      {"a%CR%b%LF%c%CRLF%d%LFCR%", "a\rb\nc\r\nd\n\r"},
      {"%PROD% %VER%", "TARVIK/WIN32 2.10"},
      {"=%answer%=", "=42="},
      {"%ABCDEFGHIJKLM%", "eleven"},
      {"%missing%", "missing undefined"},
      {"%mycall%", "mycall undefined"},  // names are case-sensitive
      {"%%", " undefined"},
      {"x %MYCALL% y %unclosed", "x DL1AAA y %unclosed"},
      {"%answer%answer%", "42answer%"},  // values are not expanded again
  };
  for (const Case& c : cases) {
    MacroChannel ch;
    EXPECT_EQ(Expand(c.text, ch.context), c.expected) << c.text;
  }
}

TEST(Macros, NowRefreshesTheReferenceTimeForLaterFields) {
  MacroChannel ch;
  EXPECT_EQ(Expand("%DATE.HH%", ch.context), "07");
  EXPECT_EQ(Expand("%NOW% then %DATE.HH%:%DATE.MM%", ch.context), "22.02.1997 18:21:38 then 18:21");
  EXPECT_EQ(Expand("%DATE.Y%", ch.context), "1997");
}

TEST(Macros, ResultsStayWithinTheirLimits) {
  MacroChannel ch;
  ch.variables.Define("big", std::string(300, 'v'));
  EXPECT_EQ(Expand("%big%", ch.context), std::string(kMacroValueLimit, 'v'));
  std::string many;
  for (int i = 0; i < 100; ++i) many += "%MYCALL%";
  EXPECT_EQ(Expand(many, ch.context).size(), kExpandedLimit);
  // Without a channel at all nothing is dereferenced.
  MacroContext bare;
  EXPECT_EQ(Expand("%MYCALL%|%NOW%|%DATE.Y%|%GPSS.GW%|%x%", bare),
            "|01.01.1970 00:00:00|0|00|x undefined");
}

TEST(DateRecord, CalendarMjdAndGpsFields) {
  struct Case {
    const char* text;
    double mjd;
    int week, day;
  } cases[] = {
      {"06.01.1980 00:00:00", 44244, 0, 0},
      {"17.11.1858 00:00:00", 0, -6321, 0},
      {"01.01.2000 12:00:00", 51544.5, 1042, 6},
      {"22.02.97 18:00:00", 50501.75, 893, 6},  // two-digit year in the 1900s
      {"13.01.1980 06:00:00", 44251.25, 1, 0},
  };
  for (const Case& c : cases) {
    const DateRecord r = DateParse(c.text);
    EXPECT_DOUBLE_EQ(r.mjd, c.mjd) << c.text;
    if (c.mjd >= kGpsEpochMjd) {
      EXPECT_EQ(r.gpsWeek, c.week) << c.text;
      EXPECT_EQ(r.gpsDay, c.day) << c.text;
    }
  }
  EXPECT_EQ(DateParse("22.02.97 18:00:00").year, 1997);
  EXPECT_EQ(DateParse("rubbish").mjd, DateFromCalendar(1900, 0, 0, 0, 0, 0).mjd);
}

TEST(DateRecord, AddingSecondsRecomputesEveryField) {
  struct Case {
    const char* start;
    double seconds;
    int year, month, day, hour, minute, second;
  } cases[] = {
      {"31.12.1999 23:59:50", 10, 2000, 1, 1, 0, 0, 0},
      {"01.03.2024 00:00:05", -10, 2024, 2, 29, 23, 59, 55},  // a leap day
      {"06.01.1980 00:00:00", 7 * 86400 + 3661, 1980, 1, 13, 1, 1, 1},
      {"15.10.1582 00:00:00", -86400, 1582, 10, 4, 0, 0, 0},  // the Gregorian reform
  };
  for (const Case& c : cases) {
    DateRecord r = DateParse(c.start);
    DateAddSeconds(c.seconds, r);
    EXPECT_EQ((std::array<int, 6>{r.year, r.month, r.day, r.hour, r.minute, r.second}),
              (std::array<int, 6>{c.year, c.month, c.day, c.hour, c.minute, c.second}))
        << c.start << " + " << c.seconds;
    const DateRecord again = DateFromCalendar(r.year, r.month, r.day, r.hour, r.minute, r.second);
    if (c.year > 1582) {
      EXPECT_NEAR(again.mjd, r.mjd, 1e-9) << c.start;
    }
  }
  DateRecord r = DateParse("06.01.1980 00:00:00");
  DateAddSeconds(1e300, r);  // beyond any calendar: the record stays
  EXPECT_EQ(r.year, 1980);
}

}  // namespace
}  // namespace tarvik::script
