// The FIFO text control's ring, view, selection, keys and capture file,
// without a window.

#include "ui/fifo_lines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ui/toolkit/event.h"

namespace tarvik::ui {
namespace {

std::string Line(int n) { return "line " + std::to_string(n); }

void AppendNumbered(FifoLines& f, int from, int to) {
  for (int n = from; n <= to; ++n) ASSERT_TRUE(f.AppendLine(Line(n), kFifoReceived));
}

std::vector<std::string> Numbered(int from, int to) {
  std::vector<std::string> out;
  for (int n = from; n <= to; ++n) out.push_back(Line(n));
  return out;
}

class FifoFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarvik_fifo_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path dir_;
};

TEST(FifoRing, AfterWrapHoldsTheLast199Lines) {
  FifoLines f;
  f.SetRows(10);
  AppendNumbered(f, 1, 250);
  EXPECT_TRUE(f.wrapped());
  EXPECT_EQ(f.count(), 199);
  EXPECT_EQ(f.Lines(), Numbered(52, 250));
  EXPECT_EQ(f.slot(f.oldest()).text, "line 52");
  EXPECT_EQ(f.slot(f.writeIndex()).text, "");  // the write slot stays empty
  // Lines keep their numbers as the ring turns.
  EXPECT_EQ(f.writeIndex(), 250);
  EXPECT_EQ(f.oldest(), 51);
  EXPECT_EQ(f.slot(FifoLines::Prev(f.writeIndex())).text, "line 250");

  // The view followed: the newest ten lines, the newest at the bottom.
  EXPECT_EQ(f.slot(f.top()).text, "line 241");
  EXPECT_EQ(f.slot(f.bottom()).text, "line 250");
  EXPECT_EQ(f.ScrollPos(), 189);
  EXPECT_EQ(f.ScrollMax(), 189);  // at the bottom of the range
  EXPECT_EQ(f.ScrollProportion(), 10);
}

TEST(FifoRing, LinesTooLongAreDroppedAndLineEndsCut) {
  FifoLines f;
  EXPECT_FALSE(f.AppendLine(std::string(256, 'x'), kFifoReceived));
  EXPECT_FALSE(f.AppendLine(std::string(1000, 'x'), kFifoReceived));
  EXPECT_EQ(f.count(), 0);
  EXPECT_TRUE(f.AppendLine(std::string(255, 'y'), kFifoSent));
  EXPECT_TRUE(f.AppendLine("text\r\n\r", kFifoLocal));
  EXPECT_TRUE(f.AppendLine("\r\n", kFifoReceived));
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{std::string(255, 'y'), "text", ""}));
  EXPECT_EQ(f.slot(0).colour, kFifoSent);
  EXPECT_EQ(f.slot(1).colour, kFifoLocal);
}

TEST(FifoRing, AppendToLastLineAndReplaceLine) {
  FifoLines f;
  f.AppendToLastLine("first");  // no line yet: one is started
  EXPECT_EQ(f.Lines(), (std::vector<std::string>{"first"}));
  f.AppendLine("sent", kFifoSent);
  f.AppendToLastLine(" more");
  EXPECT_EQ(f.slot(1).text, "sent more");

  // Text beyond 255 characters continues on new lines of the same colour.
  f.AppendToLastLine(std::string(250, 'a') + std::string(300, 'b'));
  const std::vector<std::string> lines = f.Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "sent more" + std::string(246, 'a'));
  EXPECT_EQ(lines[2], std::string(4, 'a') + std::string(251, 'b'));
  EXPECT_EQ(lines[3], std::string(49, 'b'));
  EXPECT_EQ(f.slot(3).colour, kFifoSent);

  f.ReplaceLine(0, "replaced");
  EXPECT_EQ(f.slot(0).text, "replaced");
  f.ReplaceLine(f.writeIndex(), "new line");  // the write slot: a new black line
  EXPECT_EQ(f.count(), 5);
  EXPECT_EQ(f.slot(4).text, "new line");
  EXPECT_EQ(f.slot(4).colour, kFifoReceived);
  f.ReplaceLine(-1, "x");
  f.ReplaceLine(200, "x");
  f.ReplaceLine(0, std::string(256, 'z'));
  EXPECT_EQ(f.slot(0).text, "replaced");
}

