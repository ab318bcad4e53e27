// The channel window's description on the Qt backend, with its text pane
// and an owner that treats keys the way the channel does: what the operator
// meets when typing, reading, resizing and scrolling back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "core/message_service.h"
#include "ui/fifo_text.h"
#include "ui/form.h"
#include "ui/toolkit/qt/qt_surface.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

constexpr int kChannelWindow = 1010;
constexpr int kToolbox = 1040;

struct Root : Window {
  void onEvent(Event&) override {}
};

// Symbolic ids handed out in the order names are asked for, as an owner's
// name table would.
struct AnyNames {
  std::shared_ptr<std::map<std::string, int, std::less<>>> ids =
      std::make_shared<std::map<std::string, int, std::less<>>>();
  bool operator()(std::string_view name, int& number) {
    auto it = ids->find(name);
    if (it == ids->end()) {
      if (ids->size() >= 50) return false;
      it = ids->emplace(std::string(name), static_cast<int>(ids->size())).first;
    }
    number = it->second;
    return true;
  }
};

// The channel's rule for keys: a character typed while another control or
// the receive pane has the focus is added to the input line, and the focus
// moves there.
class Terminal : public Form {
 public:
  using Form::Form;
  int input() const { return controlOf(inputId); }
  int inputId = -1;

 protected:
  bool ownerEvent(Event& e) override {
    if (e.type != EventType::Char) return Form::ownerEvent(e);
    const int key = e.id;
    if (e.arg == 0 && key >= 32 && key <= 122) {
      Toolkit& tk = toolkit();
      tk.setControlText(id(), input(), tk.controlText(id(), input()) + static_cast<char>(key));
      tk.setFocus(id(), input());
    }
    return true;
  }
};

void settle() {
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

class TerminalOnQt : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_ = fs::temp_directory_path() / ("tvk_terminal_" + std::to_string(::getpid()));
    fs::create_directories(tmp_);
    tk_ = std::make_unique<QtToolkit>(1, argv_, frameMode());
    WindowSpec f{WindowKind::Frame, "TASKWIN"};
    f.rect = Rect{0, 0, 860, 1100};
    task_ = tk_->create(f, std::make_unique<Root>());
    settings_.messageFile = std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG";
    messages_ = std::make_unique<core::MessageService>(*tk_, [this] { return settings_; });
    FormEnvironment env;
    env.setting = [this](int n) {
      if (n == 5) return tmp_.string() + "/";
      if (n == 6) return (fs::path(TARVIK_BINARY_DIR) / "station-cnf").string() + "/";
      if (n == kScrollbackSetting) return scrollback_;
      return std::string();
    };
    env.showMessage = [](WindowId, int, int, const std::string&, const std::string&) {};
    env.executeCommand = [](WindowId, const std::string&) {};
    env.showHelp = [](const std::string&, int) {};
    env.winMenu = [] { return std::vector<std::string>{}; };
    env.taskWindow = [this] { return task_; };
    runtime_ = std::make_unique<FormRuntime>(*tk_, env);
    runtime_->setPaneFactory(ControlType::TextControl, [this](Form& form, const ControlDescription& c) {
      return std::make_unique<FifoText>(*messages_, FifoOptionsFor(c, form.listFont()));
    });
  }
  void TearDown() override {
    runtime_.reset();
    tk_.reset();
    settle();
    fs::remove_all(tmp_);
  }
  virtual bool frameMode() const { return true; }

  WindowId open(int number, WindowId parent = kNoWindow, WindowKind kind = WindowKind::Document) {
    AnyNames names, states;
    FormRequest r;
    r.number = number;
    r.resolvers = Resolvers{names, states};
    r.parent = parent == kNoWindow ? task_ : parent;
    r.kind = kind;
    auto form = std::make_unique<Terminal>(*runtime_, std::move(r));
    int input = -1;
    if (names.ids->count("INPUT")) input = names.ids->at("INPUT");
    form->inputId = input;
    const WindowId w = runtime_->open(std::move(form));
    settle();
    return w;
  }
  Terminal& terminal(WindowId w) { return *tk_->findAs<Terminal>(w); }
  WindowId pane(WindowId w) { return terminal(w).GetCtlWindow(idOf(w, "LISTE")); }
  int idOf(WindowId w, const std::string& name) {
    for (const ControlDescription& c : terminal(w).description().controls)
      if (c.label == name) return c.id;
    return -1;
  }
  QLineEdit* inputLine(WindowId w) {
    return qobject_cast<QLineEdit*>(tk_->controlWidget(w, terminal(w).input()));
  }
  QWidget* paneSurface(WindowId w) { return tk_->contentWidget(pane(w)); }

  // A key as the window system delivers it: to the widget with the focus.
  void type(const QString& text) {
    for (QChar ch : text) {
      QWidget* target = QApplication::focusWidget();
      ASSERT_NE(target, nullptr);
      const int key = ch == ' ' ? int(Qt::Key_Space) : int(Qt::Key_A) + (ch.toUpper().unicode() - 'A');
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(target, &press);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(target, &release);
      settle();
    }
  }
  void key(int qtKey) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    settle();
  }
  void click(QWidget* w, QPoint at) {
    QMouseEvent down(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(w, &up);
    settle();
  }
  void activate(WindowId w) {
    QWidget* top = tk_->outerWidget(w)->window();
    top->activateWindow();
    tk_->raise(w);
    settle();
  }

  char arg0_[9] = "qt_tests";
  char* argv_[2] = {arg0_, nullptr};
  fs::path tmp_;
  std::string scrollback_;
  core::MessageSettings settings_;
  std::unique_ptr<QtToolkit> tk_;
  std::unique_ptr<core::MessageService> messages_;
  std::unique_ptr<FormRuntime> runtime_;
  WindowId task_ = kNoWindow;
};

