#include "ui/toolkit/qt/qt_toolkit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <set>
#include <thread>

namespace tarvik::ui {
namespace {

// What reached a window, kept outside the window so that it can be read
// after the window is gone.
struct Seen {
  EventType type;
  int id;
  std::intptr_t arg;
};

// A window that records its events and then runs an optional reaction.
struct Probe : Window {
  std::vector<Seen>* log;
  std::function<void(Probe&, Event&)> react;
  Probe(std::vector<Seen>* l, std::function<void(Probe&, Event&)> r = {})
      : log(l), react(std::move(r)) {}
  void onEvent(Event& e) override {
    log->push_back({e.type, e.id, e.arg});
    if (react) react(*this, e);
  }
};

int count(const std::vector<Seen>& log, EventType type, int id = -1) {
  int n = 0;
  for (const Seen& s : log)
    if (s.type == type && (id < 0 || s.id == id)) ++n;
  return n;
}

// Runs Qt's event processing until pred() holds. The budget only keeps a
// broken test from hanging; nothing is asserted about time.
bool spinUntil(const std::function<bool()>& pred, int budgetMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > budgetMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void settle() {
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct QtToolkitTest : ::testing::Test {
  char arg0[9] = "qt_tests";
  char* argv[2] = {arg0, nullptr};

  std::unique_ptr<QtToolkit> make(bool frameMode = true) {
    return std::make_unique<QtToolkit>(1, argv, frameMode);
  }

  static WindowSpec spec(WindowKind kind, const std::string& title = {},
                         WindowId parent = kNoWindow) {
    WindowSpec s;
    s.kind = kind;
    s.title = title;
    s.parent = parent;
    return s;
  }

  // A guard against a loop that never ends: quits with 99 after a while.
  static void watchdog(QtToolkit& tk, std::vector<Seen>* log) {
    WindowId w = tk.create({}, std::make_unique<Probe>(log, [](Probe& p, Event& e) {
                             if (e.type == EventType::Timer) p.toolkit().quit(99);
                           }));
    tk.createTimer(w, 20000);
  }
};

// A window asks a question (a modal dialog in the frame) and another
// document is raised meanwhile, as a list refreshing itself does: the
// question stays in front.
TEST_F(QtToolkitTest, AModalQuestionStaysAboveTheDocuments) {
  std::vector<Seen> log;
  auto tk = make();
  const WindowId frame = tk->create(spec(WindowKind::Frame, "Tarvik"), std::make_unique<Probe>(&log));
  const WindowId list = tk->create(spec(WindowKind::Document, "Stations", frame), std::make_unique<Probe>(&log));
  const WindowId form = tk->create(spec(WindowKind::Document, "Station", frame), std::make_unique<Probe>(&log));
  WindowSpec question = spec(WindowKind::Dialog, "Question", frame);
  question.modal = true;
  const WindowId dialog = tk->create(question, std::make_unique<Probe>(&log));
  settle();
  for (const WindowId raised : {list, form, list}) {
    tk->raise(raised);
    settle();
    const auto stack = tk->documentArea()->subWindowList(QMdiArea::StackingOrder);
    ASSERT_FALSE(stack.isEmpty());
    EXPECT_EQ(stack.last(), tk->outerWidget(dialog)) << "the question went behind window " << raised;
  }
}

TEST_F(QtToolkitTest, FrameHoldsDocumentsInItsAreaAboveTheStatusLine) {
  std::vector<Seen> frameLog, docLog;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame, "Tarvik"),
                              std::make_unique<Probe>(&frameLog));
  WindowId port = tk->create(spec(WindowKind::Invisible, {}, frame),
                             std::make_unique<Probe>(&frameLog));
  WindowId doc = tk->create(spec(WindowKind::Document, "Gr\xE4\xDF" "e", frame),
                            std::make_unique<Probe>(&docLog));
  ASSERT_NE(tk->frameWindow(), nullptr);
  EXPECT_EQ(tk->outerWidget(frame), tk->frameWindow());
  EXPECT_EQ(tk->outerWidget(port), nullptr);
  EXPECT_EQ(tk->contentWidget(port), nullptr);

  auto* sub = qobject_cast<QMdiSubWindow*>(tk->outerWidget(doc));
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->mdiArea(), tk->documentArea());
  EXPECT_EQ(sub->widget(), tk->contentWidget(doc));
  EXPECT_EQ(tk->documentArea()->subWindowList().size(), 1);
  EXPECT_EQ(sub->windowTitle(), QString::fromUtf8("Gr\u00E4\u00DFe"));

