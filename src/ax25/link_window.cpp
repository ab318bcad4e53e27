#include "ax25/link_window.h"

#include <algorithm>
#include <cstdio>

#include "core/atomic_file.h"
#include "core/port_table.h"

namespace tarvik::ax25 {

namespace {

// DECIDED: a PACLEN outside 1..516 cannot be sent (0 would send empty frames for
// ever, more than 516 is dropped by the receiving station's decoder); an
// unset PACLEN means the usual 256.
int UsablePaclen(int paclen) {
  if (paclen <= 0) return 256;
  return std::min(paclen, static_cast<int>(kMaxInfoLength));
}

// DECIDED: modulo 8 leaves room for at most 7 outstanding frames; a window of 0
// would never send.
int UsableWindow(int window) { return std::clamp(window, 1, 7); }

// Timers scaled by the path factor for digipeated paths. DECIDED: an unset L2F (0)
// means no scaling: it must not turn every timer of a digipeated link off.
int ScaleForPath(int value, int l2f, bool hasDigipeaters) {
  if (!hasDigipeaters || l2f <= 0) return value;
  return value * l2f / 10;
}

LinkWindow* FindLink(ui::Toolkit& toolkit, ui::WindowId link) {
  return toolkit.findAs<LinkWindow>(link);
}

}  // namespace

ui::WindowId CreateLink(core::App& app, ui::WindowId owner, const LinkCreation& creation) {
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Invisible;
  spec.name = "AX25";
  spec.title = "AX25";
  spec.rect = {100, 100, 120, 200};
  // DECIDED: the link is a child of the channel that owns it (not of the
  // task window), so it can never outlive its channel.
  spec.parent = owner;
  spec.visible = false;
  return app.toolkit().create(spec, std::make_unique<LinkWindow>(app, owner, creation));
}

LinkWindow::LinkWindow(core::App& app, ui::WindowId owner, const LinkCreation& creation)
    : app_(app), rules_(std::make_unique<NormalRules>()) {
  b_.ownerWindow = owner;
  b_.kind = creation.kind;
  b_.flags = app.config().GetSetting(14);
  if (creation.kind == 0) {
    b_.remote = creation.remote;
    b_.own = creation.own;
    b_.port = creation.port;
    b_.radioChannel = creation.radioChannel;
    b_.via = ReversePath(creation.via);
    takeParameters(ViaCount(b_.via) > 0);
    b_.state = LinkState::Connected;
    b_.statistics.receivedSABM = 1;
    b_.statistics.sentUA = 1;
    b_.t3Count.start(b_.t3);
    b_.t3Retries = 0;
    damaAtCreation_ = creation.dama;
  }
}

LinkWindow::~LinkWindow() = default;

void LinkWindow::takeParameters(bool hasDigipeaters) {
  if (const core::PortRecord* port = app_.ports().Find(b_.port)) b_.portWindow = port->portWindow;
  const core::ChannelParams& p = app_.config().GetChannelParams(b_.port, b_.radioChannel);
  b_.qrg = p.qrg;
  b_.window = UsableWindow(p.window);
  b_.paclen = UsablePaclen(p.paclen);
  b_.t2Dama = p.t2dama;
  b_.retry = std::max<int>(0, p.retry);
  b_.t1 = ScaleForPath(p.t1, p.l2f, hasDigipeaters);
  b_.t2 = ScaleForPath(p.t2, p.l2f, hasDigipeaters);
  b_.t3 = ScaleForPath(p.t3, p.l2f, hasDigipeaters);
  b_.baud = p.baud > 0 ? p.baud : 1200;
  // One key-up: TXDELAY and the mean wait of p-persistence, SLOTTIME times
  // (1 - p) / p with p = (PERSIST * 255 / 100 + 1) / 256.
  const int value = std::clamp<int>(p.persist, 0, 100) * 255 / 100;
  b_.keyUpMs = std::max<int>(0, p.txdelay) + std::max<int>(0, p.slottime) * (255 - value) / (value + 1);
  b_.plainRules = p.linkRules == 1;
  if (!b_.damaMode) {
    if (b_.plainRules)
      rules_ = std::make_unique<NormalRules>();
    else
      rules_ = std::make_unique<AirRules>();
  }
}

std::string LinkWindow::nowText() const {
  const ui::LocalTime t = toolkit().localTime();
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", t.day, t.month, t.year, t.hour,
                t.minute);
  return text;
}

void LinkWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::Timer:
      if (b_.t2Timer != 0 && static_cast<ui::TimerId>(event.id) == b_.t2Timer) onT2();
      break;
    case ui::EventType::User: onUser(event); break;
    default: break;
  }
}

void LinkWindow::onCreate() {
  b_.createTime = toolkit().now();
  if (b_.kind == 0) {
    b_.connectTime = nowText();
    // DECIDED: the accepted SABM came from a DAMA master: the link obeys
    // it from its first frame on, not only from the master's next one.
    if (damaAtCreation_) enterDama();
  }
}

void LinkWindow::onDestroy() {
  if (b_.transparent) {
    if (core::PortRecord* port = app_.ports().Find(b_.port); port && port->transparentLink == id())
      port->transparentLink = ui::kNoWindow;
  }
  stopT2();
  // Held frames and the send queue go with the block; nothing is sent.
}

void LinkWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case core::kEvtHeartbeat:
      // The main window's second: the link's timers count, then its channel.
      onTick();
      if (b_.ownerWindow != ui::kNoWindow) toolkit().sendUser(b_.ownerWindow, core::kEvtHeartbeat);
      break;
    case kEvtFrameReceived:
      if (const auto* frame = event.as<FrameRecord>()) onFrame(*frame);
      break;
    case kEvtTransparentData:
      if (auto buffer = event.take<RawFrameBuffer>()) {
        buffer->owner = id();
        if (b_.ownerWindow != ui::kNoWindow)
          toolkit().sendUser(b_.ownerWindow, kEvtLinkData, 0, std::move(buffer));
      }
      break;
    case kEvtWindowClosed:
      if (static_cast<ui::WindowId>(event.arg) == b_.statisticsWindow)
        b_.statisticsWindow = ui::kNoWindow;
      break;
    case kEvtConnectRequest:
      if (const auto* request = event.as<ConnectRequest>()) onConnectRequest(*request);
      break;
    case kEvtSendBurst: onBurst(event.arg); break;
    default: break;
  }
}

void LinkWindow::onConnectRequest(const ConnectRequest& request) {
  b_.remote = request.remote;
  b_.own = request.own;
  b_.port = request.port;
  b_.radioChannel = request.radioChannel;
  if (!request.qrg.empty()) b_.qrg = request.qrg;
  const core::PortRecord* port = app_.ports().Find(b_.port);
  b_.portWindow = port ? port->portWindow : ui::kNoWindow;
  if (port && port->protocol == core::kProtocolNone) {
    b_.transparent = true;
    app_.ports()[b_.port].transparentLink = id();
    report(LinkStatus::Connected);
  } else {
    b_.transparent = false;
    b_.via = request.via;
    const std::string qrg = b_.qrg;
    takeParameters(ViaCount(b_.via) > 0);
    if (!request.qrg.empty()) b_.qrg = qrg;
    if (b_.damaMode) {
      b_.t1 = 32000;
      b_.t2 = b_.t2Dama;
      b_.t3 = 200;
    }
    b_.state = LinkState::Connecting;
    b_.connectTimer.start(1);
    b_.connectRetries = 0;
  }
  b_.t3Count.stop();
  b_.t3Retries = 0;
}

void LinkWindow::report(LinkStatus status) {
  const int code = static_cast<int>(status);
  if (code == b_.lastStatus) return;
  if (EndsLink(status) && b_.holdReports) {
    b_.reportPending = true;
    return;
  }
  b_.lastStatus = code;
  if (b_.ownerWindow != ui::kNoWindow)
    toolkit().sendUser(b_.ownerWindow, kEvtLinkStatus, 0,
                       std::make_unique<LinkStatusReport>(status, id()));
}

void LinkWindow::deliver(std::span<const std::uint8_t> bytes) {
  if (b_.ownerWindow == ui::kNoWindow || bytes.empty()) return;
  auto buffer = std::make_unique<RawFrameBuffer>();
  buffer->owner = id();
  buffer->assign(bytes);  // at most 516 bytes: always fits
  toolkit().sendUser(b_.ownerWindow, kEvtLinkData, 0, std::move(buffer));
}

void LinkWindow::postDrained() {
  if (b_.ownerWindow != ui::kNoWindow)
    toolkit().post(b_.ownerWindow, ui::Event::user(kEvtQueueDrained, 1));
}

FrameRecord LinkWindow::build(FrameType type, CrPf crpf, std::span<const std::uint8_t> info,
                              int ns, bool keep) const {
  return BuildFrame(b_.port, b_.radioChannel, keep, b_.remote, b_.own, b_.via, type, crpf,
                    kPidNoLayer3, b_.vr, ns, info);
}

void LinkWindow::transmit(const FrameRecord& frame, bool countI) {
  // A port known to be lost drops the frame: it is not counted as sent.
  const core::PortRecord* port = app_.ports().Find(b_.port);
  const bool lost = port && port->open() && port->state == core::PortState::Down;
  LinkStatistics& s = b_.statistics;
  if (!lost) switch (frame.type) {
    case FrameType::RR: ++s.sentRR; break;
    case FrameType::RNR: ++s.sentRNR; break;
    case FrameType::REJ: ++s.sentREJ; break;
    case FrameType::SABM: ++s.sentSABM; break;
    case FrameType::UA: ++s.sentUA; break;
    case FrameType::FRMR: ++s.sentFRMR; break;
    case FrameType::I:
      if (countI) {
        ++s.sentI;
        s.sentBytes += frame.infoLength();
      }
      break;
    default: break;
  }
  noteOnAir(frame);
  auto copy = std::make_unique<FrameRecord>(frame);
  copy->keep = false;  // the copy belongs to the transmit path
  SendFrame(app_, std::move(copy));
}

