// The program's start-up order and heartbeat on the stepped clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "channels/channel_forms.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "core/task_window.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// Counts the heartbeat ticks that reach it (a stand-in for a port window).
struct TickCounter : ui::Window {
  int ticks = 0;
  void onEvent(ui::Event& e) override {
    if (e.type == ui::EventType::User && e.id == core::kEvtHeartbeat) ++ticks;
  }
};

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tvk_station_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL-1\nTMPPATH=" << d
                                      << "tmp/\nLOGPATH=" << d << "log/\nMESSAGEFILE=" << d
                                      << "TARVIK.MSG\nRUN-0=\n";
    std::ofstream(dir / "TARVIK.MSG") << "501 2 Unknown event %s %s\n";
    // A fixed local time, 10:00:00, makes minute and day changes predictable.
    std::tm tm{};
    tm.tm_year = 126, tm.tm_mon = 11, tm.tm_mday = 9, tm.tm_hour = 10, tm.tm_isdst = -1;
    tk.setTime(ui::Clock::from_time_t(std::mktime(&tm)));
    options.iniPath = (dir / "TARVIK.INI").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  // Creates the app with a main window whose hooks count minute and day calls.
  void start() {
    app = std::make_unique<core::App>(tk, options);
    app->hooks().createMainWindow = [this](core::App& a) {
      channels::MainWindowHooks h;
      h.runTimerList = [this] { ++minutes; };
      h.loadDayTimerList = [this] { ++dayLoads; };
      return channels::MainWindow::Create(a, test::ChannelForms(a), h);
    };
    ASSERT_TRUE(app->Start());
  }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  core::StartupOptions options;
  std::unique_ptr<core::App> app;
  int minutes = 0, dayLoads = 0;
};

TEST_F(StationTest, MissingIniEndsWithoutMessageAndNonZeroCode) {
  options.iniPath = (dir / "nope.ini").string();
  core::App a(tk, options);
  EXPECT_FALSE(a.Start());
  EXPECT_TRUE(a.configFailed);
  EXPECT_TRUE(tk.quitRequested());
  EXPECT_TRUE(tk.dialogLog().empty());
  EXPECT_TRUE(tk.errorBoxes().empty());
}

TEST_F(StationTest, StartupOrderAndHeartbeatFanOut) {
  start();
  ASSERT_NE(app->taskWindow, ui::kNoWindow);
  EXPECT_EQ(app->mainWindow, ui::kNoWindow);
  EXPECT_TRUE(fs::exists(dir / "log"));  // working directories are made
  tk.stepSeconds(1);  // the start-up window asks for the main window
  ASSERT_NE(app->mainWindow, ui::kNoWindow);
  EXPECT_EQ(tk.frameDocTitle(), "N0CALL-1");
  const auto welcome = [&] {
    for (auto w : tk.windows())
      if (tk.specOf(w)->name == "WELCOME") return true;
    return false;
  };
  EXPECT_TRUE(welcome());

  // A port window and a link window both count the fanned-out ticks.
  auto portWin = tk.create({}, std::make_unique<TickCounter>());
  auto linkWin = tk.create({}, std::make_unique<TickCounter>());
  app->ports()[3].portWindow = portWin;
  auto* main = tk.findAs<channels::MainWindow>(app->mainWindow);
  main->channels()[5].linkWindow = linkWin;

  tk.stepSeconds(5);
  EXPECT_TRUE(welcome());
  tk.stepSeconds(1);  // sixth tick of the main window closes the welcome window
  EXPECT_FALSE(welcome());
  EXPECT_EQ(dayLoads, 1);
  EXPECT_EQ(tk.findAs<TickCounter>(portWin)->ticks, 6);

  // A tick three seconds late reaches every link and port three times.
  tk.setTime(tk.now() + std::chrono::seconds(2));
  tk.stepSeconds(1);
  EXPECT_EQ(tk.findAs<TickCounter>(portWin)->ticks, 9);
  EXPECT_EQ(tk.findAs<TickCounter>(linkWin)->ticks, 9);

  // Over a minute boundary the count goes on without a burst.
  tk.stepSeconds(60);
  EXPECT_EQ(minutes, 1);
  const int afterMinute = tk.findAs<TickCounter>(portWin)->ticks;
  EXPECT_GE(afterMinute, 67);
  EXPECT_LE(afterMinute, 69);

  // A new day loads the day's list again.
  tk.stepMinutes(24 * 60);
  EXPECT_EQ(dayLoads, 2);
}

TEST_F(StationTest, StatusLineTextsExpireAndUnknownEventsAreReported) {
  start();
  tk.stepSeconds(1);
  tk.sendUser(app->taskWindow, 983, 0, std::make_unique<ui::TextPayload>("hello"));
  tk.sendUser(app->taskWindow, 981, 0, std::make_unique<ui::TextPayload>("stays"));
  tk.stepSeconds(20);
  EXPECT_EQ(tk.statusField(0), "hello");
  tk.stepSeconds(2);
  EXPECT_EQ(tk.statusField(0), "");
  EXPECT_EQ(tk.statusField(1), "stays");

  tk.sendUser(app->taskWindow, 4711);
  EXPECT_EQ(tk.statusField(0), "Unknown event TASKWIN 4711");
}

TEST_F(StationTest, ShutdownOnEventOneSavesFramePosition) {
  start();
  tk.stepSeconds(2);
  tk.move(app->taskWindow, ui::Rect{40, 10, 500, 700});
  tk.sendUser(app->taskWindow, 1);
  EXPECT_EQ(app->mainWindow, ui::kNoWindow);
  EXPECT_EQ(app->taskWindow, ui::kNoWindow);
  EXPECT_TRUE(tk.quitRequested());
  std::ifstream pos(dir / "tmp/POS/0000.POS");
  std::string line;
  std::getline(pos, line);
  EXPECT_EQ(line, "40;10;500;700;");
}

}  // namespace
}  // namespace tarvik
