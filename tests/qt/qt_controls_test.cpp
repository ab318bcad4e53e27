// Controls, menus, drawing surfaces and the UI driver on the Qt backend.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include "ui/toolkit/qt/qt_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::ui {
namespace {

struct Seen {
  EventType type;
  int id;
  std::intptr_t arg;
};

struct Probe : Window {
  std::vector<Seen>* log;
  std::function<void(Probe&, Event&)> react;
  explicit Probe(std::vector<Seen>* l, std::function<void(Probe&, Event&)> r = {})
      : log(l), react(std::move(r)) {}
  void onEvent(Event& e) override {
    log->push_back({e.type, e.id, e.arg});
    if (react) react(*this, e);
  }
};

std::vector<Seen> only(const std::vector<Seen>& log, EventType t) {
  std::vector<Seen> out;
  for (const Seen& s : log)
    if (s.type == t) out.push_back(s);
  return out;
}

void settle() {
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// "Grüße €" in Windows-1252 and as Qt shows it.
const std::string kGreeting = "Gr\xfc\xdf" "e \x80";
const QString kGreetingQ = QString::fromUtf8("Grüße €");

struct QtControlsTest : ::testing::Test {
  char arg0[9] = "qt_tests";
  char* argv[2] = {arg0, nullptr};
  std::vector<Seen> log, paneLog;  // outlive the toolkit
  std::unique_ptr<QtToolkit> tk;
  WindowId form = kNoWindow;

  void open(bool frameMode) {
    tk = std::make_unique<QtToolkit>(1, argv, frameMode);
    WindowId parent = kNoWindow;
    if (frameMode) {
      WindowSpec f;
      f.kind = WindowKind::Frame;
      parent = tk->create(f, std::make_unique<Probe>(&log));
    }
    WindowSpec s;
    s.kind = WindowKind::Document;
    s.name = "STATION";
    s.number = 1010;
    s.parent = parent;
    s.rect = Rect{40, 40, 340, 480};
    form = tk->create(s, std::make_unique<Probe>(&log));
    settle();
  }
  void TearDown() override {
    tk.reset();
    settle();
  }
  QWidget* add(ControlKind kind, int id, const std::string& name, const std::string& text,
               unsigned flags = 0, Rect r = Rect{10, 10, 34, 150}) {
    ControlSpec c;
    c.kind = kind;
    c.id = id;
    c.name = name;
    c.text = text;
    c.flags = flags;
    c.rect = r;
    EXPECT_TRUE(tk->createControl(form, c));
    return tk->controlWidget(form, id);
  }
};

TEST_F(QtControlsTest, EveryControlKindIsARealWidgetShowingTheModel) {
  open(false);
  struct Case {
    ControlKind kind;
    const char* className;
  };
  const Case cases[] = {
      {ControlKind::PushButton, "QPushButton"},   {ControlKind::CheckBox, "QCheckBox"},
      {ControlKind::RadioButton, "QRadioButton"}, {ControlKind::Edit, "QLineEdit"},
      {ControlKind::MultiLineEdit, "QPlainTextEdit"}, {ControlKind::StaticText, "QLabel"},
      {ControlKind::GroupBox, "QGroupBox"},       {ControlKind::ListBox, "QListWidget"},
      {ControlKind::ComboBox, "QComboBox"},       {ControlKind::HScrollBar, "QScrollBar"},
      {ControlKind::VScrollBar, "QScrollBar"},    {ControlKind::Icon, "QLabel"},
  };
  int id = 105;
  for (const Case& c : cases) {
    QWidget* w = add(c.kind, id, "C" + std::to_string(id), kGreeting);
    ASSERT_NE(w, nullptr) << c.className;
    EXPECT_STREQ(w->metaObject()->className(), c.className);
    EXPECT_EQ(w->parentWidget(), tk->contentWidget(form));
    EXPECT_EQ(w->objectName().toStdString(), "C" + std::to_string(id));
    id += 5;
  }
  // Texts cross in Windows-1252 both ways.
  EXPECT_EQ(static_cast<QPushButton*>(tk->controlWidget(form, 105))->text(), kGreetingQ);
  EXPECT_EQ(static_cast<QLineEdit*>(tk->controlWidget(form, 120))->text(), kGreetingQ);
  EXPECT_EQ(static_cast<QPlainTextEdit*>(tk->controlWidget(form, 125))->toPlainText(), kGreetingQ);
  EXPECT_EQ(static_cast<QLabel*>(tk->controlWidget(form, 130))->text(), kGreetingQ);
  EXPECT_EQ(static_cast<QGroupBox*>(tk->controlWidget(form, 135))->title(), kGreetingQ);
  tk->setControlText(form, 130, "&Rufzeichen && \xe4");  // a fixed text drops the marker
  EXPECT_EQ(static_cast<QLabel*>(tk->controlWidget(form, 130))->text(), QString::fromUtf8("Rufzeichen & ä"));

  // Lists: filled between suspend and resume, selection mirrored.
  auto* list = static_cast<QListWidget*>(tk->controlWidget(form, 140));
  tk->listSuspend(form, 140);
  tk->listAdd(form, 140, kGreeting);
  tk->listAdd(form, 140, "DB0ABC");
  EXPECT_EQ(list->count(), 0);  // not yet
  tk->listResume(form, 140);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), kGreetingQ);
  tk->listSetSel(form, 140, 1);
  EXPECT_TRUE(list->item(1)->isSelected());
  auto* combo = static_cast<QComboBox*>(tk->controlWidget(form, 145));
  tk->listAdd(form, 145, "1200");
  tk->listAdd(form, 145, "9600");
  tk->setControlText(form, 145, "9600");
  EXPECT_EQ(combo->currentIndex(), 1);
  auto* bar = static_cast<QScrollBar*>(tk->controlWidget(form, 150));
  tk->setScrollRange(form, 150, 0, 200);
  tk->setScrollProportion(form, 150, 40);
  tk->setScrollPos(form, 150, 120);
  EXPECT_EQ(bar->maximum(), 200);
  EXPECT_EQ(bar->pageStep(), 40);
  EXPECT_EQ(bar->value(), 120);