  tk->setFrameDocTitle("DL1ABC-5");
  EXPECT_EQ(tk->frameWindow()->windowTitle(), QStringLiteral("Tarvik - DL1ABC-5"));
  tk->setTitle(frame, "Station");
  EXPECT_EQ(tk->frameWindow()->windowTitle(), QStringLiteral("Station - DL1ABC-5"));
  EXPECT_EQ(tk->specOf(frame)->title, "Station");

  // The status line runs along the whole bottom of the client area.
  settle();
  QWidget* client = tk->contentWidget(frame);
  QWidget* status = tk->statusLine();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->height(), 22);
  EXPECT_EQ(status->width(), client->width());
  EXPECT_EQ(status->geometry().bottom(), client->height() - 1);
  EXPECT_EQ(tk->documentArea()->geometry().bottom(), status->geometry().top() - 1);

  // Moving by program and resizing by the operator both keep the registry's
  // rectangle right; the handler hears of the new size.
  const Rect r{10, 20, 110, 220};
  tk->move(doc, r);
  EXPECT_EQ(tk->outerRect(doc), r);
  EXPECT_EQ(tk->specOf(doc)->rect, r);
  settle();
  docLog.clear();
  sub->resize(300, 150);
  // The registry holds the client size; putting the window back at its own
  // rectangle changes nothing, so saved places never creep.
  const Rect after = tk->specOf(doc)->rect;
  EXPECT_EQ(after, tk->outerRect(doc));
  EXPECT_LT(after.width(), 300);
  EXPECT_LT(after.height(), 150);
  tk->move(doc, after);
  EXPECT_EQ(sub->size(), QSize(300, 150));
  ASSERT_GE(count(docLog, EventType::Size), 1);
  EXPECT_EQ(docLog.back().id, tk->contentWidget(doc)->width());
  EXPECT_EQ(docLog.back().arg, tk->contentWidget(doc)->height());

  tk->setVisible(doc, false);
  EXPECT_FALSE(sub->isVisible());
  EXPECT_FALSE(tk->specOf(doc)->visible);
  tk->setEnabled(frame, false);
  EXPECT_FALSE(tk->frameWindow()->isEnabled());

  QPointer<QMdiSubWindow> gone = sub;
  tk->destroy(doc);
  EXPECT_EQ(tk->outerWidget(doc), nullptr);
  settle();
  EXPECT_TRUE(gone.isNull());
  EXPECT_TRUE(tk->documentArea()->subWindowList().isEmpty());

  // Destroying the frame takes its children along, widgets included.
  WindowId doc2 = tk->create(spec(WindowKind::Dialog, "form", frame),
                             std::make_unique<Probe>(&docLog));
  QPointer<QWidget> frameWidget = tk->frameWindow();
  tk->destroy(frame);
  EXPECT_FALSE(tk->exists(doc2));
  EXPECT_FALSE(tk->exists(port));
  EXPECT_EQ(tk->frameWindow(), nullptr);
  EXPECT_EQ(tk->statusLine(), nullptr);
  settle();
  EXPECT_TRUE(frameWidget.isNull());
  EXPECT_EQ(count(docLog, EventType::Destroy), 2);
}

