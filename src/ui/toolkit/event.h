#pragma once
// Events delivered to windows. A window's handler receives every event of the
// toolkit (create, destroy, timer, user, ...) as one Event. User events carry
// an id and one argument: a number, and optionally an owned record. A record
// changes owner with the event: the receiver may take it; what nobody takes is
// freed with the event.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "ui/toolkit/geometry.h"

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
  Size,      // id: client width, arg: client height
  Update,    // record: RectRecord with the rectangle to repaint; id
             // kUpdateChanges (no record): the changes the window asked to
             // draw (Canvas::requestPaint)
  Close,     // the user asked the window to close
  Mouse,     // id: MouseAction, arg: modifier bits, record: MouseRecord
  Char,      // id: key code (see Key), arg: modifier bits (see KeyModifier)
  Command,   // id: menu item number
  Font,      // record: FontRecord with the font the operator chose
  Control,   // id: control id, arg: ControlNotify code
  Timer,     // id: TimerId
  Quit,      // arg: 1 when the toolkit demands the quit, 0 when it asks
  User = 19, // id: user event number, arg: argument, record: owned record
};

// The id of an Update event that a window asked for through
// Canvas::requestPaint rather than an invalidated rectangle.
inline constexpr int kUpdateChanges = 1;

// --- keys ---------------------------------------------------------------
// A Char event's id is the key: a character as its Windows-1252 byte value
// (1..255; Backspace 8, Tab 9, Enter 13, Escape 27), or one of the special
// keys below, which lie above every character. Shift+Tab arrives as Tab with
// kModShift.
enum Key : int {
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyEnter = 13,
  kKeyEscape = 27,
  kKeyUp = 300,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyPageUp,
  kKeyPageDown,
  kKeyHome,
  kKeyEnd,
  kKeyInsert,
  kKeyDelete,
  kKeyF1 = 320,  // F1..F12 are 320..331
  kKeyF12 = 331,
};

enum KeyModifier : unsigned {
  kModShift = 1,
  kModControl = 2,
  kModAlt = 4,
};

// --- mouse ----------------------------------------------------------------
enum class MouseAction : int { Down = 1, Up, Move, DoubleClick };

// The record of a Mouse event. The point is in the client coordinates of
// the window that receives the event; button 0 is the first (left) button,
// 1 the second (right), 2 the middle one.
struct MouseRecord : Payload {
  MouseRecord(MouseAction a, Point p, int b, unsigned m)
      : action(a), where(p), button(b), modifiers(m) {}
  MouseAction action;
  Point where;
  int button = 0;
  unsigned modifiers = 0;
};

// The record of an Update event: the part of the client area to repaint.
struct RectRecord : Payload {
  explicit RectRecord(Rect r) : rect(r) {}
  Rect rect;
};

// --- control notifications -------------------------------------------------
// The arg of a Control event. The id is the control's id; the window's own
// scroll bars report with the ids kWindowHScroll and kWindowVScroll.
// Notifications come only from the operator (or the UI driver acting as the
// operator); what the program itself sets is never reported back.
enum ControlNotify : int {
  kNotifyClicked = 1,       // push button pressed; check box or radio button toggled
  kNotifyTextChanged = 2,   // edit field text changed (the model already holds it)
  kNotifySelChanged = 3,    // list or combo box selection changed
  kNotifyDoubleClick = 4,   // list box item double-clicked (Enter in a list)
  kNotifyFocusIn = 5,       // the control got the keyboard focus
  kNotifyFocusOut = 6,      // the control lost the keyboard focus
  // Scroll bars: the action; for the thumb the model's position is already
  // the new one when the event arrives (read it with scrollPos()).
  kNotifyLineUp = 10,
  kNotifyLineDown = 11,
  kNotifyPageUp = 12,
  kNotifyPageDown = 13,
  kNotifyThumb = 14,        // thumb released at a position
  kNotifyThumbTrack = 15,   // thumb being dragged
};

inline constexpr int kWindowHScroll = -1;
inline constexpr int kWindowVScroll = -2;

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
  // A final record type is told by its type alone, which is far cheaper
  // than a cast through the hierarchy (the receive path asks per frame).
  template <class T> T* as() const {
    if constexpr (std::is_final_v<T>) {
      if (!record) return nullptr;
      const Payload& r = *record;
      return typeid(r) == typeid(T) ? static_cast<T*>(record.get()) : nullptr;
    } else {
      return dynamic_cast<T*>(record.get());
    }
  }

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
