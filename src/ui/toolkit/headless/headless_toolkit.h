#pragma once
// The headless backend: no display, deterministic when asked to be.
//
// It runs the whole program without drawing anything (the unattended station
// of the NOGUI switch) and it is what tests drive. In real-time mode the main
// loop waits in poll() on the watched descriptors, a wake-up pipe for posts
// and the next timer. In manual mode the clock stands still until a test
// sets or steps it; stepping fires every timer that falls due, in order,
// and delivers posted events in between. Descriptors are polled without
// waiting in manual mode (pump() may wait a little for real sockets).
//
// Dialogs are answered from queues a test fills; a dialog for which no
// answer is queued stays open until answerDialog() closes it.

#include <poll.h>

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "ui/toolkit/headless/headless_canvas.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

class HeadlessToolkit final : public Toolkit {
 public:
  enum class Mode { RealTime, Manual };
  explicit HeadlessToolkit(Mode mode = Mode::RealTime);
  ~HeadlessToolkit() override;

  void post(WindowId id, Event event) override;
  int run() override;
  void quit(int exitCode) override;
  bool quitRequested() const { return quit_; }
  Clock::time_point now() const override;

  TimerId createTimer(WindowId window, int intervalMs) override;
  void destroyTimer(TimerId timer) override;
  WatchId watch(int fd, unsigned mask, WindowId window, int userId) override;
  void setWatchMask(WatchId watch, unsigned mask) override;
  void unwatch(WatchId watch) override;

  void setStatusField(int field, const std::string& text) override;
  std::string statusField(int field) const override;
  void setFrameDocTitle(const std::string& title) override { docTitle_ = title; }
  std::string frameDocTitle() const { return docTitle_; }
  void setFrameBackground(const std::string& imagePath) override { background_ = imagePath; }

  void messageDialog(int number, const std::string& title,
                     const std::vector<std::string>& lines, DialogButtons buttons,
                     std::function<void(int)> done) override;
  void errorBox(const std::string& text) override;
  std::optional<std::string> fileDialog(bool save, const std::string& title,
                                        const std::string& directory,
                                        const std::string& name) override;
  void beep() override { ++beeps_; }
  void setBusyCursor(bool) override {}
  void setClipboardText(const std::string& text) override { clipboard_ = text; }
  std::string clipboardText() const override { return clipboard_; }
  void setSelectionText(const std::string& text) override { selection_ = text; }
  std::string selectionText() const override { return selection_; }
  void notify(const std::string& title, const std::string& text) override { notifications_.push_back(title + "\n" + text); }
  bool applicationActive() const override { return applicationActive_; }
  bool isGraphical() const override { return false; }
  std::optional<FontSpec> fontDialog(const FontSpec& initial) override;

  Canvas* canvas(WindowId id) override;
  // The same surface with the headless reading aids.
  HeadlessCanvas* headlessCanvas(WindowId id);
  FontMetrics fontMetrics(const FontSpec& font) const override { return headlessMetrics(font); }
  // Sends the Update events asked for by invalidations (one per window, the
  // bounding rectangle of what was invalidated). The main loop and pump() do
  // it after posts; tests may call it directly. Returns the number sent.
  int flushUpdates();
  // Keeps the log of drawing calls of every surface (HeadlessCanvas::log)
  // from now on; off by default, as it grows with everything drawn.
  void recordDrawing(bool on);
  // Whether the surfaces keep what is drawn on them (on by default; a
  // station without a display turns it off, see HeadlessCanvas::setKeeping).
  void keepSurfaces(bool on);

