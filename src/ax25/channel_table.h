#pragma once
// The eight channel slots. A slot's index is the channel number; a slot is in
// use while it holds the link window of a connection. The main window owns
// the table; channels claim and release their slots (a gateway connection's
// second link takes a slot of its own, owned by the same channel window),
// routing and connect requests set the two ends, the heartbeat ticks the
// links.

#include <array>
#include <optional>
#include <string>

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

  // Gives slot `channel` to a channel window and the link it carries. False
  // (nothing changed) for a channel number out of range or a slot another
  // window holds.
  bool Claim(int channel, ui::WindowId channelWindow, ui::WindowId linkWindow);
  // The two ends of the connection of a slot in use (marks of the address
  // field dropped); nothing for a free slot, which never matches a frame.
  void SetEnds(int channel, const AddressRecord& remote, const AddressRecord& own);
  // Frees slot `channel` when `channelWindow` holds it (and, when given,
  // with that link).
  void Release(int channel, ui::WindowId channelWindow, ui::WindowId linkWindow = ui::kNoWindow);
  // Empty when the table holds together, else what broke: a slot is held
  // by both a channel window and a link or by neither, a free slot has no
  // ends, no link window is in two slots.
  std::string Check() const;
};

}  // namespace tarvik::ax25
