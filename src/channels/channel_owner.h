#pragma once
// The channel grew into the channel window (channel_window.h); code that
// still names it as the owner of a slot's link keeps working through this
// name.

#include "channels/channel_window.h"

namespace tarvik::channels {

using ChannelOwner = ChannelWindow;

}  // namespace tarvik::channels
