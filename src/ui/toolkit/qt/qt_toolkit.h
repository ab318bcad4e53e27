#pragma once
// The Qt 6 backend of the toolkit layer.
//
// In frame mode (the default) the window of kind Frame is the application
// frame: a main window whose central area is a multiple-document area above
// a 22-pixel status line. Document and dialog windows created with a parent
// live in that area as sub-windows. With frame mode off (the NOMDI switch)
// every document or dialog window is a separate top-level window and there
// is no status line; status texts are then dropped.
//
// Invisible windows have no widget. Visible windows get an outer widget (the
// top-level window or the sub-window with its decoration) and a content
// widget inside it, where controls and drawing of the window go.
//
// Events reaching a window from Qt: Close when the operator (window manager,
// sub-window button) asks it to close; the window stays open and its handler
// decides. Focus with arg 1 when the window becomes active, 0 when it stops
// being active. Size with id = client width and arg = client height after
// the window changed size.
//
// Texts cross into Qt as Windows-1252 bytes (see cp1252.h); file paths use
// the file system's own encoding.

#include <QPointer>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

class QAction;
class QApplication;
class QMenuBar;
class QScrollBar;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QObject;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace tarvik::ui {

namespace qtdetail {
class ControlFilter;
class MessageDialog;
class Surface;
class StatusLine;
class WindowHost;
class PostReceiver;
}  // namespace qtdetail

class QtToolkit final : public Toolkit {
 public:
  // Creates the QApplication from the program's arguments (they are copied)
  // unless one exists already, in which case that one is used and left
  // alone at the end.
  QtToolkit(int argc, char** argv, bool frameMode = true);
  ~QtToolkit() override;

  bool frameMode() const { return frameMode_; }

  void post(WindowId id, Event event) override;
  int run() override;
  void quit(int exitCode) override;
  Clock::time_point now() const override { return Clock::now(); }

  TimerId createTimer(WindowId window, int intervalMs) override;
  void destroyTimer(TimerId timer) override;
  WatchId watch(int fd, unsigned mask, WindowId window, int userId) override;
  void setWatchMask(WatchId watch, unsigned mask) override;
  void unwatch(WatchId watch) override;

  void setTitle(WindowId id, const std::string& title) override;
  void setVisible(WindowId id, bool visible) override;
  void setEnabled(WindowId id, bool enabled) override;
  void raise(WindowId id) override;
  bool arrangeWindows(Arrangement how) override;
  Rect outerRect(WindowId id) const override;
  void move(WindowId id, const Rect& rect) override;
  void setMinimumClientSize(WindowId id, int width, int height) override;
  void setStatusField(int field, const std::string& text) override;
  std::string statusField(int field) const override;
  void setFrameDocTitle(const std::string& title) override;
  void setFrameBackground(const std::string& imagePath) override;

  void messageDialog(int number, const std::string& title,
                     const std::vector<std::string>& lines, DialogButtons buttons,
                     std::function<void(int)> done) override;
  void errorBox(const std::string& text) override;
  std::optional<std::string> fileDialog(bool save, const std::string& title,
                                        const std::string& directory,
                                        const std::string& name) override;
  void beep() override;
  void setBusyCursor(bool busy) override;
  void setClipboardText(const std::string& text) override;
  std::string clipboardText() const override;
  void setSelectionText(const std::string& text) override;
  std::string selectionText() const override;
  void notify(const std::string& title, const std::string& text) override;
  bool applicationActive() const override;
  bool isGraphical() const override { return true; }
  std::optional<FontSpec> fontDialog(const FontSpec& initial) override;
  void queueDialogAnswer(int answer) override { dialogAnswers_.push_back(answer); }
  void queueFileDialogAnswer(std::optional<std::string> path) override {
    fileAnswers_.push_back(std::move(path));
  }
  bool answerDialog(int answer) override;
  std::vector<OpenDialog> openMessageDialogs() const override;
  bool savePicture(WindowId id, const std::string& path) override;

  Canvas* canvas(WindowId id) override;
  FontMetrics fontMetrics(const FontSpec& font) const override;

  // --- access for the rest of the Qt backend (forms, drawing, UI driver) ---
  // The widget a window's controls and drawing go into; null for invisible
  // windows and unknown ids.
  QWidget* contentWidget(WindowId id) const;
  // The widget that carries the window's decoration: the top-level window or
  // the multiple-document sub-window.
  QWidget* outerWidget(WindowId id) const;
  // The frame window and its document area; null without a frame.
  QMainWindow* frameWindow() const;
  QMdiArea* documentArea() const;
  // The status line widget of the frame; null without a frame.
  QWidget* statusLine() const;
  // The widget of a control (the window's own scroll bars included); null
  // when there is none.
  QWidget* controlWidget(WindowId window, int control) const;
  // The menu bar that shows the window's menus: its own, or in frame mode
  // the frame's while the window is the active document. Null when none.
  QMenuBar* menuBarWidget(WindowId window) const;

