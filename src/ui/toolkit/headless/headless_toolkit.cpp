#include "ui/toolkit/headless/headless_toolkit.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace tarvik::ui {

namespace {
long long steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

HeadlessToolkit::HeadlessToolkit(Mode mode) : mode_(mode), manualBase_(Clock::now()) {
  if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe_[0] = wakePipe_[1] = -1;
}

HeadlessToolkit::~HeadlessToolkit() {
  // Windows still alive are destroyed while the backend still works.
  auto all = windows();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (parentOf(*it) == kNoWindow || !exists(parentOf(*it))) destroy(*it);
  for (int fd : wakePipe_)
    if (fd >= 0) ::close(fd);
}

long long HeadlessToolkit::monoMs() const {
  return mode_ == Mode::Manual ? manualMs_ : steadyMs();
}

Clock::time_point HeadlessToolkit::now() const {
  if (mode_ == Mode::Manual) return manualBase_ + std::chrono::milliseconds(manualMs_);
  return Clock::now();
}

// One wake byte stands for every post until the loop has taken them all:
// a burst of posts costs one write, and a post that finds the queue being
// emptied still wakes the loop (the flag is cleared only together with
// seeing the queue empty).
void HeadlessToolkit::post(WindowId id, Event event) {
  bool wake = false;
  {
    std::lock_guard lock(postMutex_);
    posts_.emplace_back(id, std::move(event));
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake && wakePipe_[1] >= 0) {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &b, 1);
  }
}

void HeadlessToolkit::quit(int exitCode) {
  quit_ = true;
  exitCode_ = exitCode;
  post(kNoWindow, Event(EventType::Quit, 0));  // wakes the loop
}

int HeadlessToolkit::drainPosts() {
  // The wake byte first: a post after this point either is taken below or
  // writes a new one.
  if (wakePipe_[0] >= 0) {
    char buf[64];
    while (::read(wakePipe_[0], buf, sizeof buf) > 0) {
    }
  }
  int delivered = 0;
  for (;;) {
    // The posts are taken over in batches, one lock for all that are
    // waiting; a drain nested in a delivery goes on with the same batch,
    // so the order stays that of posting.
    if (taken_.empty()) {
      std::lock_guard lock(postMutex_);
      if (posts_.empty()) {
        wakePending_ = false;
        break;
      }
      taken_.swap(posts_);
    }
    std::pair<WindowId, Event> item = std::move(taken_.front());
    taken_.pop_front();
    if (item.first != kNoWindow) {
      send(item.first, item.second);
      ++delivered;
    }
  }
  return delivered;
}

long long HeadlessToolkit::nextTimerDue() const {
  long long due = LLONG_MAX;
  for (const auto& [id, t] : timers_) due = std::min(due, t.dueMs);
  return due;
}

int HeadlessToolkit::fireDueTimers(long long uptoMs) {
  int fired = 0;
  for (;;) {
    // The earliest due timer first, so that timers interleave as in real time.
    TimerId best = 0;
    long long bestDue = LLONG_MAX;
    for (const auto& [id, t] : timers_)
      if (t.dueMs <= uptoMs && t.dueMs < bestDue) {
        best = id;
        bestDue = t.dueMs;
      }
    if (best == 0) break;
    Timer& t = timers_[best];
    if (mode_ == Mode::Manual && manualMs_ < t.dueMs) manualMs_ = t.dueMs;
    // A late timer fires once, as a real toolkit timer does.
    t.dueMs = std::max(t.dueMs + t.intervalMs, mode_ == Mode::Manual ? t.dueMs + t.intervalMs
                                                                      : monoMs() + 1);
    Event ev(EventType::Timer, static_cast<int>(best));
    send(t.window, ev);
    ++fired;
    drainPosts();
  }
  return fired;
}

