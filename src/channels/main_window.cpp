#include "channels/main_window.h"

namespace tarvik::channels {

namespace {
constexpr int kStartupTicks = 6;
}

ui::WindowId MainWindow::Create(core::App& app, MainWindowHooks hooks) {
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Document;
  spec.name = "MAIN";
  spec.title = app.config().GetSetting(2);
  spec.parent = app.options().frameMode ? app.taskWindow : ui::kNoWindow;
  spec.rect = {0, 0, 60, 640};
  return app.toolkit().create(spec, std::make_unique<MainWindow>(app, std::move(hooks)));
}

void MainWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: {
      timer_ = toolkit().createTimer(id(), 1000);
      const ui::LocalTime now = toolkit().localTime();
      storedSecond_ = now.second;
      storedMinute_ = now.minute;
      storedDay_ = now.day;
      break;
    }
    case ui::EventType::Destroy:
      if (timer_) toolkit().destroyTimer(timer_);
      timer_ = 0;
      break;
    case ui::EventType::Timer:
      if (static_cast<ui::TimerId>(event.id) == timer_) onHeartbeat(event);
      break;
    case ui::EventType::Close:
      toolkit().sendUser(app_.taskWindow, core::kEvtShutdown);
      break;
    case ui::EventType::User:
      if (event.id == core::kEvtFrameReceived && hooks_.frameReceived) hooks_.frameReceived(event);
      else if (event.id == core::kEvtFrameSend && hooks_.frameSent) hooks_.frameSent(event);
      break;
    default: break;
  }
}

void MainWindow::onHeartbeat(ui::Event& event) {
  if (startupTicks_ == 0) app_.DebugLog("first heartbeat");
  if (startupTicks_ < kStartupTicks && ++startupTicks_ == kStartupTicks) {
    toolkit().sendUser(app_.taskWindow, core::kEvtStartupComplete);
    if (hooks_.loadDayTimerList) hooks_.loadDayTimerList();
  }
  toolkit().send(app_.taskWindow, event);

  const ui::LocalTime now = toolkit().localTime();
  // After a minute change the stored second is ahead of the clock: count the
  // tick once instead of a whole minute.
  if (storedSecond_ > now.second) storedSecond_ = now.second - 1;
  for (int s = storedSecond_; s < now.second; ++s) fanOut(event);
  storedSecond_ = now.second;

  if (hooks_.mailWaiting && hooks_.mailWaiting()) mailMark_ = !mailMark_;

  if (now.minute != storedMinute_) {
    storedMinute_ = now.minute;
    if (hooks_.runTimerList) hooks_.runTimerList();
    if (now.day != storedDay_) {
      storedDay_ = now.day;
      if (hooks_.loadDayTimerList) hooks_.loadDayTimerList();
    }
  }
}

void MainWindow::fanOut(ui::Event& event) {
  for (const ax25::ChannelSlot& slot : channels_.slots)
    if (slot.linkWindow != ui::kNoWindow) toolkit().send(slot.linkWindow, event);
  for (const core::PortRecord& port : app_.ports())
    if (port.portWindow != ui::kNoWindow) toolkit().send(port.portWindow, event);
}

}  // namespace tarvik::channels