  Rect clientRect(WindowId id) const override;
  void trapPointer(WindowId id) override;
  void releasePointer() override;

 protected:
  void nativeCreate(WindowId id, const WindowSpec& spec) override;
  void nativeDestroy(WindowId id) override;
  void forgetWindow(WindowId id) override;

  void nativeControlCreate(WindowId window, const ControlState& c) override;
  void nativeControlDestroy(WindowId window, int control) override;
  void nativeControlChanged(WindowId window, const ControlState& c, ControlChange what) override;
  void nativeWindowFocus(WindowId window) override;
  void nativeMenuChanged(WindowId window) override;

 private:
  friend class qtdetail::WindowHost;
  friend class qtdetail::ControlFilter;

  // Raises the open questions of the document area above the other
  // documents again, the newest active.
  void keepQuestionsInFront();
  struct Native {
    QPointer<QWidget> outer;
    QPointer<QWidget> content;
    QPointer<qtdetail::WindowHost> host;
    QPointer<qtdetail::Surface> surface;  // the client area of drawn windows
    bool modal = false;                    // a question the others wait for
  };
  // A menu bar built from a window's menu model, with its item actions.
  struct MenuNative {
    QPointer<QMenuBar> bar;
    WindowId shownFor = kNoWindow;
    std::string shape;  // the tree's structure when it was built
    std::map<int, QPointer<QAction>> actions;
  };
  struct Timer {
    WindowId window = kNoWindow;
    QTimer* timer = nullptr;  // child of context_
  };
  struct Watch {
    int fd = -1;
    unsigned mask = 0;
    WindowId window = kNoWindow;
    int userId = 0;
    QSocketNotifier* read = nullptr;  // children of context_
    QSocketNotifier* write = nullptr;
    QSocketNotifier* error = nullptr;
  };

  void createFrame(WindowId id, const WindowSpec& spec, Native& native);
  void createChild(WindowId id, const WindowSpec& spec, Native& native);
  void attachScrollBar(QScrollBar* bar, WindowId window, int control);
  void mirror(QWidget* w, const ControlState& c, ControlChange what);
  // Builds (or updates in place) the menu bar for the window's menus.
  void showMenus(MenuNative& m, WindowId owner, bool rebuild);
  void refreshFrameMenu();
  WindowId activeDocument() const;
  void applyFrameTitle();
  void applyBackground();
  void watchActivated(WatchId id);
  void releaseWatch(Watch& w);
  // Keeps the registry's rectangle in line with what the operator did.
  void syncRect(WindowId id);
  QWidget* dialogParent() const;
  static void applyLook();
  static void reserveMenuHeight(QMenuBar* bar);
  // Height of the menu bar above a top-level window's client area.
  int menuBarHeight(QWidget* outer) const;
  // Keeps a new window inside the document area (or on the screen): as big
  // as there is room for, and placed so that all of it shows.
  void fitOnScreen(WindowId id);

  // Argument copies outlive the QApplication, which keeps references.
  std::vector<std::string> args_;
  std::vector<char*> argv_;
  int argc_ = 0;
  std::unique_ptr<QApplication> app_;  // null when an outer one is used
  bool frameMode_;

  // Parent of timers, notifiers and the post receiver: deleting it ends
  // every one of them at once.
  std::unique_ptr<QObject> context_;
  qtdetail::PostReceiver* receiver_ = nullptr;

  std::map<WindowId, Native> natives_;
  // Widgets of destroyed windows wait for the event loop (a handler may be
  // running inside one of them), and so do closed message dialogs; the
  // destructor deletes whatever is left of them.
  std::vector<QPointer<QWidget>> leftovers_;

  WindowId frameId_ = kNoWindow;
  QPointer<QMainWindow> frame_;
  QPointer<QMdiArea> area_;
  QPointer<qtdetail::StatusLine> status_;
  std::string frameTitle_, docTitle_, background_;

  std::map<TimerId, Timer> timers_;
  TimerId nextTimer_ = 1;
  std::map<WatchId, Watch> watches_;
  WatchId nextWatch_ = 1;

  std::map<std::pair<WindowId, int>, QPointer<QWidget>> controls_;
  qtdetail::ControlFilter* controlFilter_ = nullptr;  // child of context_
  // Menu bars of top-level windows, and the frame's in frame mode.
  std::map<WindowId, MenuNative> menus_;
  MenuNative frameMenu_;
  WindowId lastMenuDocument_ = kNoWindow;
  WindowId trapped_ = kNoWindow;
  std::vector<QPointer<qtdetail::MessageDialog>> openDialogs_;
  std::deque<int> dialogAnswers_;
  std::deque<std::optional<std::string>> fileAnswers_;

  bool quitRequested_ = false;
  int exitCode_ = 0;
  bool busy_ = false;
};

}  // namespace tarvik::ui
