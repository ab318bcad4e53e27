// The list control as the operator meets it: a display file shown in rows
// of columns under a header, the keyboard and the mouse, sorting by a
// header column, dragging a column border, and the file kept whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/list_control.h"
#include "ui/toolkit/headless/headless_canvas.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

// The parent form: what the list tells it, and the keys it passes on.
struct Parent : Window {
  std::vector<std::pair<int, std::intptr_t>> told;
  std::vector<int> keys;
  void onEvent(Event& e) override {
    if (e.type == EventType::User) told.emplace_back(e.id, e.arg);
    if (e.type == EventType::Char) keys.push_back(e.id);
  }
};

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ListControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("tvk_list_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    parent = tk.create(WindowSpec{WindowKind::Document, "FORM", "", {0, 0, 400, 600}, kNoWindow, true, 1060},
                       std::make_unique<Parent>());
  }
  void TearDown() override { fs::remove_all(dir); }

  // A control of `rows` visible rows on a file of `lines`.
  ListControl& Make(const std::vector<std::string>& lines, ListOptions o = {}, int visibleRows = 5) {
    file = (dir / "00000001.$$$").string();
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    std::ofstream(file, std::ios::binary) << text;
    o.control = 4;
    o.form = 1060;
    o.tmpPath = dir.string() + "/";
    if (o.columns.empty()) o.columns = {4, 90, 200};
    o.showMessage = [this](WindowId, int, int number, const std::string& t1, const std::string&) {
      shown.emplace_back(number, t1);
    };
    const int rowHeight = tk.fontMetrics(o.font).lineHeight();
    const int header = o.header.empty() ? 0 : rowHeight + 6;
    list = ListControl::Create(tk, parent, {0, 0, header + visibleRows * rowHeight, 500}, std::move(o));
    ListControl& l = *tk.findAs<ListControl>(list);
    l.AttachFile(file);
    return l;
  }
  std::vector<std::pair<int, std::intptr_t>>& told() { return tk.findAs<Parent>(parent)->told; }
  void Key(int key, unsigned mods = 0) { tk.operatorKey(list, key, mods); }
  void Mouse(MouseAction a, int x, int y, unsigned mods = 0, int button = 0) {
    tk.operatorMouse(list, a, {x, y}, button, mods);
  }
  std::vector<std::string> Surface() {
    tk.flushUpdates();
    return static_cast<HeadlessCanvas*>(tk.canvas(list))->rows();
  }

  HeadlessToolkit tk{HeadlessToolkit::Mode::Manual};
  fs::path dir;
  std::string file;
  WindowId parent = kNoWindow, list = kNoWindow;
  std::vector<std::pair<int, std::string>> shown;
};

std::vector<std::string> Numbered(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    char l[48];
    std::snprintf(l, sizeof l, "L%02d\tname %02d\t%04d", i, i, i);
    lines.push_back(l);
  }
  return lines;
}

TEST_F(ListControlTest, ShowsRowsInColumnsUnderTheHeaderAndHidesAColumnStartingAtZero) {
  ListOptions o;
  o.header = "Call|Name|Key";
  o.columns = {4, 90, 0};
  Make({"DL1ABC\tAnna\t0000000020", "DB0XYZ\tBox \t0000000040"}, o);
  const auto rows = Surface();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "Call Name");  // the key column has no place
  EXPECT_EQ(rows[1], "DL1ABC Anna");
  EXPECT_EQ(rows[2], "DB0XYZ Box ");  // fields keep their width
  const ListControl& l = *tk.findAs<ListControl>(list);
  EXPECT_EQ(l.columnEnd(0), 90);
  EXPECT_EQ(l.columnEnd(1), kListNoColumnEnd);
}

TEST_F(ListControlTest, KeyboardMovesSelectsScrollsAndActivates) {
  ListControl& l = Make(Numbered(12));
  Key(kKeyDown);  // the first line
  Key(kKeyDown);
  EXPECT_EQ(l.Selected().value_or("").substr(0, 3), "L01");
  EXPECT_EQ(told().back(), (std::pair<int, std::intptr_t>{4, 0}));
  Key(kKeyEnter);
  EXPECT_EQ(told().back(), (std::pair<int, std::intptr_t>{4, 1}));
  // Moving past the last row in view scrolls by one.
  for (int i = 0; i < 4; ++i) Key(kKeyDown);
  EXPECT_EQ(l.Selected().value_or("").substr(0, 3), "L05");
  EXPECT_EQ(l.VisibleRows().front().substr(0, 3), "L01");
  Key(kKeyEnd);
  EXPECT_EQ(l.VisibleRows().back().substr(0, 3), "L11");
  EXPECT_EQ(l.VisibleRows().size(), 5u);
  Key(kKeyHome);
  EXPECT_EQ(l.VisibleRows().front().substr(0, 3), "L00");
  Key(kKeyPageDown);
  EXPECT_EQ(l.VisibleRows().front().substr(0, 3), "L05");
  // Keys the list does not use reach the form.
  Key('x');
  Key(kKeyTab);
  EXPECT_EQ(tk.findAs<Parent>(parent)->keys, (std::vector<int>{'x', kKeyTab}));
  EXPECT_EQ(l.SelectedCount(), 1u);
}

