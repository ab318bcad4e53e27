#include "ui/toolkit/qt/qt_toolkit.h"

#include <poll.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QScrollBar>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QStyleFactory>
#include <QScreen>
#include <QIcon>
#include <QMenuBar>
#include <QPalette>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <qdrawutil.h>

#include <algorithm>

#include "ui/toolkit/qt/cp1252.h"
#include "ui/toolkit/qt/qt_surface.h"

namespace tarvik::ui {

namespace qtdetail {

// The status line along the bottom of the frame: three sunken text fields on
// light grey. Field 0 takes the width less 195 pixels; fields 1 and 2 are
// 135 and 35 pixels wide, 10 pixels apart, the last one 5 pixels from the
// right edge.
class StatusLine : public QWidget {
 public:
  static constexpr int kHeight = 22;

  explicit StatusLine(QWidget* parent) : QWidget(parent) {
    setFixedHeight(kHeight);
    setObjectName(QStringLiteral("statusLine"));
    QFont f(QStringLiteral("Helvetica"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(9);
    setFont(f);
  }

  void setText(int field, const QString& text) {
    if (texts_[field] == text) return;
    texts_[field] = text;
    update();
  }
  const QString& text(int field) const { return texts_[field]; }

  QRect fieldRect(int field) const {
    const int w = width();
    const int top = 2, h = height() - 4;
    switch (field) {
      case 0: return QRect(0, top, std::max(0, w - 195), h);
      case 1: return QRect(w - 185, top, 135, h);
      default: return QRect(w - 40, top, 35, h);
    }
  }

  static QColor background() { return QColor(192, 192, 192); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), background());
    QPalette pal = palette();
    pal.setColor(QPalette::Light, Qt::white);
    pal.setColor(QPalette::Dark, QColor(128, 128, 128));
    p.setPen(Qt::black);
    for (int i = 0; i < 3; ++i) {
      const QRect r = fieldRect(i);
      if (r.width() <= 0) continue;
      qDrawShadePanel(&p, r, pal, /*sunken=*/true, 1);
      p.drawText(r.adjusted(3, 1, -2, -1), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                 texts_[i]);
    }
  }

 private:
  QString texts_[3];
};

// Sees every key press of the application before its widget does: a key
// with Alt or Control that the program takes for itself (switching
// channels) goes no further, wherever the focus is.
class ProgramKeyFilter : public QObject {
 public:
  ProgramKeyFilter(QtToolkit* tk, QObject* parent) : QObject(parent), tk_(tk) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->isAutoRepeat() || !(k->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) return false;
    unsigned mods = 0;
    const int key = keyOf(k, &mods);
    if (key == 0 || !tk_->programKey(key, mods)) return false;
    k->accept();
    return true;
  }

 private:
  QtToolkit* tk_;
};

// Watches the widgets of one window and turns what the operator does to
// them into toolkit events. Installed only after the widget is set up, so
// that nothing reaches the handler before its create event.
class WindowHost : public QObject {
 public:
  WindowHost(QtToolkit* tk, WindowId id, QWidget* outer, QWidget* content)
      : QObject(outer), tk_(tk), id_(id), outer_(outer), content_(content) {
    outer->installEventFilter(this);
    if (content != outer) content->installEventFilter(this);
    // A sub-window is not a window of its own to Qt: its activation shows
    // only in its state.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(outer))
      connect(sub, &QMdiSubWindow::windowStateChanged, this,
              [this](Qt::WindowStates before, Qt::WindowStates after) {
                if ((before ^ after) & Qt::WindowActive)
                  deliver(EventType::Focus, 0, (after & Qt::WindowActive) ? 1 : 0);
              });
  }

  // The window is gone from the registry; its widget only waits for deletion.
  void detach() { tk_ = nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!tk_) return false;
    if (watched == outer_) {
      switch (e->type()) {
        case QEvent::Close:
          // The handler decides whether the window really closes.
          e->ignore();
          deliver(EventType::Close, 0, 0);
          return true;
        case QEvent::WindowActivate:
          if (outer_->isWindow()) deliver(EventType::Focus, 0, 1);
          break;
        case QEvent::WindowDeactivate:
          if (outer_->isWindow()) deliver(EventType::Focus, 0, 0);
          break;
        case QEvent::Move:
          tk_->syncRect(id_);
          break;
        case QEvent::Resize:
          tk_->syncRect(id_);
          if (content_ == outer_) deliverSize();
          break;
        default:
          break;
      }
    } else if (watched == content_ && e->type() == QEvent::Resize) {
      tk_->syncRect(id_);
      deliverSize();
    }
    return false;
  }