// Typed text lands in order at the end of the input line wherever the focus
// was: the form's focus timer (form message 901) fires between the keys, as
// it does every 800 ms, and must not take the focus back.
TEST_F(TerminalOnQt, KeysTypedAnywhereInTheWindowLandInOrderInTheInputLine) {
  const WindowId w = open(kChannelWindow);
  activate(w);
  ASSERT_NE(inputLine(w), nullptr);
  struct Start {
    const char* name;
    std::function<void()> focus;
  };
  const Start starts[] = {
      {"fresh window", [] {}},
      {"after clicking the receive pane", [&] { click(paneSurface(w), QPoint(40, 20)); }},
      {"after Tab from the input line",
       [&] {
         tk_->setFocus(w, terminal(w).input());
         settle();
         key(Qt::Key_Tab);
       }},
  };
  for (const Start& s : starts) {
    SCOPED_TRACE(s.name);
    tk_->setControlText(w, terminal(w).input(), "");
    s.focus();
    ASSERT_NE(QApplication::focusWidget(), inputLine(w)) << "the start is elsewhere";
    for (QChar ch : QStringLiteral("typed without clicking")) {
      type(QString(ch));
      tk_->sendUser(w, kFormFocus);  // the focus timer
      settle();
    }
    EXPECT_EQ(tk_->controlText(w, terminal(w).input()), "typed without clicking");
    EXPECT_EQ(inputLine(w)->text(), QStringLiteral("typed without clicking"));
    EXPECT_EQ(inputLine(w)->cursorPosition(), 22);
  }
}