  // State changes.
  tk->setControlEnabled(form, 105, false);
  EXPECT_FALSE(tk->controlWidget(form, 105)->isEnabled());
  tk->setControlVisible(form, 110, false);
  EXPECT_TRUE(tk->controlWidget(form, 110)->isHidden());
  tk->setChecked(form, 115, true);
  EXPECT_TRUE(static_cast<QRadioButton*>(tk->controlWidget(form, 115))->isChecked());
  tk->moveControl(form, 120, Rect{50, 60, 70, 160});
  EXPECT_EQ(tk->controlWidget(form, 120)->geometry(), QRect(60, 50, 100, 20));
  tk->setControlFont(form, 120, FontSpec{"courier", kFontBold, 14});
  EXPECT_TRUE(tk->controlWidget(form, 120)->font().bold());
  EXPECT_EQ(tk->controlWidget(form, 120)->font().pointSize(), 14);
  tk->destroyControl(form, 120);
  EXPECT_EQ(tk->controlWidget(form, 120), nullptr);
}

TEST_F(QtControlsTest, WhatTheOperatorDoesToWidgetsReachesModelAndWindow) {
  open(true);
  auto* button = static_cast<QPushButton*>(add(ControlKind::PushButton, 105, "OK", "OK"));
  auto* check = static_cast<QCheckBox*>(add(ControlKind::CheckBox, 110, "AUTO", "Auto"));
  auto* edit = static_cast<QLineEdit*>(add(ControlKind::Edit, 115, "CALL", "", kCtlUpperCase));
  auto* list = static_cast<QListWidget*>(add(ControlKind::ListBox, 120, "LISTE", ""));
  tk->listAdd(form, 120, "A");
  tk->listAdd(form, 120, "B");
  log.clear();

  button->click();
  check->click();
  EXPECT_TRUE(tk->checked(form, 110));
  // Typing "ä" and "b" into the field: the model holds Windows-1252
  // capitals and the field shows them.
  for (const QString& t : {QString::fromUtf8("ä"), QStringLiteral("b")}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, t);
    QApplication::sendEvent(edit, &press);
  }
  EXPECT_EQ(tk->controlText(form, 115), "\xc4" "B");
  EXPECT_EQ(edit->text(), QString::fromUtf8("ÄB"));
  list->item(1)->setSelected(true);  // as a click does
  EXPECT_EQ(tk->listSelIndex(form, 120), 1);
  emit list->itemDoubleClicked(list->item(1));

  // Keys that belong to the form are taken from the widget.
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(edit, &tab);
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(edit, &esc);
  // A one-line field passes the vertical keys on (input line history).
  QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
  QApplication::sendEvent(edit, &up);

  std::vector<std::pair<int, std::intptr_t>> got;
  for (const Seen& s : only(log, EventType::Control)) got.emplace_back(s.id, s.arg);
  const std::vector<std::pair<int, std::intptr_t>> want = {
      {105, kNotifyClicked},     {110, kNotifyClicked},    {115, kNotifyTextChanged},
      {115, kNotifyTextChanged}, {120, kNotifySelChanged}, {120, kNotifyDoubleClick}};
  EXPECT_EQ(got, want);
  auto keys = only(log, EventType::Char);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].id, kKeyTab);
  EXPECT_EQ(keys[1].id, kKeyEscape);
  EXPECT_EQ(keys[2].id, kKeyUp);

  // A refused click leaves the widget as the model says.
  tk->setControlEnabled(form, 110, false);
  check->setEnabled(true);  // pretend the widget was reachable
  check->click();
  EXPECT_TRUE(tk->checked(form, 110));
  EXPECT_TRUE(check->isChecked());
}