 private:
  void deliver(EventType type, int id, std::intptr_t arg) {
    if (!tk_) return;
    Event ev(type, id, arg);
    tk_->send(id_, ev);
  }
  void deliverSize() {
    if (content_) deliver(EventType::Size, content_->width(), content_->height());
  }

  QtToolkit* tk_;
  WindowId id_;
  QPointer<QWidget> outer_, content_;
};

// A post on its way from any thread to the user-interface thread. Qt's
// event queue is thread-safe and keeps the order of posts to one receiver.
constexpr QEvent::Type kPostedEventType = static_cast<QEvent::Type>(QEvent::User + 190);

class PostedEvent : public QEvent {
 public:
  PostedEvent(WindowId target, Event ev)
      : QEvent(kPostedEventType), target_(target), event_(std::move(ev)) {}
  WindowId target_;
  Event event_;
};

class PostReceiver : public QObject {
 public:
  PostReceiver(QtToolkit* tk, QObject* parent) : QObject(parent), tk_(tk) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() != kPostedEventType) return QObject::event(e);
    auto* pe = static_cast<PostedEvent*>(e);
    tk_->send(pe->target_, pe->event_);
    return true;
  }

 private:
  QtToolkit* tk_;
};

// A message dialog: up to three lines and the buttons asked for. Enter
// always means "yes"; a button's own answer is taken when it is pressed;
// closing it any other way counts as "yes" too.
class MessageDialog : public QDialog {
 public:
  using QDialog::QDialog;
  int answer = 1;
  int enterAnswer = 1;  // 0 when the question asks with "No" as its default
  OpenDialog info;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      answer = enterAnswer;
      accept();
      return;
    }
    QDialog::keyPressEvent(e);
  }
};

}  // namespace qtdetail

using qtdetail::StatusLine;
using qtdetail::WindowHost;

namespace {

QString appTitle() { return QStringLiteral("Tarvik"); }

Rect toRect(const QRect& r) { return Rect{r.top(), r.left(), r.top() + r.height(), r.left() + r.width()}; }

}  // namespace

QtToolkit::QtToolkit(int argc, char** argv, bool frameMode) : frameMode_(frameMode) {
  for (int i = 0; i < argc && argv && argv[i]; ++i) args_.emplace_back(argv[i]);
  if (args_.empty()) args_.emplace_back("tarvik");
  for (auto& a : args_) argv_.push_back(a.data());
  argv_.push_back(nullptr);
  argc_ = static_cast<int>(args_.size());
  if (!QApplication::instance()) {
    app_ = std::make_unique<QApplication>(argc_, argv_.data());
    // Only the program decides when it ends, not the last closed window.
    QApplication::setQuitOnLastWindowClosed(false);
    applyLook();
  }
  context_ = std::make_unique<QObject>();
  receiver_ = new qtdetail::PostReceiver(this, context_.get());
  QCoreApplication::instance()->installEventFilter(new qtdetail::ProgramKeyFilter(this, context_.get()));
}

// One style on every desktop (Fusion), in the desktop's colours: light or
// dark as the desktop's palette is, with a selection that stays readable.
// Windows carry no toolkit logo.
void QtToolkit::applyLook() {
  const QPalette desktop = QApplication::palette();
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QPalette pal = desktop;
  const QColor window = pal.color(QPalette::Window);
  const bool dark = window.lightness() < 128;
  const QColor highlight = pal.color(QPalette::Highlight);
  // A selection colour too close to the text or the background is replaced.
  const auto contrast = [](const QColor& a, const QColor& b) { return std::abs(a.lightness() - b.lightness()); };
  if (contrast(highlight, pal.color(QPalette::Base)) < 60)
    pal.setColor(QPalette::Highlight, dark ? QColor(42, 130, 218) : QColor(48, 96, 176));
  const QColor h = pal.color(QPalette::Highlight);
  pal.setColor(QPalette::HighlightedText, h.lightness() < 140 ? Qt::white : Qt::black);
  QApplication::setPalette(pal);
  QPixmap blank(16, 16);
  blank.fill(Qt::transparent);
  QApplication::setWindowIcon(QIcon(blank));
}