TEST_F(QtToolkitTest, OperatorCloseIsOnlyARequestToTheHandler) {
  std::vector<Seen> frameLog, docLog;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&frameLog));
  // The document agrees to close and destroys itself inside its handler.
  WindowId doc = tk->create(spec(WindowKind::Document, "doc", frame),
                            std::make_unique<Probe>(&docLog, [](Probe& p, Event& e) {
                              if (e.type == EventType::Close) p.toolkit().destroy(p.id());
                            }));
  settle();
  EXPECT_FALSE(tk->frameWindow()->close());
  EXPECT_EQ(count(frameLog, EventType::Close), 1);
  EXPECT_TRUE(tk->exists(frame));
  EXPECT_TRUE(tk->frameWindow()->isVisible());

  QPointer<QWidget> sub = tk->outerWidget(doc);
  sub->close();
  EXPECT_EQ(count(docLog, EventType::Close), 1);
  EXPECT_FALSE(tk->exists(doc));
  settle();
  EXPECT_TRUE(sub.isNull());
  EXPECT_EQ(count(frameLog, EventType::Close), 1);
}

TEST_F(QtToolkitTest, FocusFollowsTheActiveDocument) {
  std::vector<Seen> frameLog, aLog, bLog;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&frameLog));
  WindowId a = tk->create(spec(WindowKind::Document, "a", frame), std::make_unique<Probe>(&aLog));
  WindowId b = tk->create(spec(WindowKind::Document, "b", frame), std::make_unique<Probe>(&bLog));
  settle();
  tk->raise(a);
  settle();
  ASSERT_FALSE(aLog.empty());
  EXPECT_EQ(aLog.back().type, EventType::Focus);
  EXPECT_EQ(aLog.back().arg, 1);
  tk->raise(b);
  settle();
  EXPECT_EQ(aLog.back().type, EventType::Focus);
  EXPECT_EQ(aLog.back().arg, 0);
  ASSERT_FALSE(bLog.empty());
  EXPECT_EQ(bLog.back().type, EventType::Focus);
  EXPECT_EQ(bLog.back().arg, 1);
  EXPECT_EQ(tk->documentArea()->activeSubWindow(), tk->outerWidget(b));
}

TEST_F(QtToolkitTest, TileAndCascadeArrangeTheDocumentsAndActivateBringsOneUp) {
  std::vector<Seen> log;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  tk->frameWindow()->resize(800, 600);
  std::vector<WindowId> docs;
  for (const char* title : {"a", "b", "c"}) {
    WindowSpec s = spec(WindowKind::Document, title, frame);
    s.rect = Rect{10, 10, 210, 310};  // all three in one place
    docs.push_back(tk->create(s, std::make_unique<Probe>(&log)));
  }
  settle();
  const auto overlapping = [&] {
    for (std::size_t i = 0; i < docs.size(); ++i)
      for (std::size_t j = i + 1; j < docs.size(); ++j)
        if (tk->outerWidget(docs[i])->geometry().intersects(tk->outerWidget(docs[j])->geometry())) return true;
    return false;
  };
  ASSERT_TRUE(overlapping());
  EXPECT_TRUE(tk->arrangeWindows(Toolkit::Arrangement::Tile));
  settle();
  EXPECT_FALSE(overlapping());
  EXPECT_TRUE(tk->arrangeWindows(Toolkit::Arrangement::Cascade));
  settle();
  EXPECT_NE(tk->outerWidget(docs[0])->pos(), tk->outerWidget(docs[1])->pos());

  // Activating one makes it the active document, told by Focus events.
  tk->activate(docs[0]);
  settle();
  EXPECT_EQ(tk->activeWindow(), docs[0]);
  EXPECT_EQ(tk->documentArea()->activeSubWindow(), tk->outerWidget(docs[0]));
  tk->activate(docs[2]);
  settle();
  EXPECT_EQ(tk->activeWindow(), docs[2]);
  EXPECT_EQ(tk->documentArea()->activeSubWindow(), tk->outerWidget(docs[2]));

}

