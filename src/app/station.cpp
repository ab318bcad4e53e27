#include "app/station.h"

#include "channels/main_window.h"

namespace tarvik::app {

void InstallStationHooks(core::App& app) {
  app.hooks().createMainWindow = [](core::App& a) {
    return channels::MainWindow::Create(a, channels::MainWindowHooks{});
  };
}

}  // namespace tarvik::app
