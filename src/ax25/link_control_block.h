#pragma once
// The state of one link: addresses, parameters, sequence variables, the
// countdowns, the frames held for retransmission, the send queue and the
// counters. The link window owns exactly one block; nothing else keeps a
// reference to it or to the frames in it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ax25/frame.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ax25 {

enum class LinkState : int {
  Idle = 0,           // created, no connect request yet
  Connecting = 1,     // SABM sent
  Connected = 2,
  FrameReject = 3,    // FRMR sent
  Disconnecting = 4,  // DISC sent
};

// A receive condition, own or announced by the peer.
enum class Receive : int { Ready = 10, Busy = 11, Reject = 12 };

// Frame and byte counters of a link.
struct LinkStatistics {
  int sentRR = 0, sentRNR = 0, sentREJ = 0, sentI = 0, sentFRMR = 0, sentSABM = 0, sentUA = 0;
  long sentBytes = 0;
  // DECIDED: the resent counters count information bytes sent again by
  // retransmission, and those of repeated I frames that were dropped.
  long resentBytesSent = 0;
  int receivedRR = 0, receivedRNR = 0, receivedREJ = 0, receivedI = 0, receivedFRMR = 0,
      receivedSABM = 0, receivedUA = 0;
  long receivedBytes = 0;
  long resentBytesReceived = 0;  // information bytes of repeated I frames that were dropped
  friend bool operator==(const LinkStatistics&, const LinkStatistics&) = default;
};

// The counters as a statistics window receives them every tick.
struct LinkStatisticsBlock : ui::Payload {
  LinkStatistics statistics;
  std::string connectTime;
  ui::Clock::time_point createTime;
};

// Data waiting to be sent, as the owner handed it over. Frames are cut from
// the front: up to PACLEN bytes at a time, across chunk boundaries.
class SendQueue {
 public:
  void append(std::span<const std::uint8_t> bytes);
  // The next I frame's information: whole chunks while they fit, then the
  // first bytes of the next chunk to fill exactly `limit`; the rest stays at
  // the head of the queue.
  std::vector<std::uint8_t> take(std::size_t limit);
  bool empty() const { return bytes_ == 0; }
  std::size_t size() const { return bytes_; }
  void clear();

 private:
  std::deque<std::vector<std::uint8_t>> chunks_;
  std::size_t headOffset_ = 0;  // bytes of the first chunk already taken
  std::size_t bytes_ = 0;
};

// A countdown in heartbeat ticks: -1 is stopped; one that reaches 0 fires
// once, so a configured 0 never fires.
struct Countdown {
  int ticks = -1;
  void start(int n) { ticks = n; }
  void stop() { ticks = -1; }
  bool running() const { return ticks > 0; }
  // Counts one tick; true when this tick made it reach 0.
  bool tick() { return ticks > 0 && --ticks == 0; }
};

struct LinkControlBlock {
  ui::WindowId ownerWindow = ui::kNoWindow;
  ui::WindowId statisticsWindow = ui::kNoWindow;
  int kind = 1;
  bool transparent = false;
  ui::WindowId portWindow = ui::kNoWindow;
  AddressRecord remote;
  ViaList via{};  // towards the remote, in the order our frames list it
  AddressRecord own;
  int port = 0;
  int radioChannel = 0;
  std::string qrg;
  std::string flags;  // FLAGS at creation: positions 0, 1, 3 steer the link

  // Effective parameters (after L2F scaling and DAMA).
  int t1 = 0;  // ticks
  int t2 = 0;  // milliseconds
  int t3 = 0;  // ticks
  int retry = 0;
  bool damaMode = false;
  int t2Dama = 0;
  int window = 7;
  int paclen = 256;
  // The air as the link estimates it (used by the rules adapted to the air):
  // the radio channel's bit rate, and what one key-up of the TNC costs
  // before the first frame (TXDELAY and the expected p-persistence wait).
  int baud = 1200;
  int keyUpMs = 0;
  bool plainRules = false;  // LINKRULES 1: timers count from handing frames over

