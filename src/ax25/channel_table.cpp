#include "ax25/channel_table.h"

namespace tarvik::ax25 {

namespace {

bool InRange(int channel) { return channel >= 0 && channel < kChannelSlots; }

AddressRecord Plain(AddressRecord address) {
  address.cbit = address.last = false;
  return address;
}

}  // namespace

bool ChannelTable::Claim(int channel, ui::WindowId channelWindow, ui::WindowId linkWindow) {
  if (!InRange(channel) || channelWindow == ui::kNoWindow || linkWindow == ui::kNoWindow) return false;
  ChannelSlot& slot = (*this)[channel];
  if (slot.inUse() && slot.channelWindow != channelWindow) return false;
  slot = {};
  slot.channelWindow = channelWindow;
  slot.linkWindow = linkWindow;
  return true;
}

void ChannelTable::SetEnds(int channel, const AddressRecord& remote, const AddressRecord& own) {
  if (!InRange(channel)) return;
  ChannelSlot& slot = (*this)[channel];
  if (!slot.inUse()) return;
  slot.remote = Plain(remote);
  slot.own = Plain(own);
}

void ChannelTable::Release(int channel, ui::WindowId channelWindow, ui::WindowId linkWindow) {
  if (!InRange(channel)) return;
  ChannelSlot& slot = (*this)[channel];
  if (slot.channelWindow != channelWindow) return;
  if (linkWindow != ui::kNoWindow && slot.linkWindow != linkWindow) return;
  slot = {};
}

std::string ChannelTable::Check() const {
  for (int i = 0; i < kChannelSlots; ++i) {
    const ChannelSlot& slot = (*this)[i];
    const std::string name = "slot " + std::to_string(i);
    if ((slot.linkWindow == ui::kNoWindow) != (slot.channelWindow == ui::kNoWindow)) return name + " half filled";
    if (!slot.inUse() && (!slot.remote.call.empty() || !slot.own.call.empty())) return name + " free with ends";
    for (int j = i + 1; j < kChannelSlots && slot.inUse(); ++j)
      if ((*this)[j].linkWindow == slot.linkWindow) return name + " shares its link with slot " + std::to_string(j);
  }
  return {};
}

}  // namespace tarvik::ax25
