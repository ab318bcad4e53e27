#pragma once
// The AX.25 link layer as the channels see it.
//
// A link is one AX.25 version 2 connection (modulo 8) between an own address
// and a remote station, run by an invisible toolkit window of its own. The
// channel that owns it creates it with CreateLink, gives it a connect request
// (user event 1039) or lets the main window's routing hand it an accepted
// connection, and then talks to it through the functions below. Frames reach
// the link only through routing (user event 800); frames leave it as user
// event 810 to the task window. What the link has to tell its channel leaves
// as user events to the owner window:
//   1131 LinkStatusReport  status changes (connected, disconnecting, ended, ...)
//   1130 RawFrameBuffer    received information bytes, in order, once each
//    890 (argument 1)      the send queue has drained (posted)
// The one-second heartbeat arrives as Timer events fanned out by the main
// window; the link counts its T1, T3 and set-up/release countdowns in them
// and passes each tick on to its owner.
//
// On a port whose protocol is NONE the link is transparent: no frames, the
// channel's bytes go to the port as they are and the port's bytes come back.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ax25/frame.h"
#include "ax25/frame_events.h"
#include "core/app.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ax25 {

// User event ids of the link layer besides those of frame_events.h (800 a
// received frame routed to the link, 801 bytes from the port of a
// transparent link, 810 a frame to send, 811 bytes for a port).
enum LinkEvent : int {
  kEvtQueueDrained = 890,     // to the owner: the send queue is empty (argument 1)
  kEvtWindowClosed = 920,     // a child window has closed
  kEvtKissParameter = 954,    // to a port window: set one KISS parameter
  kEvtConnectRequest = 1039,  // to a channel, then its link
  kEvtLinkData = 1130,        // to the owner: received data; to a statistics window: counters
  kEvtLinkStatus = 1131,      // to the owner: the link's status changed
};

// What a link tells its owner with user event 1131.
enum class LinkStatus : int {
  None = -1,
  Connected = 2,      // UA or SABM while connecting; a transparent link is up
  Disconnecting = 4,  // a disconnect has started
  ConnectFailed = 5,  // no answer to the SABMs
  Refused = 6,        // DM received
  Disconnected = 7,   // DISC received, UA to our DISC, or we gave up
  Dama = 8,           // a DAMA master was heard for the first time
  SabmReceived = 9,   // a SABM arrived
  PeerReady = 10,     // I or RR arrived; a reject condition ended
  PeerBusy = 11,      // RNR arrived
  PeerReject = 12,    // REJ arrived
};

// Statuses 5, 6 and 7 end the link; the owner closes it on them.
constexpr bool EndsLink(LinkStatus s) {
  return s == LinkStatus::ConnectFailed || s == LinkStatus::Refused ||
         s == LinkStatus::Disconnected;
}

struct LinkStatusReport : ui::Payload {
  LinkStatusReport(LinkStatus s, ui::WindowId l) : status(s), link(l) {}
  LinkStatus status;
  ui::WindowId link;
};

// A connect request (user event 1039): where and to whom.
struct ConnectRequest : ui::Payload {
  int channel = 0;  // channel number (slot)
  int port = 0;
  int radioChannel = 0;
  std::string qrg;
  AddressRecord remote;
  AddressRecord own;
  ViaList via{};  // towards the remote, in the order frames list it
};

// One KISS parameter for a radio channel of a port (user event 954); the
// link asks for persistence 255 when it meets a DAMA master. The port
// windows must read this record (the link layer sits below the drivers).
struct KissParameterRequest : ui::Payload {
  KissParameterRequest(int rc, int p, int v) : radioChannel(rc), parameter(p), value(v) {}
  int radioChannel;
  int parameter;
  int value;
};
inline constexpr int kKissPersistence = 2;

// What CreateLink needs to know.
struct LinkCreation {
  // 0: the link of a connection the main window has accepted (its SABM was
  // answered with UA, the link starts connected); otherwise a link that
  // waits for a connect request.
  int kind = 1;
  int slot = 0;
  int port = 0;
  int radioChannel = 0;
  AddressRecord own;
  AddressRecord remote;
  ViaList via{};  // as received (kind 0): the link answers along it reversed
  std::string connectText;
  bool dama = false;  // the accepted SABM came from a DAMA master
};

// Creates the link window as a child of its owner (the channel), which
// receives its reports and destroys it. Returns the link window.
ui::WindowId CreateLink(core::App& app, ui::WindowId owner, const LinkCreation& creation);

// The operator's and scripts' commands.
enum class LinkCommandCode : int {
  Disconnect = 0,     // orderly: DISC after 5 ticks, once everything queued is delivered
  ToggleBusy = 1,     // own receiver busy on/off (RNR/RR with poll)
  HoldReports = 2,    // argument 1 holds end-of-link reports, 0 releases them
  DisconnectNow = 3,  // DISC on the next tick, whatever is still queued
  SetQrg = 4,         // text: the QRG label
};
void LinkCommand(ui::Toolkit& toolkit, ui::WindowId link, LinkCommandCode command,
                 std::intptr_t argument = 0, std::string_view text = {});

// Facts about a link: 2 own call, 3 remote call, 4 QRG, 5 connect time,
// 6 radio channel, 7 port, 8 PACLEN. Item 0 writes the statistics report to
// the file `path` and gives "" (nothing when it could not be written).
// Nothing for an unknown link or item.
std::optional<std::string> LinkInfo(ui::Toolkit& toolkit, ui::WindowId link, int item,
                                     std::string_view path = {});

// Data to send on the link. Queued in any state; goes out once connected.
void LinkSendData(ui::Toolkit& toolkit, ui::WindowId link, std::span<const std::uint8_t> bytes);
void LinkSendText(ui::Toolkit& toolkit, ui::WindowId link, std::string_view text);
// A UI frame to the remote along the link's path, only while connected.
// False when it was not sent.
bool LinkSendUI(ui::Toolkit& toolkit, ui::WindowId link, std::string_view text);

// True when the peer has acknowledged everything handed to the link:
// nothing waits in the send queue and no I frame is outstanding (also for a
// transparent link, and for a link that is gone). A stop-and-wait protocol
// riding on the link counts its time-outs only while this holds: until then
// the link itself is still delivering, or recovering what the air lost.
bool LinkSettled(ui::Toolkit& toolkit, ui::WindowId link);

// Makes `window` the link's statistics window: it receives the counters
// (user event 1130, LinkStatisticsBlock) at once and then on every tick,
// until the link learns of its end (user event 920 with the window).
void LinkSetStatisticsWindow(ui::Toolkit& toolkit, ui::WindowId link, ui::WindowId window);

}  // namespace tarvik::ax25
