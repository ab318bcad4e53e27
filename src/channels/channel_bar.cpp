#include "channels/channel_bar.h"

#include "channels/channel_window.h"

namespace tarvik::channels {

ChannelBar ReadChannelBar(const ui::Toolkit& toolkit, const ax25::ChannelTable& table) {
  ChannelBar bar;
  for (int slot = 0; slot < ax25::kChannelSlots; ++slot) {
    const ax25::ChannelSlot& s = table[slot];
    ChannelBarEntry& entry = bar[static_cast<std::size_t>(slot)];
    const auto* channel = toolkit.findAs<ChannelWindow>(s.channelWindow);
    if (!s.inUse() || !channel) continue;
    if (channel->slot() != slot) {
      // The second link of a gateway connection.
      entry.state = ChannelBarEntry::State::Connected;
      entry.call = ax25::FormatCall(s.remote);
      continue;
    }
    entry.call = channel->remoteText();
    entry.unread = channel->unread();
    switch (channel->sessionState()) {
      case SessionState::Connected: entry.state = ChannelBarEntry::State::Connected; break;
      case SessionState::Disconnecting: entry.state = ChannelBarEntry::State::Disconnecting; break;
      case SessionState::SettingUp: entry.state = ChannelBarEntry::State::Connecting; break;
      case SessionState::Ended: entry = {}; break;
    }
  }
  return bar;
}

std::string ChannelBarText(int slot, const ChannelBarEntry& entry,
                           const std::function<std::string(std::string_view)>& word) {
  using State = ChannelBarEntry::State;
  // The mark leads, so that it shows however narrow the entry is.
  std::string text;
  if (entry.unread)
    if (const std::string mark = word("BARUNREAD"); !mark.empty()) text = mark + " ";
  text += std::to_string(slot + 1);
  if (!entry.call.empty()) text += " " + entry.call;
  const char* key = entry.state == State::Connected       ? "BARCONNECTED"
                    : entry.state == State::Connecting    ? "BARCONNECTING"
                    : entry.state == State::Disconnecting ? "BARDISCONNECTING"
                                                          : "BARFREE";
  if (const std::string state = word(key); !state.empty()) text += " " + state;
  return text;
}

}  // namespace tarvik::channels