TEST_F(QtControlsTest, MenuCommandsAreDeliveredFromTheWindowsMenuBarAndTheFrames) {
  for (bool frameMode : {false, true}) {
    SCOPED_TRACE(frameMode ? "frame mode" : "separate windows");
    open(frameMode);
    std::vector<MenuItem> bar(1);
    bar[0].text = "&Datei";
    bar[0].children = {MenuItem{7, "&Neu"}, MenuItem{0, "", true}, MenuItem{8, "&Ende"}};
    tk->setMenuBar(form, bar);
    tk->raise(form);
    settle();
    QMenuBar* mb = tk->menuBarWidget(form);
    ASSERT_NE(mb, nullptr);
    if (frameMode) {
      EXPECT_EQ(mb, tk->frameWindow()->menuBar());
    }
    ASSERT_EQ(mb->actions().size(), 1);
    QMenu* menu = mb->actions()[0]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("&Datei"));
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    log.clear();
    menu->actions()[2]->trigger();
    tk->setMenuItemEnabled(form, 7, false);
    EXPECT_FALSE(menu->actions()[0]->isEnabled());  // updated in place
    auto cmds = only(log, EventType::Command);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].id, 8);
    tk.reset();
    settle();
  }
}

// A pane that paints its rows: black text on white, each row's number.
struct Rows : Window {
  std::vector<Seen>* log;
  explicit Rows(std::vector<Seen>* l) : log(l) {}
  void onEvent(Event& e) override {
    log->push_back({e.type, e.id, e.arg});
    if (e.type != EventType::Update) return;
    // Only what was asked for: a scroll must not be hidden by a full repaint.
    const Rect r = e.as<RectRecord>()->rect;
    Canvas* c = toolkit().canvas(id());
    DrawTools t;
    t.penHollow = true;
    c->setTools(t);
    c->drawRect(r);
    c->setFont(FontSpec{"courier", 0, 10});
    const int lh = c->metrics().lineHeight();
    for (int row = 0; (row + 1) * lh <= c->height(); ++row)
      if ((row + 1) * lh > r.top && row * lh < r.bottom)
        c->drawText(2, (row + 1) * lh - c->metrics().descent, "MMMMMMMMMMMM " + std::to_string(row));
  }
};

int darkPixels(const QImage& img, const QRect& r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(img.pixel(x, y)) < 100) ++n;
  return n;
}

