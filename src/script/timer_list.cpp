#include "script/timer_list.h"

#include <array>
#include <cstdio>
#include <fstream>

#include "core/atomic_file.h"

namespace tarvik::script {

namespace {

// A timer file bigger than this is no timer file a person wrote.
constexpr std::size_t kTimerFileMax = 256 * 1024;

// "HH:MM" at `at`: minutes of the day; hours up to 23 (a period may reach
// 23:59 as well), minutes up to 59.
std::optional<int> ClockAt(std::string_view line, std::size_t at) {
  auto digit = [&](std::size_t i) -> int {
    const char c = line[at + i];
    return c >= '0' && c <= '9' ? c - '0' : -1;
  };
  const int h1 = digit(0), h2 = digit(1), m1 = digit(3), m2 = digit(4);
  if (h1 < 0 || h2 < 0 || m1 < 0 || m2 < 0 || line[at + 2] != ':') return std::nullopt;
  const int hour = h1 * 10 + h2, minute = m1 * 10 + m2;
  if (hour > 23 || minute > 59) return std::nullopt;
  return hour * 60 + minute;
}

std::optional<std::string> ReadTimerFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kTimerFileMax, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::string TwoDigits(int a, int b) {
  std::array<char, 16> buf{};
  std::snprintf(buf.data(), buf.size(), "%02d:%02d", a, b);
  return buf.data();
}

}  // namespace

std::optional<TimerEntry> ParseTimerLine(std::string_view line, int number) {
  if (line.size() > kTimerLineMax) line = line.substr(0, kTimerLineMax);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (line.size() < kTimerLineMin) return std::nullopt;
  const std::optional<int> start = ClockAt(line, 0);
  const std::optional<int> end = ClockAt(line, 6);
  if (!start || !end || line[5] != ' ' || line[11] != ' ' || line[13] != ' ') return std::nullopt;
  if (line[12] != '0' && line[12] != '1') return std::nullopt;
  TimerEntry e;
  e.startHour = *start / 60;
  e.startMinute = *start % 60;
  e.endHour = *end / 60;
  e.endMinute = *end % 60;
  e.periodic = line[12] == '1';
  // A period of no time would come round for ever.
  if (e.periodic && *end == 0) return std::nullopt;
  std::string_view command = line.substr(14);
  command = command.substr(0, command.find('#'));
  if (command.size() > kTimerCommandMax) command = command.substr(0, kTimerCommandMax);
  while (!command.empty() && (command.back() == ' ' || command.back() == '\t')) command.remove_suffix(1);
  for (const char c : command)
    if (static_cast<unsigned char>(c) < 32 && c != '\t') return std::nullopt;
  e.command = std::string(command);
  if (e.connects()) e.command += kConnectMark;
  e.number = number;
  return e;
}

std::vector<TimerEntry> ParseTimerText(std::string_view text) {
  std::vector<TimerEntry> entries;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (auto e = ParseTimerLine(line, static_cast<int>(entries.size()) + 1)) entries.push_back(std::move(*e));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return entries;
}

std::string_view WeekdayName(int dayOfWeek) {
  static constexpr std::array<std::string_view, 7> kNames = {
      "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return kNames[static_cast<std::size_t>(((dayOfWeek % 7) + 7) % 7)];
}

TimerList::TimerList(std::string scriptDir, std::string tmpDir, Actions actions)
    : scriptDir_(std::move(scriptDir)), tmpDir_(std::move(tmpDir)), actions_(std::move(actions)) {}

std::string TimerList::Today() const {
  const ui::LocalTime now = actions_.now();
  std::array<char, 32> buf{};
  std::snprintf(buf.data(), buf.size(), "%02d.%02d.%04d", now.day, now.month, now.year);
  return buf.data();
}

std::string TimerList::DonePath(const TimerEntry& entry) const {
  std::array<char, 16> number{};
  std::snprintf(number.data(), number.size(), ".%03d", entry.number);
  return tmpDir_ + dayName_ + number.data();
}

bool TimerList::DoneToday(const TimerEntry& entry) const {
  if (entry.periodic) return false;
  if (doneInMemory_.count(DonePath(entry) + " " + Today())) return true;
  std::ifstream in(DonePath(entry));
  std::string date, time, result;
  if (!(in >> date >> time >> result)) return false;
  return date == Today() && result == "OK";
}

void TimerList::LoadNext() {
  // A reload while the loaded entry's channel is on its way (the start-up
  // load, the editor's saving) keeps waiting for that channel.
  const std::optional<TimerEntry> before = std::move(loaded_);
  const std::string dayBefore = dayName_;
  loaded_.reset();
  const ui::LocalTime now = actions_.now();
  const int nowMinutes = now.hour * 60 + now.minute;

  // Today's date file hides the weekday file.
  std::array<char, 16> date{};
  std::snprintf(date.data(), date.size(), "%04d%02d%02d", now.year, now.month, now.day);
  dayName_ = date.data();
  std::optional<std::string> text = ReadTimerFile(scriptDir_ + dayName_ + ".tim");
  if (!text) {
    dayName_ = std::string(WeekdayName(now.dayOfWeek));
    text = ReadTimerFile(scriptDir_ + dayName_ + ".tim");
  }
  std::optional<TimerEntry> found, periodic;
  if (text) {
    for (TimerEntry& e : ParseTimerText(*text)) {
      // A periodic entry only says when the next occurrence is: it is never
      // due for a whole window, which would run it every minute.
      if (e.periodic) {
        periodic = std::move(e);
        continue;
      }
      if (nowMinutes <= e.end() && (nowMinutes < e.start() || !DoneToday(e))) {
        found = std::move(e);
        break;
      }
    }
  }
  if (periodic) {
    int hour = periodic->startHour, minute = periodic->startMinute;
    while (nowMinutes >= hour * 60 + minute) {
      minute += periodic->endMinute;
      if (minute >= 60) {
        minute -= 60;
        ++hour;
      }
      hour += periodic->endHour;
    }
    if (!found || hour * 60 + minute < found->start()) {
      found = std::move(periodic);
      found->startHour = hour;
      found->startMinute = minute;
      // One minute to run in (the minute is not carried: 10:59 ends at
      // 10:60, which is 11:00).
      found->endHour = hour;
      found->endMinute = minute + 1;
    }
  }
  loaded_ = std::move(found);
  connecting_ = connecting_ && before && loaded_ && dayName_ == dayBefore && loaded_->number == before->number &&
                loaded_->command == before->command;
  if (actions_.status) {
    if (!loaded_) {
      actions_.status("");
    } else {
      std::array<char, 40> command{};
      std::snprintf(command.data(), command.size(), "%-16.16s", loaded_->command.c_str());
      actions_.status(TwoDigits(loaded_->startHour, loaded_->startMinute) + " " + command.data() + "...");
    }
  }
}

void TimerList::MinuteTick() {
  if (!loaded_) return;
  const ui::LocalTime now = actions_.now();
  const int nowMinutes = now.hour * 60 + now.minute;
  if (nowMinutes < loaded_->start()) return;
  if (nowMinutes > loaded_->end() || DoneToday(*loaded_) || loaded_->command.empty()) {
    LoadNext();
    return;
  }
  const std::string& command = loaded_->command;
  if (loaded_->connects()) {
    // One channel at a time: the entry waits for its path to end. When every
    // slot is taken it tries again at the next minute.
    if (!connecting_ && actions_.connect && actions_.connect(command)) connecting_ = true;
    return;
  }
  if (command.find("$EXIT") != std::string::npos) {
    // Recorded first, so that the next start does not end again.
    MarkDone(true);
    if (actions_.exit) actions_.exit();
    return;
  }
  bool success = true;
  if (command.find("$BEEP") != std::string::npos) {
    if (actions_.beep) actions_.beep();
  } else if (command.find("$TNCINI") != std::string::npos) {
    if (actions_.reinitTncs) actions_.reinitTncs();
  } else {
    const std::size_t dollar = command.find('$');
    success = actions_.run && actions_.run(command.substr(dollar + 1));
  }
  MarkDone(success);
}

void TimerList::PathEnded(bool success) {
  if (!connecting_ || !loaded_) return;
  connecting_ = false;
  MarkDone(success);
}

void TimerList::MarkDone(bool success) {
  if (loaded_ && !loaded_->periodic && !loaded_->command.empty()) {
    const ui::LocalTime now = actions_.now();
    std::array<char, 64> line{};
    std::snprintf(line.data(), line.size(), "%s %02d:%02d %s\n", Today().c_str(), now.hour, now.minute,
                  success ? "OK" : "FAIL");
    // Without its record the entry would run again at every minute: what
    // cannot be written is remembered until the program ends.
    if (!core::WriteFileAtomically(DonePath(*loaded_), line.data()) && success)
      doneInMemory_.insert(DonePath(*loaded_) + " " + Today());
  }
  LoadNext();
}

}  // namespace tarvik::script