TEST(FifoView, FollowsTheNewestLineUnlessScrolledBack) {
  FifoLines f;
  f.SetRows(5);
  f.TakeDamage();
  AppendNumbered(f, 1, 5);
  FifoDamage d = f.TakeDamage();
  EXPECT_EQ(d.scroll, 0);  // the lines fill the view's empty rows
  EXPECT_EQ(d.lines, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(f.scrollable());

  f.AppendLine(Line(6), kFifoReceived);  // the newest was visible: scroll by one
  d = f.TakeDamage();
  EXPECT_EQ(d.scroll, 1);
  EXPECT_TRUE(d.lines.empty());
  EXPECT_TRUE(f.scrollable());
  EXPECT_EQ(f.slot(f.bottom()).text, "line 6");

  EXPECT_EQ(f.ScrollLines(-3), -1);  // only line 1 lies above
  f.TakeDamage();
  const int top = f.top();
  f.AppendLine(Line(7), kFifoReceived);  // scrolled back: the view stays
  d = f.TakeDamage();
  EXPECT_EQ(f.top(), top);
  EXPECT_EQ(d.scroll, 0);
  EXPECT_TRUE(d.lines.empty());  // the new line is not visible
  EXPECT_EQ(f.slot(f.top()).text, "line 1");
}

TEST(FifoView, LinesArrivingBelowAScrolledBackViewAreCountedUntilSeen) {
  FifoLines f;
  f.SetRows(5);
  AppendNumbered(f, 1, 20);
  EXPECT_EQ(f.unseen(), 0);  // following: every line was seen
  f.ScrollLines(-10);
  AppendNumbered(f, 21, 23);
  EXPECT_EQ(f.unseen(), 3);
  EXPECT_TRUE(f.TakeDamage().unseen);
  f.ScrollLines(5);  // not yet down to the newest line
  EXPECT_EQ(f.unseen(), 3);
  f.ScrollLines(100);
  EXPECT_EQ(f.unseen(), 0);
  EXPECT_TRUE(f.TakeDamage().unseen);  // the mark goes
  f.ScrollToPos(0);
  f.AppendLine(Line(24), kFifoReceived);
  f.ScrollToEnd();
  EXPECT_EQ(f.unseen(), 0);
}

TEST(FifoRing, ASizedRingKeepsItsLinesAndResizingKeepsTheNewest) {
  FifoLines big(false, 5000);
  big.SetRows(30);
  AppendNumbered(big, 1, 6000);
  EXPECT_EQ(big.count(), 4999);
  EXPECT_EQ(big.slot(big.oldest()).text, "line 1002");
  EXPECT_EQ(big.slot(big.bottom()).text, "line 6000");
  EXPECT_EQ(big.ScrollMax(), 4999 - 30);

  big.SetSlots(200);  // back to the classic ring: the newest 199 stay
  EXPECT_EQ(big.Lines(), Numbered(5802, 6000));
  EXPECT_EQ(big.slot(big.bottom()).text, "line 6000");
  AppendNumbered(big, 6001, 6001);
  EXPECT_EQ(big.count(), 199);
  EXPECT_EQ(big.slot(big.oldest()).text, "line 5803");

  FifoLines tiny(false, 1);  // bounded below: one line and the write slot
  AppendNumbered(tiny, 1, 3);
  EXPECT_EQ(tiny.Lines(), Numbered(3, 3));
}

TEST(FifoView, ScrolledBackToTheOldestAfterWrapMovesWithIt) {
  FifoLines f;
  f.SetRows(10);
  AppendNumbered(f, 1, 199);
  f.ScrollToOldest();
  EXPECT_EQ(f.slot(f.top()).text, "line 1");
  f.AppendLine(Line(200), kFifoReceived);  // overwrites line 1
  EXPECT_EQ(f.slot(f.top()).text, "line 2");
  EXPECT_EQ(f.top(), f.oldest());
  EXPECT_NE(f.top(), f.writeIndex());
}

TEST(FifoView, ScrollingStaysWithinTheLines) {
  FifoLines f;
  f.SetRows(10);
  AppendNumbered(f, 1, 4);
  EXPECT_EQ(f.ScrollLines(-1), 0);  // nothing older
  EXPECT_EQ(f.ScrollLines(1), 0);   // nothing newer below the view
  EXPECT_EQ(f.ScrollMax(), 0);
  f.ScrollToEnd();
  EXPECT_EQ(f.top(), f.oldest());  // the lines fit: shown from the oldest

  AppendNumbered(f, 5, 50);
  EXPECT_EQ(f.ScrollMax(), 40);
  EXPECT_EQ(f.ScrollProportion(), 10);
  EXPECT_EQ(f.ScrollLines(-100), -40);
  EXPECT_EQ(f.top(), f.oldest());
  EXPECT_EQ(f.ScrollLines(100), 40);
  EXPECT_EQ(f.slot(f.bottom()).text, "line 50");
  f.ScrollToPos(15);
  EXPECT_EQ(f.slot(f.top()).text, "line 16");
  f.ScrollToPos(190);  // beyond the last page: the newest lines
  EXPECT_EQ(f.slot(f.bottom()).text, "line 50");
  f.ScrollToOldest();
  f.ScrollToEnd();
  EXPECT_EQ(f.slot(f.top()).text, "line 41");
  EXPECT_EQ(f.slot(f.bottom()).text, "line 50");
}

TEST(FifoView, ShrinkingKeepsFollowingTheNewestLine) {
  FifoLines f;
  f.SetRows(20);
  AppendNumbered(f, 1, 30);
  f.SetRows(5);
  EXPECT_EQ(f.slot(f.bottom()).text, "line 30");
  f.AppendLine(Line(31), kFifoReceived);
  EXPECT_EQ(f.slot(f.bottom()).text, "line 31");
  f.SetRows(500);  // more rows than the ring has slots
  EXPECT_EQ(f.rows(), kFifoSlots - 1);
  f.SetRows(0);
  EXPECT_EQ(f.rows(), 1);
}

TEST(FifoSelection, MouseSelectsAndDragsInSingleAndMultipleMode) {
  FifoLines single;
  single.SetRows(10);
  AppendNumbered(single, 1, 5);
  single.AppendLine("", kFifoReceived);  // an empty line cannot be selected
  EXPECT_FALSE(single.MouseDown(5, false));
  EXPECT_FALSE(single.MouseDown(7, false));  // below the lines
  EXPECT_FALSE(single.MouseDown(-1, false));
  EXPECT_TRUE(single.MouseDown(1, false));
  single.MouseDrag(3);
  single.MouseUp();
  EXPECT_EQ(single.Selection(), (std::vector<std::string>{"line 4"}));
  EXPECT_EQ(single.FirstSelected(), 3);
  single.MouseDown(0, true);  // shift in single mode: still one line
  EXPECT_EQ(single.Selection(), (std::vector<std::string>{"line 1"}));
  single.MouseDown(0, true);
  EXPECT_FALSE(single.HasSelection());
  EXPECT_EQ(single.FirstSelected(), -1);

  FifoLines multi(true);
  multi.SetRows(10);
  AppendNumbered(multi, 1, 8);
  ASSERT_TRUE(multi.MouseDown(1, false));
  multi.MouseDrag(4);  // lines 2..5
  EXPECT_EQ(multi.Selection(), Numbered(2, 5));
  multi.MouseDrag(2);  // back up: 4 and 5 are released
  EXPECT_EQ(multi.Selection(), Numbered(2, 3));
  multi.MouseDrag(9);  // below the last line: up to the newest
  EXPECT_EQ(multi.Selection(), Numbered(2, 8));
  multi.MouseUp();
  multi.MouseDrag(0);  // button up: nothing changes
  EXPECT_EQ(multi.Selection(), Numbered(2, 8));
  multi.MouseDown(0, true);  // shift adds a line
  EXPECT_EQ(multi.Selection(), Numbered(1, 8));
  EXPECT_EQ(multi.FirstSelected(), -1);  // not answered with multiple selection
  multi.MouseDown(3, false);  // a plain click starts over
  EXPECT_EQ(multi.Selection(), (std::vector<std::string>{"line 4"}));
}

TEST(FifoSelection, DraggingPastTheViewScrollsAndSelectionFollowsRingOrder) {
  FifoLines f(true);
  f.SetRows(5);
  AppendNumbered(f, 1, 250);  // wrapped; lines 52..250, view 246..250
  ASSERT_TRUE(f.MouseDown(0, false));
  f.MouseDrag(-1);  // above the first row: the view steps back and line 245 joins
  EXPECT_EQ(f.slot(f.top()).text, "line 245");
  EXPECT_EQ(f.Selection(), Numbered(245, 246));
  f.MouseDrag(5);  // below the last row: forward again, 245 released on the way
  f.MouseDrag(5);  // no newer lines: the view stays
  EXPECT_EQ(f.slot(f.bottom()).text, "line 250");
  EXPECT_EQ(f.Selection(), Numbered(246, 250));
}

TEST(FifoKeys, TypingGoesToTheParentScrollingOnceScrollable) {
  FifoLines f;
  f.SetRows(3);
  using KU = FifoLines::KeyUse;
  EXPECT_EQ(f.Key('a', 0), KU::Parent);
  EXPECT_EQ(f.Key(' ', 0), KU::Parent);
  EXPECT_EQ(f.Key('z', 0), KU::Parent);
  EXPECT_EQ(f.Key('{', 0), KU::Ignored);  // 123 and up are not typing keys here
  EXPECT_EQ(f.Key(kKeyTab, 0), KU::Parent);
  EXPECT_EQ(f.Key(kKeyTab, kModShift), KU::Parent);
  EXPECT_EQ(f.Key(kKeyEnter, 0), KU::Parent);
  EXPECT_EQ(f.Key(kKeyBackspace, 0), KU::Parent);
  EXPECT_EQ(f.Key('c', kModControl), KU::Ignored);
  EXPECT_EQ(f.Key(kKeyUp, 0), KU::Ignored);  // nothing to scroll yet

  AppendNumbered(f, 1, 20);
  ASSERT_TRUE(f.scrollable());
  EXPECT_EQ(f.Key(kKeyUp, 0), KU::Handled);
  EXPECT_EQ(f.slot(f.top()).text, "line 17");
  EXPECT_EQ(f.Key(kKeyPageUp, 0), KU::Handled);
  EXPECT_EQ(f.slot(f.top()).text, "line 14");
  EXPECT_EQ(f.Key(kKeyHome, 0), KU::Handled);
  EXPECT_EQ(f.slot(f.top()).text, "line 1");
  EXPECT_EQ(f.Key(kKeyPageDown, 0), KU::Handled);
  EXPECT_EQ(f.Key(kKeyDown, 0), KU::Handled);
  EXPECT_EQ(f.slot(f.top()).text, "line 5");
  EXPECT_EQ(f.Key(kKeyEnd, 0), KU::Handled);
  EXPECT_EQ(f.slot(f.bottom()).text, "line 20");
  EXPECT_EQ(f.Key(kKeyF1, 0), KU::Ignored);
}

TEST_F(FifoFiles, CaptureWithHistoryAfterWrap) {
  FifoLines f;
  AppendNumbered(f, 1, 250);
  const std::string path = Path("MONITOR.TXT");
  ASSERT_TRUE(f.StartCapture(path, false, true));
  f.AppendLine("after", kFifoSent);
  f.AppendToLastLine(" more");
  f.StopCapture();
  f.AppendLine("not captured", kFifoReceived);

  std::string expected;
  for (int n = 52; n <= 250; ++n) expected += "\n" + Line(n);
  expected += "\nafter more\n";
  EXPECT_EQ(Read(path), expected);
}

TEST_F(FifoFiles, CaptureAppendsOrStartsAnewAndSkipsEmptyLines) {
  const std::string path = Path("cap.txt");
  {
    std::ofstream(path, std::ios::binary) << "old";
  }
  FifoLines f;
  f.AppendLine("a", kFifoReceived);
  f.AppendLine("", kFifoReceived);
  f.AppendLine("b", kFifoReceived);
  ASSERT_TRUE(f.StartCapture(path, true, true));
  f.StopCapture();
  EXPECT_EQ(Read(path), "old\na\nb\n");

  ASSERT_TRUE(f.StartCapture(path, false, false));  // anew, without history
  f.AppendLine("c", kFifoReceived);
  EXPECT_TRUE(f.capturing());
  f.StopCapture();
  EXPECT_FALSE(f.capturing());
  EXPECT_EQ(Read(path), "\nc\n");

  EXPECT_FALSE(f.StartCapture(Path("no/such/dir/x.txt"), false, true));
  EXPECT_FALSE(f.capturing());
}

}  // namespace
}  // namespace tarvik::ui
