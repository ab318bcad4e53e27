#pragma once
// Alerts: the operator hears and sees what happens in a channel he is not
// looking at. ALERTCONNECT covers a station connecting to us, ALERTTEXT text
// arriving in a channel whose window is not the active one; each is 0 (off),
// 1 (a sound), 2 (a desktop notification while no window of the program has
// the desktop's focus) or 3 (both). Text alerts once until the operator has
// looked at the channel again, not for every line.
#include <memory>

#include "channels/channel_part.h"
#include "core/app.h"

namespace tarvik::channels {

std::unique_ptr<ChannelPart> AlertPart(core::App& app);

}  // namespace tarvik::channels
