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
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/toolkit/control.h"
#include "ui/toolkit/drawing.h"
#include "ui/toolkit/event.h"
#include "ui/toolkit/font.h"
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
  Child,      // a program-drawn pane inside its parent's client area (text
              // pane, list control, icon button): rect in the parent's client
              // coordinates; gets mouse, keys, focus and its own scroll bars
};

struct WindowSpec {
  WindowKind kind = WindowKind::Invisible;
  std::string name;  // the window's name ("TASKWIN", "MAIN", ...), used by the UI driver
  std::string title;
  Rect rect;
  WindowId parent = kNoWindow;
  bool visible = true;
  int number = 0;        // window description number (1010, 1600, ...), 0 when none
  bool hScroll = false;  // the window has its own horizontal scroll bar
  bool vScroll = false;  // ... and vertical one (controls kWindowHScroll, kWindowVScroll)
  bool modal = false;    // the others wait for it: it stays above them while open
};

// A message dialog that waits for its answer (see messageDialog()).
struct OpenDialog {
  int number = 0;
  std::string title;
  std::vector<std::string> lines;
};

// The id that means "no control" (control ids are never 0): focus on the
// window itself, or no control focused.
inline constexpr int kNoControl = 0;

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
  bool defaultNo = false;  // Enter answers "NEIN" instead of "JA"
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
  // Changes whenever a window is created or starts being destroyed: what was
  // found among the windows stays true while it is the same.
  std::uint64_t windowsGeneration() const { return generation_; }

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
  // Brings a document or dialog window up as the operator's active window:
  // raised, and Focus events (arg 1) to it and (arg 0) to the one before.
  void activate(WindowId id);
  // The operator's active document or dialog window (the last to get a
  // Focus event with arg 1), kNoWindow when none.
  WindowId activeWindow() const { return active_; }
  // Lays the document windows of the frame out side by side (tile) or
  // overlapping (cascade). False where there is no frame to arrange in.
  enum class Arrangement { Tile, Cascade };
  virtual bool arrangeWindows(Arrangement) { return false; }
  virtual Rect outerRect(WindowId id) const;
  virtual void move(WindowId id, const Rect& rect);
  // The operator cannot make the client area smaller than this (a form's
  // controls that keep their size stay whole).
  virtual void setMinimumClientSize(WindowId, int /*width*/, int /*height*/) {}
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
  // The window system's selection (what the middle button pastes); the
  // clipboard's text where there is no such selection.
  virtual void setSelectionText(const std::string& text) { (void)text; }
  virtual std::string selectionText() const { return clipboardText(); }
  // A desktop notification (title and one line of text) for when the
  // program is not the window the operator works in; nothing where the
  // desktop has no notification service.
  virtual void notify(const std::string& /*title*/, const std::string& /*text*/) {}
  // True while one of the program's windows has the desktop's focus.
  virtual bool applicationActive() const { return true; }

  // A font chooser starting at `initial`; nullopt when cancelled.
  virtual std::optional<FontSpec> fontDialog(const FontSpec& initial) = 0;

  // Whether a display shows anything (false for the headless backend).
  virtual bool isGraphical() const = 0;

  // Answers for dialogs that are not open yet: the next message dialog is
  // answered at once with `answer` (0 NEIN, 1 JA, 3 ABBRUCH), the next file
  // dialog with `path` (nullopt: cancelled). Used by tests and the UI driver.
  virtual void queueDialogAnswer(int answer) = 0;
  virtual void queueFileDialogAnswer(std::optional<std::string> path) = 0;
  // Closes the oldest open message dialog with the answer; false when none.
  virtual bool answerDialog(int answer) = 0;
  virtual std::vector<OpenDialog> openMessageDialogs() const = 0;

  // Writes a PNG picture of the window's client area (with its controls);
  // false when there is nothing to picture (no display, invisible window) or
  // the file cannot be written.
  virtual bool savePicture(WindowId id, const std::string& path);

  // --- controls ------------------------------------------------------------
  // Controls live in the client area of Document, Dialog and Child windows.
  // Every operation on an unknown window or control is ignored (getters give
  // empty values). The program's changes never produce Control events.

  // Creates a control from its spec; false when the window cannot carry
  // controls, the id is 0 or already used in the window.
  bool createControl(WindowId window, const ControlSpec& spec);
  void destroyControl(WindowId window, int control);
  const ControlState* control(WindowId window, int control) const;
  // Control ids of the window in creation order (window scroll bars excluded).
  std::vector<int> controlIds(WindowId window) const;
  // The control with this name (exact match first, then ignoring case).
  std::optional<int> controlByName(WindowId window, std::string_view name) const;

  // A control's text is its title (buttons, fixed texts, group boxes) or its
  // content (edits). For list and combo boxes it is the selected entry.
  void setControlText(WindowId window, int control, std::string_view text);
  std::string controlText(WindowId window, int control) const;
  void setControlEnabled(WindowId window, int control, bool enabled);
  bool controlEnabled(WindowId window, int control) const;
  void setControlVisible(WindowId window, int control, bool visible);
  bool controlVisible(WindowId window, int control) const;
  void setChecked(WindowId window, int control, bool checked);
  bool checked(WindowId window, int control) const;
  // Checks a radio button and clears every other of its group.
  void checkRadio(WindowId window, int control);
  void moveControl(WindowId window, int control, const Rect& rect);
  void setControlFont(WindowId window, int control, const FontSpec& font);

  // Lists (list boxes and combo boxes). Filling between suspend and resume
  // shows the result once, at the resume.
  void listAdd(WindowId window, int control, std::string_view text, int index = -1);
  void listClear(WindowId window, int control);
  void listSuspend(WindowId window, int control);
  void listResume(WindowId window, int control);
  // Selects or deselects entry `index`; in a list without kCtlMultiSelect
  // selecting one entry deselects the others. Index -1 deselects all.
  void listSetSel(WindowId window, int control, int index, bool selected = true);
  // The first selected entry, -1 when none.
  int listSelIndex(WindowId window, int control) const;
  std::vector<std::string> listItems(WindowId window, int control) const;

  // Selects characters [start, end) of an edit field (end -1: to the end).
  void setTextSelection(WindowId window, int control, int start, int end);

  // Gives the keyboard focus to a control, or with kNoControl to the window
  // itself (a Child window takes it for its keys).
  void setFocus(WindowId window, int control = kNoControl);
  // The window's control with the focus, kNoControl when none.
  int focusControl(WindowId window) const;

  // Scroll bars: scroll bar controls and the window's own (kWindowHScroll,
  // kWindowVScroll). The position is kept within the range.
  void setScrollRange(WindowId window, int control, int min, int max);
  void setScrollPos(WindowId window, int control, int pos);
  void setScrollProportion(WindowId window, int control, int proportion);
  ScrollState scrollState(WindowId window, int control) const;
  int scrollPos(WindowId window, int control) const { return scrollState(window, control).pos; }

  // --- menus -----------------------------------------------------------------
  // The window's menu bar (in frame mode the frame shows the menu bar of the
  // active document window, or the frame's own). Choosing an item sends a
  // Command event with the item's number to the window.
  void setMenuBar(WindowId window, std::vector<MenuItem> menus);
  const std::vector<MenuItem>* menuBar(WindowId window) const;
  void setMenuItemEnabled(WindowId window, int number, bool enabled);
  void setMenuItemChecked(WindowId window, int number, bool checked);
  void setMenuItemText(WindowId window, int number, std::string_view text);

  // --- drawing and fonts --------------------------------------------------
  // The drawing surface of a visible window's client area; null for
  // invisible windows, the frame and unknown ids. It lives as long as the
  // window.
  virtual Canvas* canvas(WindowId id) = 0;
  virtual FontMetrics fontMetrics(const FontSpec& font) const = 0;
  // The client area: {0, 0, height, width}.
  virtual Rect clientRect(WindowId id) const;
  // While trapped, every mouse event goes to this window (dragging).
  virtual void trapPointer(WindowId id);
  virtual void releasePointer();
  // Where icons come from: a directory with files "<number>.png" (or .bmp,
  // .ico). Without one, icons are drawn as numbered boxes.
  void setIconDirectory(std::string directory) { iconDirectory_ = std::move(directory); }
  const std::string& iconDirectory() const { return iconDirectory_; }

  // --- the operator ----------------------------------------------------------
  // What the operator does, whether through a widget of the graphical
  // backend or through the UI driver: each updates the model, mirrors it into
  // the widgets and sends the event. Acting on a disabled, invisible or
  // unknown control or menu item does nothing and returns false.

  // Presses a push button, toggles a check box, checks a radio button.
  bool operatorClick(WindowId window, int control);
  // Replaces an edit field's text (cut to the control's maxLength; capitals
  // for kCtlUpperCase) and reports kNotifyTextChanged when it changed.
  bool operatorSetText(WindowId window, int control, std::string_view text);
  // Selects entry `index` of a list (toggles it when `toggle` and the list
  // allows several) and reports kNotifySelChanged.
  bool operatorSelect(WindowId window, int control, int index, bool toggle = false);
  bool operatorDoubleClick(WindowId window, int control, int index);
  // A scroll bar action; for kNotifyThumb and kNotifyThumbTrack `pos` is the
  // new position, which the model takes before the event goes out.
  bool operatorScroll(WindowId window, int control, ControlNotify action, int pos = 0);
  // Focus moved into (gained) or out of a control; kNotifyFocusIn/Out, only
  // when the model's focus really changes.
  void operatorFocus(WindowId window, int control, bool gained);
  // Chooses the menu item: a Command event to the window.
  bool operatorCommand(WindowId window, int number);
  // A key typed into the window (or the control of it that has the focus):
  // a Char event to the window.
  void operatorKey(WindowId window, int key, unsigned modifiers = 0);
  // Keys that act wherever the focus is (switching channels): the hook
  // sees every key typed with Alt or Control first, and a key it takes
  // goes no further. Backends ask it through programKey().
  using ProgramKeyHook = std::function<bool(int key, unsigned modifiers)>;
  void setProgramKeyHook(ProgramKeyHook hook) { programKey_ = std::move(hook); }
  bool programKey(int key, unsigned modifiers);
  void operatorMouse(WindowId window, MouseAction action, Point where, int button = 0,
                     unsigned modifiers = 0);

  // --- what the UI driver reads ----------------------------------------------
  // A program-drawn pane (text pane, list control) names the lines it shows,
  // oldest first; the UI driver reads them with linesOf(). The provider goes
  // with the window.
  using LinesProvider = std::function<std::vector<std::string>()>;
  void setLinesProvider(WindowId id, LinesProvider provider);
  std::optional<std::vector<std::string>> linesOf(WindowId id) const;
  // Texts a window draws itself instead of showing them in controls (a
  // form's fixed texts), by name, so that the UI driver reads them as it
  // reads controls. The provider goes with the window.
  struct DrawnText {
    std::string name;
    std::string text;
    bool enabled = true;
    bool visible = true;
  };
  using DrawnTextsProvider = std::function<std::vector<DrawnText>()>;
  void setDrawnTextsProvider(WindowId id, DrawnTextsProvider provider);
  std::vector<DrawnText> drawnTextsOf(WindowId id) const;

 protected:
  // Backend hooks around a window's life.
  virtual void nativeCreate(WindowId id, const WindowSpec& spec) = 0;
  virtual void nativeDestroy(WindowId id) = 0;
  // Releases objects whose destruction was deferred; backends call it from
  // the main loop when no handler is running.
  void collectGarbage();
  // Backend hook: a window is gone; cancel its timers and watches.
  virtual void forgetWindow(WindowId id) = 0;

  // Backend hooks that mirror the control and menu model into widgets. They
  // run after the model changed; the headless backend has nothing to mirror.
  enum class ControlChange {
    Text, Enabled, Visible, Checked, Items, Selection, TextSelection, Font, Rect, Scroll, Focus
  };
  virtual void nativeControlCreate(WindowId, const ControlState&) {}
  virtual void nativeControlDestroy(WindowId, int /*control*/) {}
  virtual void nativeControlChanged(WindowId, const ControlState&, ControlChange) {}
  // Focus to the window itself (control kNoControl).
  virtual void nativeWindowFocus(WindowId) {}
  virtual void nativeMenuChanged(WindowId) {}

  ControlState* controlState(WindowId window, int control);
  // Sends a Control event (id = control, arg = code) to the window.
  void notify(WindowId window, int control, ControlNotify code);

 private:
  struct Entry {
    std::unique_ptr<Window> window;
    WindowSpec spec;
    bool destroying = false;
    std::map<int, ControlState> controls;
    std::vector<int> controlOrder;
    int focus = kNoControl;
    bool hasMenu = false;
    std::vector<MenuItem> menu;
    LinesProvider lines;
    DrawnTextsProvider drawnTexts;
  };
  void changed(WindowId window, ControlState& c, ControlChange what);
  std::string iconDirectory_;
  std::map<WindowId, Entry> windows_;
  std::vector<std::unique_ptr<Window>> graveyard_;
  WindowId nextId_ = 1;
  WindowId active_ = kNoWindow;
  ProgramKeyHook programKey_;
  std::uint64_t generation_ = 0;
  int dispatchDepth_ = 0;
};

}  // namespace tarvik::ui
