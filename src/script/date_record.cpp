#include "script/date_record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvik::script {

namespace {

constexpr double kSecondsPerDay = 86400;

void ComputeDerived(DateRecord& r) {
  r.hours = r.hour + r.minute / 60.0 + r.second / 3600.0;
  int y = r.year, m = r.month;
  if (m < 3) {
    y -= 1;
    m += 12;
  }
  r.mjd = std::floor(365.25 * y) + std::floor(30.6001 * (m + 1)) + r.day + r.hours / 24 + std::floor(y / 400.0) -
          std::floor(y / 100.0) - 679004;
  const double sinceEpoch = r.mjd - kGpsEpochMjd;
  r.gpsWeek = static_cast<int>(std::floor(sinceEpoch / 7));
  r.gpsDay = static_cast<int>(std::fmod(sinceEpoch, 7));
}

// Reads a decimal number at the start of `text` (after blanks) and moves
// past the separator that ends the field.
int TakeField(std::string_view& text, char separator) {
  const std::size_t end = separator == '\0' ? std::string_view::npos : text.find(separator);
  const std::string field(text.substr(0, end));
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  const long value = std::strtol(field.c_str(), nullptr, 10);
  // Absurd numbers from a script must not overflow the calendar arithmetic.
  return static_cast<int>(std::clamp(value, -1'000'000L, 1'000'000L));
}

}  // namespace

DateRecord DateFromCalendar(int year, int month, int day, int hour, int minute, int second) {
  DateRecord r;
  r.year = year;
  r.month = month;
  r.day = day;
  r.hour = hour;
  r.minute = minute;
  r.second = second;
  ComputeDerived(r);
  return r;
}

DateRecord DateNow(const ui::LocalTime& now) {
  return DateFromCalendar(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

DateRecord DateParse(std::string_view text) {
  const int day = TakeField(text, '.');
  const int month = TakeField(text, '.');
  int year = TakeField(text, ' ');
  const int hour = TakeField(text, ':');
  const int minute = TakeField(text, ':');
  const int second = TakeField(text, '\0');
  if (year < 100) year += 1900;
  return DateFromCalendar(year, month, day, hour, minute, second);
}

void DateAddSeconds(double seconds, DateRecord& r) {
  const double mjd = r.mjd + seconds / kSecondsPerDay;
  if (!std::isfinite(mjd) || std::fabs(mjd) > 1e8) return;  // beyond any calendar: leave the record
  // DECIDED: the time of day is taken to the nearest second, so that a
  // record moved by whole seconds never shows 09 where 10 is meant.
  const long long total = std::llround(mjd * kSecondsPerDay);
  long long dayNumber = total / 86400;
  long long rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    dayNumber -= 1;
  }
  const long long z = dayNumber + 2400001;  // Julian day number
  long long a = z;
  if (z >= 2299161) {
    const long long alpha = static_cast<long long>(std::floor((z - 1867216.25) / 36524.25));
    a = z + 1 + alpha - alpha / 4;
  }
  const long long b = a + 1524;
  const long long c = static_cast<long long>(std::floor((b - 122.1) / 365.25));
  const long long d = static_cast<long long>(std::floor(365.25 * c));
  const long long e = static_cast<long long>(std::floor((b - d) / 30.6001));
  r.day = static_cast<int>(b - d - static_cast<long long>(std::floor(30.6001 * e)));
  r.month = static_cast<int>(e < 14 ? e - 1 : e - 13);
  r.year = static_cast<int>(r.month > 2 ? c - 4716 : c - 4715);
  r.hour = static_cast<int>(rest / 3600);
  r.minute = static_cast<int>(rest / 60 % 60);
  r.second = static_cast<int>(rest % 60);
  ComputeDerived(r);
}

bool DateField(std::string_view suffix, const DateRecord& r, std::string& out) {
  char text[96];
  if (suffix == ".MJD") std::snprintf(text, sizeof text, "%.6f", r.mjd);
  else if (suffix == ".YY") std::snprintf(text, sizeof text, "%d", r.year - 1900);
  else if (suffix == ".Y") std::snprintf(text, sizeof text, "%d", r.year);
  else if (suffix == ".M") std::snprintf(text, sizeof text, "%02d", r.month);
  else if (suffix == ".D") std::snprintf(text, sizeof text, "%02d", r.day);
  else if (suffix == ".HH") std::snprintf(text, sizeof text, "%02d", r.hour);
  else if (suffix == ".MM") std::snprintf(text, sizeof text, "%02d", r.minute);
  else if (suffix == ".GPS")
    std::snprintf(text, sizeof text, "%d/%d/%02d:%02d:%02d", r.gpsWeek, r.gpsDay, r.hour, r.minute, r.second);
  else if (suffix == ".GW") std::snprintf(text, sizeof text, "%02d", r.gpsWeek);
  else if (suffix == ".GD") std::snprintf(text, sizeof text, "%d", r.gpsDay);
  else return false;
  out = text;
  return true;
}

}  // namespace tarvik::script
