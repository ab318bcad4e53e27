// The link and the air. A KISS TNC tells its program nothing about when a
// frame has gone out: it queues what it is handed, waits for a clear channel
// and its turn (p-persistence), keys up (TXDELAY) and sends. At 1200 bit/s a
// window of seven 256-byte frames is some 13 seconds on the air, longer than
// a usual T1. Under the rules adapted to the air (AirRules, the default) the
// link therefore keeps an estimate of when what it has handed over will
// have left the TNC, from the radio channel's bit rate (BAUD), TXDELAY,
// PERSIST and SLOTTIME, moved on by the airtime of every frame heard from
// the peer (the TNC cannot send while the peer does). From it:
// - T1 counts from when our frames have left the TNC, and stands still
//   while the peer's frames are on the air;
// - T2 outlasts one frame's airtime, so a burst is acknowledged once;
// - new I frames go out as one burst, packed to PACLEN across the blocks
//   the owner hands over, with a poll on the last one so that the peer
//   answers at once;
// - an answer with final or a REJ sends again only frames whose last
//   transmission had left the TNC before the answer began on the air: what
//   the peer says cannot tell of later ones (still queued, or sent again
//   since), so each missing frame goes again once per answer that asks;
// - with the window full, only an acknowledgement restarts T1: a peer that
//   keeps sending other things cannot hold it off;
// - a late answer to a poll that T1 gave up on is matched to that poll by
//   its time, not to the poll sent since; only an answer that can be to
//   nothing but our one open poll teaches how fast the channel really is.
// LINKRULES=1 in the radio channel's section selects the plain rules,
// which count every timer from handing the frame over.

#include <algorithm>

#include "ax25/link_window.h"

namespace tarvik::ax25 {

namespace {
// Bit stuffing adds about one bit in fifty; flags and FCS four bytes.
constexpr int kFrameOverheadBytes = 4;
constexpr int kStuffingPercent = 2;
// T1 never shrinks below this many ticks, whatever answers took so far.
constexpr int kMinT1 = 4;
}  // namespace

long long LinkWindow::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(toolkit().now().time_since_epoch())
      .count();
}

int LinkWindow::airtimeMs(std::size_t infoLength) const {
  // Addresses, control and PID, information, flags and FCS.
  const std::size_t bytes = 7 * (2 + static_cast<std::size_t>(ViaCount(b_.via))) + 2 +
                            infoLength + kFrameOverheadBytes;
  const long long bits = static_cast<long long>(bytes) * 8 * (100 + kStuffingPercent) / 100;
  return static_cast<int>(bits * 1000 * b_.airPercent / 100 / std::max(1, b_.baud));
}

int LinkWindow::airtimeMs(const FrameRecord& frame) const {
  return airtimeMs(static_cast<std::size_t>(frame.infoLength()));
}

void LinkWindow::noteOnAir(const FrameRecord& frame) {
  const long long now = nowMs();
  if (b_.ownAirEndMs <= now) b_.ownAirEndMs = now + b_.keyUpMs;  // the TNC keys up anew
  b_.ownAirEndMs += airtimeMs(frame);
  if (frame.type == FrameType::I) b_.frameAirEndMs[static_cast<std::size_t>(frame.ns & 7)] = b_.ownAirEndMs;
  if (frame.crpf == CrPf::CommandPoll) {
    if (b_.polls.size() >= 8) b_.polls.pop_front();
    b_.polls.push_back({now, b_.ownAirEndMs});
  }
}

void LinkWindow::noteHeard(const FrameRecord& frame) {
  if (!rules_->airAware()) return;
  if (frame.type == FrameType::I) b_.largestInfo = std::max(b_.largestInfo, frame.info.size());
  const int airtime = airtimeMs(frame);
  const long long began = nowMs() - airtime;
  if (b_.ownAirEndMs > began) b_.ownAirEndMs += airtime;
  for (long long& end : b_.frameAirEndMs)
    if (end > began) end += airtime;
  b_.t1HeardMs += airtime;
  if (b_.t1Count.running()) {
    b_.t1CreditMs += airtime;
    b_.t1Count.ticks += b_.t1CreditMs / 1000;
    b_.t1CreditMs %= 1000;
  }
}

void LinkWindow::startT1(int ticks) {
  b_.t1CreditMs = 0;
  if (rules_->airAware()) {
    // Once answers have been timed, T1 is twice the smoothed answer time
    // and our own key-up (whose p-persistence wait varies), a tick more for
    // the tick's phase; at least kMinT1 and at most as configured.
    if (b_.srtMs > 0)
      ticks = std::min(ticks, std::max(kMinT1, (2 * (b_.srtMs + b_.keyUpMs) + 999) / 1000 + 1));
    const long long now = nowMs();
    b_.t1BaseMs = std::max(now, b_.ownAirEndMs);
    b_.t1HeardMs = 0;
    const long long left = b_.ownAirEndMs - now;
    if (left > 0) ticks += static_cast<int>((left + 999) / 1000);
    // Both ends of a link that lost a transmission wait for it: were
    // their repeats in step, a TNC that keys up without waiting (PERSIST
    // 100) would meet the other's every time. A repeat waits a tick more
    // or not, as a generator seeded from both calls (own first) decides.
    if (b_.t1Retries > 0) {
      if (!jitterSeeded_) {
        jitter_.seed(static_cast<std::uint_fast32_t>(
            std::hash<std::string>{}(FormatCall(b_.own) + ">" + FormatCall(b_.remote)) & 0x7FFFFFFF));
        jitterSeeded_ = true;
      }
      ticks += static_cast<int>(jitter_() & 1);
    }
  }
  b_.t1Count.start(ticks);
}