void LinkWindow::sendSupervisory(CrPf crpf) {
  static constexpr FrameType kFor[] = {FrameType::RR, FrameType::RNR, FrameType::REJ};
  const FrameType type = kFor[static_cast<int>(b_.ownReceive) - static_cast<int>(Receive::Ready)];
  b_.lastAckedVr = b_.vr;  // it carries N(R) = V(R)
  transmit(build(type, crpf));
}

void LinkWindow::sendUnnumbered(FrameType type, CrPf crpf) { transmit(build(type, crpf)); }

// --- operations ---------------------------------------------------------

void LinkWindow::command(LinkCommandCode command, std::intptr_t argument, std::string_view text) {
  switch (command) {
    case LinkCommandCode::Disconnect:
    case LinkCommandCode::DisconnectNow: {
      const bool now = command == LinkCommandCode::DisconnectNow;
      if (b_.state == LinkState::Connected && !b_.transparent)
        startDisconnect(now ? 1 : 5, now);
      else
        report(LinkStatus::Disconnected);
      break;
    }
    case LinkCommandCode::ToggleBusy:
      if (b_.transparent) break;
      b_.recovery = true;
      b_.ownBusy = !b_.ownBusy;
      b_.ownReceive = b_.ownBusy ? Receive::Busy : Receive::Ready;
      sendSupervisory(CrPf::CommandPoll);
      // The poll wants an answer; without T1 a lost one would never be
      // asked for again.
      startT1(b_.t1);
      break;
    case LinkCommandCode::HoldReports:
      b_.holdReports = argument != 0;
      if (!b_.holdReports && b_.reportPending) {
        b_.reportPending = false;
        report(LinkStatus::Disconnected);
      }
      break;
    case LinkCommandCode::SetQrg: b_.qrg = std::string(text.substr(0, core::kChannelQrgCapacity)); break;
  }
}

void LinkWindow::sendData(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (b_.transparent) {
    // Straight to the port, in buffers it can take.
    while (!bytes.empty()) {
      const std::size_t n = std::min(bytes.size(), RawFrameBuffer::kCapacity);
      auto buffer = std::make_unique<RawFrameBuffer>();
      buffer->owner = id();
      buffer->assign(bytes.first(n));
      if (b_.portWindow != ui::kNoWindow)
        toolkit().post(b_.portWindow, ui::Event::user(kEvtFrameBytes, 0, std::move(buffer)));
      bytes = bytes.subspan(n);
    }
    return;
  }
  b_.sendQueue.append(bytes);
  if (!b_.windowFull()) runSender();
}

bool LinkWindow::sendUI(std::string_view text) {
  if (b_.transparent || b_.state != LinkState::Connected) return false;
  const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = std::min(text.size(), kMaxInfoLength);
  transmit(build(FrameType::UI, CrPf::Command, std::span<const std::uint8_t>(p, n)));
  return true;
}

std::optional<std::string> LinkWindow::info(int item, std::string_view path) {
  char text[16];
  switch (item) {
    case 0:
      if (!core::WriteFileAtomically(std::string(path), statisticsReport())) return std::nullopt;
      return std::string();
    case 2: return FormatCall(b_.own);
    case 3: return FormatCall(b_.remote);
    case 4: return b_.qrg;
    case 5: return b_.connectTime;
    case 6: std::snprintf(text, sizeof text, "%d", b_.radioChannel); return std::string(text);
    case 7: std::snprintf(text, sizeof text, "%d", b_.port); return std::string(text);
    case 8: return std::to_string(static_cast<std::int16_t>(b_.paclen));
    default: return std::nullopt;
  }
}

// --- the functions of link.h ---------------------------------------------

void LinkCommand(ui::Toolkit& toolkit, ui::WindowId link, LinkCommandCode command,
                 std::intptr_t argument, std::string_view text) {
  if (LinkWindow* l = FindLink(toolkit, link)) l->command(command, argument, text);
}

std::optional<std::string> LinkInfo(ui::Toolkit& toolkit, ui::WindowId link, int item,
                                     std::string_view path) {
  LinkWindow* l = FindLink(toolkit, link);
  return l ? l->info(item, path) : std::nullopt;
}

void LinkSendData(ui::Toolkit& toolkit, ui::WindowId link, std::span<const std::uint8_t> bytes) {
  if (LinkWindow* l = FindLink(toolkit, link)) l->sendData(bytes);
}

void LinkSendText(ui::Toolkit& toolkit, ui::WindowId link, std::string_view text) {
  LinkSendData(toolkit, link,
               std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                             text.size()));
}

bool LinkSendUI(ui::Toolkit& toolkit, ui::WindowId link, std::string_view text) {
  LinkWindow* l = FindLink(toolkit, link);
  return l && l->sendUI(text);
}

bool LinkSettled(ui::Toolkit& toolkit, ui::WindowId link) {
  const LinkWindow* l = FindLink(toolkit, link);
  return !l || l->block().transparent || (l->block().sendQueue.empty() && l->block().outstanding() == 0);
}

void LinkSetStatisticsWindow(ui::Toolkit& toolkit, ui::WindowId link, ui::WindowId window) {
  if (LinkWindow* l = FindLink(toolkit, link)) l->setStatisticsWindow(window);
}

}  // namespace tarvik::ax25
