#pragma once
// The XMODEM transfer of a channel (see xmodem.h for the protocol): while
// it runs it holds the channel's data diversion, so every received byte
// goes to the engine; the heartbeat drives its time-outs. A reception is
// written beside its target under "NAME.part" and takes the target's name
// only when it finished: a broken transfer never leaves a file that looks
// complete, and an existing file of that name stays until a new one is
// whole. The end is told to the station: "%s %s %s with XMODEM protocol !"
// (Finished, Error, Break or Timeout; sending or receiving; the path).
//
// The time-outs count only heartbeats in which the peer's link has
// acknowledged all the engine gave it: on a slow radio channel the other
// side cannot answer what is still queued or being recovered here, and the
// link itself ends a connection whose frames do not get through.

#include <functional>
#include <string>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"
#include "remote/xmodem.h"

namespace tarvik::remote {

class XmodemTransfer final : public channels::ChannelPart {
 public:
  XmodemTransfer();

  // Starts a reception into `target`; false when the file cannot be made or
  // the channel's data is taken. `announce` runs before the first request
  // goes out. The end of a `local` transfer (the operator's own command) is
  // only shown.
  bool Receive(channels::ChannelWindow& channel, const std::string& target, bool local,
               const std::function<void()>& announce);
  // Starts sending `path`; false when it cannot be opened or the
  // channel's data is taken.
  bool Send(channels::ChannelWindow& channel, const std::string& path, bool local,
            const std::function<void()>& announce);
  bool active() const { return engine_.active(); }
  const XmodemEngine& engine() const { return engine_; }

  void Diverted(channels::ChannelWindow& channel, std::span<const std::uint8_t> bytes) override;
  void Tick(channels::ChannelWindow& channel) override;
  void QueueDrained(channels::ChannelWindow& channel) override;
  void Closing(channels::ChannelWindow& channel) override;

 private:
  void ended(XmodemEnd how);

  XmodemEngine engine_;
  channels::ChannelWindow* channel_ = nullptr;  // while a transfer runs
  std::string path_;                            // the target or the file sent
  std::string partial_;                         // receiving: where the data goes
  bool local_ = false;
  bool undelivered_ = false;  // sent data the link has not taken into frames yet
};

}  // namespace tarvik::remote
