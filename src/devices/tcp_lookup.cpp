#include "devices/tcp_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "devices/tcp_errors.h"

namespace tarvik::devices {

namespace detail {

// Shared by the ticket and the worker. The lock makes cancel() and a post
// exclusive: once cancel() has returned, the toolkit is never touched again.
struct LookupMailbox {
  LookupMailbox(ui::Toolkit& t, ui::WindowId w, int id) : toolkit(&t), target(w), userId(id) {}

  void deliver(std::unique_ptr<HostLookupResult> result) {
    std::lock_guard lock(mutex);
    if (cancelled) return;
    cancelled = true;  // one answer per lookup
    toolkit->post(target, ui::Event::user(userId, 0, std::move(result)));
  }
  void cancel() {
    std::lock_guard lock(mutex);
    cancelled = true;
  }

  std::mutex mutex;
  ui::Toolkit* toolkit;
  ui::WindowId target;
  int userId;
  bool cancelled = false;
};

}  // namespace detail

LookupTicket::LookupTicket(std::shared_ptr<detail::LookupMailbox> mailbox)
    : mailbox_(std::move(mailbox)) {}
LookupTicket::~LookupTicket() { cancel(); }
LookupTicket::LookupTicket(LookupTicket&&) noexcept = default;
LookupTicket& LookupTicket::operator=(LookupTicket&& other) noexcept {
  if (this != &other) {
    cancel();
    mailbox_ = std::move(other.mailbox_);
  }
  return *this;
}

void LookupTicket::cancel() {
  if (mailbox_) mailbox_->cancel();
  mailbox_.reset();
}

namespace {

std::unique_ptr<HostLookupResult> ResolveHost(const std::string& host) {
  auto result = std::make_unique<HostLookupResult>();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int eai = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (eai != 0) {
    result->code = WinsockCodeFromLookup(eai, errno);
    return result;
  }
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in))
      result->addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
  }
  ::freeaddrinfo(list);
  if (result->addresses.empty()) result->code = kWsaNoData;
  return result;
}

std::unique_ptr<HostLookupResult> ResolveName(in_addr address) {
  auto result = std::make_unique<HostLookupResult>();
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = address;
  char name[NI_MAXHOST] = {};
  const int eai = ::getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, name,
                                sizeof name, nullptr, 0, NI_NAMEREQD);
  if (eai != 0)
    result->code = WinsockCodeFromLookup(eai, errno);
  else
    result->name = name;
  return result;
}

LookupTicket StartWorker(ui::Toolkit& toolkit, ui::WindowId target, int userId,
                         std::function<std::unique_ptr<HostLookupResult>()> work) {
  auto mailbox = std::make_shared<detail::LookupMailbox>(toolkit, target, userId);
  try {
    std::thread([mailbox, work = std::move(work)] { mailbox->deliver(work()); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the lookup fails like one the resolver could not
    // take on, and the window hears of it in the usual way.
    auto failed = std::make_unique<HostLookupResult>();
    failed->code = kWsaTryAgain;
    mailbox->deliver(std::move(failed));
  }
  return LookupTicket(std::move(mailbox));
}

}  // namespace

LookupTicket StartHostLookup(ui::Toolkit& toolkit, ui::WindowId target, int userId,
                             std::string host) {
  return StartWorker(toolkit, target, userId,
                     [host = std::move(host)] { return ResolveHost(host); });
}

LookupTicket StartReverseLookup(ui::Toolkit& toolkit, ui::WindowId target, int userId,
                                in_addr address) {
  return StartWorker(toolkit, target, userId, [address] { return ResolveName(address); });
}

}  // namespace tarvik::devices