TEST_F(QtToolkitTest, ADocumentWithoutMenusLeavesTheFrameShowingTheLastMenus) {
  std::vector<Seen> log;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  WindowId toolbox = tk->create(spec(WindowKind::Document, "toolbox", frame), std::make_unique<Probe>(&log));
  MenuItem windows;
  windows.text = "&Windows";
  MenuItem tile;
  tile.number = 7;
  tile.text = "T&ile";
  windows.children.push_back(tile);
  tk->setMenuBar(toolbox, {windows});
  WindowId channel = tk->create(spec(WindowKind::Document, "channel", frame), std::make_unique<Probe>(&log));
  tk->activate(toolbox);
  settle();
  ASSERT_NE(tk->menuBarWidget(toolbox), nullptr);
  tk->activate(channel);
  settle();
  EXPECT_EQ(tk->documentArea()->activeSubWindow(), tk->outerWidget(channel));
  QMenuBar* bar = tk->menuBarWidget(toolbox);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->actions().size(), 1);
}

TEST_F(QtToolkitTest, WithoutFrameModeWindowsAreTopLevelAndStatusTextsAreDropped) {
  std::vector<Seen> log;
  auto tk = make(/*frameMode=*/false);
  WindowId task = tk->create(spec(WindowKind::Invisible), std::make_unique<Probe>(&log));
  WindowId main = tk->create(spec(WindowKind::Document, "MAIN", task),
                             std::make_unique<Probe>(&log));
  WindowId form = tk->create(spec(WindowKind::Dialog, "form", main),
                             std::make_unique<Probe>(&log));
  EXPECT_EQ(tk->frameWindow(), nullptr);
  EXPECT_EQ(tk->documentArea(), nullptr);
  QWidget* mainWidget = tk->outerWidget(main);
  QWidget* formWidget = tk->outerWidget(form);
  ASSERT_NE(mainWidget, nullptr);
  ASSERT_NE(formWidget, nullptr);
  EXPECT_TRUE(mainWidget->isWindow());
  EXPECT_EQ(qobject_cast<QMdiSubWindow*>(mainWidget), nullptr);
  EXPECT_TRUE(formWidget->isWindow());
  EXPECT_EQ(formWidget->parentWidget(), mainWidget);  // stays above its owner
  EXPECT_EQ(mainWidget->windowTitle(), QStringLiteral("MAIN"));

  const Rect r{30, 40, 230, 440};
  tk->move(main, r);
  EXPECT_EQ(tk->outerRect(main), r);

  tk->setStatusField(0, "dropped");
  EXPECT_EQ(tk->statusField(0), "");

  // A Frame-kind window is just another top-level window here.
  WindowId frame = tk->create(spec(WindowKind::Frame, "Tarvik"), std::make_unique<Probe>(&log));
  EXPECT_TRUE(tk->outerWidget(frame)->isWindow());
  EXPECT_EQ(tk->frameWindow(), nullptr);
}

