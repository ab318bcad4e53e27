// The link state machine: what a link does with each frame routing hands it.
//
// A link is one AX.25 version 2 connection with modulo-8 sequence numbers.
// It lives in one of five states:
//
//   0 idle ──connect request──▶ 1 connecting ──UA / SABM──▶ 2 connected
//                                  │  SABM every 10 ticks        │   ▲
//                                  └─ retries out: DM, status 5  │   │ SABM
//                               bad N(R), bad control: FRMR ──▶ 3 frame reject
//   2 connected ──disconnect countdown──▶ 4 disconnecting ──UA──▶ status 7
//
// A connection accepted by the main window starts in state 2: routing has
// already answered the SABM with UA. Frames are exchanged like this on a
// simple connection (left: we, right: the remote station):
//
//   SABM P ─────────────▶            connect request, first tick
//          ◀───────────── UA F       connected (status 2)
//   I0 I1 I2 ───────────▶            the I-frame sender fills the window
//          ◀───────────── RR3        after its T2 delay, the remote acknowledges
//          ◀───────────── I0         data piggy-backs our acknowledgement ...
//   RR1 ────────────────▶            ... and ours, after our T2
//   (T1 expires)  RR P ─▶            nothing heard: poll
//          ◀───────────── RR3 F      the answer tells what arrived; the rest is sent again
//   DISC P ─────────────▶            disconnect countdown
//          ◀───────────── UA F       status 7; the channel closes and destroys the link
//
// The shape: one entry per input (a received frame here, the tick, T2 and
// the operator's commands in link_timers.cpp and link_window.cpp), which
// first does what every state does with it (counting, status reports,
// DAMA detection) and then switches on the state to one handler per state.
// Each handler is a table of frame types, written out as a switch. The
// sequence-number work that several frames share (acknowledging by N(R),
// taking an I frame, poll/final, the step after a frame) are separate
// functions named after the protocol's own terms.
//
// Decisions where the link deviates from a literal reading of its rules are
// marked with the tag DECIDED: search for it.

#include <algorithm>

#include "ax25/link_window.h"

