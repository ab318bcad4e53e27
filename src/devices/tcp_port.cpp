#include "devices/tcp_port.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "core/message_service.h"
#include "core/port_opening.h"
#include "devices/tcp_errors.h"
#include "devices/tcp_server.h"

namespace tarvik::devices {

namespace {

constexpr std::size_t kHostCapacity = 63;
constexpr std::size_t kPortTextCapacity = 11;
constexpr int kSettingTcpPort = 39;

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

TcpPortWindow::TcpPortWindow(core::App& app, int port, Socket socket, std::string host,
                             std::string portText)
    : app_(app),
      owner_(app.taskWindow),
      port_(port),
      host_(std::move(host)),
      portText_(std::move(portText)),
      receiver_(app.toolkit(), app.taskWindow, port, ReceiveChecks::None),
      socket_(std::move(socket)),
      state_(socket_ ? kTcpConnected : kTcpLookingUp),
      outgoing_(!socket_),
      jitter_(static_cast<std::uint32_t>(port) * 7919u +
              static_cast<std::uint32_t>(app.toolkit().now().time_since_epoch().count())) {}

void TcpPortWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::User: onUser(event); break;
    case ui::EventType::Timer: onTimer(event); break;
    default: break;
  }
}

void TcpPortWindow::onCreate() {
  core::SetPortState(app_, port_, socket_ ? core::PortState::Up : core::PortState::Connecting);
  if (socket_) {
    // An accepted connection stands already. Its title is the dotted
    // address until the peer's name is known; the name lookup must not hold
    // up the user-interface thread.
    updateWatch();
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(socket_.fd(), reinterpret_cast<sockaddr*>(&peer), &len) == 0)
      peerLookup_ = StartReverseLookup(toolkit(), id(), kEvtTcpPeerName, peer.sin_addr);
    return;
  }
  if (portText_.empty()) portText_ = app_.config().GetSetting(kSettingTcpPort).substr(0, kPortTextCapacity);
  lookup_ = StartHostLookup(toolkit(), id(), kEvtTcpLookupDone, host_);
}

void TcpPortWindow::onDestroy() {
  lookup_.cancel();
  peerLookup_.cancel();
  if (retryTimer_ != 0) toolkit().destroyTimer(retryTimer_);
  retryTimer_ = 0;
  if (watch_ != 0) toolkit().unwatch(watch_);
  watch_ = 0;
  socket_.reset();
  if (core::PortRecord* record = app_.ports().Find(port_); record && record->portWindow == id()) {
    record->portWindow = ui::kNoWindow;
    record->transparentLink = ui::kNoWindow;
    record->state = core::PortState::Up;  // the next driver of the port tells its own
  }
  // A connection waiting at the server may now take this port. Posted, so
  // that nothing is accepted while a shutdown is closing the ports.
  if (const ui::WindowId server = FindTcpServer(toolkit()); server != ui::kNoWindow)
    toolkit().post(server, ui::Event::user(kEvtServerPortFreed));
}

void TcpPortWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case core::kEvtHeartbeat: onHeartbeat(); break;
    case kEvtTcpSocket: onSocket(static_cast<unsigned>(event.arg)); break;
    case kEvtTcpLookupDone:
      if (const auto* result = event.as<HostLookupResult>()) onLookupDone(*result);
      break;
    case kEvtTcpPeerName:
      if (const auto* result = event.as<HostLookupResult>()) onPeerName(*result);
      break;
    case ax25::kEvtTransparentData:
      if (const auto* bytes = event.as<ax25::RawFrameBuffer>()) receiver_.feed(bytes->bytes());
      break;
    case ax25::kEvtFrameBytes: send(KissTransmitBytes(KissProtocol::Kiss, event)); break;
    case core::kEvtTcpOpened:
      toolkit().sendUser(owner_, event.id, event.arg, std::move(event.record));
      owner_ = app_.taskWindow;
      break;
    case core::kEvtTcpClosed:
      toolkit().sendUser(owner_, event.id, event.arg, std::move(event.record));
      if (!outgoing_) toolkit().destroy(id());  // an outgoing port stays and tries again
      break;
    case core::kEvtTcpFailed:
      if (auto* status = event.as<core::PortStatus>()) {
        const core::PortRecord* record = app_.ports().Find(port_);
        status->device = !host_.empty() || record == nullptr ? host_ : record->title;
      }
      toolkit().sendUser(owner_, event.id, event.arg, std::move(event.record));
      if (!outgoing_) toolkit().destroy(id());
      break;
    case core::kAnswerBase + 0:
    case core::kAnswerBase + 1:
    case core::kAnswerBase + 2:
    case core::kAnswerBase + 3:
    case core::kAnswerBase + 4:
      break;
    default:
      app_.ShowMessage(id(), 1, 501, kTcpPortEventName, std::to_string(event.id));
      break;
  }
}

