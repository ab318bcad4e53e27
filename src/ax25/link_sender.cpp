// The sending half of a link: the send queue, the I-frame sender that cuts
// the queue into frames within the window, acknowledgement of our frames by
// the peer's N(R), and retransmission of what the peer has not taken.

#include <algorithm>

#include "ax25/link_window.h"

namespace tarvik::ax25 {

void SendQueue::append(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  chunks_.emplace_back(bytes.begin(), bytes.end());
  bytes_ += bytes.size();
}

std::vector<std::uint8_t> SendQueue::take(std::size_t limit) {
  std::vector<std::uint8_t> out;
  out.reserve(std::min(limit, bytes_));
  while (out.size() < limit && !chunks_.empty()) {
    const std::vector<std::uint8_t>& head = chunks_.front();
    const std::size_t n = std::min(limit - out.size(), head.size() - headOffset_);
    out.insert(out.end(), head.begin() + static_cast<std::ptrdiff_t>(headOffset_),
               head.begin() + static_cast<std::ptrdiff_t>(headOffset_ + n));
    headOffset_ += n;
    bytes_ -= n;
    if (headOffset_ == head.size()) {
      chunks_.pop_front();
      headOffset_ = 0;
    }
  }
  return out;
}

void SendQueue::clear() {
  chunks_.clear();
  headOffset_ = 0;
  bytes_ = 0;
}

void LinkWindow::runSender() {
  if (b_.sendQueue.empty()) {
    postDrained();
    return;
  }
  // DECIDED: new I frames only while connected; once our DISC is out
  // (state 4) nothing new may follow it.
  if (b_.state != LinkState::Connected || b_.peerReceive != Receive::Ready) return;
  if (b_.windowFull()) return;
  if (b_.t2Timer != 0) {
    // The new frames carry the acknowledgement T2 was waiting to send.
    stopT2();
    if (!b_.flags.empty() && b_.flags[0] == '1') sendSupervisory(CrPf::Response);
  }
  const bool air = rules_->airAware();
  const auto paclen = static_cast<std::size_t>(b_.paclen);
  bool topUp = false;
  while (!b_.windowFull() && !b_.sendQueue.empty()) {
    if (air && b_.sendQueue.size() < paclen && !b_.flushTail) {
      // A short last frame waits for the burst: the owner is asked for
      // more first, so frames are packed to PACLEN whatever the blocks.
      topUp = true;
      break;
    }
    std::vector<std::uint8_t> info = b_.sendQueue.take(paclen);
    b_.lastAckedVr = b_.vr;
    std::optional<FrameRecord>& place = b_.sentFrames[static_cast<std::size_t>(b_.vs)];
    place = build(FrameType::I, CrPf::Command, info, b_.vs, /*keep=*/true);
    b_.vs = (b_.vs + 1) & 7;
    rules_->newIFrame(*this, *place);
  }
  if (topUp) {
    postDrained();
    scheduleBurst(/*afterTopUp=*/true);
  }
  if (b_.sendQueue.empty()) postDrained();
}

bool LinkWindow::acknowledge(const FrameRecord& frame) {
  const int nr = frame.nr & 7;
  // DECIDED: N(R) must lie between V(A) and V(S). It is checked before any
  // frame is released: an invalid one releases nothing, so no frame the
  // peer never took is lost to it.
  if (((nr - b_.va) & 7) > b_.outstanding()) {
    sendFrmr(frame, kFrmrZ);
    return false;
  }
  ackAdvanced_ = b_.va != nr;
  while (b_.va != nr) {
    b_.sentFrames[static_cast<std::size_t>(b_.va)].reset();
    b_.va = (b_.va + 1) & 7;
  }
  if (b_.recovery && b_.vs == b_.va) {
    b_.t1Count.stop();
    b_.recovery = false;
    b_.t1Retries = 0;
  }
  return true;
}

void LinkWindow::retransmit() {
  if (b_.ownReceive == Receive::Busy || b_.outstanding() == 0) return;
  stopT2();
  b_.lastAckedVr = b_.vr;
  const bool oldestOnly = rules_->retransmitOldestOnly(*this);
  if (rules_->airAware()) {
    // Only what has left the TNC: a frame still waiting there (or not yet
    // handed over) arrives anyway, and sending it twice draws a REJ. The
    // last one asks the peer for an answer at once.
    std::vector<int> again;
    for (int ns = b_.va; ns != b_.vs; ns = (ns + 1) & 7) {
      const auto& held = b_.sentFrames[static_cast<std::size_t>(ns)];
      if (!held || held->sendCount == 0 || stillQueued(ns)) continue;
      again.push_back(ns);
      if (oldestOnly) break;
    }
    for (std::size_t i = 0; i < again.size(); ++i) sendHeldIFrame(again[i], i + 1 == again.size());
    if (!again.empty() || !b_.t1Count.running()) startT1(b_.t1);
    rules_->afterRetransmission(*this);
    return;
  }
  for (int ns = b_.va; ns != b_.vs; ns = (ns + 1) & 7) {
    std::optional<FrameRecord>& held = b_.sentFrames[static_cast<std::size_t>(ns)];
    if (!held) continue;
    held->nr = b_.vr;
    held->control = ControlByte(FrameType::I, held->crpf, b_.vr, ns);
    if (held->sendCount > 0) b_.statistics.resentBytesSent += held->infoLength();
    ++held->sendCount;
    transmit(*held);
    if (oldestOnly) break;
  }
  b_.t1Count.start(b_.t1);
  rules_->afterRetransmission(*this);
}

}  // namespace tarvik::ax25
