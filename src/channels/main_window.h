#pragma once
// The main window: owner of the program-wide heartbeat and of the channel
// table, and the place where every received and sent frame is shown to the
// monitor and routed to the links.
//
// Heartbeat: a 1000 ms toolkit timer. Each timer event is passed to the task
// window (status line countdown); then, once for every wall-clock second
// that has passed since the previous tick, the same timer event goes to each
// link window of the channel table and to each open port window in port
// order, so a late tick never loses seconds of the link and port timers. A
// new minute runs the timer list, a new day loads the next list.
//
// Routing: every received frame (user event 800) goes to the monitor and
// heard-list hook first, then through the router, which digipeats, accepts
// connections into channel slots (opening a channel for each), delivers
// frames to the links of the slots and answers pings.

#include <functional>

#include "ax25/channel_table.h"
#include "ax25/link.h"
#include "ax25/router.h"
#include "core/app.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::channels {

// Places where later subsystems join the main window.
struct MainWindowHooks {
  std::function<void(ui::Event&)> frameReceived;  // monitor, heard list, routing
  std::function<void(ui::Event&)> frameSent;      // monitor
  std::function<void()> loadDayTimerList;          // also at the sixth tick
  std::function<void()> runTimerList;              // each new minute
  std::function<bool()> mailWaiting;               // blink the MAIL control while true
  std::function<void(ui::WindowId channel)> channelOpened;  // a channel window was opened
};

class MainWindow : public ui::Window {
 public:
  MainWindow(core::App& app, MainWindowHooks hooks);
  void onEvent(ui::Event& event) override;

  ax25::ChannelTable& channels() { return channels_; }
  ax25::Router& router() { return router_; }
  // The SWL switch: listen only, accept no new connection.
  void setListenOnly(bool on) { router_.setListenOnly(on); }
  bool listenOnly() const { return router_.listenOnly(); }
  // Opens the channel of a slot (accepted or outgoing) with its link.
  ui::WindowId OpenChannel(int slot, const ax25::LinkCreation& creation);
  ui::TimerId heartbeatTimer() const { return timer_; }
  bool mailMark() const { return mailMark_; }

  // Creates the main window as a document of the frame (or a top-level
  // window without frame mode).
  static ui::WindowId Create(core::App& app, MainWindowHooks hooks);

 private:
  void onHeartbeat(ui::Event& event);
  void fanOut(ui::Event& event);
  void onUser(ui::Event& event);

  core::App& app_;
  MainWindowHooks hooks_;
  ax25::ChannelTable channels_;
  ax25::Router router_;
  ui::TimerId timer_ = 0;
  int startupTicks_ = 0;
  int storedSecond_ = 0;
  int storedMinute_ = -1;
  int storedDay_ = -1;
  bool mailMark_ = false;
};

}  // namespace tarvik::channels