void LinkWindow::timeAnswer(const FrameRecord& frame) {
  // A response with final answers our last poll, which went out with the
  // last transmission T1 is counting from.
  if (!rules_->airAware() || frame.crpf != CrPf::ResponseFinal) return;
  const long long now = nowMs();
  const long long before = heardStartMs_ > 0 ? heardStartMs_ : now;
  // Polls reckoned to have left before the answer began are answered (or
  // were lost): the reckoning holds for them, nothing to learn. A late
  // answer to a poll that T1 gave up on is matched here too, and does not
  // take the place of a poll sent since, which may still wait in the TNC.
  bool answered = false;
  while (!b_.polls.empty() && b_.polls.front().airEndMs <= before) {
    b_.polls.pop_front();
    answered = true;
  }
  if (!answered && b_.polls.size() == 1 && (frame.nr & 7) == b_.vs &&
      b_.polls.front().handedMs < peerTxStartMs_) {
    // The answer came before the only open poll could have left at the
    // reckoned rate, and it takes every frame we sent: the poll and
    // everything handed over before it have left the TNC, whatever the
    // reckoning said. (With more polls open, frames not taken, or a poll
    // handed over while the peer's transmission was already on the air,
    // the answer may be to an older poll, and nothing is learnt from it.)
    const LinkControlBlock::Poll poll = b_.polls.front();
    b_.polls.pop_front();
    for (long long& end : b_.frameAirEndMs)
      if (end <= poll.airEndMs) end = std::min(end, before);
    if (b_.ownAirEndMs <= poll.airEndMs) b_.ownAirEndMs = now;
    const long long reckoned = poll.airEndMs - poll.handedMs;
    if (reckoned > 0) {
      const long long share = std::clamp<long long>((now - poll.handedMs) * 100 / reckoned, 1, 100);
      b_.airPercent = static_cast<int>((b_.airPercent + share + 1) / 2);
    }
  }
  if (!b_.t1Count.running()) return;
  const long long sample = now - b_.t1BaseMs - b_.t1HeardMs;
  if (sample <= 0) return;
  const int ms = static_cast<int>(std::min<long long>(sample, 600'000));
  b_.srtMs = b_.srtMs == 0 ? ms : (7 * b_.srtMs + ms) / 8;
}

bool LinkWindow::stillQueued(int ns) const {
  const long long cutoff = heardStartMs_ > 0 ? heardStartMs_ : nowMs();
  return rules_->airAware() && b_.frameAirEndMs[static_cast<std::size_t>(ns & 7)] > cutoff;
}

int LinkWindow::t2Ms() const {
  if (!rules_->airAware()) return b_.t2;
  // The next frame of the peer's burst ends one frame's airtime after the
  // last: wait a little longer than that before acknowledging.
  const std::size_t info = std::max(static_cast<std::size_t>(b_.paclen), b_.largestInfo);
  const int frame = airtimeMs(info);
  return std::max(b_.t2, frame + frame / 8 + 50);
}

void LinkWindow::sendHeldIFrame(int ns, bool poll) {
  std::optional<FrameRecord>& held = b_.sentFrames[static_cast<std::size_t>(ns)];
  if (!held) return;
  held->nr = b_.vr;
  held->crpf = poll ? CrPf::CommandPoll : CrPf::Command;
  held->control = ControlByte(FrameType::I, held->crpf, b_.vr, ns);
  if (held->sendCount > 0) b_.statistics.resentBytesSent += held->infoLength();
  ++held->sendCount;
  b_.lastAckedVr = b_.vr;  // it carries N(R) = V(R)
  transmit(*held);
  held->crpf = CrPf::Command;
  held->control = ControlByte(FrameType::I, held->crpf, held->nr, ns);
}

void LinkWindow::scheduleBurst(bool afterTopUp) {
  if (b_.burstPending && !afterTopUp) return;
  b_.burstPending = true;
  // Posted after the owner was asked for more: what the owner adds in
  // answer is packed into the same burst. Only the latest event counts.
  ++b_.burstSeq;
  toolkit().post(id(), ui::Event::user(kEvtSendBurst, b_.burstSeq));
}

void LinkWindow::onBurst(std::intptr_t seq) {
  if (!b_.burstPending || seq != b_.burstSeq) return;
  if (!rules_->airAware()) {
    b_.burstPending = false;
    return;
  }
  // The owner has had its turn: a short last frame may go now.
  b_.flushTail = true;
  runSender();
  b_.flushTail = false;
  b_.burstPending = false;
  if (b_.state != LinkState::Connected && b_.state != LinkState::Disconnecting) return;
  std::vector<int> fresh;
  for (int ns = b_.va; ns != b_.vs; ns = (ns + 1) & 7) {
    const auto& held = b_.sentFrames[static_cast<std::size_t>(ns)];
    if (held && held->sendCount == 0) fresh.push_back(ns);
  }
  if (fresh.empty()) return;
  stopT2();  // the frames carry the acknowledgement
  // A poll on the last frame of a burst makes the peer answer at once
  // instead of after its T2; a single frame (typing) is not polled.
  const bool poll = fresh.size() > 1 || b_.windowFull();
  for (std::size_t i = 0; i < fresh.size(); ++i) sendHeldIFrame(fresh[i], poll && i + 1 == fresh.size());
  startT1(b_.t1);
}

void AirRules::newIFrame(LinkWindow& link, const FrameRecord&) const {
  // Stored only: the burst event sends the new frames together.
  link.scheduleBurst(false);
}

void AirRules::answerPoll(LinkWindow& link) const { link.sendSupervisory(CrPf::ResponseFinal); }

bool AirRules::retransmitOldestOnly(const LinkWindow& link) const {
  return link.b_.flags.size() > 1 && link.b_.flags[1] == '1';
}

}  // namespace tarvik::ax25