QtToolkit::~QtToolkit() {
  // Windows still alive are destroyed while the backend still works.
  auto all = windows();
  for (auto it = all.rbegin(); it != all.rend(); ++it)
    if (parentOf(*it) == kNoWindow || !exists(parentOf(*it))) destroy(*it);
  for (auto& w : leftovers_)
    if (w) delete w.data();
  leftovers_.clear();
  context_.reset();  // timers, notifiers and posts not yet delivered
  if (busy_) QApplication::restoreOverrideCursor();
  app_.reset();
}

// --- posts and the main loop ---------------------------------------------

void QtToolkit::post(WindowId id, Event event) {
  QCoreApplication::postEvent(receiver_, new qtdetail::PostedEvent(id, std::move(event)));
}

int QtToolkit::run() {
  if (quitRequested_) {  // quit() before the loop ran: Qt would ignore it
    quitRequested_ = false;
    return exitCode_;
  }
  const int rc = QApplication::exec();
  quitRequested_ = false;
  return rc;
}

void QtToolkit::quit(int exitCode) {
  quitRequested_ = true;
  exitCode_ = exitCode;
  QCoreApplication::exit(exitCode);
}

// --- timers ----------------------------------------------------------------

TimerId QtToolkit::createTimer(WindowId window, int intervalMs) {
  const TimerId id = nextTimer_++;
  auto* t = new QTimer(context_.get());
  t->setTimerType(Qt::PreciseTimer);
  t->setInterval(std::max(1, intervalMs));
  QObject::connect(t, &QTimer::timeout, context_.get(), [this, id] {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Event ev(EventType::Timer, static_cast<int>(id));
    send(it->second.window, ev);
  });
  timers_[id] = Timer{window, t};
  t->start();
  return id;
}

void QtToolkit::destroyTimer(TimerId timer) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return;
  // The timer may be the one whose signal is running right now.
  it->second.timer->stop();
  it->second.timer->deleteLater();
  timers_.erase(it);
}

// --- descriptor watches ----------------------------------------------------

WatchId QtToolkit::watch(int fd, unsigned mask, WindowId window, int userId) {
  const WatchId id = nextWatch_++;
  Watch w{fd, mask, window, userId};
  auto make = [&](QSocketNotifier::Type type, unsigned bit) {
    auto* n = new QSocketNotifier(fd, type, context_.get());
    n->setEnabled((mask & bit) != 0);
    QObject::connect(n, &QSocketNotifier::activated, context_.get(),
                     [this, id] { watchActivated(id); });
    return n;
  };
  w.read = make(QSocketNotifier::Read, kWatchRead);
  w.write = make(QSocketNotifier::Write, kWatchWrite);
  w.error = make(QSocketNotifier::Exception, kWatchError);
  watches_[id] = w;
  return id;
}

void QtToolkit::watchActivated(WatchId id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  const Watch& w = it->second;
  // Qt tells only which notifier fired; ask the descriptor itself what it
  // is ready for, so that hang-ups and errors are reported as such.
  pollfd pfd{w.fd, 0, 0};
  if (w.mask & kWatchRead) pfd.events |= POLLIN;
  if (w.mask & kWatchWrite) pfd.events |= POLLOUT;
  if (w.mask & kWatchError) pfd.events |= POLLPRI;
  if (::poll(&pfd, 1, 0) <= 0) return;
  unsigned ready = 0;
  if (pfd.revents & POLLIN) ready |= kWatchRead;
  if (pfd.revents & POLLOUT) ready |= kWatchWrite;
  if (pfd.revents & (POLLPRI | POLLERR | POLLHUP | POLLNVAL)) ready |= kWatchError;
  ready &= (w.mask | kWatchError);
  if (ready == 0) return;
  Event ev = Event::user(w.userId, static_cast<std::intptr_t>(ready));
  send(w.window, ev);
}

