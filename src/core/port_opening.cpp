#include "core/port_opening.h"

#include "core/app.h"

namespace tarvik::core {

void OpenAllPorts(App& app) {
  for (int n = 0; n < kPortCount; ++n) {
    PortRecord& port = app.ports()[n];
    if (port.device.empty() || port.open()) continue;
    if (port.devType < kDevTypeTnc || port.devType > kDevTypeTcpIp) continue;
    if (!app.hooks().openPort) continue;  // no drivers in this build
    port.portWindow = app.hooks().openPort(app, n);
  }
}

std::string PortLabel(const PortTable& ports, int port, const std::string& reportedDevice) {
  std::string title = "port " + std::to_string(port);
  std::string where = reportedDevice;
  if (const PortRecord* record = ports.Find(port)) {
    if (!record->title.empty()) title = record->title;
    if (record->devType == kDevTypeTcpIp && record->device.find(';') != std::string::npos)
      where = record->device;
  }
  return where.empty() ? title : title + " (" + where + ")";
}

void CloseAllPorts(App& app) {
  for (int n = 0; n < kPortCount; ++n) {
    const ui::WindowId w = app.ports()[n].portWindow;
    if (w == ui::kNoWindow) continue;
    app.toolkit().destroy(w);
    app.ports()[n].portWindow = ui::kNoWindow;
  }
}

}  // namespace tarvik::core