// Every pixel of "Q", "," and the descenders stays in its line's box: the
// pane shows exactly what the font draws, nothing cut at the bottom.
TEST_F(TerminalOnQt, LinesKeepTheirDescenders) {
  const WindowId w = open(kChannelWindow);
  FifoText* f = FindFifo(*tk_, pane(w));
  ASSERT_NE(f, nullptr);
  const QString text = QStringLiteral("CQ gjpqy,");
  for (int i = 0; i < 3; ++i) f->AppendLine(text.toStdString(), kBlack);
  settle();
  auto* surface = static_cast<qtdetail::Surface*>(paneSurface(w));
  const QImage& shown = surface->image();
  // The image may have more pixels than the window (a scale above 1).
  const qreal ratio = shown.devicePixelRatio();
  const auto px = [ratio](int v) { return qRound(v * ratio); };
  const int height = f->lineHeight();

  // The same text drawn on its own, nothing clipped.
  const QFont font = qtdetail::toQFont(f->font());
  const QFontMetrics fm(font, &shown);
  QImage alone = qtdetail::surfaceImage(QSize(fm.horizontalAdvance(text) + 4, 3 * height),
                                        shown.logicalDpiX(), shown.logicalDpiY(), ratio);
  alone.fill(Qt::white);
  {
    QPainter p(&alone);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(0, height), text);
  }
  int inkTop = alone.height(), inkBottom = -1;
  for (int y = 0; y < alone.height(); ++y)
    for (int x = 0; x < alone.width(); ++x)
      if (qGray(alone.pixel(x, y)) < 200) {
        inkTop = std::min(inkTop, y);
        inkBottom = std::max(inkBottom, y);
      }
  ASSERT_GE(inkBottom, 0) << "no glyph rendered: fonts missing?";
  const int above = px(height) - inkTop;      // pixel rows above the baseline
  const int below = inkBottom - px(height) + 1;  // pixel rows of descenders
  EXPECT_GT(below, 1) << "g, j, p, q, y have tails";
  EXPECT_LE(above + below, px(height)) << "the line box holds the glyphs";

  // Each row of the pane carries every row of ink the text has, inside
  // its box: from as high above its baseline to as low below it.
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    const int top = f->headerHeight() + row * height;
    const int baseline = px(top + fm.ascent());
    int first = -1, last = -1;
    for (int y = px(top); y < px(top + height); ++y)
      for (int x = px(1); x < alone.width() && x < shown.width() - px(1); ++x)
        if (qGray(shown.pixel(x, y)) < 200) {
          if (first < 0) first = y;
          last = y;
        }
    EXPECT_EQ(baseline - first, above);
    EXPECT_EQ(last - baseline + 1, below) << "descenders cut off";
  }
  // Below the last line nothing was drawn.
  const int end = px(f->headerHeight() + 3 * height);
  for (int y = end; y < end + px(4); ++y)
    for (int x = px(1); x < alone.width(); ++x) EXPECT_GE(qGray(shown.pixel(x, y)), 200) << y;
}

// The pane and the input line follow the window's size; a window never
// gets so small that its fixed controls are cut, and a new window too big
// for the frame is made to fit it.
TEST_F(TerminalOnQt, ResizingMovesThePaneAndTheInputLineWithTheWindow) {
  const WindowId w = open(kChannelWindow);
  FifoText* f = FindFifo(*tk_, pane(w));
  const auto paneBox = [&] { return tk_->outerWidget(pane(w))->geometry(); };
  const auto client = [&] { return tk_->contentWidget(w)->size(); };
  struct Size {
    int width, height;
  };
  for (const Size& size : {Size{900, 700}, Size{760, 520}, Size{1000, 760}}) {
    SCOPED_TRACE(size.width);
    const Rect at = tk_->outerRect(w);
    tk_->move(w, Rect{at.top, at.left, at.top + size.height, at.left + size.width});
    settle();
    ASSERT_EQ(client(), QSize(size.width, size.height));
    // "POS=8,148,-8,-8": 8 pixels from the right and bottom edges.
    EXPECT_EQ(paneBox().right() + 1, size.width - 8);
    EXPECT_EQ(paneBox().bottom() + 1, size.height - 8);
    EXPECT_EQ(f->lines().rows(), (paneBox().height() - 2) / f->lineHeight());
    // The input line reaches as far right as the pane.
    EXPECT_EQ(inputLine(w)->geometry().right(), paneBox().right());
  }

  // Shrinking stops where the fixed controls would be cut.
  tk_->outerWidget(w)->resize(100, 100);
  settle();
  int right = 0, bottom = 0;
  for (QWidget* c : tk_->contentWidget(w)->findChildren<QPushButton*>()) {
    right = std::max(right, c->geometry().right());
    bottom = std::max(bottom, c->geometry().bottom());
  }
  EXPECT_GT(client().width(), right);
  EXPECT_GT(client().height(), bottom);
  EXPECT_GE(f->lines().rows(), 1);
}