void QtToolkit::setWatchMask(WatchId watch, unsigned mask) {
  auto it = watches_.find(watch);
  if (it == watches_.end()) return;
  Watch& w = it->second;
  w.mask = mask;
  w.read->setEnabled((mask & kWatchRead) != 0);
  w.write->setEnabled((mask & kWatchWrite) != 0);
  w.error->setEnabled((mask & kWatchError) != 0);
}

void QtToolkit::releaseWatch(Watch& w) {
  // Disabled at once so that the descriptor is no longer polled (the caller
  // may close it next); deleted later, as one may be signalling right now.
  for (QSocketNotifier* n : {w.read, w.write, w.error}) {
    n->setEnabled(false);
    n->deleteLater();
  }
}

void QtToolkit::unwatch(WatchId watch) {
  auto it = watches_.find(watch);
  if (it == watches_.end()) return;
  releaseWatch(it->second);
  watches_.erase(it);
}

void QtToolkit::forgetWindow(WindowId id) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->second.window == id) {
      it->second.timer->stop();
      it->second.timer->deleteLater();
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = watches_.begin(); it != watches_.end();) {
    if (it->second.window == id) {
      releaseWatch(it->second);
      it = watches_.erase(it);
    } else {
      ++it;
    }
  }
}

// --- widgets of windows ----------------------------------------------------

void QtToolkit::createFrame(WindowId id, const WindowSpec& spec, Native& native) {
  auto* win = new QMainWindow;
  auto* central = new QWidget(win);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  area_ = new QMdiArea(central);
  status_ = new StatusLine(central);
  layout->addWidget(area_, 1);
  layout->addWidget(status_);
  win->setCentralWidget(central);
  // Windows outside the area are reached by scrolling it.
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  if (spec.rect.empty()) win->resize(960, 720);
  // The menu bar is there from the start, empty while no window has
  // menus: the windows below it never move when one appears.
  frameMenu_.bar = new QMenuBar;
  reserveMenuHeight(frameMenu_.bar);
  win->setMenuBar(frameMenu_.bar);
  frame_ = win;
  frameId_ = id;
  // The frame shows the menus of the active document, or its own.
  QObject::connect(area_, &QMdiArea::subWindowActivated, context_.get(), [this](QMdiSubWindow*) {
    keepQuestionsInFront();
    refreshFrameMenu();
  });
  frameTitle_ = spec.title;
  native.outer = win;
  native.content = central;
  applyFrameTitle();
  applyBackground();
}

void QtToolkit::nativeCreate(WindowId id, const WindowSpec& spec) {
  if (spec.kind == WindowKind::Invisible) return;
  Native n;
  const bool drawn = spec.kind != WindowKind::Frame;
  if (spec.kind == WindowKind::Child) {
    createChild(id, spec, n);
  } else if (spec.kind == WindowKind::Frame && frameMode_ && !frame_) {
    createFrame(id, spec, n);
  } else if (frameMode_ && area_ && spec.parent != kNoWindow) {
    QWidget* content = nullptr;
    if (drawn) {
      n.surface = new qtdetail::Surface(this, id, false);
      content = n.surface;
    } else {
      content = new QWidget;
    }
    Qt::WindowFlags subFlags = Qt::SubWindow;
    if (spec.kind == WindowKind::Dialog)
      subFlags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    QMdiSubWindow* sub = area_->addSubWindow(content, subFlags);
    // Closing is the handler's decision; the widget goes with the window.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->setWindowTitle(fromCp1252(spec.title));
    sub->setWindowIcon(QApplication::windowIcon());
    n.outer = sub;
    n.content = content;
  } else {
    QWidget* parentWidget = nullptr;
    Qt::WindowFlags flags = Qt::Window;
    if (spec.kind == WindowKind::Dialog) {
      // A dialog stays above the window it belongs to; it has a title and a
      // close button, no minimise or maximise.
      flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
      if (QWidget* p = outerWidget(spec.parent)) parentWidget = p->window();
    }
    auto* w = new QWidget(parentWidget, flags);
    w->setWindowTitle(fromCp1252(spec.title));
    n.outer = w;
    n.content = w;
    if (drawn) {
      // The client area sits below the menu bar the window may get.
      auto* layout = new QVBoxLayout(w);
      layout->setContentsMargins(0, 0, 0, 0);
      layout->setSpacing(0);
      n.surface = new qtdetail::Surface(this, id, false, w);
      layout->addWidget(n.surface);
      n.content = n.surface;
    }
  }
  n.modal = spec.modal;
  natives_[id] = n;
  if (!spec.rect.empty()) move(id, spec.rect);
  if (spec.kind != WindowKind::Child && spec.kind != WindowKind::Frame) fitOnScreen(id);
  if (spec.visible) n.outer->show();
  natives_[id].host = new WindowHost(this, id, n.outer, n.content);
}

