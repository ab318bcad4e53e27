#pragma once
// The link window: one AX.25 connection as an actor. Its handler takes the
// events of link.h; its state is a LinkControlBlock. The code is split by
// concern:
//   link_window.cpp      creation, connect request, events, reports, the API
//   link_states.cpp      the state handlers for received frames
//   link_sender.cpp      send queue, I-frame sender, acknowledgement, retransmission
//   link_timers.cpp      the tick (T1, T3, countdowns), T2, frame reject, disconnect
//   link_dama.cpp        the rule sets, DAMA slave behaviour
//   link_air.cpp         airtime: T1 and T2 reckoned with the air, bursts
//   link_statistics.cpp  the statistics report

#include <memory>
#include <random>
#include <span>
#include <string>

#include "ax25/link.h"
#include "ax25/link_control_block.h"
#include "ax25/link_rules.h"

namespace tarvik::ax25 {

// FRMR reason bits.
inline constexpr std::uint8_t kFrmrW = 0x01;  // control field undefined
inline constexpr std::uint8_t kFrmrX = 0x02;  // information field not allowed
inline constexpr std::uint8_t kFrmrY = 0x04;  // information field too long
inline constexpr std::uint8_t kFrmrZ = 0x08;  // N(R) invalid

// Posted by a link to itself: the new I frames go out as one burst.
inline constexpr int kEvtSendBurst = 891;

class LinkWindow final : public ui::Window {
 public:
  LinkWindow(core::App& app, ui::WindowId owner, const LinkCreation& creation);
  ~LinkWindow() override;
  void onEvent(ui::Event& event) override;

  const LinkControlBlock& block() const { return b_; }
  const LinkRules& rules() const { return *rules_; }

  // The operations of link.h.
  void command(LinkCommandCode command, std::intptr_t argument, std::string_view text);
  void sendData(std::span<const std::uint8_t> bytes);
  bool sendUI(std::string_view text);
  std::optional<std::string> info(int item, std::string_view path);
  // The new statistics window gets the counters at once, then every tick.
  void setStatisticsWindow(ui::WindowId window);
  void sendStatistics();
  // The statistics report as written to a file (LinkInfo item 0).
  std::string statisticsReport() const;

 private:
  friend class NormalRules;
  friend class AirRules;
  friend class DamaSlaveRules;

  // --- link_window.cpp
  void onCreate();
  void onDestroy();
  void onUser(ui::Event& event);
  void onConnectRequest(const ConnectRequest& request);
  void takeParameters(bool hasDigipeaters);
  void report(LinkStatus status);
  void deliver(std::span<const std::uint8_t> bytes);
  void postDrained();
  std::string nowText() const;
  // Sends a copy of the frame (user event 810 to the task window) and counts
  // it; I frames are counted only when countI.
  void transmit(const FrameRecord& frame, bool countI = true);
  // A frame of this link (own → remote along via), N(R) = V(R).
  FrameRecord build(FrameType type, CrPf crpf, std::span<const std::uint8_t> info = {},
                    int ns = 0, bool keep = false) const;
  // RR, RNR or REJ for the own receive condition; acknowledges everything.
  void sendSupervisory(CrPf crpf);
  void sendUnnumbered(FrameType type, CrPf crpf);

  // --- link_states.cpp
  void onFrame(const FrameRecord& frame);
  void countReceived(const FrameRecord& frame);
  void connectedHandler(const FrameRecord& frame);
  void connectingHandler(const FrameRecord& frame);
  void frameRejectHandler(const FrameRecord& frame);
  void disconnectingHandler(const FrameRecord& frame);
  void receiveIFrame(const FrameRecord& frame);
  void pollFinal(const FrameRecord& frame);
  void afterPeerState();
  void afterFrame();
  void reset();
  void linkUp();
  void restartWithSabm();

  // --- link_sender.cpp
  void runSender();
  bool acknowledge(const FrameRecord& frame);
  void retransmit();

  // --- link_air.cpp
  long long nowMs() const;
  int airtimeMs(const FrameRecord& frame) const;
  int airtimeMs(std::size_t infoLength) const;
  // A frame handed to the port: when it will have left the TNC.
  void noteOnAir(const FrameRecord& frame);
  // A frame heard from the peer: our TNC could not send meanwhile.
  void noteHeard(const FrameRecord& frame);
  // Starts T1 for `ticks`, counted from when our frames have left the TNC.
  void startT1(int ticks);
  // An answer from the peer: how long after our frames had left did it come?
  void timeAnswer(const FrameRecord& frame);
  // The held frame's last transmission is still waiting in the TNC, or
  // was on the air after the frame being handled began (so what the peer
  // says in it cannot tell of that frame).
  bool stillQueued(int ns) const;
  void sendHeldIFrame(int ns, bool poll);
  void scheduleBurst(bool afterTopUp);
  void onBurst(std::intptr_t seq);
  int t2Ms() const;

  // --- link_timers.cpp
  void onTick();
  void onT1Expiry();
  void startT2();
  void stopT2();
  void onT2();
  void sendFrmr(const FrameRecord& rejected, std::uint8_t reason);
  void resendFrmr();
  void startDisconnect(int ticks, bool forced);
  bool disconnectMayAdvance() const;
  void enterDama();

  core::App& app_;
  LinkControlBlock b_;
  std::unique_ptr<LinkRules> rules_;
  bool damaAtCreation_ = false;
  // While a received frame is handled: when it began on the air (ms on the
  // toolkit clock), 0 otherwise. What the peer says in it tells of our
  // frames that had left the TNC by then, not of later ones.
  long long heardStartMs_ = 0;
  // When the last frame heard ended, and when the peer's transmission it
  // belonged to began (ms on the toolkit clock).
  long long lastHeardMs_ = 0;
  long long peerTxStartMs_ = 0;
  // Spreads repeated T1 expiries (link_air.cpp), seeded from both calls.
  std::minstd_rand jitter_;
  bool jitterSeeded_ = false;
  // The last acknowledgement by N(R) released at least one frame.
  bool ackAdvanced_ = false;
};

}  // namespace tarvik::ax25