TEST_F(QtToolkitTest, PostsFromOtherThreadsArriveInOrderOnTheGuiThread) {
  std::vector<Seen> log, guard;
  auto tk = make();
  watchdog(*tk, &guard);
  constexpr int kThreads = 4, kPerThread = 500;
  const auto guiThread = std::this_thread::get_id();
  std::vector<std::vector<int>> perThread(kThreads);
  std::vector<std::string> texts;
  bool offThread = false;
  WindowId w = tk->create({}, std::make_unique<Probe>(&log, [&](Probe& p, Event& e) {
                            if (e.type != EventType::User) return;
                            offThread |= std::this_thread::get_id() != guiThread;
                            perThread[e.id - 800].push_back(static_cast<int>(e.arg));
                            if (auto* t = e.as<TextPayload>()) texts.push_back(t->text);
                            if (count(*p.log, EventType::User) == kThreads * kPerThread)
                              p.toolkit().quit(5);
                          }));
  // A post to a window that is gone is dropped, and its record freed.
  struct Flag : Payload {
    bool* freed;
    explicit Flag(bool* f) : freed(f) {}
    ~Flag() override { *freed = true; }
  };
  bool freed = false;
  WindowId gone = tk->create({}, std::make_unique<Probe>(&log));
  tk->destroy(gone);
  tk->post(gone, Event::user(1, 0, std::make_unique<Flag>(&freed)));

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&tk, w, t] {
      for (int i = 0; i < kPerThread; ++i)
        tk->post(w, Event::user(800 + t, i,
                                i % 100 == 0 ? std::make_unique<TextPayload>(std::to_string(i))
                                             : nullptr));
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(tk->run(), 5);
  EXPECT_FALSE(offThread);
  EXPECT_TRUE(freed);
  for (const auto& seq : perThread) {
    ASSERT_EQ(seq.size(), static_cast<size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(seq[i], i);
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(kThreads * kPerThread / 100));
}

TEST_F(QtToolkitTest, QuitBeforeTheLoopRunsEndsItAtOnce) {
  auto tk = make();
  tk->quit(3);
  EXPECT_EQ(tk->run(), 3);
}

TEST_F(QtToolkitTest, TimersRepeatUntilDestroyed) {
  std::vector<Seen> log, selfLog, guard;
  auto tk = make();
  watchdog(*tk, &guard);
  TimerId first = 0, second = 0, dropped = 0;
  WindowId w = tk->create({}, std::make_unique<Probe>(&log, [&](Probe& p, Event& e) {
                            if (e.type != EventType::Timer) return;
                            auto& t = p.toolkit();
                            if (e.id == static_cast<int>(first) &&
                                count(*p.log, EventType::Timer, e.id) == 3) {
                              t.destroyTimer(first);  // from inside its own event
                              second = t.createTimer(p.id(), 5);
                            } else if (e.id == static_cast<int>(second)) {
                              t.quit(0);
                            }
                          }));
  first = tk->createTimer(w, 10);
  dropped = tk->createTimer(w, 1);
  tk->destroyTimer(dropped);
  // A window that destroys itself in its first timer event hears no more.
  WindowId self = tk->create({}, std::make_unique<Probe>(&selfLog, [](Probe& p, Event& e) {
                               if (e.type == EventType::Timer) p.toolkit().destroy(p.id());
                             }));
  tk->createTimer(self, 1);

  EXPECT_EQ(tk->run(), 0);
  EXPECT_EQ(count(log, EventType::Timer, static_cast<int>(first)), 3);
  EXPECT_EQ(count(log, EventType::Timer, static_cast<int>(second)), 1);
  EXPECT_EQ(count(log, EventType::Timer, static_cast<int>(dropped)), 0);
  EXPECT_EQ(count(log, EventType::Timer), 4);
  EXPECT_EQ(count(selfLog, EventType::Timer), 1);
  EXPECT_FALSE(tk->exists(self));
}

// Pipes that close themselves at the end of the test.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe(fd), 0); }
  ~Pipe() { closeWriter(), closeReader(); }
  void closeWriter() { if (fd[1] >= 0) ::close(fd[1]), fd[1] = -1; }
  void closeReader() { if (fd[0] >= 0) ::close(fd[0]), fd[0] = -1; }
  void put() { ASSERT_EQ(::write(fd[1], "x", 1), 1); }
};