TEST_F(ListControlTest, ClickIsToldAfterTheDoubleClickTimeAndShiftTogglesInAMultipleList) {
  ListOptions o;
  o.multiple = true;
  ListControl& l = Make(Numbered(4), o);
  Mouse(MouseAction::Down, 10, l.RowMiddle(1));
  Mouse(MouseAction::Up, 10, l.RowMiddle(1));
  EXPECT_TRUE(told().empty());
  tk.stepMs(kListClickMs + 50);
  ASSERT_EQ(told().size(), 1u);
  EXPECT_EQ(told().back(), (std::pair<int, std::intptr_t>{4, 0}));
  // A double click with the second button: activation at once, no click.
  Mouse(MouseAction::Down, 10, l.RowMiddle(2), 0, 1);
  Mouse(MouseAction::DoubleClick, 10, l.RowMiddle(2), 0, 1);
  tk.stepMs(kListClickMs + 50);
  ASSERT_EQ(told().size(), 2u);
  EXPECT_EQ(told().back(), (std::pair<int, std::intptr_t>{4, 11}));
  // Shift adds and removes rows; a plain click selects one alone.
  Mouse(MouseAction::Down, 10, l.RowMiddle(0), kModShift);
  Mouse(MouseAction::Down, 10, l.RowMiddle(3), kModShift);
  EXPECT_EQ(l.SelectedCount(), 3u);
  Mouse(MouseAction::Down, 10, l.RowMiddle(2), kModShift);
  EXPECT_EQ(l.SelectedLines().size(), 2u);
  EXPECT_EQ(l.SelectedLines().front().substr(0, 3), "L00");
  Mouse(MouseAction::Down, 10, l.RowMiddle(1));
  EXPECT_EQ(l.SelectedCount(), 1u);
  // A click below the last line selects nothing new.
  Mouse(MouseAction::Down, 10, l.RowMiddle(4) + 40);
  EXPECT_EQ(l.Selected().value_or("").substr(0, 3), "L01");
}

TEST_F(ListControlTest, DoubleClickOnAHeaderColumnSortsTheFileByIt) {
  ListOptions o;
  o.header = "Call|Date|Number";
  o.sort = true;
  ListControl& l = Make({"DL1ABC\t31.01.1997\t 9", "DB0XYZ\t01.02.1997\t10", "DK2ZZZ\t15.01.1998\t11"}, o);
  l.DeleteByKey(0, "DK2ZZZ");
  Mouse(MouseAction::DoubleClick, 95, 5);  // the date column: newest first
  EXPECT_EQ(Read(file), "DB0XYZ\t01.02.1997\t10\nDL1ABC\t31.01.1997\t 9\n");
  Mouse(MouseAction::DoubleClick, 205, 5);  // numbers by value
  EXPECT_EQ(Read(file), "DL1ABC\t31.01.1997\t 9\nDB0XYZ\t01.02.1997\t10\n");
  Mouse(MouseAction::DoubleClick, 10, 5);  // texts by bytes
  EXPECT_EQ(Read(file), "DB0XYZ\t01.02.1997\t10\nDL1ABC\t31.01.1997\t 9\n");
  EXPECT_EQ(l.Lines().size(), 2u);
  // The sort runs are gone.
  for (const auto& e : fs::directory_iterator(dir)) EXPECT_EQ(e.path().extension() == ".$$$", e.path() == file);
}

