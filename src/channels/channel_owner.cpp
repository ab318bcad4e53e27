#include "channels/channel_owner.h"

#include "channels/main_window.h"

namespace tarvik::channels {

namespace {
MainWindow* FindMainWindow(core::App& app) {
  return app.mainWindow == ui::kNoWindow ? nullptr
                                         : app.toolkit().findAs<MainWindow>(app.mainWindow);
}
}  // namespace

ChannelOwner::ChannelOwner(core::App& app, int slot, ax25::LinkCreation creation)
    : app_(app),
      slot_(slot),
      creation_(std::move(creation)),
      outgoing_(creation_.kind != 0),
      sessionState_(outgoing_ ? SessionState::SettingUp : SessionState::Connected),
      dama_(creation_.dama),
      remoteText_(ax25::FormatCall(creation_.remote)) {
  creation_.slot = slot;
}

ui::WindowId ChannelOwner::Open(core::App& app, int slot, const ax25::LinkCreation& creation) {
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Invisible;
  spec.name = "CHANNEL";
  spec.title = ax25::FormatCall(creation.remote);
  spec.parent = app.taskWindow;
  spec.visible = false;
  return app.toolkit().create(spec, std::make_unique<ChannelOwner>(app, slot, creation));
}

void ChannelOwner::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::User: onUser(event); break;
    case ui::EventType::Timer: break;  // the heartbeat, passed on by the link
    default: break;
  }
}

void ChannelOwner::onCreate() {
  link_ = ax25::CreateLink(app_, id(), creation_);
  if (MainWindow* main = FindMainWindow(app_)) {
    ax25::ChannelSlot& slot = main->channels()[slot_];
    slot.linkWindow = link_;
    slot.channelWindow = id();
  }
  if (!outgoing_) connectionUp();
}

void ChannelOwner::onDestroy() {
  // The link, our child, is gone already; the slot is free again.
  if (MainWindow* main = FindMainWindow(app_)) {
    ax25::ChannelSlot& slot = main->channels()[slot_];
    if (slot.channelWindow == id()) slot = {};
  }
  link_ = ui::kNoWindow;
}

void ChannelOwner::onUser(ui::Event& event) {
  switch (event.id) {
    case ax25::kEvtLinkStatus:
      if (const auto* report = event.as<ax25::LinkStatusReport>())
        if (report->link == link_) onStatus(report->status);
      break;
    case ax25::kEvtLinkData:
      if (const auto* buffer = event.as<ax25::RawFrameBuffer>())
        if (buffer->owner == link_ && observer_.data) observer_.data(buffer->bytes());
      break;
    case ax25::kEvtQueueDrained:
      sendQueueBusy_ = event.arg == 0;
      if (event.arg == 1 && observer_.drained) observer_.drained();
      break;
    case ax25::kEvtConnectRequest:
      if (const auto* request = event.as<ax25::ConnectRequest>()) onConnectRequest(*request);
      break;
    case kEvtCloseChannel: toolkit().destroy(id()); break;
    default: break;
  }
}

void ChannelOwner::onConnectRequest(const ax25::ConnectRequest& request) {
  remoteText_ = ax25::FormatCall(request.remote);
  ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::SetQrg, 0, request.qrg);
  toolkit().sendUser(link_, ax25::kEvtConnectRequest, 0,
                     std::make_unique<ax25::ConnectRequest>(request));
  // The main window puts the addresses into our slot, so that routing finds us.
  if (app_.mainWindow != ui::kNoWindow)
    toolkit().sendUser(app_.mainWindow, ax25::kEvtConnectRequest, 0,
                       std::make_unique<ax25::ConnectRequest>(request));
}

void ChannelOwner::connectionUp() {
  sessionState_ = SessionState::Connected;
  if (auto remote = ax25::LinkInfo(toolkit(), link_, 3)) remoteText_ = *remote;
}

void ChannelOwner::onStatus(ax25::LinkStatus status) {
  using ax25::LinkStatus;
  switch (status) {
    case LinkStatus::Connected:
      if (outgoing_) connectionUp();
      break;
    case LinkStatus::Disconnecting:
      sessionState_ = SessionState::Disconnecting;
      app_.ShowMessage(id(), 1, 9, remoteText_);
      break;
    case LinkStatus::ConnectFailed:
      if (creation_.connectText.find("#T") == std::string::npos)
        app_.ShowMessage(id(), 1, 13, remoteText_);
      [[fallthrough]];
    case LinkStatus::Refused:
    case LinkStatus::Disconnected:
      // Closed through the post: the link that reports is still at work.
      if (!closing_) toolkit().post(id(), ui::Event::user(kEvtCloseChannel));
      closing_ = true;
      break;
    case LinkStatus::Dama: dama_ = true; break;
    case LinkStatus::PeerReady:
    case LinkStatus::PeerBusy:
    case LinkStatus::PeerReject: peerState_ = status; break;
    default: break;
  }
  if (observer_.status) observer_.status(status);
}

void ChannelOwner::SendData(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  sendQueueBusy_ = true;
  ax25::LinkSendData(toolkit(), link_, bytes);
}

void ChannelOwner::SendText(std::string_view text) {
  SendData(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                         text.size()));
}

void ChannelOwner::Disconnect(bool now) {
  ax25::LinkCommand(toolkit(), link_,
                    now ? ax25::LinkCommandCode::DisconnectNow : ax25::LinkCommandCode::Disconnect);
}

std::optional<int> OpenOutgoingChannel(core::App& app, ax25::ConnectRequest request) {
  MainWindow* main = FindMainWindow(app);
  if (!main) return std::nullopt;
  const std::optional<int> slot = main->channels().FindFree();
  if (!slot) return std::nullopt;
  ax25::LinkCreation creation;
  creation.kind = 1;
  creation.slot = *slot;
  creation.port = request.port;
  creation.radioChannel = request.radioChannel;
  creation.own = request.own;
  creation.remote = request.remote;
  creation.via = request.via;
  const ui::WindowId channel = main->OpenChannel(*slot, creation);
  if (channel == ui::kNoWindow) return std::nullopt;
  request.channel = *slot;
  app.toolkit().sendUser(channel, ax25::kEvtConnectRequest, 0,
                         std::make_unique<ax25::ConnectRequest>(std::move(request)));
  return slot;
}

}  // namespace tarvik::channels
