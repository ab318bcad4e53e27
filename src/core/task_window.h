#pragma once
// The task window: the application's root window and central switchboard.
//
// Its creation brings the program up in a fixed order (configuration, status
// line, services, TCP/IP server, ports, start-up window); one second later the
// start-up window asks it to create the main window, whose heartbeat then
// drives everything. Its destruction takes the program down in the reverse
// order. Port drivers report to it, the message service writes the status
// line through it, and every frame received or sent passes through it.

#include "core/app.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::core {

class TaskWindow : public ui::Window {
 public:
  explicit TaskWindow(App& app) : app_(app) {}
  void onEvent(ui::Event& event) override;

  int statusCountdown() const { return countdown_; }

 private:
  void onCreate();
  void onDestroy();
  void onUser(ui::Event& event);
  void onTimer();
  void startPortsAndServices();
  void createMainWindow();
  void shutdown();
  void setStatus(int field, const std::string& text);
  void clearStatus();
  void runStartPrograms();

  App& app_;
  int countdown_ = 0;
  ui::WindowId startupWindow_ = ui::kNoWindow;
  bool shuttingDown_ = false;
};

// The welcome window shown while the program comes up: it asks for the main
// window one second after its creation and reports when it is gone.
class StartupWindow : public ui::Window {
 public:
  explicit StartupWindow(App& app) : app_(app), task_(app.taskWindow) {}
  void onEvent(ui::Event& event) override;

 private:
  void paint();

  App& app_;
  ui::WindowId task_;
  ui::TimerId timer_ = 0;
};

}  // namespace tarvik::core
