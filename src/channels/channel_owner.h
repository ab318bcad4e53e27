#pragma once
// A channel: one connection as the rest of the program sees it, in the
// slot of the channel table whose index is its number.
//
// The channel owns its link (the link window is its child) and is the
// window the link reports to: status changes (1131), received data (1130),
// the drained send queue (890) and the heartbeat ticks the link passes on.
// When the link ends (status 5, 6 or 7) the channel closes itself and frees
// its slot. It is opened by the main window for an accepted SABM, or for an
// outgoing connection with OpenOutgoingChannel.
//
// This is the core of the channel window: the terminal parts (text
// assembly, the input line, conversion, scripts, transfers) join it as the
// window grows. Until then an observer can follow what arrives.

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "ax25/link.h"
#include "core/app.h"

namespace tarvik::channels {

inline constexpr int kEvtCloseChannel = 1038;

// Taps on a channel's traffic (tests, automation).
struct ChannelObserver {
  std::function<void(std::span<const std::uint8_t>)> data;
  std::function<void(ax25::LinkStatus)> status;
  std::function<void()> drained;
};

enum class SessionState : int { SettingUp = 1, Connected = 2, Disconnecting = 4 };

class ChannelOwner final : public ui::Window {
 public:
  ChannelOwner(core::App& app, int slot, ax25::LinkCreation creation);
  void onEvent(ui::Event& event) override;

  // Creates the channel window; it creates its link and takes its slot.
  static ui::WindowId Open(core::App& app, int slot, const ax25::LinkCreation& creation);

  int slot() const { return slot_; }
  ui::WindowId link() const { return link_; }
  bool outgoing() const { return outgoing_; }
  SessionState sessionState() const { return sessionState_; }
  bool dama() const { return dama_; }
  const std::string& remoteText() const { return remoteText_; }
  // True while the link's send queue holds data (the TXOV lamp).
  bool sendQueueBusy() const { return sendQueueBusy_; }

  void setObserver(ChannelObserver observer) { observer_ = std::move(observer); }

  // Data and text for the other station.
  void SendData(std::span<const std::uint8_t> bytes);
  void SendText(std::string_view text);
  // The operator's disconnect (at once) or a script's (after the data).
  void Disconnect(bool now);

 private:
  void onCreate();
  void onDestroy();
  void onUser(ui::Event& event);
  void onStatus(ax25::LinkStatus status);
  void onConnectRequest(const ax25::ConnectRequest& request);
  void connectionUp();

  core::App& app_;
  int slot_;
  ax25::LinkCreation creation_;
  ui::WindowId link_ = ui::kNoWindow;
  bool outgoing_;
  SessionState sessionState_;
  bool dama_;
  ax25::LinkStatus peerState_ = ax25::LinkStatus::PeerReady;
  bool sendQueueBusy_ = false;
  bool closing_ = false;
  std::string remoteText_;
  ChannelObserver observer_;
};

// Opens an outgoing channel in the first free slot and hands it the connect
// request (its channel number is set to the slot). Nothing when every slot
// is taken or there is no main window.
std::optional<int> OpenOutgoingChannel(core::App& app, ax25::ConnectRequest request);

}  // namespace tarvik::channels
