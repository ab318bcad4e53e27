#pragma once
// Calendar times as scripts and macros use them: the date record keeps a
// calendar time together with its Modified Julian Date and its GPS week and
// day, so that a script can name a GPS observation window by its calendar
// start and end and a text can quote any of these fields.

#include <string>
#include <string_view>

#include "ui/toolkit/toolkit.h"

namespace tarvik::script {

struct DateRecord {
  double mjd = 0;    // days since 17 November 1858 00:00, with the time of day
  double hours = 0;  // hour + minute/60 + second/3600
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int gpsWeek = 0;  // whole weeks since MJD 44244 (6 January 1980)
  int gpsDay = 0;   // 0 = Sunday
};

// The MJD of 6 January 1980 00:00, where GPS weeks are counted from.
inline constexpr double kGpsEpochMjd = 44244;

// Fills a record from a calendar time.
DateRecord DateFromCalendar(int year, int month, int day, int hour, int minute, int second);
DateRecord DateNow(const ui::LocalTime& now);
// Reads "day.month.year hour:minute:second"; missing or unreadable fields
// count as 0, a year below 100 gets 1900 added.
DateRecord DateParse(std::string_view text);
// Moves the record by a number of seconds (either sign).
void DateAddSeconds(double seconds, DateRecord& record);
// The field a macro suffix (".Y", ".MJD", ".GPS", ...) selects; nothing
// when the suffix names no field.
bool DateField(std::string_view suffix, const DateRecord& record, std::string& out);

}  // namespace tarvik::script