TEST_F(QtToolkitTest, WatchesReportReadinessUntilEnded) {
  std::vector<Seen> readLog, writeLog, onceLog, goneLog, endLog, guard;
  Pipe data, out, once, gone;
  auto tk = make();
  watchdog(*tk, &guard);

  WindowId ender = tk->create({}, std::make_unique<Probe>(&endLog, [](Probe& p, Event& e) {
                                if (e.type == EventType::Timer) p.toolkit().quit(0);
                              }));
  auto allSeen = [&] {
    return count(readLog, EventType::User) >= 2 && count(writeLog, EventType::User) >= 1 &&
           count(onceLog, EventType::User) >= 1;
  };
  bool ending = false;
  auto maybeEnd = [&](QtToolkit& tk2) {
    // Let the loop turn a while longer: a watch that should be silent now
    // would fire again and again in that time.
    if (!ending && allSeen()) {
      ending = true;
      tk2.createTimer(ender, 100);
    }
  };

  // Read end: a byte, then the writer hangs up.
  WatchId readWatch = 0;
  WindowId reader = tk->create({}, std::make_unique<Probe>(&readLog, [&](Probe& p, Event& e) {
    if (e.type != EventType::User) return;
    if (e.arg & kWatchRead) {
      char c;
      if (::read(data.fd[0], &c, 1) == 1) data.closeWriter();
    }
    if (e.arg & kWatchError) p.toolkit().unwatch(readWatch);
    maybeEnd(*tk);
  }));
  readWatch = tk->watch(data.fd[0], kWatchRead, reader, 700);
  data.put();

  // Write end: ready at once; switched off by mask after the first event.
  WatchId writeWatch = 0;
  WindowId writer = tk->create({}, std::make_unique<Probe>(&writeLog, [&](Probe& p, Event& e) {
    if (e.type != EventType::User) return;
    p.toolkit().setWatchMask(writeWatch, 0);
    maybeEnd(*tk);
  }));
  writeWatch = tk->watch(out.fd[1], kWatchWrite, writer, 701);

  // Never drained, ended by unwatch inside the first event.
  WatchId onceWatch = 0;
  WindowId onceWin = tk->create({}, std::make_unique<Probe>(&onceLog, [&](Probe& p, Event& e) {
    if (e.type != EventType::User) return;
    p.toolkit().unwatch(onceWatch);
    maybeEnd(*tk);
  }));
  onceWatch = tk->watch(once.fd[0], kWatchRead, onceWin, 702);
  once.put();

  // Readable, but its window is destroyed before the loop runs.
  WindowId goneWin = tk->create({}, std::make_unique<Probe>(&goneLog));
  tk->watch(gone.fd[0], kWatchRead, goneWin, 703);
  gone.put();
  tk->destroy(goneWin);

  EXPECT_EQ(tk->run(), 0);
  ASSERT_EQ(count(readLog, EventType::User, 700), 2);
  EXPECT_EQ(readLog[1].arg, kWatchRead);
  EXPECT_TRUE(readLog[2].arg & kWatchError);  // hang-up, nothing left to read
  EXPECT_FALSE(readLog[2].arg & kWatchWrite);
  ASSERT_EQ(count(writeLog, EventType::User, 701), 1);
  EXPECT_EQ(writeLog[1].arg, kWatchWrite);
  EXPECT_EQ(count(onceLog, EventType::User, 702), 1);
  EXPECT_EQ(count(goneLog, EventType::User), 0);
}

// The inner area of a status field in the status line's own picture.
QImage fieldPicture(QtToolkit& tk, int field) {
  QWidget* status = tk.statusLine();
  const int w = status->width();
  const QRect inner = field == 0 ? QRect(2, 4, w - 199, 14) : QRect(w - 183, 4, 131, 14);
  return status->grab().toImage().copy(inner);
}

