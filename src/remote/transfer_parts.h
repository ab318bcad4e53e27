#pragma once
// The file transfers of a channel, as channel parts:
//
//  - BinaryTransferPart: the uuencode receiver (line stage Binary, while
//    AUTOBIN is on), the AUTOBIN switch, the operator's "SNDBIN" (a file
//    sent uuencoded), the send progress window 1160 of every file the
//    operator sends, and the transfer summaries (user event 899: shown
//    blue, never sent).
//  - SevenPlusPart: the 7PLUS and text capture (line stage SevenPlus,
//    while AUTOBIN and AUTO7PL are both on) with window 1150, the AUTO7PL
//    switch and the ISAUTO7PL lamp.
//  - XmodemPart: the XMODEM engine on the channel's data diversion,
//    started by the remote commands RX and SX (transfer_commands.h).
//
// Results go to the station as the remote service's replies; a script on
// the channel learns the result of a uuencoded reception from its
// variable TRANSFER ("OK" or "ERROR").

#include <functional>
#include <memory>
#include <string>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"

namespace tarvik::remote {

// What the transfers reach in other subsystems (the scripts).
struct TransferHooks {
  // Sets the TRANSFER variable of the channel's script.
  std::function<void(channels::ChannelWindow&, const std::string&)> setTransfer;
  // True while a script runs on the channel: the receiver's texts are
  // then only shown.
  std::function<bool(channels::ChannelWindow&)> scriptRunning;
};

std::unique_ptr<channels::ChannelPart> BinaryTransferPart(core::App& app, TransferHooks hooks = {});
std::unique_ptr<channels::ChannelPart> SevenPlusPart(core::App& app);
std::unique_ptr<channels::ChannelPart> XmodemPart(core::App& app);

}  // namespace tarvik::remote