void QtToolkit::createChild(WindowId id, const WindowSpec& spec, Native& n) {
  QWidget* parent = contentWidget(spec.parent);
  auto* surface = new qtdetail::Surface(this, id, true, parent);
  n.surface = surface;
  n.content = surface;
  n.outer = surface;
  if (spec.hScroll || spec.vScroll) {
    // The pane's own scroll bars frame its client area.
    auto* box = new QWidget(parent);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    surface->setParent(box);
    grid->addWidget(surface, 0, 0);
    if (spec.vScroll) {
      auto* bar = new QScrollBar(Qt::Vertical, box);
      grid->addWidget(bar, 0, 1);
      attachScrollBar(bar, id, kWindowVScroll);
    }
    if (spec.hScroll) {
      auto* bar = new QScrollBar(Qt::Horizontal, box);
      grid->addWidget(bar, 1, 0);
      attachScrollBar(bar, id, kWindowHScroll);
    }
    n.outer = box;
  }
  n.outer->setObjectName(QString::fromStdString(spec.name));
}

void QtToolkit::nativeDestroy(WindowId id) {
  auto it = natives_.find(id);
  if (it == natives_.end()) return;
  Native n = it->second;
  natives_.erase(it);
  if (n.host) n.host->detach();
  if (n.surface) n.surface->detach();
  if (trapped_ == id) releasePointer();
  std::erase_if(controls_, [id](const auto& kv) { return kv.first.first == id; });
  if (auto m = menus_.find(id); m != menus_.end()) menus_.erase(m);
  if (frameMenu_.shownFor == id) {
    frameMenu_.shownFor = kNoWindow;
    QMetaObject::invokeMethod(context_.get(), [this] { refreshFrameMenu(); }, Qt::QueuedConnection);
  }
  if (id == frameId_) {
    frameId_ = kNoWindow;
    frame_ = nullptr;
    area_ = nullptr;
    status_ = nullptr;
  }
  if (n.outer) {
    n.outer->hide();
    // A handler of this very widget may be on the stack.
    n.outer->deleteLater();
    std::erase_if(leftovers_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    leftovers_.push_back(n.outer);
  }
}

QWidget* QtToolkit::contentWidget(WindowId id) const {
  auto it = natives_.find(id);
  return it == natives_.end() ? nullptr : it->second.content.data();
}

QWidget* QtToolkit::outerWidget(WindowId id) const {
  auto it = natives_.find(id);
  return it == natives_.end() ? nullptr : it->second.outer.data();
}

QMainWindow* QtToolkit::frameWindow() const { return frame_.data(); }
QMdiArea* QtToolkit::documentArea() const { return area_.data(); }
QWidget* QtToolkit::statusLine() const { return status_.data(); }

void QtToolkit::syncRect(WindowId id) { Toolkit::move(id, outerRect(id)); }

void QtToolkit::setTitle(WindowId id, const std::string& title) {
  Toolkit::setTitle(id, title);
  if (id == frameId_) {
    frameTitle_ = title;
    applyFrameTitle();
  } else if (QWidget* w = outerWidget(id)) {
    w->setWindowTitle(fromCp1252(title));
  }
}

void QtToolkit::setVisible(WindowId id, bool visible) {
  Toolkit::setVisible(id, visible);
  if (QWidget* w = outerWidget(id)) w->setVisible(visible);
}

void QtToolkit::setEnabled(WindowId id, bool enabled) {
  Toolkit::setEnabled(id, enabled);
  QWidget* w = outerWidget(id);
  if (!w) return;
  w->setEnabled(enabled);
  // Qt disables a widget's child windows with it. A dialog that belongs to
  // the disabled window (the modal connect dialog of a channel, a message)
  // is the one window the operator must still reach: every window that was
  // not disabled itself is enabled again.
  if (!enabled)
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top != w && top->parentWidget() && !top->isEnabled() &&
          !top->testAttribute(Qt::WA_ForceDisabled))
        top->setEnabled(true);
}