  // --- test and driver controls ------------------------------------------
  // Manual clock: set the wall-clock time, or step it, firing due timers.
  void setTime(Clock::time_point t);
  void stepMs(long long ms);
  void stepSeconds(long long s) { stepMs(s * 1000); }
  void stepMinutes(long long m) { stepMs(m * 60'000); }
  void stepDays(long long d) { stepMs(d * 86'400'000); }
  // Delivers posted events and ready descriptors without moving the clock;
  // waits up to waitMs for a descriptor or post when nothing is pending.
  // Returns the number of events delivered.
  int pump(int waitMs = 0);
  // Runs pump() until pred() holds or the real-time budget is spent.
  bool pumpUntil(const std::function<bool()>& pred, int budgetMs = 5000);

  struct Dialog {
    int number = 0;
    std::string title;
    std::vector<std::string> lines;
    DialogButtons buttons;
    std::function<void(int)> done;
  };
  // Queued answers for the next dialogs (0 NEIN, 1 JA, 3 ABBRUCH).
  void queueDialogAnswer(int answer) override { dialogAnswers_.push_back(answer); }
  const std::deque<Dialog>& openDialogs() const { return openDialogs_; }
  std::vector<OpenDialog> openMessageDialogs() const override;
  // Closes the oldest open dialog with the answer; false when none is open.
  bool answerDialog(int answer) override;
  // Every dialog shown so far (answered or not), for inspection.
  const std::vector<Dialog>& dialogLog() const { return dialogLog_; }
  void queueFileDialogAnswer(std::optional<std::string> path) override {
    fileAnswers_.push_back(std::move(path));
  }
  // The next font dialog's answer (nullopt: cancelled); without one the
  // dialog is cancelled.
  void queueFontDialogAnswer(std::optional<FontSpec> font) { fontAnswers_.push_back(std::move(font)); }
  const std::vector<std::string>& errorBoxes() const { return errorBoxes_; }
  int beeps() const { return beeps_; }
  // The notifications shown so far ("title\ntext"); whether the program
  // counts as the desktop's active application.
  const std::vector<std::string>& notifications() const { return notifications_; }
  void setApplicationActive(bool active) { applicationActive_ = active; }

 protected:
  void nativeCreate(WindowId id, const WindowSpec& spec) override;
  void nativeDestroy(WindowId id) override;
  void forgetWindow(WindowId id) override;

 private:
  struct Timer {
    WindowId window = kNoWindow;
    long long intervalMs = 0;
    long long dueMs = 0;
  };
  struct Watch {
    int fd = -1;
    unsigned mask = 0;
    WindowId window = kNoWindow;
    int userId = 0;
  };

  long long monoMs() const;
  int drainPosts();
  int fireDueTimers(long long uptoMs);
  int pollWatches(int timeoutMs);
  long long nextTimerDue() const;

  Mode mode_;
  bool quit_ = false;
  int exitCode_ = 0;

  // Manual clock: wall-clock base plus elapsed milliseconds.
  Clock::time_point manualBase_;
  long long manualMs_ = 0;

  std::mutex postMutex_;
  std::deque<std::pair<WindowId, Event>> posts_;
  // Posts taken over from posts_ and not yet delivered (loop thread only).
  std::deque<std::pair<WindowId, Event>> taken_;
  bool wakePending_ = false;  // a wake byte is in the pipe for the posts (postMutex_)
  int wakePipe_[2] = {-1, -1};

  std::map<TimerId, Timer> timers_;
  TimerId nextTimer_ = 1;
  std::map<WatchId, Watch> watches_;
  // The poll's lists, kept between polls so that a busy loop allocates nothing.
  // A handler that pumps again (a nested poll) gets lists of its own.
  std::vector<pollfd> pollFds_;
  std::vector<WatchId> pollIds_;
  bool polling_ = false;
  WatchId nextWatch_ = 1;

  std::string status_[3];
  std::string docTitle_, background_, clipboard_;
  std::deque<int> dialogAnswers_;
  std::deque<Dialog> openDialogs_;
  std::vector<Dialog> dialogLog_;
  std::deque<std::optional<std::string>> fileAnswers_;
  std::vector<std::string> errorBoxes_;
  int beeps_ = 0;
  std::vector<std::string> notifications_;
  std::string selection_;
  bool applicationActive_ = true;
  std::deque<std::optional<FontSpec>> fontAnswers_;
  std::map<WindowId, std::unique_ptr<HeadlessCanvas>> canvases_;
  std::set<WindowId> pendingPaints_;
  bool recordDrawing_ = false;
  bool keepSurfaces_ = true;
  std::map<WindowId, Rect> pendingUpdates_;
};

}  // namespace tarvik::ui
