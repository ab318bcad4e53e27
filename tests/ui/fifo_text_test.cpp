// The FIFO text pane on the headless backend: what it draws, what it tells
// its parent, what it hands on, and its capture file with the question
// about an existing one.

#include "ui/fifo_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/message_service.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ui {
namespace {

// Headless metrics of the default font (size 10): ascent 10, descent 3,
// leading 1, so a line is 14 pixels high and a character 6 pixels wide.
constexpr int kLine = 14;

struct Seen {
  EventType type;
  int id;
  std::intptr_t arg;
  bool operator==(const Seen&) const = default;
};

class ParentWindow : public Window {
 public:
  void onEvent(Event& e) override {
    if (e.type == EventType::User || e.type == EventType::Char) seen.push_back({e.type, e.id, e.arg});
  }
  std::vector<Seen> seen;
};

class FifoPane : public ::testing::Test {
 protected:
  static constexpr int kControl = 7;

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarvik_fifo_pane_" + std::string(::testing::UnitTest::GetInstance()
                                                  ->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    settings_.messageFile = std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG";
    settings_.flags = "000000";
    settings_.logPath = dir_.string() + "/";
    WindowSpec spec;
    spec.kind = WindowKind::Document;
    spec.name = "PARENT";
    spec.rect = {0, 0, 400, 400};
    auto parent = std::make_unique<ParentWindow>();
    parentWindow_ = parent.get();
    parent_ = tk_.create(spec, std::move(parent));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A pane of `rows` rows (plus the frame) and 300 pixels.
  FifoText& Make(int rows, FifoOptions options = {}) {
    options.name = "FIFOTEST";
    options.controlNumber = kControl;
    const int header = options.header.empty() ? 0 : kLine + 6;
    pane_ = FifoText::Create(tk_, parent_, Rect{10, 10, 10 + header + rows * kLine + 2, 310},
                             messages_, std::move(options));
    return *FindFifo(tk_, pane_);
  }
  // The surface once the pane has drawn what it took (as after an event-loop pass).
  HeadlessCanvas& Canvas() {
    tk_.flushUpdates();
    return *tk_.headlessCanvas(pane_);
  }
  std::vector<std::string> Shown() { return Canvas().rows(); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<Seen> Notices() const {
    std::vector<Seen> out;
    for (const Seen& s : parentWindow_->seen)
      if (s.type == EventType::User && s.id == kControl) out.push_back(s);
    return out;
  }
  static Seen Notice(int what) { return {EventType::User, kControl, what}; }

  HeadlessToolkit tk_{HeadlessToolkit::Mode::Manual};
  core::MessageSettings settings_;
  core::MessageService messages_{tk_, [this] { return settings_; }};
  std::filesystem::path dir_;
  WindowId parent_ = kNoWindow;
  ParentWindow* parentWindow_ = nullptr;
  WindowId pane_ = kNoWindow;
};

std::string Line(int n) { return "line " + std::to_string(n); }

TEST_F(FifoPane, ShowsTheNewestLinesInTheirColoursAsTheyScroll) {
  FifoText& f = Make(5);
  EXPECT_EQ(f.lines().rows(), 5);
  EXPECT_EQ(tk_.specOf(pane_)->title, "FIFO");
  const Color colours[] = {kFifoReceived, kFifoSent, kFifoLocal};
  for (int n = 1; n <= 20; ++n) f.AppendLine(Line(n), colours[n % 3]);
  const std::vector<std::string> newest = {Line(16), Line(17), Line(18), Line(19), Line(20)};
  EXPECT_EQ(Shown(), newest);
  tk_.flushUpdates();  // the strips uncovered by scrolling are repainted alike
  EXPECT_EQ(Shown(), newest);
  for (const HeadlessCanvas::Text& t : Canvas().texts()) {
    const int n = std::stoi(t.text.substr(5));
    EXPECT_EQ(t.fore, colours[n % 3]) << t.text;
    EXPECT_EQ(t.back, kWhite) << t.text;
    EXPECT_EQ(t.x, 0);
  }
  // Baselines: the row's top + ascent, so that the descent (3) stays in
  // the row and the leading (1) follows it.
  EXPECT_EQ(Canvas().texts().front().y, 10);
  EXPECT_EQ(*tk_.linesOf(pane_), [] {
    std::vector<std::string> all;
    for (int n = 1; n <= 20; ++n) all.push_back(Line(n));
    return all;
  }());

  // Scroll bar: range over the lines held, position from the oldest line
  // (at the bottom of the range), proportion the rows shown.
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).max, 15);
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).pos, 15);
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).proportion, 5);
  tk_.operatorScroll(pane_, kWindowVScroll, kNotifyThumb, 0);
  EXPECT_EQ(Shown(), (std::vector<std::string>{Line(1), Line(2), Line(3), Line(4), Line(5)}));
  tk_.operatorScroll(pane_, kWindowVScroll, kNotifyLineDown);
  EXPECT_EQ(Shown().front(), Line(2));

  // Scrolled back, new lines do not move the view.
  f.AppendLine(Line(21), kFifoReceived);
  EXPECT_EQ(Shown().front(), Line(2));
  f.ScrollToEnd();
  EXPECT_EQ(Shown().back(), Line(21));
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).max, 16);
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).pos, 16);
  // The thumb dragged back and the pane scrolled to the end again: the bar
  // follows, though the pane's own position is where it was before the drag.
  tk_.operatorScroll(pane_, kWindowVScroll, kNotifyThumb, 4);
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).pos, 4);
  f.ScrollToEnd();
  Canvas();
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).pos, 16);
  // A thumb let go where the pane can not go leaves the pane, and the bar,
  // where they were.
  tk_.operatorScroll(pane_, kWindowVScroll, kNotifyThumb, 20);
  EXPECT_EQ(Shown().back(), Line(21));
  EXPECT_EQ(tk_.scrollState(pane_, kWindowVScroll).pos, 16);
}