TEST_F(ListControlTest, SortingMoreThanOneRunMergesThemInOrder) {
  std::vector<std::string> lines;
  for (int i = 0; i < 350; ++i) {
    char l[16];
    std::snprintf(l, sizeof l, "%05d\tx", (i * 7919) % 1000);
    lines.push_back(l);
  }
  ListControl& l = Make(lines);
  ASSERT_TRUE(l.SortBy(0));
  const auto sorted = l.Lines();
  ASSERT_EQ(sorted.size(), 350u);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST_F(ListControlTest, DraggingAColumnBorderMovesItAndKeepsTheLayout) {
  ListOptions o;
  o.header = "Call|Name|Key";
  ListControl& l = Make({"DL1ABC\tAnna\t1"}, o);
  Mouse(MouseAction::Down, 91, 5);
  Mouse(MouseAction::Move, 120, 5);
  Mouse(MouseAction::Up, 120, 5);
  EXPECT_EQ(l.columnStart(1), 120);
  EXPECT_EQ(l.columnEnd(0), 120);
  std::string expected = "4\t120\n120\t200\n200\t999\n";
  for (int i = 3; i < kListMaxColumns; ++i) expected += "0\t0\n";
  EXPECT_EQ(Read(dir / "pos" / "10600004.tlb"), expected);
  // A new list of the same form and control starts with it.
  tk.destroy(list);
  EXPECT_EQ(Make({"DL1ABC\tAnna\t1"}, o).columnStart(1), 120);
  // A press near the left edge or away from a border drags nothing.
  Mouse(MouseAction::Down, 6, 5);
  Mouse(MouseAction::Up, 30, 5);
  Mouse(MouseAction::Down, 160, 5);
  Mouse(MouseAction::Up, 170, 5);
  EXPECT_EQ(tk.findAs<ListControl>(list)->columnStart(1), 120);
}

TEST_F(ListControlTest, ChangesKeepEveryLineTheSameLength) {
  ListControl& l = Make({"AAAA\t0001", "BBBB\t0002", "CCCC\t0003"});
  const auto size = fs::file_size(file);
  // A line of another length is refused with message 1006.
  EXPECT_FALSE(l.AppendLine("DDD\t0004"));
  EXPECT_EQ(shown, (std::vector<std::pair<int, std::string>>{{kMsgListWrongLength, file}}));
  EXPECT_EQ(fs::file_size(file), size);
  // Deleting keeps the size; the line is neither shown nor selectable.
  Key(kKeyDown);
  Key(kKeyDown);
  ASSERT_TRUE(l.DeleteSelected());
  EXPECT_EQ(fs::file_size(file), size);
  EXPECT_EQ(Read(file), "AAAA\t0001\n\r\r\r\r\r\r\r\r\r\nCCCC\t0003\n");
  EXPECT_EQ(l.Lines(), (std::vector<std::string>{"AAAA\t0001", "CCCC\t0003"}));
  Key(kKeyHome);
  Key(kKeyDown);
  Key(kKeyDown);
  EXPECT_EQ(l.Selected(), "CCCC\t0003");
  // Replacing, inserting and appending in place.
  EXPECT_TRUE(l.ReplaceLine("cccc\t0003"));
  EXPECT_TRUE(l.InsertLine("bbbb\t0009", ListControl::kInsertBefore | ListControl::kInsertSelect));
  EXPECT_EQ(l.Selected(), "bbbb\t0009");
  EXPECT_TRUE(l.AppendLine("EEEE\t0005"));
  EXPECT_TRUE(l.ReplaceByKey(1, "0001", "aaaa\t0001"));
  EXPECT_EQ(l.FindByKey(1, "0005"), "EEEE\t0005");
  EXPECT_EQ(Read(file), "aaaa\t0001\n\r\r\r\r\r\r\r\r\r\nbbbb\t0009\ncccc\t0003\nEEEE\t0005\n");
  // The file before the last insertion stays beside it.
  EXPECT_EQ(Read(file.substr(0, file.size() - 1) + "~"),
            "AAAA\t0001\n\r\r\r\r\r\r\r\r\r\nbbbb\t0009\ncccc\t0003\n");
}

TEST_F(ListControlTest, AFileThatCannotBeOpenedGivesAnEmptyListAndMessage1005) {
  ListControl& l = Make({"A\t1"});
  EXPECT_FALSE(l.AttachFile((dir / "missing.$$$").string()));
  EXPECT_EQ(shown.back().first, kMsgListCannotOpen);
  EXPECT_TRUE(l.Lines().empty());
  Key(kKeyDown);
  EXPECT_FALSE(l.Selected());
  // An empty name is an empty list without a message.
  shown.clear();
  EXPECT_TRUE(l.AttachFile(""));
  EXPECT_TRUE(shown.empty());
}

TEST_F(ListControlTest, TheScrollBarFollowsTheTopLine) {
  ListControl& l = Make(Numbered(100));
  const ScrollState s = tk.scrollState(list, kWindowVScroll);
  EXPECT_EQ(s.max, kListScrollRange);
  EXPECT_EQ(s.proportion, 5 * kListScrollRange / 100);
  tk.operatorScroll(list, kWindowVScroll, kNotifyThumb, 125);
  EXPECT_EQ(l.VisibleRows().front().substr(0, 3), "L50");
  EXPECT_EQ(tk.scrollPos(list, kWindowVScroll), static_cast<int>(l.topOffset() * 250 / (fs::file_size(file) + 1)));
}

}  // namespace
}  // namespace tarvik::ui