void TcpPortWindow::onHeartbeat() {
  if (countdown_ < 0) return;
  if (--countdown_ != 0) return;
  if (!reconnecting_) toolkit().beep();
  if (state_ == kTcpConnecting) connectFailed(0);
}

void TcpPortWindow::onTimer(ui::Event& event) {
  if (retryTimer_ == 0 || static_cast<ui::TimerId>(event.id) != retryTimer_) return;
  toolkit().destroyTimer(retryTimer_);
  retryTimer_ = 0;
  retry();
}

void TcpPortWindow::onLookupDone(const HostLookupResult& result) {
  lookup_ = {};
  if (result.code != 0) {
    connectFailed(result.code);
    return;
  }
  connectTo(result.addresses.front());
}

void TcpPortWindow::connectFailed(int code) {
  dropConnection();
  if (!reconnecting_) {
    // The first failure is told as ever (a time-out quietly); from now on
    // the port tries again without more words until it is back.
    reconnecting_ = true;
    if (code != 0) report(core::kEvtTcpFailed, code);
    else report(core::kEvtTcpClosed, 0);
  }
  core::SetPortState(app_, port_, core::PortState::Down,
                     std::string(WinsockErrorText(code == 0 ? kWsaTimedOut : code)));
  scheduleRetry();
}

void TcpPortWindow::connectionLost(const std::string& reason) {
  if (!outgoing_) {
    // FD_CLOSE of an accepted connection: its port is free again.
    toolkit().destroy(id());
    return;
  }
  dropConnection();
  reconnecting_ = true;
  nextPauseMs_ = kTcpRetryFirstMs;
  core::SetPortState(app_, port_, core::PortState::Down, reason);
  scheduleRetry();
}

void TcpPortWindow::dropConnection() {
  if (watch_ != 0) toolkit().unwatch(watch_);
  watch_ = 0;
  socket_.reset();
  state_ = kTcpWaiting;
  countdown_ = -1;
  // A frame half written would spoil the framing of the next connection;
  // what waited is as lost as a frame on the air.
  output_.clear();
  outputStart_ = 0;
}

void TcpPortWindow::scheduleRetry() {
  if (retryTimer_ != 0) return;
  std::uniform_int_distribution<int> vary(-nextPauseMs_ / 10, nextPauseMs_ / 10);
  pauseMs_ = std::max(1, nextPauseMs_ + vary(jitter_));
  nextPauseMs_ = std::min(nextPauseMs_ * 2, kTcpRetryLongestMs);
  retryTimer_ = toolkit().createTimer(id(), pauseMs_);
}

void TcpPortWindow::retry() {
  if (socket_ || lookup_) return;
  state_ = kTcpLookingUp;
  lookup_ = StartHostLookup(toolkit(), id(), kEvtTcpLookupDone, host_);
}

