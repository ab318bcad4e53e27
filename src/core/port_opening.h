#pragma once
// Opening and closing every configured port at start and at shutdown.

namespace tarvik::core {

class App;

// For each port with a device string and a device type 1..3 the port
// driver's window is created and entered in the port table; ports of type 0
// keep their configuration and stay closed.
void OpenAllPorts(App& app);
// Destroys every open port window in port order; each window's close-down
// runs and clears its table entry.
void CloseAllPorts(App& app);

}  // namespace tarvik::core
