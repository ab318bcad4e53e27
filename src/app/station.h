#pragma once
// Wires the subsystems of a station into the application core: port drivers,
// the TCP/IP server, the main window with routing and monitor.

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::app {

// `forms` opens the program's described windows; it outlives every window.
void InstallStationHooks(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::app
