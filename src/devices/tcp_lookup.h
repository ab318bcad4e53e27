#pragma once
// Host-name lookups of TCP/IP ports, off the user-interface thread.
//
// A lookup runs on a worker thread of its own and comes back as a user event
// to the window that asked, through the toolkit's thread-safe post, with a
// HostLookupResult as its record. The window keeps the LookupTicket; dropping
// or cancelling the ticket (the window closes) guarantees that no result is
// posted afterwards, so the worker never touches a window or toolkit that is
// gone. The worker itself is detached: a resolver cannot be interrupted, and
// it owns everything it uses.

#include <netinet/in.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::devices {

struct HostLookupResult : ui::Payload {
  int code = 0;                    // 0, or the Winsock code of the failure
  std::vector<in_addr> addresses;  // forward lookup: the host's IPv4 addresses, resolver order
  std::string name;                // reverse lookup: the host name
};

namespace detail {
struct LookupMailbox;
}

class LookupTicket {
 public:
  LookupTicket() = default;
  explicit LookupTicket(std::shared_ptr<detail::LookupMailbox> mailbox);
  ~LookupTicket();
  LookupTicket(LookupTicket&&) noexcept;
  LookupTicket& operator=(LookupTicket&&) noexcept;
  LookupTicket(const LookupTicket&) = delete;
  LookupTicket& operator=(const LookupTicket&) = delete;

  // No result is posted after this returns.
  void cancel();
  explicit operator bool() const { return mailbox_ != nullptr; }

 private:
  std::shared_ptr<detail::LookupMailbox> mailbox_;
};

// Looks up the IPv4 addresses of a host name (or dotted address); the result
// arrives as user event `userId` at `target`.
LookupTicket StartHostLookup(ui::Toolkit& toolkit, ui::WindowId target, int userId,
                             std::string host);

// Looks up the name of an address; the result arrives as user event `userId`
// at `target`, with an empty name and a code when there is none.
LookupTicket StartReverseLookup(ui::Toolkit& toolkit, ui::WindowId target, int userId,
                                in_addr address);

}  // namespace tarvik::devices