void TcpPortWindow::connectTo(const in_addr& address) {
  int code = 0;
  socket_ = NewStreamSocket(code);
  // A socket that cannot be made or bound is a local fault, told once by
  // message 1051; the port then tries again like after any failure.
  auto localFailure = [this](int err) {
    if (!reconnecting_) app_.ShowMessage(id(), 4, 1051, std::to_string(err), std::string(WinsockErrorText(err)));
    reconnecting_ = true;
    connectFailed(err);
  };
  if (!socket_) {
    localFailure(code);
    return;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    localFailure(LastSocketError());
    return;
  }
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr = address;
  remote.sin_port = htons(PortNumber(portText_));
  if (::connect(socket_.fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    // Connected at once (possible on loopback): the connection is up just as
    // if the connect notification had come, so reading starts and the owner
    // hears of it.
    onConnected();
    return;
  }
  code = LastSocketError();
  if (code != kWsaInProgress && code != kWsaWouldBlock) {
    connectFailed(code);
    return;
  }
  state_ = kTcpConnecting;
  countdown_ = kTcpConnectSeconds;
  updateWatch();
}

void TcpPortWindow::onSocket(unsigned ready) {
  if (!socket_) return;
  if (state_ == kTcpConnecting) {
    // FD_CONNECT: the connect has completed, one way or the other.
    const int code = PendingSocketError(socket_.fd());
    if (code == 0) onConnected();
    else connectFailed(code);
    return;
  }
  if (state_ != kTcpConnected) return;
  // Data before a hang-up is read first; the hang-up shows as the end of
  // the stream.
  if (ready & (ui::kWatchRead | ui::kWatchError)) {
    receive();
    if (!socket_) return;  // closed
  }
  if (ready & ui::kWatchWrite) flush();
}

void TcpPortWindow::onConnected() {
  state_ = kTcpConnected;
  countdown_ = -1;
  nextPauseMs_ = kTcpRetryFirstMs;
  updateWatch();
  core::SetPortState(app_, port_, core::PortState::Up);
  report(core::kEvtTcpOpened, 0);
  flush();  // frames handed over while the first connection was coming up
}

void TcpPortWindow::onPeerName(const HostLookupResult& result) {
  peerLookup_ = {};
  if (result.code != 0 || result.name.empty()) return;
  core::PortRecord* record = app_.ports().Find(port_);
  if (record == nullptr || record->portWindow != id()) return;
  record->title = result.name.substr(0, core::kPortTitleCapacity);
  record->device = (kIncomingDevicePrefix + record->title).substr(0, core::kPortDeviceCapacity);
}

void TcpPortWindow::receive() {
  auto buffer = std::make_unique<ax25::RawFrameBuffer>();
  const ssize_t n = ::recv(socket_.fd(), buffer->data.data(), kTcpReceiveChunk, 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) {
    // FD_CLOSE: the peer has closed or reset the connection.
    connectionLost(n == 0 ? core::MessageText(app_, core::kMsgPortClosedByPeer)
                          : std::string(WinsockErrorText(LastSocketError())));
    return;
  }
  bytesReceived_ += static_cast<std::uint64_t>(n);
  buffer->length = static_cast<int>(n);
  toolkit().sendUser(id(), ax25::kEvtTransparentData, 0, std::move(buffer));
}

void TcpPortWindow::send(std::vector<std::uint8_t> bytes) {
  if (bytes.empty() || state_ == kTcpFailed) return;
  if (reconnecting_ && state_ != kTcpConnected) {
    // The port is down: nothing goes out, and nothing pretends to.
    if (core::PortRecord* record = app_.ports().Find(port_)) ++record->framesDropped;
    return;
  }
  if (pendingOutput() + bytes.size() > kTcpMaxPendingOutput) {
    ++droppedFrames_;
    return;
  }
  if (outputStart_ > 0 && outputStart_ == output_.size()) {
    output_.clear();
    outputStart_ = 0;
  }
  output_.insert(output_.end(), bytes.begin(), bytes.end());
  flush();
}

void TcpPortWindow::flush() {
  if (state_ != kTcpConnected || !socket_) return;
  while (outputStart_ < output_.size()) {
    const ssize_t n = ::send(socket_.fd(), output_.data() + outputStart_,
                             output_.size() - outputStart_, MSG_NOSIGNAL);
    if (n > 0) {
      outputStart_ += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // A broken connection takes nothing more: the port has lost it.
    connectionLost(std::string(WinsockErrorText(LastSocketError())));
    return;
  }
  if (outputStart_ == output_.size()) {
    output_.clear();
    outputStart_ = 0;
  } else if (outputStart_ > output_.size() / 2) {
    output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(outputStart_));
    outputStart_ = 0;
  }
  updateWatch();
}

void TcpPortWindow::updateWatch() {
  if (!socket_) return;
  unsigned mask = 0;
  if (state_ == kTcpConnecting) mask = ui::kWatchWrite;
  if (state_ == kTcpConnected) mask = ui::kWatchRead | (pendingOutput() > 0 ? ui::kWatchWrite : 0u);
  if (watch_ == 0)
    watch_ = toolkit().watch(socket_.fd(), mask, id(), kEvtTcpSocket);
  else
    toolkit().setWatchMask(watch_, mask);
}

void TcpPortWindow::report(int event, int code) {
  auto status = std::make_unique<core::PortStatus>(
      port_, host_, code == 0 ? std::string() : std::string(WinsockErrorText(code)));
  toolkit().sendUser(id(), event, code, std::move(status));
}

TcpDevice ParseTcpDevice(std::string_view device) {
  TcpDevice parts;
  const auto semicolon = device.find(';');
  parts.host = Trimmed(device.substr(0, semicolon)).substr(0, kHostCapacity);
  if (semicolon != std::string_view::npos) {
    const std::string_view rest = device.substr(semicolon + 1);
    parts.portText = Trimmed(rest.substr(0, rest.find('#'))).substr(0, kPortTextCapacity);
  }
  return parts;
}

ui::WindowId CreateTcpPortWindow(core::App& app, int port, int socketFd, ui::WindowId owner) {
  Socket socket(socketFd);
  core::PortRecord* record = app.ports().Find(port);
  if (record == nullptr) return ui::kNoWindow;
  TcpDevice device;
  if (!socket) {
    if (FindTcpServer(app.toolkit()) == ui::kNoWindow) return ui::kNoWindow;
    device = ParseTcpDevice(record->device);
  }
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Invisible;
  spec.name = kTcpPortWindowName;
  spec.title = kTcpPortWindowName;
  spec.visible = false;
  auto driver = std::make_unique<TcpPortWindow>(app, port, std::move(socket), std::move(device.host),
                                                std::move(device.portText));
  if (owner != ui::kNoWindow) driver->reportTo(owner);
  const ui::WindowId window = app.toolkit().create(spec, std::move(driver));
  if (window != ui::kNoWindow) record->portWindow = window;
  return window;
}

void CloseTcpPort(core::App& app, ui::WindowId window) { app.toolkit().destroy(window); }

}  // namespace tarvik::devices
