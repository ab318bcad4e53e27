// The two rule sets: a link that sends when it likes, and a DAMA slave.
//
// Under DAMA (demand-assigned multiple access) a master station, usually a
// node, decides who may transmit: it polls each connected station in turn,
// and a slave sends only in answer to a poll. A slave therefore never sends
// new I frames on its own; the I-frame sender only stores them, and they go
// out as the answer to the master's next poll. It does not time out on its
// own either (T1 32000 s, T3 200 s): the master keeps the link alive. The
// master is recognised by bit 6 set and bit 5 clear in the SSID byte of its
// source address (FrameRecord::dama); the first such frame switches the
// link to these rules for good, asks the port for persistence 255 (the
// master schedules the channel, so the slave sends at once when polled),
// and tells the channel (status 8).

#include "ax25/link_window.h"

namespace tarvik::ax25 {

namespace {
bool FlagSet(const std::string& flags, std::size_t position) {
  return flags.size() > position && flags[position] == '1';
}
}  // namespace

void NormalRules::newIFrame(LinkWindow& link, const FrameRecord& frame) const {
  std::optional<FrameRecord>& held = link.b_.sentFrames[static_cast<std::size_t>(frame.ns)];
  ++held->sendCount;
  link.transmit(frame);
  link.b_.t1Count.start(link.b_.t1);
}

void NormalRules::answerPoll(LinkWindow& link) const { link.sendSupervisory(CrPf::ResponseFinal); }

bool NormalRules::retransmitOldestOnly(const LinkWindow& link) const {
  return FlagSet(link.b_.flags, 1);
}

void DamaSlaveRules::newIFrame(LinkWindow&, const FrameRecord&) const {
  // Stored only: it goes out when the master polls.
}

void DamaSlaveRules::answerPoll(LinkWindow& link) const {
  // The poll is our turn to speak: fill the window first, and let the I
  // frames be the answer when there are any.
  if (link.b_.outstanding() == 0) link.runSender();
  // DECIDED: while we are busy nothing is sent again, so the RNR must go
  // out even with frames stored, or the master's poll stays unanswered.
  if (link.b_.outstanding() == 0 || link.b_.ownReceive == Receive::Busy)
    link.sendSupervisory(CrPf::ResponseFinal);
}

void DamaSlaveRules::afterRetransmission(LinkWindow& link) const {
  if (FlagSet(link.b_.flags, 3)) link.sendSupervisory(CrPf::ResponseFinal);
}

}  // namespace tarvik::ax25