TEST_F(TerminalOnQt, ANewWindowFitsIntoTheFrame) {
  tk_->move(task_, Rect{0, 0, 430, 670});  // the frame of a first start
  settle();
  const WindowId w = open(kChannelWindow);
  auto* sub = qobject_cast<QMdiSubWindow*>(tk_->outerWidget(w));
  ASSERT_NE(sub, nullptr);
  const QRect area(QPoint(0, 0), tk_->documentArea()->viewport()->size());
  EXPECT_TRUE(area.contains(sub->geometry())) << "Close must be on the screen";
  EXPECT_GE(tk_->clientRect(w).width(), tk_->contentWidget(w)->minimumWidth());
}

// The frame's menu bar is there before any window brings menus, so the
// windows below it never move when one does (a click would miss).
TEST_F(TerminalOnQt, TheFrameKeepsItsMenuBarsPlace) {
  QWidget* area = tk_->documentArea();
  const QPoint before = area->mapTo(tk_->frameWindow(), QPoint(0, 0));
  const WindowId toolbox = open(kToolbox);
  activate(toolbox);
  EXPECT_FALSE(tk_->frameWindow()->menuBar()->actions().isEmpty()) << "the toolbox's menus are shown";
  EXPECT_EQ(area->mapTo(tk_->frameWindow(), QPoint(0, 0)), before);
}