int HeadlessToolkit::pollWatches(int timeoutMs) {
  std::vector<pollfd> nestedFds;
  std::vector<WatchId> nestedIds;
  const bool nested = polling_;
  std::vector<pollfd>& fds = nested ? nestedFds : pollFds_;
  std::vector<WatchId>& ids = nested ? nestedIds : pollIds_;
  fds.clear();
  ids.clear();
  struct Polling {
    bool& flag;
    bool before;
    ~Polling() { flag = before; }
  } polling{polling_, nested};
  polling_ = true;
  fds.push_back({wakePipe_[0], POLLIN, 0});
  ids.push_back(0);
  for (const auto& [id, w] : watches_) {
    short ev = 0;
    if (w.mask & kWatchRead) ev |= POLLIN;
    if (w.mask & kWatchWrite) ev |= POLLOUT;
    if (ev == 0) continue;
    fds.push_back({w.fd, ev, 0});
    ids.push_back(id);
  }
  int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return 0;
  int delivered = 0;
  for (size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    auto it = watches_.find(ids[i]);
    if (it == watches_.end()) continue;  // removed by an earlier handler
    unsigned ready = 0;
    if (fds[i].revents & POLLIN) ready |= kWatchRead;
    if (fds[i].revents & POLLOUT) ready |= kWatchWrite;
    if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) ready |= kWatchError;
    ready &= (it->second.mask | kWatchError);
    if (ready == 0) continue;
    Event ev = Event::user(it->second.userId, static_cast<std::intptr_t>(ready));
    send(it->second.window, ev);
    ++delivered;
  }
  return delivered;
}

