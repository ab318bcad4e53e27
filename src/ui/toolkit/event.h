#pragma once
// Events delivered to windows. A window's handler receives every event of the
// toolkit (create, destroy, timer, user, ...) as one Event. User events carry
// an id and one argument: a number, and optionally an owned record. A record
// changes owner with the event: the receiver may take it; what nobody takes is
// freed with the event.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace tarvik::ui {

using WindowId = std::uint32_t;       // 0 is "no window"
inline constexpr WindowId kNoWindow = 0;
using TimerId = std::uint32_t;        // 0 is "no timer"
using WatchId = std::uint32_t;        // 0 is "no watch"

// Base of every record that travels with a user event.
struct Payload {
  virtual ~Payload() = default;
};

// A payload holding a plain text (status line texts, names, ...).
struct TextPayload : Payload {
  explicit TextPayload(std::string t) : text(std::move(t)) {}
  std::string text;
};

enum class EventType : int {
  Create = 1,
  Destroy,
  Focus,     // arg: 1 gained, 0 lost
  Size,
  Update,
  Close,     // the user asked the window to close
  Mouse,
  Char,      // id: key code, arg: modifier bits
  Command,   // id: menu item number
  Font,
  Control,   // id: control id, arg: control-specific notification
  Timer,     // id: TimerId
  Quit,      // arg: 1 when the toolkit demands the quit, 0 when it asks
  User = 19, // id: user event number, arg: argument, record: owned record
};

struct Event {
  EventType type = EventType::User;
  int id = 0;
  std::intptr_t arg = 0;
  std::unique_ptr<Payload> record;

  Event() = default;
  Event(EventType t, int i, std::intptr_t a = 0, std::unique_ptr<Payload> r = {})
      : type(t), id(i), arg(a), record(std::move(r)) {}

  static Event user(int id, std::intptr_t arg = 0, std::unique_ptr<Payload> rec = {}) {
    return Event(EventType::User, id, arg, std::move(rec));
  }

  // The record as T, or null when there is none of that type.
  template <class T> T* as() const { return dynamic_cast<T*>(record.get()); }

  // Takes ownership of the record when it is a T; otherwise leaves it.
  template <class T> std::unique_ptr<T> take() {
    if (auto* p = dynamic_cast<T*>(record.get())) {
      record.release();
      return std::unique_ptr<T>(p);
    }
    return nullptr;
  }
};

}  // namespace tarvik::ui
