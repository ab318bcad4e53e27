#pragma once
// Routing of received frames: the step every frame from the air passes in
// the main window, after the monitor and the heard list have seen it.
//
// A frame that names the own call as its next digipeater is repeated at
// once and goes no further. A frame that has reached its destination may
// open a new connection (a SABM to one of the own calls, accepted into a
// free channel slot with UA, or refused with DM), belongs to the link of a
// channel slot (delivered to it as user event 800), is answered with DM (a
// frame to us from a station without a channel), or is a "TARVK" ping,
// answered with the station's name. Everything else is dropped here.

#include <functional>

#include "ax25/channel_table.h"
#include "ax25/link.h"
#include "core/app.h"

namespace tarvik::ax25 {

class Router {
 public:
  // Opens a channel with its link in a free slot for an accepted SABM;
  // fills the slot's link and channel windows.
  using OpenChannelFn = std::function<void(int slot, const LinkCreation& creation)>;

  // Takes the own calls from MYCALL as they are now.
  Router(core::App& app, ChannelTable& table, OpenChannelFn openChannel);

  // Routes the frame of a user event 800. The record stays the caller's.
  void RouteReceivedFrame(ui::Event& event);

  // The SWL switch: listen only, accept no new connection.
  void setListenOnly(bool on) { listenOnly_ = on; }
  bool listenOnly() const { return listenOnly_; }
  // The open PING window, which receives UI frames to the own calls.
  void setPingWindow(ui::WindowId window) { pingWindow_ = window; }
  ui::WindowId pingWindow() const { return pingWindow_; }

  // One of the own calls: MYCALL's call with an SSID its list enables.
  bool IsOwnCall(const AddressRecord& address) const;
  // MYCALL's call with its main SSID.
  AddressRecord OwnMainAddress() const;

 private:
  bool digipeat(FrameRecord& frame);
  bool accept(const FrameRecord& frame);
  void deliver(ui::Event& event, const FrameRecord& frame);
  void answerPing(const FrameRecord& frame);
  // A reply from the frame's destination to its source along the reversed
  // path, with final = the frame's poll.
  void reply(const FrameRecord& frame, FrameType type);
  void send(FrameRecord frame);

  core::App& app_;
  ChannelTable& table_;
  OpenChannelFn openChannel_;
  std::string ownCall_;
  std::string ssidMask_;
  int mainSsid_ = 0;
  bool listenOnly_ = false;
  ui::WindowId pingWindow_ = ui::kNoWindow;
};

}  // namespace tarvik::ax25