// The wheel and the paging keys scroll back; the scroll bar spans the lines
// held; new lines leave a scrolled-back view where it is and show a mark
// until the operator is back at the newest line.
TEST_F(TerminalOnQt, WheelAndPagingScrollTheReceivedText) {
  const WindowId w = open(kChannelWindow);
  activate(w);
  FifoText* f = FindFifo(*tk_, pane(w));
  for (int n = 1; n <= 300; ++n) f->AppendLine("line " + std::to_string(n), kBlack);
  settle();
  const FifoLines& lines = f->lines();
  EXPECT_EQ(lines.count(), 300) << "a station keeps more than 199 lines by default";
  auto* bar = qobject_cast<QScrollBar*>(tk_->controlWidget(pane(w), kWindowVScroll));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 300 - lines.rows());
  EXPECT_EQ(bar->value(), bar->maximum()) << "the thumb is at the bottom at the newest line";
  EXPECT_EQ(bar->pageStep(), lines.rows());

  const int top = lines.ScrollPos();
  QWidget* surface = paneSurface(w);
  QWheelEvent notch(QPointF(30, 30), surface->mapToGlobal(QPointF(30, 30)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(surface, &notch);
  settle();
  EXPECT_EQ(lines.ScrollPos(), top - 3);
  EXPECT_EQ(bar->value(), top - 3);

  // Page up from the input line pages the received text.
  tk_->setFocus(w, terminal(w).input());
  settle();
  key(Qt::Key_PageUp);
  EXPECT_EQ(lines.ScrollPos(), top - 3 - lines.rows());
  EXPECT_EQ(QApplication::focusWidget(), inputLine(w)) << "the focus stays in the input line";

  // Scrolled back: the view stays, a mark tells of the new line.
  const int back = lines.ScrollPos();
  f->AppendLine("news", kBlack);
  settle();
  EXPECT_EQ(lines.ScrollPos(), back);
  EXPECT_EQ(lines.unseen(), 1);
  auto* image = &static_cast<qtdetail::Surface*>(surface)->image();
  const auto blueAtTheLastRow = [&] {
    const qreal ratio = image->devicePixelRatio();
    const int last = f->headerHeight() + (lines.rows() - 1) * f->lineHeight();
    for (int y = qRound(last * ratio); y < qRound((last + f->lineHeight()) * ratio); ++y)
      for (int x = image->width() / 2; x < image->width(); ++x)
        if (image->pixelColor(x, y) == QColor(0, 0, 255)) return true;
    return false;
  };
  EXPECT_TRUE(blueAtTheLastRow());
  key(Qt::Key_PageDown);
  tk_->operatorScroll(pane(w), kWindowVScroll, kNotifyThumb, bar->maximum());
  settle();
  EXPECT_EQ(lines.unseen(), 0);
  EXPECT_FALSE(blueAtTheLastRow());
}

// Lines arriving one per pass of the event loop are painted at most every
// few milliseconds; once they stop, the pane shows exactly what painting it
// whole shows: nothing stale, nothing lost between two paints.
TEST_F(TerminalOnQt, AStreamOfLinesEndsWithTheWholePicture) {
  const WindowId w = open(kChannelWindow);
  FifoText* f = FindFifo(*tk_, pane(w));
  auto* surface = static_cast<qtdetail::Surface*>(paneSurface(w));
  for (int n = 1; n <= 400; ++n) {
    f->AppendLine("stream line " + std::to_string(n) + (n % 7 == 0 ? " gjpqy, with more text" : ""),
                  n % 3 == 0 ? kBlue : kBlack);
    QCoreApplication::processEvents();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (surface->changesPending() && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  settle();
  ASSERT_FALSE(surface->changesPending());
  const QImage streamed = surface->image().copy();
  surface->canvas().invalidate();
  settle();
  EXPECT_TRUE(streamed == surface->image()) << "the pane painted whole looks different";

  // Changes drawn twice before the window system's paint: the rows the
  // first scroll uncovered move with the second one and are drawn too.
  for (int n = 1; n <= 3; ++n) {
    f->AppendLine("between paints " + std::to_string(n), kBlack);
    Event changes(EventType::Update, kUpdateChanges, 0);
    tk_->send(pane(w), changes);
  }
  settle();
  const QImage twice = surface->image().copy();
  surface->canvas().invalidate();
  settle();
  EXPECT_TRUE(twice == surface->image()) << "rows scrolled before their paint stay stale";

  // The window system paints the uncovered rows while newer lines wait to
  // be drawn: those scroll the rows first, and the rows are drawn where
  // they went.
  for (int n = 1; n <= 3; ++n) {
    f->AppendLine("before the paint " + std::to_string(n), kBlue);
    Event changes(EventType::Update, kUpdateChanges, 0);
    tk_->send(pane(w), changes);
    f->AppendLine("during the paint " + std::to_string(n), kBlack);
    surface->repaint();
  }
  settle();
  const QImage painted = surface->image().copy();
  surface->canvas().invalidate();
  settle();
  EXPECT_TRUE(painted == surface->image()) << "rows painted at their place before the scroll";
}

TEST_F(TerminalOnQt, TheScrollbackSettingSizesTheRing) {
  scrollback_ = "200";  // the classic ring
  const WindowId w = open(kChannelWindow);
  FifoText* f = FindFifo(*tk_, pane(w));
  for (int n = 1; n <= 250; ++n) f->AppendLine("line " + std::to_string(n), kBlack);
  EXPECT_EQ(f->lines().count(), 199);
  EXPECT_EQ(f->lines().slot(f->lines().oldest()).text, "line 52");
}

// Without the frame every window is a window of its own.
class TerminalWithoutFrame : public TerminalOnQt {
 protected:
  bool frameMode() const override { return false; }
};

// A modal dialog of a window stays usable while that window waits for it,
// and a window with a menu bar shows all of its described client area, its
// title bar on the screen.
TEST_F(TerminalWithoutFrame, DialogsStayUsableAndWindowsShowWholly) {
  const WindowId toolbox = open(kToolbox);
  QWidget* top = tk_->outerWidget(toolbox);
  ASSERT_TRUE(top->isWindow());
  EXPECT_GE(tk_->contentWidget(toolbox)->height(), 74) << "both rows of buttons";
  EXPECT_EQ(tk_->clientRect(toolbox).height(), tk_->contentWidget(toolbox)->height());
  EXPECT_GE(top->frameGeometry().top(), 0);
  const Rect placed = tk_->outerRect(toolbox);
  tk_->move(toolbox, placed);
  settle();
  EXPECT_EQ(tk_->outerRect(toolbox), placed) << "placing a window where it is moves nothing";

  const WindowId channel = open(kChannelWindow, toolbox);
  runtime_->setActiveForm(channel);
  const WindowId dialog = open(1030, channel, WindowKind::Dialog);  // the connect dialog, MODAL
  EXPECT_FALSE(tk_->outerWidget(channel)->isEnabled());
  QWidget* d = tk_->outerWidget(dialog);
  EXPECT_TRUE(d->isEnabled());
  for (QWidget* c : tk_->contentWidget(dialog)->findChildren<QWidget*>())
    if (!c->testAttribute(Qt::WA_ForceDisabled)) {
      EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    }
  EXPECT_FALSE(d->windowFlags() & Qt::WindowMinMaxButtonsHint);
}

}  // namespace
}  // namespace tarvik::ui
