#include "devices/tcp_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>

#include "devices/tcp_errors.h"
#include "devices/tcp_port.h"

namespace tarvik::devices {

namespace {

constexpr std::size_t kPortTextCapacity = 11;
constexpr int kSettingTcpPort = 39;
constexpr std::size_t kListenCapacity = 63;
// While connections wait for a port, the server looks for a free one once a
// second as well: ports of other drivers may close without telling it.
constexpr int kRetryMs = 1000;
// The server's port cannot be bound or listened on.
constexpr int kMsgServerPortUnusable = 1053;

}  // namespace

TcpServerWindow::TcpServerWindow(core::App& app, std::string portText, std::string address)
    : app_(app), portText_(std::move(portText)), address_(std::move(address)) {
  const auto first = address_.find_first_not_of(" \t");
  address_ = first == std::string::npos ? std::string() : address_.substr(first, address_.find_last_not_of(" \t") - first + 1);
  if (address_.empty()) address_ = kDefaultListenAddress;
}

void TcpServerWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: listen(); break;
    case ui::EventType::Destroy:
      if (retryTimer_ != 0) toolkit().destroyTimer(retryTimer_);
      retryTimer_ = 0;
      if (watch_ != 0) toolkit().unwatch(watch_);
      watch_ = 0;
      socket_.reset();
      break;
    case ui::EventType::Timer:
      if (static_cast<ui::TimerId>(event.id) == retryTimer_) resumeWhenFree();
      break;
    case ui::EventType::User:
      if (event.id == kEvtServerSocket) accept();
      if (event.id == kEvtServerPortFreed) resumeWhenFree();
      break;
    default: break;
  }
}

void TcpServerWindow::listen() {
  int code = 0;
  socket_ = NewStreamSocket(code);
  if (socket_) {
    // A restarted program must get its port back at once, even while
    // connections of its previous run are still winding down.
    const int on = 1;
    ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(PortNumber(portText_));
    // Only the address of LISTEN is served: anyone who reaches the server
    // can transmit through the station.
    if (::inet_pton(AF_INET, address_.c_str(), &local.sin_addr) != 1)
      code = kWsaAddrNotAvail;
    else if (::bind(socket_.fd(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
             ::listen(socket_.fd(), kTcpListenBacklog) != 0)
      code = LastSocketError();
  }
  if (code != 0) {
    // The program runs on without server; outgoing ports still work. The
    // operator is told which port could not be had.
    socket_.reset();
    app_.ShowMessage(id(), 4, kMsgServerPortUnusable, portText_, std::string(WinsockErrorText(code)));
    return;
  }
  watch_ = toolkit().watch(socket_.fd(), ui::kWatchRead, id(), kEvtServerSocket);
}

std::uint16_t TcpServerWindow::listeningPort() const {
  if (!socket_) return 0;
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&local), &len) != 0) return 0;
  return ntohs(local.sin_port);
}

std::string TcpServerWindow::listeningAddress() const {
  if (!socket_) return {};
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&local), &len) != 0) return {};
  return DottedAddress(local.sin_addr);
}

void TcpServerWindow::accept() {
  if (!socket_ || waiting_) return;
  const std::optional<int> port = app_.ports().FindFreePort();
  if (!port) {
    // Every port is taken: the connection stays in the backlog, unaccepted
    // and not refused, until a port is free.
    wait();
    return;
  }
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  const int fd = ::accept4(socket_.fd(), reinterpret_cast<sockaddr*>(&peer), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) return;
    // Out of descriptors or the like: the connection stays in the backlog
    // and is tried again later, instead of the server spinning on it.
    wait();
    return;
  }
  core::PortRecord& record = app_.ports()[*port];
  record.title = DottedAddress(peer.sin_addr).substr(0, core::kPortTitleCapacity);
  record.device = (kIncomingDevicePrefix + record.title).substr(0, core::kPortDeviceCapacity);
  record.protocol = core::kProtocolKiss;
  record.devType = core::kDevTypeTcpIp;
  record.channels[0] = app_.config().TcpChannel();
  CreateTcpPortWindow(app_, *port, fd);
}

void TcpServerWindow::wait() {
  waiting_ = true;
  toolkit().setWatchMask(watch_, 0);
  if (retryTimer_ == 0) retryTimer_ = toolkit().createTimer(id(), kRetryMs);
}

void TcpServerWindow::resumeWhenFree() {
  if (!waiting_ || !app_.ports().FindFreePort()) return;
  waiting_ = false;
  if (retryTimer_ != 0) toolkit().destroyTimer(retryTimer_);
  retryTimer_ = 0;
  toolkit().setWatchMask(watch_, ui::kWatchRead);
}

void StartTcpIp(core::App& app) {
  if (!app.config().TcpIpSwitchedOn()) return;
  if (FindTcpServer(app.toolkit()) != ui::kNoWindow) return;
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Invisible;
  spec.name = kTcpServerWindowName;
  spec.title = kTcpServerWindowName;
  spec.visible = false;
  app.toolkit().create(spec, std::make_unique<TcpServerWindow>(
                                 app, app.config().GetSetting(kSettingTcpPort).substr(0, kPortTextCapacity),
                                 app.config().GetSetting(core::kSettingTcpListen).substr(0, kListenCapacity)));
}

void StopTcpIp(core::App& app) {
  if (const ui::WindowId server = FindTcpServer(app.toolkit()); server != ui::kNoWindow)
    app.toolkit().destroy(server);
}

ui::WindowId FindTcpServer(const ui::Toolkit& toolkit) {
  for (const ui::WindowId w : toolkit.windows()) {
    const ui::WindowSpec* spec = toolkit.specOf(w);
    if (spec != nullptr && spec->name == kTcpServerWindowName) return w;
  }
  return ui::kNoWindow;
}

TcpServerWindow* TcpServer(core::App& app) {
  return app.toolkit().findAs<TcpServerWindow>(FindTcpServer(app.toolkit()));
}

}  // namespace tarvik::devices
