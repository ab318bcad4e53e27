#pragma once
// Wires the subsystems of a station into the application core: port drivers,
// the TCP/IP server, the main window with routing and monitor.

#include "core/app.h"

namespace tarvik::app {

void InstallStationHooks(core::App& app);

}  // namespace tarvik::app
