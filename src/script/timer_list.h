#pragma once
// The timer list: what the station does by itself at set times of the day.
//
// Entries live in one text file per weekday below "script/" ("Monday.tim",
// ...), or in a file for one date ("20261224.tim") that then hides the
// weekday file. One entry per line in fixed columns:
//
//   08:00 08:30 0 N0BBS @boxlogin.scr
//   ^start ^end ^periodic flag, then the command up to "#" or the line end
//
// A command without "$" is a connect path (the channel is opened with " #T"
// added, so a failed connect asks nobody); "$EXIT" ends the program,
// "$BEEP" beeps, "$TNCINI" initialises the serial TNCs again, and any other
// "$name" starts that program. For a periodic entry the end column is the
// period: "00:00 00:15 1 $BEEP" beeps every quarter of an hour.
//
// Exactly one entry is loaded, the next one due; it is tested at every new
// minute. A normal entry runs once a day: its run is recorded in a "done"
// file in TMPPATH (the day's name, "." and the entry's number), so a restart
// does not run it again. A connect entry is done when its path reaches its
// script; a path that fails is recorded as such and tried again at the next
// minute while the entry's time lasts.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::script {

// Longest line read from a timer file, and the shortest that is an entry.
inline constexpr std::size_t kTimerLineMax = 124;
inline constexpr std::size_t kTimerLineMin = 16;
inline constexpr std::size_t kTimerCommandMax = 119;
// Added to the connect path of an entry: a failed connect asks nobody.
inline constexpr const char* kConnectMark = " #T";

struct TimerEntry {
  int startHour = 0, startMinute = 0;
  int endHour = 0, endMinute = 0;  // the period for a periodic entry
  bool periodic = false;
  std::string command;  // as loaded: a connect path carries " #T"
  int number = 0;       // 1, 2, ... in the order of the valid lines

  int start() const { return startHour * 60 + startMinute; }
  int end() const { return endHour * 60 + endMinute; }
  bool connects() const { return !command.empty() && command.find('$') == std::string::npos; }
};

// One line of a timer file (without its line end); nothing when the line
// is no entry. `number` is the entry's number.
std::optional<TimerEntry> ParseTimerLine(std::string_view line, int number);
// The entries of a timer file's text.
std::vector<TimerEntry> ParseTimerText(std::string_view text);

// "Sunday" ... "Saturday" for 0 ... 6.
std::string_view WeekdayName(int dayOfWeek);

class TimerList {
 public:
  // What the timer list does in the station.
  struct Actions {
    std::function<ui::LocalTime()> now;
    // Opens a channel for a connect text; false when no slot is free.
    std::function<bool(const std::string&)> connect;
    std::function<void()> beep;
    std::function<void()> exit;
    std::function<void()> reinitTncs;
    // Starts the program of a "$name" command text; false when it fails.
    std::function<bool(const std::string&)> run;
    // The status line's timer field.
    std::function<void(const std::string&)> status;
  };

  // `scriptDir` holds the timer files, `tmpDir` the done files (both end
  // with "/").
  TimerList(std::string scriptDir, std::string tmpDir, Actions actions);

  // Loads the next entry due (at start-up, after every run, and when the
  // timer files were saved).
  void LoadNext();
  // At every new minute: runs the loaded entry when it is due.
  void MinuteTick();
  // The connect path of the loaded entry reached its script (success) or
  // failed. Other paths (the operator's, a script's) are no business of
  // the timer list: this only acts while a connect of its own is under way.
  void PathEnded(bool success);

  const std::optional<TimerEntry>& loaded() const { return loaded_; }
  // Whether a normal entry has run today (its done file says OK).
  bool DoneToday(const TimerEntry& entry) const;

 private:
  void MarkDone(bool success);
  std::string DonePath(const TimerEntry& entry) const;
  std::string Today() const;

  std::string scriptDir_, tmpDir_;
  Actions actions_;
  std::optional<TimerEntry> loaded_;
  std::string dayName_;       // names the done files of the loaded entry's file
  bool connecting_ = false;   // a channel of the loaded entry is on its way
  std::set<std::string> doneInMemory_;  // runs whose done file could not be written
};

}  // namespace tarvik::script
