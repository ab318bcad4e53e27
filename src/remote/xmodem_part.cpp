#include "remote/xmodem_part.h"

#include <filesystem>

#include "remote/remote_service.h"
#include "remote/transfer_files.h"

namespace tarvik::remote {

XmodemTransfer::XmodemTransfer()
    : engine_([this](std::span<const std::uint8_t> bytes) {
                if (!channel_) return;
                undelivered_ = true;
                channel_->SendData(bytes);
              },
              [this](XmodemEnd how) { ended(how); }) {}

bool XmodemTransfer::Receive(channels::ChannelWindow& channel, const std::string& target, bool local,
                             const std::function<void()>& announce) {
  if (engine_.active() || !channel.Divert(*this)) return false;
  channel_ = &channel;
  local_ = local;
  undelivered_ = false;
  path_ = target;
  partial_ = PartialPath(target);
  if (!engine_.StartReceive(partial_)) {
    channel.ReleaseDiversion(*this);
    channel_ = nullptr;
    return false;
  }
  if (announce) announce();
  engine_.Request();
  return true;
}

bool XmodemTransfer::Send(channels::ChannelWindow& channel, const std::string& path, bool local,
                          const std::function<void()>& announce) {
  if (engine_.active() || !channel.Divert(*this)) return false;
  channel_ = &channel;
  local_ = local;
  undelivered_ = false;
  path_ = path;
  partial_.clear();
  if (!engine_.StartSend(path)) {
    channel.ReleaseDiversion(*this);
    channel_ = nullptr;
    return false;
  }
  if (announce) announce();
  return true;
}

void XmodemTransfer::Diverted(channels::ChannelWindow&, std::span<const std::uint8_t> bytes) { engine_.Data(bytes); }

void XmodemTransfer::Tick(channels::ChannelWindow& channel) {
  if (!undelivered_ && ax25::LinkSettled(channel.toolkit(), channel.link())) engine_.Tick();
}

void XmodemTransfer::QueueDrained(channels::ChannelWindow&) { undelivered_ = false; }

void XmodemTransfer::Closing(channels::ChannelWindow&) {
  // The partial file stays under its own name.
  engine_.Abandon();
  channel_ = nullptr;
}

void XmodemTransfer::ended(XmodemEnd how) {
  channels::ChannelWindow* channel = channel_;
  channel_ = nullptr;
  if (!channel) return;
  channel->ReleaseDiversion(*this);
  const bool receiving = !partial_.empty();
  if (receiving && how == XmodemEnd::Finished && !MoveIntoPlace(partial_, path_)) how = XmodemEnd::Error;
  const std::string text = std::string(XmodemEndWord(how)) + (receiving ? " receiving " : " sending ") + path_ +
                           " with XMODEM protocol !\r";
  if (local_) channel->ShowText(text.substr(0, text.size() - 1), ui::kBlue);
  else ReplyToStation(*channel, text);
}

}  // namespace tarvik::remote