TEST_F(QtToolkitTest, StatusFieldsKeepWindowsTextAndDrawIt) {
  std::vector<Seen> log;
  auto tk = make();
  WindowId frame = tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  tk->move(frame, Rect{0, 0, 450, 670});
  settle();
  ASSERT_NE(tk->statusLine(), nullptr);
  const QImage empty = fieldPicture(*tk, 0);

  const std::string text = "Gr\xE4\xDF" "e 5 \x80";
  tk->setStatusField(0, text);
  tk->setStatusField(1, "\xE4");
  tk->setStatusField(2, "12");
  tk->setStatusField(3, "nowhere");
  EXPECT_EQ(tk->statusField(0), text);
  EXPECT_EQ(tk->statusField(1), "\xE4");
  EXPECT_EQ(tk->statusField(2), "12");
  EXPECT_EQ(tk->statusField(3), "");

  // Different characters give different pictures: real glyphs, not the
  // boxes a missing font would draw for each of them alike.
  tk->setStatusField(0, "\x80");
  const QImage euro = fieldPicture(*tk, 0);
  tk->setStatusField(0, "\xE4");
  const QImage aUml = fieldPicture(*tk, 0);
  EXPECT_TRUE(euro != empty) << "nothing drawn for the euro sign";
  EXPECT_TRUE(aUml != empty) << "nothing drawn for a-umlaut";
  EXPECT_TRUE(euro != aUml) << "two characters look alike: is a font installed?";
  EXPECT_TRUE(fieldPicture(*tk, 1) != empty.copy(0, 0, 131, 14)) << "field 1 not drawn";

  // The gaps between the fields show the light grey of the line itself.
  const QImage line = tk->statusLine()->grab().toImage();
  const int w = line.width();
  EXPECT_EQ(line.pixelColor(w - 45, 11), QColor(192, 192, 192));
  EXPECT_EQ(line.pixelColor(w - 190, 11), QColor(192, 192, 192));
  EXPECT_NE(line.pixelColor(w - 40, 11), QColor(192, 192, 192));  // sunken edge

  // The whole frame is drawn: document area, status line, text.
  const QImage whole = tk->frameWindow()->grab().toImage();
  std::set<QRgb> colours;
  for (int y = 0; y < whole.height(); y += 2)
    for (int x = 0; x < whole.width(); x += 2) colours.insert(whole.pixel(x, y));
  EXPECT_GE(colours.size(), 3u);
}

TEST_F(QtToolkitTest, BackgroundPictureFillsTheDocumentArea) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath(QStringLiteral("back.png"));
  QImage red(8, 8, QImage::Format_RGB32);
  red.fill(QColor(255, 0, 0));
  ASSERT_TRUE(red.save(file));

  std::vector<Seen> log;
  auto tk = make();
  tk->setFrameBackground((dir.path() + QStringLiteral("/missing.png")).toStdString());
  tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  settle();
  QMdiArea* area = tk->documentArea();
  const QPoint mid(area->width() / 2, area->height() / 2);
  EXPECT_NE(area->grab().toImage().pixelColor(mid), QColor(255, 0, 0));
  tk->setFrameBackground(file.toStdString());
  EXPECT_EQ(area->grab().toImage().pixelColor(mid), QColor(255, 0, 0));
}

QDialog* openMessageDialog(int number) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QDialog*>(w);
        d && d->isVisible() && d->property("messageNumber").toInt() == number)
      return d;
  return nullptr;
}

