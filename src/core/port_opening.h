#pragma once
// Opening and closing every configured port at start and at shutdown.

#include <string>

namespace tarvik::core {

class App;
class PortTable;

// For each port with a device string and a device type 1..3 the port
// driver's window is created and entered in the port table; ports of type 0
// keep their configuration and stay closed.
void OpenAllPorts(App& app);
// Destroys every open port window in port order; each window's close-down
// runs and clears its table entry.
void CloseAllPorts(App& app);

// How a port is named to the operator in its error reports: its title and,
// in brackets, where it leads: host;port of a TCP/IP port from its device
// string, else the device the driver reported ("Neighbour (127.0.0.1;8101)",
// "TNC (/dev/ttyUSB0)"). A port without title is "port <n>".
std::string PortLabel(const PortTable& ports, int port, const std::string& reportedDevice);

}  // namespace tarvik::core