TEST_F(FifoPane, ColumnsHeaderAndClipping) {
  FifoOptions o;
  o.columns = {0, 100};
  FifoText& f = Make(3, o);
  f.AppendLine("one\ttwo\tthree", kFifoReceived);
  f.AppendLine("abcdefghijklmnopqrstuvwxyz\tX", kFifoReceived);
  const std::vector<HeadlessCanvas::Text> texts = Canvas().texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].text, "one");
  EXPECT_EQ(texts[0].x, 0);
  EXPECT_EQ(texts[1].text, "two");
  EXPECT_EQ(texts[1].x, 100);
  // The first column ends 4 pixels before the second begins: 16 characters.
  EXPECT_EQ(texts[2].text, "abcdefghijklmnop");
  EXPECT_EQ(texts[3].text, "X");

  // NOCLIP and a header: the header band takes a line and 6 pixels.
  tk_.destroy(pane_);
  FifoOptions h;
  h.columns = {0, 60};
  h.noClip = true;
  h.header = "Call|Time";
  FifoText& g = Make(3, h);
  EXPECT_EQ(g.headerHeight(), kLine + 6);
  EXPECT_EQ(g.columnEnd(0), kFifoNoColumnEnd);
  g.AppendLine("DB0ABC-15XYZ\t12:00", kFifoReceived);
  const std::vector<HeadlessCanvas::Text> shown = Canvas().texts();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].text, "Call");
  EXPECT_EQ(shown[0].x, 1);
  EXPECT_EQ(shown[0].y, 2 + 10);
  EXPECT_EQ(shown[0].back, kLightGray);
  EXPECT_EQ(shown[1].text, "Time");
  EXPECT_EQ(shown[1].x, 61);
  EXPECT_EQ(shown[2].text, "DB0ABC-15XYZ");  // not cut at the next column
  EXPECT_EQ(shown[2].y, kLine + 6 + 10);
  EXPECT_EQ(shown[3].text, "12:00");
}

TEST_F(FifoPane, MouseSelectsLinesAndClicksAreReported) {
  FifoText& f = Make(5);
  for (int n = 1; n <= 3; ++n) f.AppendLine(Line(n), kFifoSent);
  const Point row1{20, kLine + 3};

  tk_.operatorMouse(pane_, MouseAction::Down, row1);
  tk_.operatorMouse(pane_, MouseAction::Up, row1);
  EXPECT_TRUE(f.HasSelection());
  EXPECT_EQ(f.FirstSelected(), 1);
  const HeadlessCanvas::Text selected = Canvas().texts()[1];
  EXPECT_EQ(selected.text, Line(2));
  EXPECT_EQ(selected.fore, kWhite);
  EXPECT_EQ(selected.back, kGray);
  EXPECT_EQ(Canvas().texts()[0].fore, kFifoSent);

  tk_.stepMs(kFifoClickMs - 1);
  EXPECT_TRUE(Notices().empty());
  tk_.stepMs(1);
  EXPECT_EQ(Notices(), (std::vector<Seen>{Notice(kFifoSingleClick)}));

  // A double click reports 1 and no single click.
  tk_.operatorMouse(pane_, MouseAction::Down, {20, 3});
  tk_.operatorMouse(pane_, MouseAction::Up, {20, 3});
  tk_.operatorMouse(pane_, MouseAction::DoubleClick, {20, 3});
  tk_.operatorMouse(pane_, MouseAction::Up, {20, 3});
  tk_.stepMs(1000);
  EXPECT_EQ(Notices(), (std::vector<Seen>{Notice(kFifoSingleClick), Notice(kFifoDoubleClick)}));
  std::vector<std::string> list{"before"};
  EXPECT_TRUE(f.GetSelection(list));
  EXPECT_EQ(list, (std::vector<std::string>{"before", Line(1)}));

  // Copy: the selected lines to the clipboard.
  tk_.operatorKey(pane_, 'c', kModControl);
  EXPECT_EQ(tk_.clipboardText(), Line(1) + "\n");

  // Focus is reported with 2.
  Event focus(EventType::Focus, 0, 1);
  tk_.send(pane_, focus);
  EXPECT_EQ(Notices().back(), Notice(kFifoFocus));
}

