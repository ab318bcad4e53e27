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

void CloseAllPorts(App& app) {
  for (int n = 0; n < kPortCount; ++n) {
    const ui::WindowId w = app.ports()[n].portWindow;
    if (w == ui::kNoWindow) continue;
    app.toolkit().destroy(w);
    app.ports()[n].portWindow = ui::kNoWindow;
  }
}

}  // namespace tarvik::core
