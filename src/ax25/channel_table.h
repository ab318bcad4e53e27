#pragma once
// The eight channel slots. A slot's index is the channel number; a slot is in
// use while it holds the link window of a connection. The main window owns
// the table; routing fills and empties it, the heartbeat ticks its links.

#include <array>
#include <optional>

#include "ax25/address.h"
#include "ui/toolkit/event.h"

namespace tarvik::ax25 {

inline constexpr int kChannelSlots = 8;

struct ChannelSlot {
  ui::WindowId linkWindow = ui::kNoWindow;     // the link of the connection
  ui::WindowId channelWindow = ui::kNoWindow;  // the window owning the channel
  // The two ends of the connection; routing delivers a frame to the slot
  // whose remote sent it to whose own. Empty while the slot is free, so a
  // free slot never matches a frame.
  AddressRecord remote;
  AddressRecord own;
  bool inUse() const { return linkWindow != ui::kNoWindow || channelWindow != ui::kNoWindow; }
};

struct ChannelTable {
  std::array<ChannelSlot, kChannelSlots> slots{};

  ChannelSlot& operator[](int channel) { return slots[static_cast<std::size_t>(channel)]; }
  const ChannelSlot& operator[](int channel) const {
    return slots[static_cast<std::size_t>(channel)];
  }
  // The lowest free slot, if any.
  std::optional<int> FindFree() const {
    for (int i = 0; i < kChannelSlots; ++i)
      if (!slots[static_cast<std::size_t>(i)].inUse()) return i;
    return std::nullopt;
  }
};

}  // namespace tarvik::ax25