  Countdown t3Count;
  int t3Retries = 0;
  Countdown connectTimer;
  int connectRetries = 0;
  Countdown disconnectTimer;
  int disconnectRetries = 0;
  // The disconnect may proceed with data still undelivered: the operator
  // asked for it at once, or the peer stopped answering.
  bool disconnectForced = false;
  Countdown t1Count;
  int t1Retries = 0;
  ui::TimerId t2Timer = 0;
  bool recovery = false;

  LinkState state = LinkState::Idle;
  Receive ownReceive = Receive::Ready;
  Receive peerReceive = Receive::Ready;
  int vr = 0;
  int lastAckedVr = 0;
  int vs = 0;
  int va = 0;
  // True once the peer has sent anything but SABM since the link came up:
  // before that a SABM can only be a repeat of the one that set it up.
  bool peerHeard = false;
  // I frames sent and not yet acknowledged, by N(S); each has keep set and is
  // owned here. Copies of them go out.
  std::array<std::optional<FrameRecord>, 8> sentFrames{};

  // When what was handed to the port will have left it (ms on the toolkit
  // clock): the whole queue, and each held frame's last transmission.
  long long ownAirEndMs = 0;
  std::array<long long, 8> frameAirEndMs{};
  int t1CreditMs = 0;         // the peer's airtime not yet added to T1
  long long t1BaseMs = 0;     // when T1 began to count (our frames had left)
  long long t1HeardMs = 0;    // the peer's airtime heard since then
  int srtMs = 0;              // smoothed time from our last frame to its answer; 0 unknown
  // Airtime as a share of what BAUD gives (percent): learnt from answers to
  // polls that come before the polled frame could have left at BAUD (a
  // faster channel, or a TNC that does not wait).
  int airPercent = 100;
  // Our polls not yet answered, oldest first: when each was handed over and
  // when it was reckoned to have left. The peer answers polls in order.
  struct Poll {
    long long handedMs = 0;
    long long airEndMs = 0;
  };
  std::deque<Poll> polls;
  std::size_t largestInfo = 0;  // the longest information field heard
  bool burstPending = false;  // new I frames wait for the burst event
  std::intptr_t burstSeq = 0;  // the burst event that counts
  bool flushTail = false;     // the burst may take a short last frame

  LinkStatistics statistics;
  std::string connectTime;
  ui::Clock::time_point createTime{};
  bool ownBusy = false;
  bool holdReports = false;
  bool reportPending = false;
  int lastStatus = -1;
  std::array<std::uint8_t, 4> frmrInfo{};
  SendQueue sendQueue;

  // I frames sent (or stored under DAMA) and not yet acknowledged.
  int outstanding() const { return (vs - va) & 7; }
  // The window is full: no further new I frame may be stored.
  bool windowFull() const { return outstanding() >= window; }
};

}  // namespace tarvik::ax25

namespace tarvik::ax25 {

// The block holds together: sequence variables in range, at most seven
// frames outstanding, a held frame for exactly each outstanding N(S) and for
// no other, each marked kept. Used by tests and the fuzzer after every event.
inline bool ConsistentBlock(const LinkControlBlock& b) {
  auto inRange = [](int v) { return v >= 0 && v < 8; };
  if (!inRange(b.vr) || !inRange(b.vs) || !inRange(b.va) || !inRange(b.lastAckedVr)) return false;
  if (b.outstanding() > 7 || b.outstanding() > b.window) return false;
  for (int ns = 0; ns < 8; ++ns) {
    const bool outstanding = ((ns - b.va) & 7) < b.outstanding();
    const auto& held = b.sentFrames[static_cast<std::size_t>(ns)];
    if (held.has_value() != outstanding) return false;
    if (held && (!held->keep || held->ns != ns || held->type != FrameType::I)) return false;
  }
  const int state = static_cast<int>(b.state);
  return state >= 0 && state <= 4;
}

}  // namespace tarvik::ax25
