#include "app/station.h"

#include "ax25/frame_events.h"
#include "channels/main_window.h"
#include "devices/port_drivers.h"
#include "devices/tcp_server.h"

namespace tarvik::app {

void InstallStationHooks(core::App& app) {
  core::CoreHooks& hooks = app.hooks();
  hooks.openPort = [](core::App& a, int port) { return devices::OpenPortWindow(a, port); };
  hooks.startTcpServer = [](core::App& a) { devices::StartTcpIp(a); };
  hooks.stopTcpServer = [](core::App& a) { devices::StopTcpIp(a); };
  hooks.encodeAndSend = [](core::App& a, ui::Event& e) { ax25::EncodeAndSendEvent(a, e); };
  hooks.createMainWindow = [](core::App& a) {
    return channels::MainWindow::Create(a, channels::MainWindowHooks{});
  };
}

}  // namespace tarvik::app
