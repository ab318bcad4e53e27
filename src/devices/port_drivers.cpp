#include "devices/port_drivers.h"

#include "devices/serial_port_window.h"
#include "devices/tcp_port.h"

namespace tarvik::devices {

ui::WindowId OpenPortWindow(core::App& app, int port) { return OpenPortWindowFor(app, port, ui::kNoWindow); }

ui::WindowId OpenPortWindowFor(core::App& app, int port, ui::WindowId owner) {
  const core::PortRecord* record = app.ports().Find(port);
  if (record == nullptr || record->device.empty()) return ui::kNoWindow;
  switch (record->devType) {
    case core::kDevTypeTnc:
    case core::kDevTypeCom:
      return SerialPortWindow::Create(app, owner != ui::kNoWindow ? owner : app.taskWindow, port);
    case core::kDevTypeTcpIp:
      return CreateTcpPortWindow(app, port, -1, owner);  // outgoing: no socket yet
    default:
      return ui::kNoWindow;
  }
}

}  // namespace tarvik::devices
