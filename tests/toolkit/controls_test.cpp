// The control, menu, font and drawing model of the toolkit layer, on the
// headless backend.
#include <gtest/gtest.h>

#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ui {
namespace {

struct Seen {
  EventType type;
  int id;
  std::intptr_t arg;
  std::optional<Rect> rect;
  std::optional<Point> point;
};

struct Probe : Window {
  std::vector<Seen>* log;
  std::function<void(Probe&, Event&)> react;
  explicit Probe(std::vector<Seen>* l, std::function<void(Probe&, Event&)> r = {})
      : log(l), react(std::move(r)) {}
  void onEvent(Event& e) override {
    Seen s{e.type, e.id, e.arg, {}, {}};
    if (auto* r = e.as<RectRecord>()) s.rect = r->rect;
    if (auto* m = e.as<MouseRecord>()) s.point = m->where;
    log->push_back(s);
    if (react) react(*this, e);
  }
};

std::vector<Seen> only(const std::vector<Seen>& log, EventType t) {
  std::vector<Seen> out;
  for (const Seen& s : log)
    if (s.type == t) out.push_back(s);
  return out;
}

struct ControlsTest : ::testing::Test {
  std::vector<Seen> log, paneLog;  // outlive the toolkit, which destroys its windows
  HeadlessToolkit tk{HeadlessToolkit::Mode::Manual};
  WindowId form = kNoWindow;

  void SetUp() override {
    WindowSpec s;
    s.kind = WindowKind::Document;
    s.name = "STATION";
    s.number = 1010;
    s.rect = Rect{0, 0, 200, 300};
    form = tk.create(s, std::make_unique<Probe>(&log));
    tk.flushUpdates();
    log.clear();
  }
  int add(ControlKind kind, int id, std::string name, std::string text = {}, unsigned flags = 0,
          int group = 0, int maxLength = 0) {
    ControlSpec c;
    c.kind = kind;
    c.id = id;
    c.name = std::move(name);
    c.text = std::move(text);
    c.flags = flags;
    c.group = group;
    c.maxLength = maxLength;
    c.rect = Rect{10, 10, 30, 100};
    EXPECT_TRUE(tk.createControl(form, c));
    return id;
  }
  std::vector<Seen> controlEvents() { return only(log, EventType::Control); }
};

TEST_F(ControlsTest, ControlsAreCreatedOnlyWhereTheyCanLiveAndIdsAreUnique) {
  add(ControlKind::PushButton, 105, "OK", "&OK");
  ControlSpec dup;
  dup.id = 105;
  EXPECT_FALSE(tk.createControl(form, dup));
  dup.id = 0;
  EXPECT_FALSE(tk.createControl(form, dup));
  const WindowId port = tk.create(WindowSpec{}, std::make_unique<Probe>(&log));
  dup.id = 110;
  EXPECT_FALSE(tk.createControl(port, dup));
  EXPECT_EQ(tk.controlByName(form, "ok"), 105);  // case does not matter when unique
  EXPECT_EQ(tk.controlByName(form, "CANCEL"), std::nullopt);
  tk.destroyControl(form, 105);
  EXPECT_EQ(tk.control(form, 105), nullptr);
  EXPECT_TRUE(tk.controlIds(form).empty());
}

TEST_F(ControlsTest, ProgramChangesAreSilentOperatorChangesReport) {
  add(ControlKind::Edit, 105, "CALL", "", kCtlUpperCase, 0, 6);
  add(ControlKind::CheckBox, 110, "AUTO");
  tk.setControlText(form, 105, "dl1abc");
  tk.setChecked(form, 110, true);
  EXPECT_EQ(tk.controlText(form, 105), "DL1ABC");  // capitals field, even when set
  EXPECT_TRUE(tk.checked(form, 110));
  EXPECT_TRUE(controlEvents().empty());

  // Typing: capitals, cut to the maximum length, one notification.
  EXPECT_TRUE(tk.operatorSetText(form, 105, "db0xyz-15\xe4"));
  EXPECT_EQ(tk.controlText(form, 105), "DB0XYZ");
  EXPECT_TRUE(tk.operatorClick(form, 110));
  EXPECT_FALSE(tk.checked(form, 110));
  auto ev = controlEvents();
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].id, 105);
  EXPECT_EQ(ev[0].arg, kNotifyTextChanged);
  EXPECT_EQ(ev[1].id, 110);
  EXPECT_EQ(ev[1].arg, kNotifyClicked);

  // Windows-1252 letters become capitals too: ä -> Ä, š -> Š, ÿ -> Ÿ.
  EXPECT_TRUE(tk.operatorSetText(form, 105, "\xe4\x9a\xff"));
  EXPECT_EQ(tk.controlText(form, 105), "\xc4\x8a\x9f");

  // A disabled or invisible control refuses the operator and says nothing.
  log.clear();
  tk.setControlEnabled(form, 110, false);
  EXPECT_FALSE(tk.operatorClick(form, 110));
  tk.setControlEnabled(form, 110, true);
  tk.setControlVisible(form, 105, false);
  EXPECT_FALSE(tk.operatorSetText(form, 105, "X"));
  EXPECT_TRUE(controlEvents().empty());
}