TEST_F(FifoPane, MultipleSelectionByDragging) {
  FifoOptions o;
  o.multiple = true;
  FifoText& f = Make(5, o);
  for (int n = 1; n <= 5; ++n) f.AppendLine(Line(n), kFifoReceived);
  tk_.operatorMouse(pane_, MouseAction::Down, {5, 2});
  tk_.operatorMouse(pane_, MouseAction::Move, {5, 2 * kLine + 2});
  tk_.operatorMouse(pane_, MouseAction::Up, {5, 2 * kLine + 2});
  std::vector<std::string> list;
  ASSERT_TRUE(f.GetSelection(list));
  EXPECT_EQ(list, (std::vector<std::string>{Line(1), Line(2), Line(3)}));
  EXPECT_EQ(f.FirstSelected(), -1);
  tk_.operatorKey(pane_, 3);
  EXPECT_EQ(tk_.clipboardText(), Line(1) + "\n" + Line(2) + "\n" + Line(3) + "\n");
}

// Dragging sideways selects characters, across lines: they are drawn
// marked, Ctrl+C copies them, they become the window system's selection,
// and a straight vertical drag still selects whole lines (above). The
// middle button asks the parent to paste.
TEST_F(FifoPane, DraggingSidewaysSelectsCharacters) {
  FifoOptions o;
  o.multiple = true;  // as the receive pane
  FifoText& f = Make(5, o);
  f.AppendLine("CQ CQ de N0NBR", kFifoReceived);
  f.AppendLine("QTH Springfield, op Jo", kFifoReceived);
  f.AppendLine("pse k", kFifoReceived);
  const int start = f.columnStart(0);
  auto at = [&](int row, int column) { return Point{start + 6 * column + 1, row * kLine + 3}; };

  tk_.operatorMouse(pane_, MouseAction::Down, at(0, 6));
  tk_.operatorMouse(pane_, MouseAction::Move, at(1, 3));
  tk_.operatorMouse(pane_, MouseAction::Move, at(1, 15));
  tk_.operatorMouse(pane_, MouseAction::Up, at(1, 15));
  EXPECT_EQ(f.SelectedText(), "de N0NBR\nQTH Springfield");
  EXPECT_EQ(tk_.selectionText(), "de N0NBR\nQTH Springfield");
  tk_.operatorKey(pane_, 'c', kModControl);
  EXPECT_EQ(tk_.clipboardText(), "de N0NBR\nQTH Springfield");

  // Drawn: the selected part white on grey over the line, the rest as it was.
  std::vector<HeadlessCanvas::Text> marked;
  for (const HeadlessCanvas::Text& t : Canvas().texts())
    if (t.fore == kWhite) marked.push_back(t);
  ASSERT_EQ(marked.size(), 2u);
  EXPECT_EQ(marked[0].text, "de N0NBR");
  EXPECT_EQ(marked[0].x, start + 6 * 6);
  EXPECT_EQ(marked[0].back, kGray);
  EXPECT_EQ(marked[1].text, "QTH Springfield");
  EXPECT_EQ(marked[1].x, start);

  // A click ends it; the middle button is told to the parent.
  tk_.operatorMouse(pane_, MouseAction::Down, at(2, 1));
  tk_.operatorMouse(pane_, MouseAction::Up, at(2, 1));
  EXPECT_EQ(f.SelectedText(), "");
  tk_.operatorMouse(pane_, MouseAction::Down, at(0, 0), 2);
  tk_.operatorMouse(pane_, MouseAction::Up, at(0, 0), 2);
  EXPECT_EQ(parentWindow_->seen.back(), Notice(kFifoPaste));
}

