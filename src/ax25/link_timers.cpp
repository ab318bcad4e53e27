// The time-driven half of a link: the one-second tick with T3, T1 and the
// connect and disconnect countdowns (all counted in heartbeat ticks), the
// T2 acknowledgement delay (a toolkit timer in milliseconds), frame reject,
// the start of a disconnect and the switch into DAMA mode.

#include <algorithm>

#include "ax25/link_window.h"

namespace tarvik::ax25 {

void LinkWindow::onTick() {
  if (b_.transparent) return;
  // 1. T3: an idle connection is polled.
  if (b_.state != LinkState::Disconnecting && b_.t3Count.tick()) {
    const int n = b_.t3Retries++;
    if (n < b_.retry) {
      b_.recovery = true;
      b_.t3Count.stop();
      sendSupervisory(CrPf::CommandPoll);
      startT1(b_.t1);
    } else {
      startDisconnect(1, /*forced=*/true);
    }
  }
  // 2. T1: an acknowledgement or the answer to a poll is overdue.
  if (b_.t1Count.tick()) onT1Expiry();
  // 3. The disconnect countdown.
  if (b_.disconnectTimer.running() && disconnectMayAdvance() && b_.disconnectTimer.tick()) {
    b_.state = LinkState::Disconnecting;
    const int n = b_.disconnectRetries++;
    if (n < b_.retry) {
      b_.disconnectTimer.start(5);
      if (rules_->disconnectCountdownSendsDisc())
        sendUnnumbered(FrameType::DISC, CrPf::CommandPoll);
    } else {
      // DECIDED: the last word of a link that gets no answer to its DISC
      // is a UA. UA exists only as a response: one marked as command is a
      // protocol error to the peer (and decodes as something else).
      sendUnnumbered(FrameType::UA, CrPf::ResponseFinal);
      report(LinkStatus::Disconnected);
    }
  }
  // 4. The connect countdown.
  if (b_.connectTimer.tick()) {
    const int n = b_.connectRetries++;
    if (n < b_.retry) {
      b_.connectTimer.start(10);
      sendUnnumbered(FrameType::SABM, CrPf::CommandPoll);
    } else {
      // DECIDED: DM exists only as a response, like UA above.
      sendUnnumbered(FrameType::DM, CrPf::ResponseFinal);
      report(LinkStatus::ConnectFailed);
    }
  }
  // 5. The statistics window follows the counters.
  sendStatistics();
}

void LinkWindow::sendStatistics() {
  if (b_.statisticsWindow == ui::kNoWindow) return;
  auto block = std::make_unique<LinkStatisticsBlock>();
  block->statistics = b_.statistics;
  block->connectTime = b_.connectTime;
  block->createTime = b_.createTime;
  toolkit().sendUser(b_.statisticsWindow, kEvtLinkData, 0, std::move(block));
}

void LinkWindow::setStatisticsWindow(ui::WindowId window) {
  b_.statisticsWindow = window;
  sendStatistics();
}

void LinkWindow::onT1Expiry() {
  const int n = b_.t1Retries++;
  if (n >= b_.retry) {
    if (b_.state == LinkState::FrameReject)
      restartWithSabm();
    else
      startDisconnect(1, /*forced=*/true);
    return;
  }
  b_.recovery = true;
  // Every repeat waits half of T1. DECIDED: at least one tick, so that a T1
  // of one second does not stop recovery altogether after its first expiry.
  startT1(std::max(1, b_.t1 / 2));
  if (b_.state == LinkState::FrameReject) {
    resendFrmr();
    return;
  }
  if (rules_->airAware() && b_.outstanding() > 0 && b_.peerReceive != Receive::Busy &&
      b_.ownReceive != Receive::Busy) {
    // T1 counts from when our frames had left the TNC: nothing was heard
    // since, so the burst or its answer is lost. Sending again what has
    // left the TNC, with a poll on the last frame, costs one burst when
    // only the answer was lost, and saves a round of asking when the burst
    // was; and it keeps a channel that loses every few transmissions from
    // losing the data every time.
    const int before = b_.statistics.sentI;
    retransmit();
    if (b_.statistics.sentI == before) sendSupervisory(CrPf::CommandPoll);
    return;
  }
  const std::optional<FrameRecord>& single = b_.sentFrames[static_cast<std::size_t>(b_.va)];
  if (n == 0 && ((b_.va + 1) & 7) == b_.vs && single) {
    // One frame outstanding: send it once more with poll instead of asking.
    // It is a fresh copy, neither held nor counted.
    stopT2();
    b_.lastAckedVr = b_.vr;
    FrameRecord again = build(FrameType::I, CrPf::CommandPoll, single->info, single->ns);
    transmit(again, /*countI=*/false);
    startT1(std::max(1, b_.t1 / 2));  // from when it has left the TNC
    return;
  }
  // DECIDED: the poll tells our real receive condition (RNR while we are
  // busy), not always RR: an RR would invite data we would drop.
  sendSupervisory(CrPf::CommandPoll);
  startT1(std::max(1, b_.t1 / 2));
}

void LinkWindow::startT2() {
  stopT2();
  b_.t2Timer = toolkit().createTimer(id(), std::max(1, t2Ms()));
}

void LinkWindow::stopT2() {
  if (b_.t2Timer != 0) toolkit().destroyTimer(b_.t2Timer);
  b_.t2Timer = 0;
}

void LinkWindow::onT2() {
  stopT2();
  if (b_.state == LinkState::Connected) sendSupervisory(CrPf::Response);
}

void LinkWindow::sendFrmr(const FrameRecord& rejected, std::uint8_t reason) {
  const bool response = rejected.crpf == CrPf::Response || rejected.crpf == CrPf::ResponseFinal;
  b_.frmrInfo = {rejected.control,
                 static_cast<std::uint8_t>(b_.vr * 32 + b_.vs * 2 + (response ? 0x10 : 0)), reason,
                 0};
  resendFrmr();
  b_.state = LinkState::FrameReject;
}

void LinkWindow::resendFrmr() {
  transmit(build(FrameType::FRMR, CrPf::Command, std::span(b_.frmrInfo).first(3)));
}

void LinkWindow::startDisconnect(int ticks, bool forced) {
  b_.disconnectTimer.start(ticks);
  b_.recovery = false;
  b_.disconnectRetries = 0;
  b_.disconnectForced = b_.disconnectForced || forced;
  // DECIDED: while an orderly disconnect waits for its data to be
  // delivered, T1 keeps guarding the frames in flight; stopping it would
  // leave a lost acknowledgement unasked for, and the wait without end.
  if (b_.disconnectForced || b_.outstanding() == 0) b_.t1Count.stop();
  report(LinkStatus::Disconnecting);
}

// DECIDED: an orderly disconnect waits until everything queued has been
// sent and acknowledged; the release must not cut off the last data. Once
// DISC is out, or when the disconnect was forced, the countdown runs on.
bool LinkWindow::disconnectMayAdvance() const {
  return b_.disconnectForced || b_.state == LinkState::Disconnecting ||
         (b_.sendQueue.empty() && b_.outstanding() == 0);
}

void LinkWindow::enterDama() {
  b_.damaMode = true;
  b_.t1 = 32000;
  b_.t3 = 200;
  b_.t2 = b_.t2Dama;
  rules_ = std::make_unique<DamaSlaveRules>();
  report(LinkStatus::Dama);
  if (b_.portWindow != ui::kNoWindow)
    toolkit().sendUser(b_.portWindow, kEvtKissParameter, 0,
                       std::make_unique<KissParameterRequest>(b_.radioChannel, kKissPersistence,
                                                              255));
}

}  // namespace tarvik::ax25
