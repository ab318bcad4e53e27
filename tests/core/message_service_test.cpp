#include "core/message_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::core {
namespace {

namespace fs = std::filesystem;

// Stands in for the task window and for an asking window: records the status
// events and answers that reach it.
struct Sink : ui::Window {
  std::vector<std::pair<int, std::string>> events;
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    auto* t = e.as<ui::TextPayload>();
    events.emplace_back(e.id, t ? t->text : std::to_string(e.arg));
  }
};

class MessageServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_msg_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    settings.messageFile = (dir / "TARVIK.MSG").string();
    settings.logPath = dir.string() + "/";
    settings.flags = "0000000";
    task = tk.create({}, std::make_unique<Sink>());
    asker = tk.create({}, std::make_unique<Sink>());
    service.setTaskWindow(task);
  }
  void TearDown() override { fs::remove_all(dir); }

  void writeFile(const std::string& text) { std::ofstream(settings.messageFile) << text; }
  Sink& sink(ui::WindowId w) { return *tk.findAs<Sink>(w); }

  fs::path dir;
  MessageSettings settings;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  MessageService service{tk, [this] { return settings; }};
  ui::WindowId task = 0, asker = 0;
};

TEST_F(MessageServiceTest, StatusLineNoticeFillsTextsAndAnswersAtOnce) {
  writeFile("# comment\n12 2 Port %s: %s\\n closed\n");
  service.ShowMessage(asker, 1, 12, "COM1", "busy");
  ASSERT_EQ(sink(task).events.size(), 1u);
  EXPECT_EQ(sink(task).events[0], (std::pair<int, std::string>{983, "Port COM1: busy   closed"}));
  EXPECT_TRUE(sink(asker).events.empty());  // answers always travel through the post
  tk.pump();
  ASSERT_EQ(sink(asker).events.size(), 1u);
  EXPECT_EQ(sink(asker).events[0], (std::pair<int, std::string>{1651, "12"}));
  EXPECT_TRUE(tk.dialogLog().empty());
}

TEST_F(MessageServiceTest, LowLevelNoticeOpensDialogWithLinesAndAnswerArrivesOnClose) {
  writeFile("12\t1\tPort %s: %s\\n closed\tcomment after a tab\n");
  service.ShowMessage(asker, 1, 12, "COM1", "busy");
  EXPECT_EQ(sink(task).events.at(0).first, 982);
  ASSERT_EQ(tk.openDialogs().size(), 1u);
  const auto& d = tk.openDialogs().front();
  EXPECT_EQ(d.number, 1610);
  EXPECT_EQ(d.lines, (std::vector<std::string>{"Port COM1: busy ", " closed", ""}));
  tk.pump();
  EXPECT_TRUE(sink(asker).events.empty());
  tk.answerDialog(1);
  tk.pump();
  EXPECT_EQ(sink(asker).events.at(0), (std::pair<int, std::string>{1651, "12"}));
}

TEST_F(MessageServiceTest, KindsChooseDialogAndAnswers) {
  writeFile("5 1 Really?\n");
  struct Case { int kind; int dialog; bool no; bool cancel; int answer; };
  for (Case c : {Case{2, 1620, true, false, 0}, Case{3, 1630, true, true, 3},
                 Case{4, 1640, false, false, 1}}) {
    sink(asker).events.clear();
    service.ShowMessage(asker, c.kind, 5);
    ASSERT_EQ(tk.openDialogs().size(), 1u) << c.kind;
    EXPECT_EQ(tk.openDialogs().front().number, c.dialog);
    EXPECT_EQ(tk.openDialogs().front().buttons.no, c.no);
    EXPECT_EQ(tk.openDialogs().front().buttons.cancel, c.cancel);
    tk.answerDialog(c.answer);
    tk.pump();
    EXPECT_EQ(sink(asker).events.at(0).first, 1650 + c.answer);
  }
}

TEST_F(MessageServiceTest, DisabledMissingAndGroupedMessages) {
  writeFile("-12 2 silent\n7 2 seven\n[1]\n30 2 in a group\n[2]\n30 2 other group\n31 2 x\n");
  service.ShowMessage(asker, 4, 12);  // disabled: swallowed
  EXPECT_TRUE(tk.dialogLog().empty());
  service.ShowMessage(asker, 2, 30);  // behind the first group: not found
  ASSERT_EQ(tk.openDialogs().size(), 1u);
  EXPECT_EQ(tk.openDialogs().front().lines[0], "Dialog Nummer 30 nicht konfiguriert!");
  tk.answerDialog(1);
  service.ShowGroupMessage(2, 30);
  service.ShowGroupMessage(1, 31);  // group 1 has no 31: nothing
  service.ShowGroupMessage(9, 30);  // no group 9: nothing
  EXPECT_EQ(sink(task).events, (std::vector<std::pair<int, std::string>>{{983, "other group"}}));
  tk.pump();
  EXPECT_EQ(sink(asker).events.size(), 2u);
  EXPECT_EQ(sink(asker).events[0].first, 1651);
}

