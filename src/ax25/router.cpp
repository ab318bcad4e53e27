#include "ax25/router.h"

#include <algorithm>

namespace tarvik::ax25 {

namespace {
constexpr std::string_view kPingCall = "TARVK";

bool IsCommandPoll(const FrameRecord& frame) { return frame.crpf == CrPf::CommandPoll; }
}  // namespace

Router::Router(core::App& app, ChannelTable& table, OpenChannelFn openChannel)
    : app_(app),
      table_(table),
      openChannel_(std::move(openChannel)),
      ownCall_(app.config().Record().baseCall),
      ssidMask_(app.config().Record().ssidMask),
      mainSsid_(app.config().Record().defaultSsid) {}

bool Router::IsOwnCall(const AddressRecord& address) const {
  if (ownCall_.empty() || address.call != ownCall_) return false;
  const auto ssid = static_cast<std::size_t>(address.ssid);
  return ssid < ssidMask_.size() && ssidMask_[ssid] == '1';
}

AddressRecord Router::OwnMainAddress() const {
  AddressRecord own;
  own.call = ownCall_;
  own.ssid = mainSsid_;
  return own;
}

void Router::RouteReceivedFrame(ui::Event& event) {
  auto* frame = event.as<FrameRecord>();
  if (!frame) return;
  if (digipeat(*frame)) return;
  if (!accept(*frame)) deliver(event, *frame);
  // A ping is answered whatever became of it above.
  if (frame->type == FrameType::UI && frame->destination.call == kPingCall) answerPing(*frame);
}

// The first digipeater that has not repeated the frame decides where it is.
bool Router::digipeat(FrameRecord& frame) {
  for (AddressRecord& hop : frame.via) {
    if (hop.empty()) break;
    if (hop.cbit) continue;
    // still on its way elsewhere
    if (hop.ssid != mainSsid_ || hop.call != ownCall_) return true;
    hop.cbit = true;  // the H bit: repeated by us
    // Sent on directly: the monitor has shown this frame already.
    EncodeAndSend(app_, frame);
    return true;
  }
  return false;
}

bool Router::accept(const FrameRecord& frame) {
  if (listenOnly_ || frame.type != FrameType::SABM || !IsOwnCall(frame.destination)) return false;
  const std::string& rcall = app_.config().Record().rcall;
  if (!rcall.empty() && frame.source.call != rcall) return false;
  std::optional<int> free;
  for (int i = 0; i < kChannelSlots; ++i) {
    const ChannelSlot& slot = table_[i];
    if (slot.inUse()) {
      if (SameAddress(slot.remote, frame.source)) return false;  // that channel's link decides
    } else if (!free) {
      free = i;
    }
  }
  if (!free) {
    reply(frame, FrameType::DM);
    return true;
  }
  reply(frame, FrameType::UA);
  LinkCreation creation;
  creation.kind = 0;
  creation.slot = *free;
  creation.port = frame.port;
  creation.radioChannel = frame.radioChannel;
  creation.own = frame.destination;
  creation.remote = frame.source;
  creation.via = frame.via;
  creation.dama = frame.dama;
  if (openChannel_) openChannel_(*free, creation);
  table_.SetEnds(*free, frame.source, frame.destination);
  return true;
}

void Router::deliver(ui::Event& event, const FrameRecord& frame) {
  for (const ChannelSlot& slot : table_.slots) {
    if (slot.linkWindow != ui::kNoWindow && SameAddress(slot.remote, frame.source) &&
        SameAddress(slot.own, frame.destination)) {
      app_.toolkit().send(slot.linkWindow, event);
      return;
    }
  }
  if (!IsOwnCall(frame.destination) || frame.type == FrameType::UA ||
      frame.type == FrameType::DM)
    return;
  if (frame.type == FrameType::UI && pingWindow_ != ui::kNoWindow) {
    app_.toolkit().send(pingWindow_, event);
    return;
  }
  reply(frame, FrameType::DM);
}

void Router::answerPing(const FrameRecord& frame) {
  const std::string& name = app_.config().Record().myName;
  const auto* p = reinterpret_cast<const std::uint8_t*>(name.data());
  const std::size_t n = std::min(name.size(), kMaxInfoLength);
  send(BuildFrame(frame.port, frame.radioChannel, false, frame.source, OwnMainAddress(),
                  ReversePath(frame.via), FrameType::UI,
                  IsCommandPoll(frame) ? CrPf::ResponseFinal : CrPf::Response, kPidNoLayer3, 0,
                  0, std::span<const std::uint8_t>(p, n)));
}

void Router::reply(const FrameRecord& frame, FrameType type) {
  send(BuildFrame(frame.port, frame.radioChannel, false, frame.source, frame.destination,
                  ReversePath(frame.via), type,
                  IsCommandPoll(frame) ? CrPf::ResponseFinal : CrPf::Response, 0, 0, 0, {}));
}

void Router::send(FrameRecord frame) { SendFrame(app_, std::move(frame)); }

}  // namespace tarvik::ax25
