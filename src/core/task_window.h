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
  void onTimer(const ui::Event& event);
  void startPortsAndServices();
  void createMainWindow();
  // Closes the main window and the ports; the task window goes once nothing
  // holds the shutdown any more (at once: without waiting).
  void shutdown(bool atOnce = false);
  void setStatus(int field, const std::string& text);
  void clearStatus();
  // Field 2 of the status line: the state of every configured port (field
  // 1 belongs to the timer list).
  void showPortStates();
  void runStartPrograms();

  App& app_;
  int countdown_ = 0;
  ui::WindowId startupWindow_ = ui::kNoWindow;
  bool shuttingDown_ = false;
  ui::TimerId shutdownTimer_ = 0;  // looks whether the holds are released
  ui::Clock::time_point shutdownDeadline_;
  // The states last shown, one character per port; nothing is shown while
  // no port is configured (the field stays free for other texts).
  std::string portStateKey_ = std::string(kPortCount, '.');
  std::string portStates_;  // the text shown for them
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
