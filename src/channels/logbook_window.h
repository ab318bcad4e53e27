#pragma once
// The logbook on screen (window 1170, "LOGBUCH"): the log file of the own
// call (store/logbook.h) or one of its archives as a list of five columns.
// A line opens the station form of its call (STATION, a double click) or
// connects to the station (CON, a double click with the second button);
// ARCHIVE asks for a date in window 1180 ("LOGARCH") and moves the lines up
// to that date into the archive of the date; LOAD shows an archive and
// RELOAD the log file again.

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kLogbookNumber = 1170;
inline constexpr int kLogArchiveNumber = 1180;

enum LogbookEvent : int {
  kEvtLogbookArchive = 1189,  // TextPayload: archive up to this date
};

// Registers windows 1170 and 1180 with the runtime.
void InstallLogbookForms(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::channels
