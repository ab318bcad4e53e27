#pragma once
// The timer editor: the timer list window (1300) shows the entries of one
// day's timer file in the time order of their start, the weekday buttons
// load another day, New and Edit open the entry window (1310), Delete takes
// the selected entry out, Save writes the file back and has the main window
// load its next entry again (user event 1309), and Reload reads the file
// again, dropping what was not saved.
//
// The list's lines are "start\tend\tflag\tcommand\tindex" (the command
// padded to 108 characters; the last field, not shown, numbers the entry).

#include <string>
#include <vector>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::script {

inline constexpr int kTimerListNumber = 1300;
inline constexpr int kTimerEntryNumber = 1310;

// One line of a timer file as the editor keeps it.
struct TimerFileLine {
  std::string start, end;  // "HH:MM"
  bool periodic = false;
  std::string command;     // as written, without a comment

  // "%s %s %s %s" (start, end, flag, command), the line of the file.
  std::string FileLine() const;
  bool operator==(const TimerFileLine&) const = default;
};

// The entries of a timer file's text, in the time order of their start.
std::vector<TimerFileLine> ReadTimerLines(const std::string& text);

// Registers windows 1300 and 1310 with the runtime.
void InstallTimerForms(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::script