TEST_F(ControlsTest, RadioButtonsAreExclusiveWithinTheirGroupOnly) {
  add(ControlKind::RadioButton, 105, "A1", "", kCtlChecked, 1);
  add(ControlKind::RadioButton, 110, "A2", "", 0, 1);
  add(ControlKind::RadioButton, 115, "B1", "", kCtlChecked, 2);
  add(ControlKind::RadioButton, 120, "B2", "", 0, 2);
  EXPECT_TRUE(tk.operatorClick(form, 110));
  EXPECT_FALSE(tk.checked(form, 105));
  EXPECT_TRUE(tk.checked(form, 110));
  EXPECT_TRUE(tk.checked(form, 115));  // the other group keeps its choice
  tk.checkRadio(form, 120);
  EXPECT_FALSE(tk.checked(form, 115));
  EXPECT_TRUE(tk.checked(form, 120));
  tk.setChecked(form, 105, true);  // through setChecked as well
  EXPECT_FALSE(tk.checked(form, 110));
}

TEST_F(ControlsTest, ListsFillSelectAndReport) {
  add(ControlKind::ListBox, 105, "LISTE");
  add(ControlKind::ListBox, 110, "MULTI", "", kCtlMultiSelect);
  add(ControlKind::ComboBox, 115, "BAUD");
  for (int c : {105, 110, 115}) {
    tk.listSuspend(form, c);
    for (const char* t : {"1200", "9600", "19200"}) tk.listAdd(form, c, t);
    tk.listAdd(form, c, "300", 0);  // inserted at the front
    tk.listResume(form, c);
  }
  EXPECT_EQ(tk.listItems(form, 105), (std::vector<std::string>{"300", "1200", "9600", "19200"}));

  tk.listSetSel(form, 105, 1);
  tk.listSetSel(form, 105, 2);
  EXPECT_EQ(tk.control(form, 105)->selection(), std::vector<int>{2});
  EXPECT_EQ(tk.controlText(form, 105), "9600");

  tk.listSetSel(form, 110, 1);
  tk.listSetSel(form, 110, 3);
  EXPECT_EQ(tk.control(form, 110)->selection(), (std::vector<int>{1, 3}));
  EXPECT_TRUE(tk.operatorSelect(form, 110, 1, /*toggle=*/true));
  EXPECT_EQ(tk.control(form, 110)->selection(), std::vector<int>{3});

  tk.setControlText(form, 115, "19200");  // a combo's text chooses its entry
  EXPECT_EQ(tk.listSelIndex(form, 115), 3);
  EXPECT_TRUE(tk.operatorSetText(form, 115, "1200"));
  EXPECT_EQ(tk.listSelIndex(form, 115), 1);
  EXPECT_FALSE(tk.operatorSetText(form, 115, "4800"));  // not an entry

  log.clear();
  EXPECT_TRUE(tk.operatorDoubleClick(form, 105, 0));
  auto ev = controlEvents();
  ASSERT_EQ(ev.size(), 2u);  // the click selects, then the double click
  EXPECT_EQ(ev[0].arg, kNotifySelChanged);
  EXPECT_EQ(ev[1].arg, kNotifyDoubleClick);
  EXPECT_EQ(tk.listSelIndex(form, 105), 0);
  EXPECT_FALSE(tk.operatorSelect(form, 105, 4));  // past the end

  tk.listClear(form, 105);
  EXPECT_TRUE(tk.listItems(form, 105).empty());
  EXPECT_EQ(tk.listSelIndex(form, 105), -1);
  EXPECT_EQ(tk.controlText(form, 105), "");
}

