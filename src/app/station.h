#pragma once
// The station assembled: every subsystem wired into the application core.
// The program and the whole-station tests build a station the same way,
// through BuildStation, so what the tests run is what the operator runs.
//
// What is wired here:
//   - the port drivers and the TCP/IP server (core hooks),
//   - the described windows of the channels subsystem and the station
//     database (forms),
//   - scripts and text macros,
//   - the main window with the monitor, the heard list and routing,
//   - every channel's setup: its parts and the station facts.

#include <functional>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::app {

// Observers of a built station (tests, automation); every one may be empty.
struct StationTaps {
  std::function<void(ui::WindowId channel)> channelOpened;  // after the channel window's creation
};

// `forms` opens the program's described windows; it outlives every window.
void BuildStation(core::App& app, ui::FormRuntime& forms, StationTaps taps = {});

}  // namespace tarvik::app