TEST_F(QtControlsTest, ProgramDrawnPanePaintsScrollsAndIsSavedAsAPicture) {
  open(false);
  WindowSpec s;
  s.kind = WindowKind::Child;
  s.parent = form;
  s.name = "FIFO";
  s.vScroll = true;
  s.rect = Rect{10, 10, 210, 310};
  const WindowId pane = tk->create(s, std::make_unique<Rows>(&paneLog));
  ASSERT_NE(tk->canvas(pane), nullptr);
  EXPECT_NE(tk->controlWidget(pane, kWindowVScroll), nullptr);
  QWidget* surface = tk->contentWidget(pane);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->parentWidget()->parentWidget(), tk->contentWidget(form));

  // The first picture: the pane is asked to paint and its text shows (a
  // glyph renders, so fonts are there).
  const QImage first = surface->grab().toImage();
  EXPECT_FALSE(only(paneLog, EventType::Update).empty());
  const int lh = tk->canvas(pane)->metrics().lineHeight();
  ASSERT_GT(lh, 0);
  EXPECT_GT(darkPixels(first, QRect(2, 0, 60, lh)), 10);

  // Scrolling up one row moves the pixels: row 1 is where row 0 was.
  const QImage row1 = first.copy(QRect(0, lh, 150, lh));
  paneLog.clear();
  Canvas* c = tk->canvas(pane);
  c->scrollRect(Rect{0, 0, c->height(), c->width()}, 0, -lh);
  // The uncovered strip at the bottom is asked for.
  const QImage moved = surface->grab().toImage();
  EXPECT_EQ(moved.copy(QRect(0, 0, 150, lh)).convertToFormat(QImage::Format_RGB32),
            row1.convertToFormat(QImage::Format_RGB32));
  ASSERT_EQ(only(paneLog, EventType::Update).size(), 1u);

  // The driver saves a picture of the form with its pane.
  QTemporaryDir dir;
  const std::string path = dir.filePath("form.png").toStdString();
  UiDriver d(*tk);
  EXPECT_EQ(d.execute("png STATION " + path), std::vector<std::string>{"OK"});
  QImage saved(QString::fromStdString(path));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), tk->contentWidget(form)->size() * saved.devicePixelRatio());
  EXPECT_GT(darkPixels(saved, saved.rect()), 50);
}

TEST_F(QtControlsTest, PaneGetsMouseKeysAndScrollActions) {
  open(false);
  WindowSpec s;
  s.kind = WindowKind::Child;
  s.parent = form;
  s.name = "LISTE";
  s.vScroll = true;
  s.rect = Rect{10, 10, 110, 210};
  const WindowId pane = tk->create(s, std::make_unique<Probe>(&paneLog));
  tk->setScrollRange(pane, kWindowVScroll, 0, 250);
  tk->setScrollPos(pane, kWindowVScroll, 10);
  QWidget* surface = tk->contentWidget(pane);
  QMouseEvent down(QEvent::MouseButtonPress, QPointF(12, 30), QPointF(12, 30), Qt::LeftButton,
                   Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(surface, &down);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(surface, &key);
  auto* bar = static_cast<QScrollBar*>(tk->controlWidget(pane, kWindowVScroll));
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(bar->value(), 10);  // the program moves the thumb, not the bar
  auto mouse = only(paneLog, EventType::Mouse);
  ASSERT_EQ(mouse.size(), 1u);
  EXPECT_EQ(mouse[0].id, static_cast<int>(MouseAction::Down));
  EXPECT_EQ(mouse[0].arg, kModShift);
  auto keys = only(paneLog, EventType::Char);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].id, kKeyPageDown);
  auto ctl = only(paneLog, EventType::Control);
  ASSERT_EQ(ctl.size(), 1u);
  EXPECT_EQ(ctl[0].id, kWindowVScroll);
  EXPECT_EQ(ctl[0].arg, kNotifyLineDown);
}

TEST_F(QtControlsTest, QueuedAnswersAndOpenDialogsServeTheDriver) {
  open(true);
  std::vector<int> answers;
  tk->queueDialogAnswer(0);
  tk->messageDialog(1026, "", {"eins"}, DialogButtons{true, true}, [&](int a) { answers.push_back(a); });
  tk->messageDialog(1027, "T", {"zwei"}, DialogButtons{}, [&](int a) { answers.push_back(a); });
  settle();
  ASSERT_EQ(tk->openMessageDialogs().size(), 1u);
  EXPECT_EQ(tk->openMessageDialogs()[0].number, 1027);
  EXPECT_TRUE(tk->answerDialog(3));
  settle();
  EXPECT_TRUE(tk->openMessageDialogs().empty());
  EXPECT_EQ(answers, (std::vector<int>{0, 3}));
  tk->queueFileDialogAnswer(std::string("/tmp/a b"));
  EXPECT_EQ(tk->fileDialog(true, "", "", ""), "/tmp/a b");
}

}  // namespace
}  // namespace tarvik::ui
