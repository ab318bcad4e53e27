#pragma once
// The port drivers behind the core's port opener: one entry that creates the
// window driving a configured port, by its device type.

#include "core/app.h"

namespace tarvik::devices {

// Creates the port window of `port`: a serial port window for device types
// TNC and COM, an outgoing TCP/IP port window for TCPIP, each with the task
// window as owner. Returns the window, or none
// when the port cannot be driven (device type 0 or unknown, port number
// outside the table). Suits CoreHooks::openPort.
ui::WindowId OpenPortWindow(core::App& app, int port);
// The same with `owner` hearing the driver's reports until the port has
// opened (the connection manager's connect windows).
ui::WindowId OpenPortWindowFor(core::App& app, int port, ui::WindowId owner);

}  // namespace tarvik::devices
