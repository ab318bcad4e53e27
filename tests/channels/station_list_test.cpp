// The station list shows the stored stations as rows of columns, on the
// surface an operator sees, and follows a click on a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "channels/station_windows.h"
#include "store/station_db.h"
#include "toolbox_fixture.h"
#include "ui/list_rows.h"
#include "ui/toolkit/headless/headless_canvas.h"

namespace tarvik::test {
namespace {

class StationListTest : public ToolboxFixture {
 protected:
  // The shipped list, form, message dialogs and message texts, and a
  // database holding `calls`.
  void Prepare(std::initializer_list<const char*> calls) {
    for (const int number : {1060, 1070, 1610, 1620, 1630, 1640}) Install(number);
    std::filesystem::copy_file(std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG", dir / "TARVIK.MSG",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::create_directories(dir / "log");
    std::int32_t position = 0;
    for (const char* call : calls) {
      store::StationRecord r;
      r.station = call;
      r.name = std::string("Name of ") + call;
      ASSERT_EQ(db().Insert(r, position), 0);
    }
    Start([this](ui::FormRuntime& f) { channels::InstallStationForms(*app, f); });
    ASSERT_EQ(Drive("press MAIN STATLIST"), "OK");
  }
  store::StationDatabase db() { return store::StationDatabase((dir / "log").string() + "/"); }
  std::optional<store::StationRecord> Stored(const std::string& call) {
    store::StationEntry e;
    if (db().Lookup(call, e) != store::kRecordFound) return std::nullopt;
    return e.record;
  }
  // A click (or double click) on row `row` of the list.
  std::string ClickRow(int row, bool twice = false) {
    const std::string reply = Drive(std::string("mouse 1060 LISTE ") + (twice ? "double" : "click") + " 10 " +
                                    std::to_string(ListRowY(tk, 1060, row)));
    tk.stepMs(ui::kListClickMs + 100);  // a click is told once the double-click time has passed
    return reply;
  }
  // Answers the open message dialog; the answer reaches the asking window
  // through the main loop.
  std::string Answer(int answer) {
    const std::string reply = Drive("answer " + std::to_string(answer));
    tk.pump(0);
    return reply;
  }
  bool Open(int number) {
    for (const std::string& l : DriveLines("windows"))
      if (l.find(" " + std::to_string(number) + " ") != std::string::npos) return true;
    return false;
  }
};

TEST_F(StationListTest, DeletingAStationIsAYesOrNoQuestion) {
  Prepare({"DB0XYZ", "DL1ABC"});
  ASSERT_EQ(ClickRow(1), "OK");  // DL1ABC, the second in key order
  ASSERT_EQ(Drive("press 1060 DEL"), "OK");
  EXPECT_EQ(DriveLines("dialogs"),
            (std::vector<std::string>{"= 1620 Tarvik - Question | Delete station DL1ABC from the database?", "OK"}));
  // No: the station stays, in the file and in the list.
  EXPECT_EQ(Answer(0), "OK answered");
  EXPECT_EQ(DriveLines("dialogs"), std::vector<std::string>{"OK"});
  EXPECT_TRUE(Stored("DL1ABC"));
  EXPECT_EQ(Drive("lines 1060 LISTE"), "OK 2");
  // Yes: it is gone from both.
  ASSERT_EQ(Drive("press 1060 DEL"), "OK");
  EXPECT_EQ(Answer(1), "OK answered");
  EXPECT_FALSE(Stored("DL1ABC"));
  const auto lines = DriveLines("lines 1060 LISTE");
  ASSERT_EQ(lines.back(), "OK 1");
  EXPECT_EQ(lines.front().substr(0, 8), "= DB0XYZ");
}

TEST_F(StationListTest, TheStationFormEditsARecordUnderItsCallWithItsDigiMark) {
  Prepare({"DL1ABC"});
  ASSERT_EQ(ClickRow(0, true), "OK");
  ASSERT_TRUE(Open(1070));
  // The call is the record's key: it cannot be changed in a shown station.
  EXPECT_NE(Drive("state 1070 STATION").find(" enabled=0 "), std::string::npos);
  EXPECT_EQ(Drive("set 1070 STATION DL9NEW"), "ERR disabled, invisible or not applicable");
  // There is no password window behind the button yet.
  EXPECT_NE(Drive("state 1070 PASSWD").find(" enabled=0 "), std::string::npos);
  EXPECT_NE(Drive("state 1070 DIGI").find("checked=0"), std::string::npos);

  ASSERT_EQ(Drive("press 1070 DIGI"), "OK");
  ASSERT_EQ(Drive("set 1070 NAME Hans"), "OK");
  ASSERT_EQ(Drive("press 1070 OK"), "OK");
  // "Changed" is a notice (in the status line), not a question.
  EXPECT_EQ(DriveLines("dialogs"), std::vector<std::string>{"OK"});
  EXPECT_EQ(tk.statusField(0), "Station data changed.");
  EXPECT_FALSE(Open(1070));
  const auto stored = Stored("DL1ABC");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->name, "Hans");
  EXPECT_TRUE(stored->digi);
  EXPECT_EQ(DriveLines("lines 1060 LISTE").front().substr(0, 17), "= DL1ABC   \tHans ");