TEST_F(FifoPane, TypingGoesToTheParentScrollKeysStayHere) {
  FifoText& f = Make(3);
  tk_.operatorKey(pane_, 'a');
  tk_.operatorKey(pane_, kKeyTab, kModShift);
  tk_.operatorKey(pane_, kKeyUp);  // nothing to scroll yet: dropped
  for (int n = 1; n <= 6; ++n) f.AppendLine(Line(n), kFifoReceived);
  tk_.operatorKey(pane_, kKeyHome);
  EXPECT_EQ(Shown().front(), Line(1));
  EXPECT_EQ(parentWindow_->seen,
            (std::vector<Seen>{{EventType::Char, 'a', 0}, {EventType::Char, kKeyTab, kModShift}}));
}

TEST_F(FifoPane, CaptureAsksAboutAnExistingFile) {
  FifoText& f = Make(3);
  f.AppendLine("a", kFifoReceived);
  f.AppendLine("b", kFifoReceived);

  // A new file: opened at once, the lines held written first.
  const std::string fresh = Path("fresh.txt");
  f.Capture(fresh, true);
  EXPECT_TRUE(f.capturing());
  f.AppendLine("c", kFifoReceived);
  f.Capture("", false);  // stops
  EXPECT_FALSE(f.capturing());
  EXPECT_EQ(Read(fresh), "\na\nb\nc\n");

  // An existing file: message 1026 asks; yes appends.
  f.Capture(fresh, false);
  EXPECT_FALSE(f.capturing());
  ASSERT_EQ(tk_.openMessageDialogs().size(), 1u);
  EXPECT_NE(tk_.openMessageDialogs()[0].lines[0].find(fresh), std::string::npos);
  tk_.answerDialog(core::kAnswerYes);
  tk_.pump();
  EXPECT_TRUE(f.capturing());
  f.AppendLine("d", kFifoReceived);
  tk_.destroy(pane_);  // the file is ended and closed with the window
  EXPECT_EQ(Read(fresh), "\na\nb\nc\n\nd\n");

  // No writes it anew.
  FifoText& g = Make(3);
  g.AppendLine("e", kFifoReceived);
  tk_.queueDialogAnswer(core::kAnswerNo);
  g.Capture(fresh, true);
  tk_.pump();
  EXPECT_TRUE(g.capturing());
  g.Capture("", false);
  EXPECT_EQ(Read(fresh), "\ne\n");

  // A file that cannot be opened leaves the capture off, without a message.
  const std::size_t dialogs = tk_.dialogLog().size();
  g.Capture(Path("missing/dir/x.txt"), true);
  EXPECT_FALSE(g.capturing());
  EXPECT_EQ(tk_.dialogLog().size(), dialogs);
}

TEST_F(FifoPane, OptionsFromADescribedControl) {
  const NameResolver names = [](std::string_view n, int& id) {
    id = 1;
    return n == "MONITOR";
  };
  const NameResolver none = [](std::string_view, int&) { return false; };
  const FormDescription d = ParseDescription(
      "[WINDOW=Test;\n[CONTROL\nMONITOR=;CTL_FIFO(0,120,60,MULTIPLE,NOCLIP) POS=0,0,0,0; SYS=MONITOR;\n",
      Resolvers{names, none});
  ASSERT_EQ(d.controls.size(), 1u);
  FontSpec font;
  font.size = 12;
  const FifoOptions o = FifoOptionsFor(d.controls[0], font);
  EXPECT_EQ(o.name, "MONITOR");
  EXPECT_EQ(o.controlNumber, 1);
  EXPECT_EQ(o.columns, (std::vector<int>{0, 120, 60}));
  EXPECT_TRUE(o.multiple);
  EXPECT_TRUE(o.noClip);
  EXPECT_EQ(o.font.size, 12);

  // Column ends: the next larger start, whatever the order of the starts.
  FifoOptions clipped = o;
  clipped.noClip = false;
  FifoText& f = Make(2, clipped);
  EXPECT_EQ(f.columnEnd(0), 60);
  EXPECT_EQ(f.columnEnd(1), kFifoNoColumnEnd);
  EXPECT_EQ(f.columnEnd(2), 120);
  EXPECT_EQ(f.columnStart(3), kFifoNoColumnEnd);
}

}  // namespace
}  // namespace tarvik::ui