int HeadlessToolkit::run() {
  while (!quit_) {
    drainPosts();
    flushUpdates();
    if (quit_) break;
    if (mode_ == Mode::Manual) {
      // Nothing moves the clock but the test; just serve descriptors.
      if (pollWatches(50) == 0 && timers_.empty() && watches_.empty()) break;
      continue;
    }
    fireDueTimers(monoMs());
    if (quit_) break;
    long long due = nextTimerDue();
    int timeout = -1;
    if (due != LLONG_MAX) timeout = static_cast<int>(std::clamp(due - monoMs(), 0LL, 60'000LL));
    pollWatches(timeout);
  }
  drainPosts();
  return exitCode_;
}

int HeadlessToolkit::pump(int waitMs) {
  int n = drainPosts();
  n += flushUpdates();
  if (mode_ == Mode::RealTime) n += fireDueTimers(monoMs());
  n += pollWatches(n > 0 ? 0 : waitMs);
  n += drainPosts();
  n += flushUpdates();
  return n;
}

bool HeadlessToolkit::pumpUntil(const std::function<bool()>& pred, int budgetMs) {
  const long long end = steadyMs() + budgetMs;
  while (!pred()) {
    if (steadyMs() >= end) return false;
    pump(10);
  }
  return true;
}

void HeadlessToolkit::setTime(Clock::time_point t) {
  manualBase_ = t - std::chrono::milliseconds(manualMs_);
}

void HeadlessToolkit::stepMs(long long ms) {
  const long long target = manualMs_ + ms;
  drainPosts();
  pollWatches(0);
  fireDueTimers(target);
  manualMs_ = target;
  drainPosts();
}

TimerId HeadlessToolkit::createTimer(WindowId window, int intervalMs) {
  const TimerId id = nextTimer_++;
  const long long iv = std::max(1, intervalMs);
  timers_[id] = Timer{window, iv, monoMs() + iv};
  return id;
}

void HeadlessToolkit::destroyTimer(TimerId timer) { timers_.erase(timer); }

WatchId HeadlessToolkit::watch(int fd, unsigned mask, WindowId window, int userId) {
  const WatchId id = nextWatch_++;
  watches_[id] = Watch{fd, mask, window, userId};
  return id;
}

void HeadlessToolkit::setWatchMask(WatchId watch, unsigned mask) {
  auto it = watches_.find(watch);
  if (it != watches_.end()) it->second.mask = mask;
}

void HeadlessToolkit::unwatch(WatchId watch) { watches_.erase(watch); }

void HeadlessToolkit::forgetWindow(WindowId id) {
  std::erase_if(timers_, [id](const auto& kv) { return kv.second.window == id; });
  std::erase_if(watches_, [id](const auto& kv) { return kv.second.window == id; });
}

void HeadlessToolkit::setStatusField(int field, const std::string& text) {
  if (field >= 0 && field < 3) status_[field] = text;
}

std::string HeadlessToolkit::statusField(int field) const {
  return field >= 0 && field < 3 ? status_[field] : std::string();
}

void HeadlessToolkit::messageDialog(int number, const std::string& title,
                                    const std::vector<std::string>& lines,
                                    DialogButtons buttons, std::function<void(int)> done) {
  Dialog d{number, title, lines, buttons, std::move(done)};
  dialogLog_.push_back(Dialog{number, title, lines, buttons, nullptr});
  openDialogs_.push_back(std::move(d));
  if (!dialogAnswers_.empty()) {
    const int answer = dialogAnswers_.front();
    dialogAnswers_.pop_front();
    answerDialog(answer);
  }
}

bool HeadlessToolkit::answerDialog(int answer) {
  if (openDialogs_.empty()) return false;
  Dialog d = std::move(openDialogs_.front());
  openDialogs_.pop_front();
  if (d.done) d.done(answer);
  return true;
}

void HeadlessToolkit::errorBox(const std::string& text) { errorBoxes_.push_back(text); }

std::optional<std::string> HeadlessToolkit::fileDialog(bool, const std::string&,
                                                       const std::string&, const std::string&) {
  if (fileAnswers_.empty()) return std::nullopt;
  auto a = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  return a;
}

void HeadlessToolkit::nativeCreate(WindowId id, const WindowSpec& spec) {
  if (spec.kind == WindowKind::Invisible || spec.kind == WindowKind::Frame) return;
  canvases_[id] = std::make_unique<HeadlessCanvas>(
      [this, id] { return clientRect(id); },
      [this, id](const Rect& r) {
        if (r.empty()) return;
        auto [it, fresh] = pendingUpdates_.try_emplace(id, r);
        if (!fresh) {
          Rect& u = it->second;
          u = Rect{std::min(u.top, r.top), std::min(u.left, r.left), std::max(u.bottom, r.bottom),
                   std::max(u.right, r.right)};
        }
      },
      [this, id] { pendingPaints_.insert(id); });
  canvases_[id]->setRecording(recordDrawing_);
  canvases_[id]->setKeeping(keepSurfaces_);
  // A new window paints itself once, as on a display.
  if (const Rect r = clientRect(id); !r.empty()) pendingUpdates_[id] = r;
}

void HeadlessToolkit::nativeDestroy(WindowId id) {
  canvases_.erase(id);
  pendingUpdates_.erase(id);
  pendingPaints_.erase(id);
}

Canvas* HeadlessToolkit::canvas(WindowId id) { return headlessCanvas(id); }

HeadlessCanvas* HeadlessToolkit::headlessCanvas(WindowId id) {
  auto it = canvases_.find(id);
  return it == canvases_.end() ? nullptr : it->second.get();
}

int HeadlessToolkit::flushUpdates() {
  int sent = 0;
  // A window's own changes are drawn first; what they uncover (a scroll)
  // and any other invalidation follow in the same flush.
  while (!pendingUpdates_.empty() || !pendingPaints_.empty()) {
    while (!pendingPaints_.empty()) {
      const WindowId id = *pendingPaints_.begin();
      pendingPaints_.erase(pendingPaints_.begin());
      Event ev(EventType::Update, kUpdateChanges, 0);
      send(id, ev);
      ++sent;
    }
    while (!pendingUpdates_.empty() && pendingPaints_.empty()) {
      auto node = pendingUpdates_.extract(pendingUpdates_.begin());
      Event ev(EventType::Update, 0, 0, std::make_unique<RectRecord>(node.mapped()));
      send(node.key(), ev);
      ++sent;
    }
  }
  return sent;
}

void HeadlessToolkit::keepSurfaces(bool on) {
  keepSurfaces_ = on;
  for (auto& [id, canvas] : canvases_) canvas->setKeeping(on);
}

void HeadlessToolkit::recordDrawing(bool on) {
  recordDrawing_ = on;
  for (auto& [id, canvas] : canvases_) canvas->setRecording(on);
}

std::optional<FontSpec> HeadlessToolkit::fontDialog(const FontSpec&) {
  if (fontAnswers_.empty()) return std::nullopt;
  auto answer = std::move(fontAnswers_.front());
  fontAnswers_.pop_front();
  return answer;
}

std::vector<OpenDialog> HeadlessToolkit::openMessageDialogs() const {
  std::vector<OpenDialog> out;
  for (const Dialog& d : openDialogs_) out.push_back(OpenDialog{d.number, d.title, d.lines});
  return out;
}

}  // namespace tarvik::ui
