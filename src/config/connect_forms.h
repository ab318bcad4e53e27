#pragma once
// The connect windows of the connection manager: a KISS port over a
// TCP/IP connection (window 1210, "TCPCON") and a serial TNC or modem
// (window 1220, "COMCON"). Each takes a port (PortForConnect), fills its
// record and opens it through the port drivers with itself as the owner of
// the driver's first report. Once the port is open the manager learns of
// it (user event 1199) and the window closes; a port that does not open is
// told to the operator and emptied again. Cancel while the port is being
// opened closes it.
//
// Both windows refuse to open (message 17) when every port is open.

#include <string>
#include <vector>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::config {

// The DEVICE lines of the serial window, "%d:%s" with a running number
// from 1: COM1 to COM4 where they can be opened now, then the USB and ACM
// serial devices that can (/dev/ttyUSB0.., /dev/ttyACM0..).
std::vector<std::string> SerialDeviceLines();
// The device of such a line: the text after the running number and ":".
std::string SerialDeviceOfLine(const std::string& line);

void InstallConnectForms(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::config
