#pragma once
// The toolkit layer: everything Tarvik needs from a windowing system.
//
// Every active object of the program is a window: an object derived from
// `Window` whose onEvent() is its behaviour and whose members are its state.
// Invisible windows (ports, links, servers) have no widget at all; visible
// windows (the frame, channels, forms) are shown by the backend. Events are
// delivered synchronously on the user-interface thread by calling onEvent();
// the only thread-safe entry is post(), which queues an event for the main
// loop.
//
// The window registry, synchronous dispatch and deferred destruction live
// here; a backend (headless or Qt) supplies the main loop, the clock, timers,
// descriptor watches, the post queue and whatever is drawn.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/event.h"
#include "ui/toolkit/geometry.h"

namespace tarvik::ui {

class Toolkit;

class Window {
 public:
  virtual ~Window() = default;
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowId id() const { return id_; }
  Toolkit& toolkit() const { return *toolkit_; }

  virtual void onEvent(Event& event) = 0;

 private:
  friend class Toolkit;
  WindowId id_ = kNoWindow;
  Toolkit* toolkit_ = nullptr;
};

enum class WindowKind {
  Invisible,  // an actor without a widget: ports, links, servers
  Document,   // a document window inside the frame (or top-level without frame mode)
  Dialog,     // a dialog window
  Frame,      // the application frame (task window in frame mode)
};

struct WindowSpec {
  WindowKind kind = WindowKind::Invisible;
  std::string name;  // the window's name ("TASKWIN", "MAIN", ...), used by the UI driver
  std::string title;
  Rect rect;
  WindowId parent = kNoWindow;
  bool visible = true;
};

// Kinds of descriptor readiness a watch reports (bit mask in Event::arg of a
// watch event, see watch()).
enum WatchMask : unsigned {
  kWatchRead = 1,
  kWatchWrite = 2,
  kWatchError = 4,  // error or hang-up
};

// Local (wall-clock) time broken into fields.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  int dayOfWeek = 4;  // 0 = Sunday
};

using Clock = std::chrono::system_clock;

// A message dialog before the form runtime exists: up to three lines and the
// buttons named by the dialog's kind.
struct DialogButtons {
  bool yes = true;     // "JA"
  bool no = false;     // "NEIN"
  bool cancel = false; // "ABBRUCH"
};

class Toolkit {
 public:
  virtual ~Toolkit();
  Toolkit() = default;
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;

  // --- windows -----------------------------------------------------------
  // Creates a window: registers it, lets the backend make its widget, then
  // delivers the create event. Returns its id.
  WindowId create(const WindowSpec& spec, std::unique_ptr<Window> window);
  // Destroys a window and its children (children first): each receives its
  // destroy event, then is unregistered; the object itself is freed when no
  // handler of it is running any more. Unknown ids are ignored.
  void destroy(WindowId id);
  bool exists(WindowId id) const;
  Window* find(WindowId id) const;
  template <class T> T* findAs(WindowId id) const { return dynamic_cast<T*>(find(id)); }
  WindowId parentOf(WindowId id) const;
  std::vector<WindowId> children(WindowId id) const;
  const WindowSpec* specOf(WindowId id) const;
  // All windows in creation order.
  std::vector<WindowId> windows() const;

  // Delivers an event synchronously to the window's handler. An event for a
  // window that does not exist is dropped (its record freed).
  void send(WindowId id, Event& event);
  void sendUser(WindowId id, int userId, std::intptr_t arg = 0,
                std::unique_ptr<Payload> record = {});

  // Thread-safe: queues the event; the main loop delivers it later, on the
  // user-interface thread, as if sent there. The event belongs to the queue.
  virtual void post(WindowId id, Event event) = 0;

  // --- main loop and time ------------------------------------------------
  // Runs the main loop until quit(); returns the exit code given to quit().
  virtual int run() = 0;
  virtual void quit(int exitCode) = 0;
  virtual Clock::time_point now() const = 0;
  LocalTime localTime() const;

  // A repeating timer: the window receives Timer events with id = the timer.
  virtual TimerId createTimer(WindowId window, int intervalMs) = 0;
  virtual void destroyTimer(TimerId timer) = 0;

  // Watches a file descriptor: while it is ready for one of the kinds in
  // mask, the window receives user event `userId` with arg = the ready bits
  // and id stays userId; the watch ends with unwatch() or when the window is
  // destroyed. The caller keeps owning the descriptor.
  virtual WatchId watch(int fd, unsigned mask, WindowId window, int userId) = 0;
  virtual void setWatchMask(WatchId watch, unsigned mask) = 0;
  virtual void unwatch(WatchId watch) = 0;

  // --- frame and visible windows -----------------------------------------
  virtual void setTitle(WindowId id, const std::string& title);
  virtual void setVisible(WindowId id, bool visible);
  virtual void setEnabled(WindowId id, bool enabled);
  virtual void raise(WindowId id);
  virtual Rect outerRect(WindowId id) const;
  virtual void move(WindowId id, const Rect& rect);
  // The status line of the frame: fields 0..2, and whether it is shown.
  virtual void setStatusField(int field, const std::string& text) = 0;
  virtual std::string statusField(int field) const = 0;
  virtual void setFrameDocTitle(const std::string& title) = 0;
  virtual void setFrameBackground(const std::string& imagePath) = 0;

  // --- dialogs and small services ----------------------------------------
  // Shows a message dialog; `done` receives the answer (0 NEIN, 1 JA,
  // 3 ABBRUCH) on the user-interface thread once the dialog closes.
  virtual void messageDialog(int number, const std::string& title,
                             const std::vector<std::string>& lines, DialogButtons buttons,
                             std::function<void(int)> done) = 0;
  // The toolkit's error box (modal, no answer).
  virtual void errorBox(const std::string& text) = 0;
  // A file dialog; empty when cancelled.
  virtual std::optional<std::string> fileDialog(bool save, const std::string& title,
                                                const std::string& directory,
                                                const std::string& name) = 0;
  virtual void beep() = 0;
  virtual void setBusyCursor(bool busy) = 0;
  virtual void setClipboardText(const std::string& text) = 0;
  virtual std::string clipboardText() const = 0;

  // Whether a display shows anything (false for the headless backend).
  virtual bool isGraphical() const = 0;

 protected:
  // Backend hooks around a window's life.
  virtual void nativeCreate(WindowId id, const WindowSpec& spec) = 0;
  virtual void nativeDestroy(WindowId id) = 0;
  // Releases objects whose destruction was deferred; backends call it from
  // the main loop when no handler is running.
  void collectGarbage();
  // Backend hook: a window is gone; cancel its timers and watches.
  virtual void forgetWindow(WindowId id) = 0;

 private:
  struct Entry {
    std::unique_ptr<Window> window;
    WindowSpec spec;
    bool destroying = false;
  };
  std::map<WindowId, Entry> windows_;
  std::vector<std::unique_ptr<Window>> graveyard_;
  WindowId nextId_ = 1;
  int dispatchDepth_ = 0;
};

}  // namespace tarvik::ui