namespace tarvik::ax25 {

namespace {
// Gap between two frames heard that still makes them one transmission.
constexpr long long kSameTransmissionMs = 50;

bool IsSupervisoryOrI(FrameType t) {
  return t == FrameType::I || t == FrameType::RR || t == FrameType::RNR || t == FrameType::REJ;
}
}  // namespace

void LinkWindow::countReceived(const FrameRecord& frame) {
  LinkStatistics& s = b_.statistics;
  switch (frame.type) {
    case FrameType::I:
      ++s.receivedI;
      s.receivedBytes += frame.infoLength();
      report(LinkStatus::PeerReady);
      break;
    case FrameType::RR: ++s.receivedRR; report(LinkStatus::PeerReady); break;
    case FrameType::RNR: ++s.receivedRNR; report(LinkStatus::PeerBusy); break;
    case FrameType::REJ: ++s.receivedREJ; report(LinkStatus::PeerReject); break;
    case FrameType::SABM: ++s.receivedSABM; report(LinkStatus::SabmReceived); break;
    case FrameType::UA: ++s.receivedUA; break;
    case FrameType::FRMR: ++s.receivedFRMR; break;
    default: break;
  }
}

void LinkWindow::onFrame(const FrameRecord& frame) {
  if (b_.transparent) return;  // a transparent link runs no link layer
  countReceived(frame);
  noteHeard(frame);
  heardStartMs_ = nowMs() - airtimeMs(frame);
  // Frames that follow each other closely are one transmission of the
  // peer, built before it keyed up.
  if (heardStartMs_ > lastHeardMs_ + kSameTransmissionMs) peerTxStartMs_ = heardStartMs_;
  lastHeardMs_ = nowMs();
  ackAdvanced_ = false;
  timeAnswer(frame);
  if (frame.dama && !b_.damaMode) enterDama();
  switch (b_.state) {
    case LinkState::Connecting: connectingHandler(frame); break;
    case LinkState::FrameReject: frameRejectHandler(frame); break;
    case LinkState::Disconnecting: disconnectingHandler(frame); break;
    case LinkState::Idle:
    case LinkState::Connected: connectedHandler(frame); break;
  }
  heardStartMs_ = 0;
}

void LinkWindow::connectedHandler(const FrameRecord& frame) {
  b_.t3Count.start(b_.t3);
  b_.t3Retries = 0;
  if (frame.type != FrameType::SABM) b_.peerHeard = true;
  switch (frame.type) {
    case FrameType::I:
      stopT2();
      if (!acknowledge(frame)) return;
      receiveIFrame(frame);
      pollFinal(frame);
      afterFrame();
      if (b_.vr != b_.lastAckedVr && b_.state == LinkState::Connected) startT2();
      break;
    case FrameType::RR:
    case FrameType::RNR:
    case FrameType::REJ:
      b_.peerReceive = frame.type == FrameType::RR    ? Receive::Ready
                       : frame.type == FrameType::RNR ? Receive::Busy
                                                      : Receive::Reject;
      if (!acknowledge(frame)) return;
      pollFinal(frame);
      afterFrame();
      break;
    case FrameType::SABM:
      // DECIDED: a SABM before the peer has sent anything else since the
      // link came up repeats the SABM that set it up (our UA was lost or the
      // frame was heard twice): it is answered again, and nothing the link
      // has done since is thrown away. Only a later SABM resets the link.
      if (!b_.peerHeard && b_.state == LinkState::Connected) {
        sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
        break;
      }
      stopT2();
      reset();
      b_.sendQueue.clear();
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      break;
    case FrameType::DISC:
      app_.ShowMessage(id(), 1, 12, FormatCall(b_.remote));
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      report(LinkStatus::Disconnected);
      break;
    case FrameType::DM: report(LinkStatus::Refused); break;
    case FrameType::UA:
      // DECIDED: a UA on a running connection answers nothing we asked (a
      // late or repeated answer to our SABM). Resetting on it would drop the
      // frames in flight and desynchronise both ends, so it only stops T2.
      stopT2();
      break;
    case FrameType::FRMR: restartWithSabm(); break;
    case FrameType::UI: {
      pollFinal(frame);
      std::string text(frame.info.begin(),
                       frame.info.begin() + std::min<std::ptrdiff_t>(frame.infoLength(), 132));
      std::replace(text.begin(), text.end(), '\r', ' ');
      app_.ShowMessage(id(), 1, 11, FormatCall(b_.remote), text);
      break;
    }
    case FrameType::SIll:
    case FrameType::UIll: sendFrmr(frame, kFrmrW); break;
    default: break;
  }
}

void LinkWindow::connectingHandler(const FrameRecord& frame) {
  switch (frame.type) {
    case FrameType::SABM:
      // Both stations called at the same time.
      stopT2();
      reset();
      // DECIDED: nothing of the send queue has gone out yet in this state,
      // so the data the operator queued while connecting is kept.
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      linkUp();
      break;
    case FrameType::DISC:
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      report(LinkStatus::Disconnected);
      break;
    case FrameType::DM: report(LinkStatus::Refused); break;
    case FrameType::UA:
      b_.t3Count.start(b_.t3);
      b_.state = LinkState::Connected;
      b_.t3Retries = 0;
      linkUp();
      break;
    default: break;
  }
}

void LinkWindow::linkUp() {
  b_.connectTimer.stop();
  b_.connectTime = nowText();
  b_.peerHeard = false;
  report(LinkStatus::Connected);
  // DECIDED: data queued while connecting goes out as soon as the link is
  // up, not only when the next frame happens to arrive.
  if (!b_.sendQueue.empty() && !b_.windowFull()) runSender();
}

void LinkWindow::frameRejectHandler(const FrameRecord& frame) {
  switch (frame.type) {
    case FrameType::SABM:
      stopT2();
      reset();
      b_.sendQueue.clear();
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      break;
    case FrameType::DISC:
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      report(LinkStatus::Disconnected);
      break;
    case FrameType::DM: report(LinkStatus::Refused); break;
    default: resendFrmr(); break;
  }
}

void LinkWindow::disconnectingHandler(const FrameRecord& frame) {
  if (IsSupervisoryOrI(frame.type) || frame.type == FrameType::SABM ||
      frame.type == FrameType::DISC) {
    sendUnnumbered(rules_->disconnectingAnswer(), CrPf::ResponseFinal);
    return;
  }
  switch (frame.type) {
    case FrameType::DM: report(LinkStatus::Refused); break;
    case FrameType::UA: report(LinkStatus::Disconnected); break;
    case FrameType::SIll:
    case FrameType::UIll: sendFrmr(frame, kFrmrW); break;
    default: break;  // UI and FRMR are ignored while the link goes down
  }
}

void LinkWindow::receiveIFrame(const FrameRecord& frame) {
  if (b_.peerReceive == Receive::Reject) {
    b_.peerReceive = Receive::Ready;
    report(LinkStatus::PeerReady);
  }
  if (b_.ownReceive == Receive::Busy) return;  // the operator holds: dropped, asked for again later
  const int ns = frame.ns & 7;
  if (ns == b_.vr) {
    if (b_.ownReceive == Receive::Reject) b_.ownReceive = Receive::Ready;
    if (((b_.vr + 1) & 7) == b_.lastAckedVr) {
      // Seven frames taken and none acknowledged yet: an eighth would make
      // our N(R) ambiguous. No station that keeps to its window sends it.
      // DECIDED: the frame is dropped and everything received is
      // acknowledged at once, so the peer learns where we are and sends it
      // again; the link does not stay busy until the operator intervenes.
      sendSupervisory(CrPf::Response);
      return;
    }
    b_.vr = (b_.vr + 1) & 7;
    deliver(frame.info);
  } else if (ns == ((b_.vr + 7) & 7)) {
    // The frame just taken, heard again.
    b_.statistics.resentBytesReceived += frame.infoLength();
  } else {
    if (b_.ownReceive != Receive::Reject) {
      b_.ownReceive = Receive::Reject;
      // A poll is answered by poll/final handling, with REJ F.
      if (frame.crpf != CrPf::CommandPoll) sendSupervisory(CrPf::Response);
    }
  }
}

void LinkWindow::pollFinal(const FrameRecord& frame) {
  switch (frame.crpf) {
    case CrPf::CommandPoll:
      stopT2();
      rules_->answerPoll(*this);
      b_.t3Count.start(b_.t3);
      b_.t3Retries = 0;
      if (rules_->airAware()) {
        // The peer's poll asks for our state, not for our frames: its
        // N(R) may be older than our last transmission. T1 and the answer
        // to our own poll decide what goes again.
        if (b_.peerReceive == Receive::Busy) {
          startT1(b_.t1);
          b_.t1Retries = 0;
        }
        break;
      }
      afterPeerState();
      break;
    case CrPf::ResponseFinal:
      b_.t3Count.start(b_.t3);
      b_.t3Retries = 0;
      afterPeerState();
      break;
    case CrPf::Response:
      if (b_.peerReceive == Receive::Reject) retransmit();
      break;
    default: break;
  }
}

// The peer has told us its state: while it is busy we keep asking (T1);
// otherwise whatever it has not acknowledged goes out again.
void LinkWindow::afterPeerState() {
  if (b_.peerReceive == Receive::Busy) {
    startT1(b_.t1);
    b_.t1Retries = 0;
  } else {
    b_.t1Count.stop();
    b_.recovery = false;
    b_.t1Retries = 0;
    retransmit();
    // Frames still on their way keep T1 running.
    if (rules_->airAware() && b_.outstanding() > 0 && !b_.t1Count.running()) startT1(b_.t1);
  }
}

void LinkWindow::afterFrame() {
  if (b_.state != LinkState::Connected && b_.state != LinkState::Idle) return;
  if (b_.windowFull()) {
    // Under the rules adapted to the air only an acknowledgement restarts
    // T1: a peer that keeps sending (data, or asking for what it misses)
    // while our frames go unanswered must not hold T1 off for ever.
    if (!rules_->airAware() || ackAdvanced_ || !b_.t1Count.running()) {
      startT1(b_.t1);
      b_.t1Retries = 0;
    }
    return;
  }
  if (b_.outstanding() == 0) b_.t1Count.stop();
  if (b_.peerReceive == Receive::Reject) {
    b_.peerReceive = Receive::Ready;
    report(LinkStatus::PeerReady);
  }
  if (b_.peerReceive == Receive::Ready) runSender();
}

void LinkWindow::reset() {
  for (auto& held : b_.sentFrames) held.reset();
  b_.frameAirEndMs = {};
  b_.polls.clear();
  b_.state = LinkState::Connected;
  b_.ownReceive = b_.ownBusy ? Receive::Busy : Receive::Ready;
  b_.peerReceive = Receive::Ready;
  b_.vr = b_.lastAckedVr = b_.vs = b_.va = 0;
  b_.t1Count.stop();
  b_.disconnectTimer.stop();
  b_.disconnectForced = false;
  b_.recovery = false;
  b_.t3Count.start(b_.t3);
  b_.t3Retries = 0;
  b_.peerHeard = false;
}

// The connection is beyond repair: set it up again from scratch.
void LinkWindow::restartWithSabm() {
  stopT2();
  reset();
  b_.sendQueue.clear();
  b_.t3Count.stop();
  b_.state = LinkState::Connecting;
  b_.connectTimer.start(1);
  b_.connectRetries = 0;
  b_.t3Retries = 0;
}

}  // namespace tarvik::ax25
