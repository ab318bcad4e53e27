#pragma once
// The timer list in the running station: its entries open channels, beep,
// end the program, initialise the TNCs again and start programs, and the
// main window's minute and day hooks drive it.

#include "channels/main_window.h"
#include "core/app.h"

namespace tarvik::script {

// Gives the main window's hooks a timer list reading the timer files of
// "script/" beside the INI file and writing its done files to TMPPATH.
void InstallTimerList(core::App& app, channels::MainWindowHooks& hooks);

}  // namespace tarvik::script