// A question stays above the window that asked it, whichever of the
// others is raised or clicked meanwhile.
void QtToolkit::keepQuestionsInFront() {
  if (!area_) return;
  QMdiSubWindow* newest = nullptr;
  for (QMdiSubWindow* sub : area_->subWindowList(QMdiArea::CreationOrder)) {
    const auto it = std::find_if(natives_.begin(), natives_.end(),
                                 [sub](const auto& entry) { return entry.second.outer == sub; });
    if (it == natives_.end() || !it->second.modal || !sub->isVisible()) continue;
    sub->raise();
    newest = sub;
  }
  if (newest && area_->activeSubWindow() != newest) area_->setActiveSubWindow(newest);
}

bool QtToolkit::arrangeWindows(Arrangement how) {
  if (!area_) return false;
  if (how == Arrangement::Tile) area_->tileSubWindows();
  else area_->cascadeSubWindows();
  return true;
}

void QtToolkit::raise(WindowId id) {
  Toolkit::raise(id);
  QWidget* w = outerWidget(id);
  if (!w) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub && sub->mdiArea()) {
    sub->mdiArea()->setActiveSubWindow(sub);
    sub->raise();
    keepQuestionsInFront();
  } else {
    w->raise();
    w->activateWindow();
  }
}

namespace {
// The room a document window's frame and title bar take in the document area.
QSize subWindowDecoration(QMdiSubWindow* sub) {
  QStyle* style = sub->style();
  const int frame = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, sub);
  const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub);
  return QSize(2 * frame, title + frame);
}
}  // namespace

Rect QtToolkit::outerRect(WindowId id) const {
  QWidget* w = outerWidget(id);
  if (!w) return Toolkit::outerRect(id);
  // Windows report the place of their frame and the size of their client
  // area, which is what placing a window takes: a window put back with its
  // rectangle is exactly where and as big as it was, whatever decoration the
  // window manager or the document area draws, and a window description's
  // size is the room its controls get.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) {
    const QSize deco = subWindowDecoration(sub);
    const QRect g = sub->geometry();
    return Rect{g.top(), g.left(), g.top() + g.height() - deco.height(),
                g.left() + g.width() - deco.width()};
  }
  if (w->isWindow()) {
    // A top-level window: where its frame is, how big its client area is
    // (below the menu bar it may have).
    const QSize client = w->size() - QSize(0, menuBarHeight(w));
    const QPoint at = w->pos();
    return Rect{at.y(), at.x(), at.y() + client.height(), at.x() + client.width()};
  }
  return toRect(w->geometry());
}

void QtToolkit::setMinimumClientSize(WindowId id, int width, int height) {
  QWidget* content = contentWidget(id);
  if (!content || id == frameId_) return;
  content->setMinimumSize(std::max(0, width), std::max(0, height));
  if (QWidget* outer = outerWidget(id); outer && outer != content) {
    if (outer->layout()) outer->layout()->activate();
    outer->setMinimumSize(outer->minimumSizeHint());
  }
  fitOnScreen(id);
}

int QtToolkit::menuBarHeight(QWidget* outer) const {
  if (outer == frame_.data()) return 0;  // the frame's rectangle is its whole window
  QLayout* layout = outer->layout();
  QWidget* bar = layout ? layout->menuBar() : nullptr;
  if (!bar || bar->isHidden()) return 0;
  return std::max(bar->height(), bar->sizeHint().height());
}