  // Shown again with its mark; leaving with changes asks, and no discards them.
  ASSERT_EQ(ClickRow(0, true), "OK");
  EXPECT_NE(Drive("state 1070 DIGI").find("checked=1"), std::string::npos);
  ASSERT_EQ(Drive("press 1070 DIGI"), "OK");
  ASSERT_EQ(Drive("set 1070 NAME Otto"), "OK");
  ASSERT_EQ(Drive("press 1070 EXIT"), "OK");
  // (the message's line break leaves a blank at the end of the first line)
  EXPECT_EQ(DriveLines("dialogs"),
            (std::vector<std::string>{"= 1620 Tarvik - Question | Unsaved changes (DL1ABC).  | Save them now?", "OK"}));
  EXPECT_EQ(Answer(0), "OK answered");
  EXPECT_FALSE(Open(1070));
  EXPECT_EQ(Stored("DL1ABC")->name, "Hans");
  EXPECT_TRUE(Stored("DL1ABC")->digi);
}

TEST_F(StationListTest, StoredStationsAreDrawnAndAClickSelectsARow) {
  Install(1060);
  Install(1070);
  std::filesystem::create_directories(dir / "log");
  store::StationDatabase db((dir / "log").string() + "/");
  std::int32_t position = 0;
  for (const char* call : {"DL1ABC", "DB0XYZ"}) {
    store::StationRecord r;
    r.station = call;
    r.name = std::string("Name of ") + call;
    ASSERT_EQ(db.Insert(r, position), 0);
  }
  Start([this](ui::FormRuntime& f) { channels::InstallStationForms(*app, f); });
  ASSERT_EQ(Drive("press MAIN STATLIST"), "OK");
  const auto lines = DriveLines("lines 1060 LISTE");
  ASSERT_EQ(lines.back(), "OK 2");

  // What the pane draws: both calls, with their names, on separate rows.
  ui::WindowId pane = ui::kNoWindow;
  for (ui::WindowId w : tk.windows())
    if (tk.specOf(w)->name == "LISTE") pane = w;
  ASSERT_NE(pane, ui::kNoWindow);
  tk.flushUpdates();
  auto* canvas = dynamic_cast<ui::HeadlessCanvas*>(tk.canvas(pane));
  ASSERT_NE(canvas, nullptr);
  const std::vector<std::string> rows = canvas->rows();
  auto rowWith = [&](const std::string& text) {
    return std::find_if(rows.begin(), rows.end(),
                        [&](const std::string& r) { return r.find(text) != std::string::npos; });
  };
  ASSERT_NE(rowWith("DL1ABC"), rows.end());
  ASSERT_NE(rowWith("DB0XYZ"), rows.end());
  EXPECT_NE(rowWith("DL1ABC"), rowWith("DB0XYZ"));
  EXPECT_NE(rowWith("Name of DL1ABC")->find("DL1ABC"), std::string::npos);

  // A click on the second row draws it selected: white text on the bar.
  ASSERT_EQ(Drive("mouse 1060 LISTE click 10 " + std::to_string(ListRowY(tk, 1060, 1))), "OK");
  tk.flushUpdates();
  int white = 0;
  for (const auto& t : canvas->texts())
    if (ui::sameRgb(t.fore, ui::kWhite)) ++white;
  EXPECT_GT(white, 0);
}

}  // namespace
}  // namespace tarvik::test
