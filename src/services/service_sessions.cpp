#include "services/service_sessions.h"

#include <string>

#include "channels/channel_window.h"

namespace tarvik::services {

ServiceSessions& ServiceSessions::Instance() {
  static ServiceSessions sessions;
  return sessions;
}

void ServiceSessions::Enter(ui::WindowId channel, ui::Toolkit& toolkit) {
  std::lock_guard lock(mutex_);
  sessions_[channel] = &toolkit;
}

void ServiceSessions::Leave(ui::WindowId channel) {
  std::lock_guard lock(mutex_);
  sessions_.erase(channel);
}

bool ServiceSessions::Open(ui::WindowId channel) const {
  std::lock_guard lock(mutex_);
  return sessions_.contains(channel);
}

void ServiceSessions::post(ui::WindowId channel, ui::Event event) const {
  std::lock_guard lock(mutex_);
  const auto found = sessions_.find(channel);
  if (found != sessions_.end()) found->second->post(channel, std::move(event));
}

void ServiceSessions::SendToChannel(const TvkDataBlock* block) {
  if (!block || block->length <= 0 || block->length > TVK_DATA_CAPACITY) return;
  std::string text(reinterpret_cast<const char*>(block->data), static_cast<std::size_t>(block->length));
  Instance().post(block->window,
                  ui::Event::user(channels::kEvtSendText, 0, std::make_unique<ui::TextPayload>(std::move(text))));
}

void ServiceSessions::Notify(std::uint32_t window, std::int32_t code) {
  if (code != TVK_NOTIFY_END) return;
  Instance().post(window, ui::Event::user(kEvtServiceEnded));
}

}  // namespace tarvik::services