TEST_F(ControlsTest, ScrollBarsKeepThePositionInRangeAndTheThumbMovesTheModelFirst) {
  add(ControlKind::VScrollBar, 105, "BAR");
  tk.setScrollRange(form, 105, 0, 200);
  tk.setScrollPos(form, 105, 250);
  EXPECT_EQ(tk.scrollPos(form, 105), 200);
  tk.setScrollRange(form, 105, 0, 50);
  EXPECT_EQ(tk.scrollPos(form, 105), 50);

  int seenPos = -1;
  WindowSpec s;
  s.kind = WindowKind::Child;
  s.parent = form;
  s.name = "FIFO";
  s.vScroll = true;
  s.rect = Rect{0, 0, 100, 100};
  const WindowId pane = tk.create(s, std::make_unique<Probe>(&paneLog, [&seenPos](Probe& p, Event& e) {
    if (e.type == EventType::Control) seenPos = p.toolkit().scrollPos(p.id(), e.id);
  }));
  tk.setScrollRange(pane, kWindowVScroll, 0, 200);
  EXPECT_TRUE(tk.operatorScroll(pane, kWindowVScroll, kNotifyThumb, 120));
  EXPECT_EQ(seenPos, 120);
  EXPECT_TRUE(tk.operatorScroll(pane, kWindowVScroll, kNotifyLineDown));
  auto ev = only(paneLog, EventType::Control);
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].id, kWindowVScroll);
  EXPECT_EQ(ev[1].arg, kNotifyLineDown);
  EXPECT_EQ(tk.scrollPos(pane, kWindowVScroll), 120);  // a line step is the program's to apply
  EXPECT_FALSE(tk.operatorScroll(pane, kWindowHScroll, kNotifyLineDown));  // it has none
}

TEST_F(ControlsTest, FocusFollowsTheOperatorAndTheProgram) {
  add(ControlKind::Edit, 105, "A");
  add(ControlKind::Edit, 110, "B");
  tk.setFocus(form, 110);
  EXPECT_EQ(tk.focusControl(form), 110);
  tk.operatorFocus(form, 110, false);
  tk.operatorFocus(form, 105, true);
  EXPECT_EQ(tk.focusControl(form), 105);
  auto ev = controlEvents();
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].arg, kNotifyFocusOut);
  EXPECT_EQ(ev[1].arg, kNotifyFocusIn);
  tk.destroyControl(form, 105);
  EXPECT_EQ(tk.focusControl(form), kNoControl);
}

TEST_F(ControlsTest, MenuCommandsReachTheWindowUnlessDisabled) {
  std::vector<MenuItem> bar(2);
  bar[0].text = "&Datei";
  bar[0].children = {MenuItem{1, "&Neu"}, MenuItem{0, "", true}, MenuItem{2, "&Ende"}};
  bar[1].text = "&Optionen";
  MenuItem sub{0, "&Ansicht"};
  sub.children = {MenuItem{31, "&Gross", false, true, true}};
  bar[1].children = {sub};
  tk.setMenuBar(form, bar);
  EXPECT_TRUE(tk.operatorCommand(form, 31));
  tk.setMenuItemEnabled(form, 2, false);
  EXPECT_FALSE(tk.operatorCommand(form, 2));
  EXPECT_FALSE(tk.operatorCommand(form, 99));
  tk.setMenuItemChecked(form, 31, true);
  tk.setMenuItemText(form, 1, "&New");
  const MenuItem* m = findMenuItem(*tk.menuBar(form), 31);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->checked);
  EXPECT_EQ(findMenuItem(*tk.menuBar(form), 1)->text, "&New");
  auto ev = only(log, EventType::Command);
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].id, 31);
}