void QtToolkit::fitOnScreen(WindowId id) {
  QWidget* w = outerWidget(id);
  if (!w) return;
  // The room there is: the document area, or the screen's free part.
  QRect room;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w); sub && sub->mdiArea()) {
    room = QRect(QPoint(0, 0), sub->mdiArea()->viewport()->size());
  } else if (w->isWindow()) {
    QScreen* screen = w->screen() ? w->screen() : QApplication::primaryScreen();
    if (!screen) return;
    room = screen->availableGeometry();
  }
  if (room.width() < 50 || room.height() < 50) return;  // not laid out yet
  // A window too big for the room is made as big as the room (no smaller
  // than it may get); then it is moved until it lies inside, its title bar
  // first.
  QRect g = w->isWindow() ? w->frameGeometry() : w->geometry();
  const QSize frameExtra = g.size() - w->size();
  const QSize minimum = w->minimumSizeHint().expandedTo(w->minimumSize());
  QSize size = w->size();
  size.setWidth(std::max(minimum.width(), std::min(size.width(), room.width() - frameExtra.width())));
  size.setHeight(std::max(minimum.height(), std::min(size.height(), room.height() - frameExtra.height())));
  if (size != w->size()) w->resize(size);
  g.setSize(size + frameExtra);
  if (g.right() > room.right()) g.moveRight(room.right());
  if (g.bottom() > room.bottom()) g.moveBottom(room.bottom());
  if (g.left() < room.left()) g.moveLeft(room.left());
  if (g.top() < room.top()) g.moveTop(room.top());
  w->move(g.topLeft());
}

void QtToolkit::move(WindowId id, const Rect& rect) {
  Toolkit::move(id, rect);
  QWidget* w = outerWidget(id);
  if (!w || rect.empty()) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) {
    const QSize deco = subWindowDecoration(sub);
    sub->setGeometry(rect.left, rect.top, rect.width() + deco.width(),
                     rect.height() + deco.height());
    return;
  }
  if (w->isWindow()) {
    // The rectangle gives the frame's place and the client area's size.
    w->resize(rect.width(), rect.height() + menuBarHeight(w));
    w->move(rect.left, rect.top);
    return;
  }
  w->setGeometry(rect.left, rect.top, rect.width(), rect.height());
}

// --- the frame -------------------------------------------------------------

void QtToolkit::setStatusField(int field, const std::string& text) {
  if (field < 0 || field > 2 || !status_) return;  // no status line: dropped
  status_->setText(field, fromCp1252(text));
}

std::string QtToolkit::statusField(int field) const {
  if (field < 0 || field > 2 || !status_) return {};
  return toCp1252(status_->text(field));
}

void QtToolkit::setFrameDocTitle(const std::string& title) {
  docTitle_ = title;
  applyFrameTitle();
}

void QtToolkit::applyFrameTitle() {
  if (!frame_) return;
  QString t = frameTitle_.empty() ? appTitle() : fromCp1252(frameTitle_);
  if (!docTitle_.empty()) t += QStringLiteral(" - ") + fromCp1252(docTitle_);
  frame_->setWindowTitle(t);
}

void QtToolkit::setFrameBackground(const std::string& imagePath) {
  background_ = imagePath;
  applyBackground();
}

void QtToolkit::applyBackground() {
  if (!area_ || background_.empty()) return;
  QPixmap pm(QFile::decodeName(QByteArray::fromStdString(background_)));
  if (pm.isNull()) return;  // a missing picture leaves the area as it is
  area_->setBackground(QBrush(pm));
}

// --- dialogs and small services --------------------------------------------

QWidget* QtToolkit::dialogParent() const {
  if (frame_) return frame_.data();
  return QApplication::activeWindow();
}

