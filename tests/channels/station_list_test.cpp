// The station list shows the stored stations as rows of columns, on the
// surface an operator sees, and follows a click on a row.
#include <gtest/gtest.h>

#include <algorithm>

#include "channels/station_windows.h"
#include "store/station_db.h"
#include "toolbox_fixture.h"
#include "ui/toolkit/headless/headless_canvas.h"

namespace tarvik::test {
namespace {

class StationListTest : public ToolboxFixture {};

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
  ASSERT_EQ(Drive("mouse 1060 LISTE click 10 " + std::to_string(channels::kListRowHeight + 4)), "OK");
  tk.flushUpdates();
  int white = 0;
  for (const auto& t : canvas->texts())
    if (ui::sameRgb(t.fore, ui::kWhite)) ++white;
  EXPECT_GT(white, 0);
}

}  // namespace
}  // namespace tarvik::test
