#pragma once
// The remote commands that start transfers, for the remote service:
//   GB name  send a file of the remote directory uuencoded
//   RX name  receive a file with XMODEM into the save directory
//   SX name  send a file of the remote directory with XMODEM
// Every name is confined to its directory's bound (remote_paths.h).

#include <functional>
#include <string>
#include <string_view>

#include "channels/channel_window.h"

namespace tarvik::remote {

struct TransferContext {
  std::string remoteDir, remoteBound;  // where GB and SX read
  std::string saveDir, saveBound;      // where RX writes
  std::function<void(const std::string&)> reply;  // the service's reply
  bool local = false;  // the operator's own command: the end is only shown
};

void GetUuencoded(channels::ChannelWindow& channel, std::string_view argument, const TransferContext& context);
void XmodemReceive(channels::ChannelWindow& channel, std::string_view argument, const TransferContext& context);
void XmodemSend(channels::ChannelWindow& channel, std::string_view argument, const TransferContext& context);

}  // namespace tarvik::remote