TEST_F(MessageServiceTest, BatchModeLogsInsteadOfDialog) {
  writeFile("23 1 Delete %s?\n");
  settings.flags = "000011";
  service.ShowMessage(asker, 2, 23, "MAIL0001.TXT");
  settings.flags = "000010";  // batch without log
  service.ShowMessage(asker, 2, 23, "other");
  EXPECT_TRUE(tk.dialogLog().empty());
  std::ifstream log(dir / "batch.log");
  std::string all((std::istreambuf_iterator<char>(log)), {});
  EXPECT_EQ(all, "Delete MAIL0001.TXT?\n");
  tk.pump();
  EXPECT_EQ(sink(asker).events.size(), 2u);
}

TEST_F(MessageServiceTest, MissingFileShowsErrorBoxAndStillAnswers) {
  service.ShowMessage(asker, 2, 5);
  ASSERT_EQ(tk.errorBoxes().size(), 1u);
  EXPECT_NE(tk.errorBoxes()[0].find(settings.messageFile), std::string::npos);
  tk.pump();
  EXPECT_EQ(sink(asker).events.at(0).first, 1651);
}

TEST(MessageFormat, Placeholders) {
  struct Case { const char* raw; const char* t1; const char* t2; const char* want; };
  for (Case c : {Case{"a %s b %s c", "1", "2", "a 1 b 2 c"},
                 Case{"a %s b %s", "", "2", "a  b 2"},
                 Case{"a %s b %s", "x%s", "2", "a x%s b 2"},  // %s inside text 1 stays
                 Case{"no places", "1", "2", "no places"},
                 Case{"a %s", "1", "2", "a 1"},
                 Case{"a %s.", "", "", "a ."}}) {
    EXPECT_EQ(MessageService::format(c.raw, c.t1, c.t2, false), c.want) << c.raw;
  }
  EXPECT_EQ(MessageService::format("x\\ny", {}, {}, true), "x \ry");
}

}  // namespace
}  // namespace tarvik::core

namespace tarvik::core {
namespace {

// A dialog line is never cut off: a long line goes on in the next one,
// after a blank near its end or else at its 79th character (a path), and the
// lines put together give the text back. Short texts keep the three lines a
// dialog always has.
TEST(DialogLines, LongLinesContinueWithoutLosingText) {
  const std::string path = "/home/operator/.local/share/tarvik/save/" + std::string(60, 'p') + ".txt";
  const std::string sentence = "Port Neighbour (127.0.0.1;8101): TCP/IP connection failed because the host "
                               "refused the connection";
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"short \rsecond", {"short ", "second", ""}},
      {sentence + " \rnext",
       {"Port Neighbour (127.0.0.1;8101): TCP/IP connection failed because the host ", "refused the connection ",
        "next"}},
      {"Not found: " + path, {("Not found: " + path).substr(0, 79), ("Not found: " + path).substr(79), ""}},
      {"a\rb\rc\rd", {"a", "b", "c", "d"}},
  };
  for (const Case& c : cases) {
    const auto lines = MessageService::dialogLines(c.text);
    EXPECT_EQ(lines, c.lines) << c.text;
    std::string joined;
    for (const std::string& l : lines) {
      EXPECT_LE(l.size(), 79u) << l;
      joined += l;
    }
    if (c.text.find('\r') == std::string::npos) {
      EXPECT_EQ(joined, c.text);
    }
  }
}

// A question that ends something asks with No as the default where the
// dialog has a No; the answer still comes from the button pressed.
TEST_F(MessageServiceTest, QuestionsCanDefaultToNo) {
  writeFile("8 1 Disconnect from %s?\n");
  struct Case {
    int kind;
    DefaultAnswer asked;
    bool defaultNo;
  };
  for (Case c : {Case{2, DefaultAnswer::No, true}, Case{3, DefaultAnswer::No, true},
                 Case{2, DefaultAnswer::Yes, false}, Case{1, DefaultAnswer::No, false}}) {
    service.ShowMessage(asker, c.kind, 8, "N0ABC", {}, c.asked);
    ASSERT_EQ(tk.openDialogs().size(), 1u) << c.kind;
    EXPECT_EQ(tk.openDialogs().front().buttons.defaultNo, c.defaultNo) << c.kind;
    EXPECT_EQ(tk.openDialogs().front().lines.at(0), "Disconnect from N0ABC?");
    tk.answerDialog(kAnswerYes);
  }
}

}  // namespace
}  // namespace tarvik::core
