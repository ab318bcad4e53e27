#pragma once
// The channel bar of the main window: one entry for each of the eight
// channel slots with the channel's number, the remote call, the state of
// the connection (free, connecting, connected, disconnecting) and a mark
// for text that arrived while the operator looked at another window.
//
// The bar is read from the channel table and the channel windows whenever
// a channel tells the main window that something changed; the words come
// from the STRINGS of the toolbox's description.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "ax25/channel_table.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::channels {

struct ChannelBarEntry {
  enum class State { Free, Connecting, Connected, Disconnecting };
  State state = State::Free;
  std::string call;
  bool unread = false;
  bool operator==(const ChannelBarEntry&) const = default;
};

using ChannelBar = std::array<ChannelBarEntry, ax25::kChannelSlots>;

// What the bar shows now. A slot held by a gateway connection's second link
// shows the station of that link as connected.
ChannelBar ReadChannelBar(const ui::Toolkit& toolkit, const ax25::ChannelTable& table);

// The text of slot `slot`'s entry: the unread mark, its number (from 1),
// the call and the state word. `word` gives the STRINGS value of a key:
// "BARFREE", "BARCONNECTING", "BARCONNECTED", "BARDISCONNECTING", "BARUNREAD".
std::string ChannelBarText(int slot, const ChannelBarEntry& entry,
                           const std::function<std::string(std::string_view)>& word);

}  // namespace tarvik::channels
