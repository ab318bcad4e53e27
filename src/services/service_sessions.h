#pragma once
// The channels on which a service is open, for the two callbacks every
// service library gets (send to a channel, notify).
//
// The library calls them with nothing but a channel window number, from
// any thread, so they cannot carry a station of their own: the one list of
// open sessions of the process stands behind them. A session is entered
// before the library is asked to open it and removed when it ends; a
// callback naming any other window is ignored. What a callback hands in is
// copied and posted to the channel window (toolkit post, the thread-safe
// entry), so the library's block is never read after the call returns.

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "tarvik/service.h"
#include "ui/toolkit/event.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::services {

// User events a channel window gets from a service library.
enum ServiceEvent : int {
  kEvtServiceEnded = 850,  // the library ended the service on this channel
  // Data from the library arrive as the channel's own 851 (shown blue, sent).
};

class ServiceSessions {
 public:
  static ServiceSessions& Instance();

  void Enter(ui::WindowId channel, ui::Toolkit& toolkit);
  void Leave(ui::WindowId channel);
  bool Open(ui::WindowId channel) const;

  // The callbacks of the init block.
  static void SendToChannel(const TvkDataBlock* block);
  static void Notify(std::uint32_t window, std::int32_t code);

 private:
  void post(ui::WindowId channel, ui::Event event) const;

  mutable std::mutex mutex_;
  std::unordered_map<ui::WindowId, ui::Toolkit*> sessions_;
};

}  // namespace tarvik::services