TEST(Font, SerializedFontsReadBackAndBadTextsAreRefused) {
  const FontSpec f{"courier", kFontBold | kFontItalic, 12};
  EXPECT_EQ(f.serialize(), "courier,3,12");
  EXPECT_EQ(FontSpec::deserialize(f.serialize() + "\r\n"), f);
  EXPECT_EQ(FontSpec{"a,b\nc"}.serialize(), "abc,0,10");  // stays one field, one line
  for (const char* bad : {"", "helvetica", "helvetica,0", ",0,10", "helvetica,x,10",
                          "helvetica,0,0", "helvetica,0,10pt"})
    EXPECT_EQ(FontSpec::deserialize(bad), std::nullopt) << bad;
}

TEST_F(ControlsTest, DrawnTextsScrollAndClipAsOnAScreen) {
  WindowSpec s;
  s.kind = WindowKind::Child;
  s.parent = form;
  s.name = "FIFO";
  s.rect = Rect{0, 0, 56, 120};  // four rows of 14 pixels at size 10
  const WindowId pane = tk.create(s, std::make_unique<Probe>(&paneLog));
  tk.flushUpdates();
  ASSERT_EQ(only(paneLog, EventType::Update).size(), 1u);  // a new pane paints itself
  paneLog.clear();
  HeadlessCanvas* c = tk.headlessCanvas(pane);
  ASSERT_NE(c, nullptr);
  const FontMetrics m = c->metrics();
  ASSERT_EQ(m.lineHeight(), 14);
  for (int row = 0; row < 4; ++row)
    c->drawText(0, (row + 1) * 14 - m.leading - m.descent, "line " + std::to_string(row));
  EXPECT_EQ(c->rows(), (std::vector<std::string>{"line 0", "line 1", "line 2", "line 3"}));

  // Scrolling up one row: the first row is lost, the bottom strip is asked for.
  c->scrollRect(Rect{0, 0, 56, 120}, 0, -14);
  EXPECT_EQ(c->rows(), (std::vector<std::string>{"line 1", "line 2", "line 3"}));
  EXPECT_EQ(tk.flushUpdates(), 1);
  auto up = only(paneLog, EventType::Update);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(*up[0].rect, (Rect{42, 0, 56, 120}));

  // A fill covers what lay beneath; the clip keeps whole characters inside.
  c->drawRect(Rect{0, 0, 14, 120});
  EXPECT_EQ(c->rows(), (std::vector<std::string>{"line 2", "line 3"}));
  c->setClip(Rect{0, 0, 14, 30});  // five characters of 6 pixels
  DrawTools t;
  t.foreColor = kRed;
  c->setTools(t);
  c->drawText(0, 10, "ABCDEFGH");
  c->setClip(std::nullopt);
  ASSERT_EQ(c->texts().front().text, "ABCDE");
  EXPECT_TRUE(sameRgb(c->texts().front().fore, kRed));
}

TEST_F(ControlsTest, MouseAndKeysReachTheWindowWithTheirPoint) {
  tk.operatorMouse(form, MouseAction::Down, Point{5, 7}, 1, kModShift);
  tk.operatorKey(form, kKeyTab, kModShift);
  auto mouse = only(log, EventType::Mouse);
  ASSERT_EQ(mouse.size(), 1u);
  EXPECT_EQ(mouse[0].id, static_cast<int>(MouseAction::Down));
  EXPECT_EQ(mouse[0].arg, kModShift);
  EXPECT_EQ(*mouse[0].point, (Point{5, 7}));
  auto keys = only(log, EventType::Char);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].id, kKeyTab);
  EXPECT_EQ(keys[0].arg, kModShift);
}

}  // namespace
}  // namespace tarvik::ui
