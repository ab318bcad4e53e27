#pragma once
// The two rule sets a link runs under. Outside DAMA the link decides itself
// when to send; under a DAMA master it sends only when the master polls it.
// The choice is made once, when the master is first heard (a link never
// leaves DAMA mode), by swapping the link's rule set; the state handlers
// and timers ask the rules instead of testing a DAMA flag here and there.

#include "ax25/frame.h"

namespace tarvik::ax25 {

class LinkWindow;

class LinkRules {
 public:
  virtual ~LinkRules() = default;
  virtual bool dama() const = 0;
  // The I-frame sender has built and stored a new frame.
  virtual void newIFrame(LinkWindow& link, const FrameRecord& frame) const = 0;
  // A command with poll arrived (T2 already stopped): answer it.
  virtual void answerPoll(LinkWindow& link) const = 0;
  // Retransmission sends only the oldest outstanding frame.
  virtual bool retransmitOldestOnly(const LinkWindow& link) const = 0;
  // After the outstanding frames were sent again.
  virtual void afterRetransmission(LinkWindow& link) const = 0;
  // The disconnect countdown sends a DISC itself.
  virtual bool disconnectCountdownSendsDisc() const = 0;
  // What a disconnecting link answers to I, S, SABM and DISC frames.
  virtual FrameType disconnectingAnswer() const = 0;
  // The link reckons with the airtime of its frames (link_air.cpp): T1
  // counts from when they have left the TNC, T2 outlasts a frame, new
  // frames go out as one burst packed to PACLEN with a poll on the last,
  // and nothing still waiting in the TNC is sent again.
  virtual bool airAware() const { return false; }
};

// The ordinary rules of a link that sends when it likes.
class NormalRules : public LinkRules {
 public:
  bool dama() const override { return false; }
  void newIFrame(LinkWindow& link, const FrameRecord& frame) const override;
  void answerPoll(LinkWindow& link) const override;
  bool retransmitOldestOnly(const LinkWindow& link) const override;
  void afterRetransmission(LinkWindow&) const override {}
  bool disconnectCountdownSendsDisc() const override { return true; }
  FrameType disconnectingAnswer() const override { return FrameType::DM; }
};

// The rules of a link that sends when it likes and reckons with airtime
// (link_air.cpp).
class AirRules final : public NormalRules {
 public:
  void newIFrame(LinkWindow& link, const FrameRecord& frame) const override;
  void answerPoll(LinkWindow& link) const override;
  bool retransmitOldestOnly(const LinkWindow& link) const override;
  bool airAware() const override { return true; }
};

// The rules of a DAMA slave (link_dama.cpp).
class DamaSlaveRules final : public LinkRules {
 public:
  bool dama() const override { return true; }
  void newIFrame(LinkWindow& link, const FrameRecord& frame) const override;
  void answerPoll(LinkWindow& link) const override;
  bool retransmitOldestOnly(const LinkWindow&) const override { return false; }
  void afterRetransmission(LinkWindow& link) const override;
  bool disconnectCountdownSendsDisc() const override { return false; }
  FrameType disconnectingAnswer() const override { return FrameType::DISC; }
};

}  // namespace tarvik::ax25
