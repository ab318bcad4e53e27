#pragma once
// SIGTERM and SIGINT end the program in the same orderly way as its exit
// command: the signal only writes a byte into a pipe, and the main loop turns
// that into the task window's shutdown event.

#include "ui/toolkit/toolkit.h"

namespace tarvik::core {

class App;

// Installs the handlers and a window watching the pipe; the returned window
// lives until the toolkit is gone. kNoWindow when the pipe cannot be made.
ui::WindowId WatchTerminationSignals(App& app);

}  // namespace tarvik::core