void QtToolkit::messageDialog(int number, const std::string& title,
                              const std::vector<std::string>& lines, DialogButtons buttons,
                              std::function<void(int)> done) {
  if (!dialogAnswers_.empty()) {
    // Answered beforehand (a test or the UI driver): the answer arrives from
    // the event loop as if the operator had pressed the button at once.
    const int answer = dialogAnswers_.front();
    dialogAnswers_.pop_front();
    QMetaObject::invokeMethod(
        context_.get(), [done = std::move(done), answer] { if (done) done(answer); },
        Qt::QueuedConnection);
    return;
  }
  auto* dlg = new qtdetail::MessageDialog(dialogParent());
  dlg->info = OpenDialog{number, title, lines};
  dlg->enterAnswer = buttons.defaultNo ? 0 : 1;
  std::erase_if(openDialogs_, [](const auto& p) { return p.isNull() || !p->isVisible(); });
  openDialogs_.push_back(dlg);
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setObjectName(QStringLiteral("message%1").arg(number));
  dlg->setProperty("messageNumber", number);
  dlg->setWindowTitle(title.empty() ? appTitle() : fromCp1252(title));
  auto* layout = new QVBoxLayout(dlg);
  // Every line of the text, however many: the dialog grows to hold them.
  for (const std::string& line : lines) layout->addWidget(new QLabel(fromCp1252(line), dlg));
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  auto addButton = [&](const QString& text, int answer) {
    auto* b = new QPushButton(text, dlg);
    b->setAutoDefault(false);  // Enter belongs to the dialog: it means "yes"
    QObject::connect(b, &QPushButton::clicked, dlg, [dlg, answer] {
      dlg->answer = answer;
      dlg->accept();
    });
    row->addWidget(b);
  };
  // Without any button the dialog could only be closed; offer "yes" then.
  if (buttons.yes || (!buttons.no && !buttons.cancel)) addButton(QStringLiteral("Yes"), 1);
  if (buttons.no) addButton(QStringLiteral("No"), 0);
  if (buttons.cancel) addButton(QStringLiteral("Cancel"), 3);
  row->addStretch(1);
  layout->addLayout(row);
  // The answer goes out from the event loop once the dialog is closed, so
  // the receiver is free to do anything, even destroy the dialog's parent.
  QObject::connect(dlg, &QDialog::finished, context_.get(),
                   [this, dlg, done = std::move(done)](int) {
                     const int answer = dlg->answer;
                     std::erase_if(openDialogs_, [dlg](const auto& p) { return p == dlg; });
                     QMetaObject::invokeMethod(
                         context_.get(), [done, answer] { if (done) done(answer); },
                         Qt::QueuedConnection);
                   });
  std::erase_if(leftovers_, [](const QPointer<QWidget>& p) { return p.isNull(); });
  leftovers_.push_back(dlg);
  dlg->open();
}

void QtToolkit::errorBox(const std::string& text) {
  QMessageBox::critical(dialogParent(), appTitle(), fromCp1252(text));
}

std::optional<std::string> QtToolkit::fileDialog(bool save, const std::string& title,
                                                 const std::string& directory,
                                                 const std::string& name) {
  if (!fileAnswers_.empty()) {
    auto answer = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    return answer;
  }
  std::string start = directory;
  if (!name.empty()) {
    if (!start.empty() && start.back() != '/') start += '/';
    start += name;
  }
  const QString caption = fromCp1252(title);
  const QString startPath = QFile::decodeName(QByteArray::fromStdString(start));
  const QString chosen = save ? QFileDialog::getSaveFileName(dialogParent(), caption, startPath)
                              : QFileDialog::getOpenFileName(dialogParent(), caption, startPath);
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(chosen).toStdString();
}

void QtToolkit::beep() { QApplication::beep(); }

bool QtToolkit::answerDialog(int answer) {
  std::erase_if(openDialogs_, [](const auto& p) { return p.isNull(); });
  for (const auto& d : openDialogs_) {
    if (!d->isVisible()) continue;
    // accept() runs the finished handler, which edits the list.
    QPointer<qtdetail::MessageDialog> dlg = d;
    dlg->answer = answer;
    dlg->accept();
    return true;
  }
  return false;
}

std::vector<OpenDialog> QtToolkit::openMessageDialogs() const {
  std::vector<OpenDialog> out;
  for (const auto& d : openDialogs_)
    if (d && d->isVisible()) out.push_back(d->info);
  return out;
}

void QtToolkit::setBusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void QtToolkit::setClipboardText(const std::string& text) {
  QApplication::clipboard()->setText(fromCp1252(text));
}

std::string QtToolkit::clipboardText() const {
  return toCp1252(QApplication::clipboard()->text());
}

void QtToolkit::setSelectionText(const std::string& text) {
  QClipboard* clipboard = QApplication::clipboard();
  if (clipboard->supportsSelection()) clipboard->setText(fromCp1252(text), QClipboard::Selection);
}

std::string QtToolkit::selectionText() const {
  const QClipboard* clipboard = QApplication::clipboard();
  return toCp1252(clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection) : clipboard->text());
}

}  // namespace tarvik::ui
