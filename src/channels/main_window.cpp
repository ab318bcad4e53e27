#include "channels/main_window.h"

#include "channels/channel_owner.h"

namespace tarvik::channels {

namespace {
constexpr int kStartupTicks = 6;
}

MainWindow::MainWindow(core::App& app, MainWindowHooks hooks)
    : app_(app),
      hooks_(std::move(hooks)),
      router_(app, channels_, [this](int slot, const ax25::LinkCreation& creation) {
        OpenChannel(slot, creation);
      }) {}

ui::WindowId MainWindow::OpenChannel(int slot, const ax25::LinkCreation& creation) {
  const ui::WindowId channel = ChannelOwner::Open(app_, slot, creation);
  if (channel != ui::kNoWindow && hooks_.channelOpened) hooks_.channelOpened(channel);
  return channel;
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
    case ui::EventType::User: onUser(event); break;
    default: break;
  }
}

void MainWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case core::kEvtFrameReceived:
      if (hooks_.frameReceived) hooks_.frameReceived(event);  // monitor and heard list first
      router_.RouteReceivedFrame(event);
      break;
    case core::kEvtFrameSend:
      if (hooks_.frameSent) hooks_.frameSent(event);
      break;
    case ax25::kEvtConnectRequest:
      // An outgoing channel's request passes here: its slot learns both ends.
      if (const auto* request = event.as<ax25::ConnectRequest>()) {
        if (request->channel >= 0 && request->channel < ax25::kChannelSlots) {
          ax25::ChannelSlot& slot = channels_[request->channel];
          slot.remote = request->remote;
          slot.own = request->own;
        }
      }
      break;
    case core::kEvtChildClosed:
      if (static_cast<ui::WindowId>(event.arg) == router_.pingWindow())
        router_.setPingWindow(ui::kNoWindow);
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