QPushButton* buttonNamed(QDialog* d, const QString& text) {
  for (QPushButton* b : d->findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

TEST_F(QtToolkitTest, MessageDialogAnswersAfterItCloses) {
  std::vector<Seen> log;
  auto tk = make();
  tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  settle();

  enum class Act { No, Cancel, Yes, Enter, Escape, Close };
  const std::pair<Act, int> cases[] = {{Act::No, 0},    {Act::Cancel, 3}, {Act::Yes, 1},
                                       {Act::Enter, 1}, {Act::Escape, 1}, {Act::Close, 1}};
  for (const auto& [act, want] : cases) {
    SCOPED_TRACE(static_cast<int>(act));
    std::vector<int> answers;
    tk->messageDialog(1007, "Frage", {"Zeile \xE4", "zwei", "drei", "vier"},
                      DialogButtons{true, true, true},
                      [&answers](int a) { answers.push_back(a); });
    QDialog* d = openMessageDialog(1007);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(answers.empty());  // the call does not wait for the operator
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Frage"));
    const auto labels = d->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 4);  // every line of the text, none cut off
    EXPECT_EQ(labels[0]->text(), QString::fromUtf8("Zeile \u00E4"));
    EXPECT_EQ(d->findChildren<QPushButton*>().size(), 3);

    switch (act) {
      case Act::No: buttonNamed(d, QStringLiteral("No"))->click(); break;
      case Act::Cancel: buttonNamed(d, QStringLiteral("Cancel"))->click(); break;
      case Act::Yes: buttonNamed(d, QStringLiteral("Yes"))->click(); break;
      case Act::Enter:
      case Act::Escape: {
        QKeyEvent key(QEvent::KeyPress, act == Act::Enter ? Qt::Key_Return : Qt::Key_Escape,
                      Qt::NoModifier);
        QApplication::sendEvent(d, &key);
        break;
      }
      case Act::Close: d->close(); break;
    }
    ASSERT_TRUE(spinUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers, std::vector<int>{want});
    EXPECT_EQ(openMessageDialog(1007), nullptr);
  }

  // A question asked with No as its default: Enter keeps things as they are.
  {
    std::vector<int> answers;
    DialogButtons buttons{true, true, false};
    buttons.defaultNo = true;
    tk->messageDialog(8, "", {"Disconnect from N0ABC?"}, buttons, [&answers](int a) { answers.push_back(a); });
    QDialog* d = openMessageDialog(8);
    ASSERT_NE(d, nullptr);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(d, &key);
    ASSERT_TRUE(spinUntil([&] { return !answers.empty(); }));
    EXPECT_EQ(answers, std::vector<int>{0});
  }

  // Only the buttons asked for are there.
  std::vector<int> answers;
  tk->messageDialog(27, "", {"one"}, DialogButtons{false, true, false},
                    [&answers](int a) { answers.push_back(a); });
  QDialog* d = openMessageDialog(27);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->findChildren<QPushButton*>().size(), 1);
  EXPECT_NE(buttonNamed(d, QStringLiteral("No")), nullptr);
  d->findChildren<QPushButton*>().front()->click();
  ASSERT_TRUE(spinUntil([&] { return !answers.empty(); }));
  EXPECT_EQ(answers, std::vector<int>{0});
}

// Acts as the operator on the next modal dialog, from inside the dialog's
// own event loop.
struct ModalOperator {
  QTimer timer;
  explicit ModalOperator(std::function<void(QWidget*)> act) {
    QObject::connect(&timer, &QTimer::timeout, [this, act = std::move(act)] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        timer.stop();
        act(w);
        // Never leave a test hanging in a dialog that a failed check left open.
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
      }
    });
    timer.start(5);
  }
};

TEST_F(QtToolkitTest, ModalDialogsReturnWhatTheOperatorChose) {
  std::vector<Seen> log;
  auto tk = make();
  tk->create(spec(WindowKind::Frame), std::make_unique<Probe>(&log));
  settle();

  QString shown;
  {
    ModalOperator op([&shown](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      shown = box->text();
      box->accept();
    });
    tk->errorBox("Datei f\xFCr Port 1 fehlt");
  }
  EXPECT_EQ(shown, QString::fromUtf8("Datei f\u00FCr Port 1 fehlt"));

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.path().toStdString() + "/LOG.TXT";
  {
    ModalOperator op([](QWidget* w) {
      auto* fd = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(fd, nullptr);
      EXPECT_EQ(fd->acceptMode(), QFileDialog::AcceptSave);
      static_cast<QDialog*>(fd)->accept();  // takes the name it was opened with
    });
    EXPECT_EQ(tk->fileDialog(true, "Save", dir.path().toStdString(), "LOG.TXT"), path);
  }
  {
    ModalOperator op([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_EQ(tk->fileDialog(false, "Open", dir.path().toStdString(), ""), std::nullopt);
  }
}

TEST_F(QtToolkitTest, ClipboardCarriesWindowsText) {
  auto tk = make();
  tk->setClipboardText("5 \x80 f\xFCr");
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("5 \u20AC f\u00FCr"));
  QApplication::clipboard()->setText(QString::fromUtf8("\u00C4rger \u4E2D"));
  EXPECT_EQ(tk->clipboardText(), "\xC4rger ?");
}

}  // namespace
}  // namespace tarvik::ui
