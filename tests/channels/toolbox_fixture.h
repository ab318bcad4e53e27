#pragma once
// A running station on the headless backend with the shipped descriptions
// of the toolbox (1040), the monitor (1050) and the frame generator (1140),
// driven as the operator through the UI driver. Frames the program sends are
// recorded where the task window would encode them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ax25/frame.h"
#include "channels/form_windows.h"
#include "channels/heard_window.h"
#include "channels/main_window.h"
#include "channels/monitor_window.h"
#include "core/app.h"
#include "ui/cnx_file.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::test {

class ToolboxFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("tvk_toolbox_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "cnf");
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=DL1ZZZ-1\nCNFPATH=" << d << "cnf/\nTMPPATH=" << d
        << "tmp/\nLOGPATH=" << d << "log/\nSAVEPATH=" << d << "save/\nMESSAGEFILE=" << d
        << "TARVIK.MSG\nHELPFILE=" << d << "TARVIK.HLP\nMYBBSPATH=DB0BOX\nMY2BBSPATH=1:DB0OTH\n";
    std::ofstream(dir / "TARVIK.MSG") << "1 1 Quit Tarvik?\n"
                                      << "501 1 Unknown event %s %s\n"
                                      << "503 1 Unknown command %s %s\n";
    for (const int number : {1040, 1050, 1140}) Install(number);
    std::tm tm{};
    tm.tm_year = 126, tm.tm_mon = 2, tm.tm_mday = 9, tm.tm_hour = 10, tm.tm_isdst = -1;
    tk.setTime(ui::Clock::from_time_t(std::mktime(&tm)));
  }

  void TearDown() override {
    app.reset();
    std::filesystem::remove_all(dir);
  }

  // The shipped description of a window, encoded into the station's cnf/.
  void Install(int number) {
    const std::string name = "M" + std::to_string(number);
    std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/data/forms/" + name + ".txt",
                     std::ios::binary);
    ASSERT_TRUE(in) << name;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::ofstream(dir / "cnf" / (name + ".CNX"), std::ios::binary)
        << ui::EncodeCnx(ui::SealDescription(text), name + ".CNX");
  }

  // Starts the program; `prepare` may register windows before the toolbox
  // opens. The main window comes one second after the start.
  void Start(std::function<void(ui::FormRuntime&)> prepare = {}) {
    core::StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    forms = ui::InstallForms(*app);
    channels::InstallChannelForms(*app, *forms);
    forms->env().showHelp = [this](const std::string& file, int context) {
      help.emplace_back(file, context);
    };
    if (prepare) prepare(*forms);
    app->hooks().encodeAndSend = [this](core::App&, ui::Event& e) {
      if (auto* f = e.as<ax25::FrameRecord>()) sent.push_back(*f);
    };
    app->hooks().createMainWindow = [this](core::App& a) {
      channels::MainWindowHooks h;
      h.frameSent = [&a](ui::Event& e) { channels::MonitorFrameEvent(a.toolkit(), e); };
      h.frameReceived = [&a](ui::Event& e) {
        channels::MonitorFrameEvent(a.toolkit(), e);
        channels::HeardFrameEvent(a, e);
      };
      h.openOutgoingChannel = [this](const std::string& text) { connects.push_back(text); };
      return channels::MainWindow::Create(a, *forms, h);
    };
    ASSERT_TRUE(app->Start());
    tk.stepSeconds(1);
    ASSERT_NE(app->mainWindow, ui::kNoWindow);
  }

  channels::MainWindow& Main() { return *tk.findAs<channels::MainWindow>(app->mainWindow); }

  // One request of the UI driver; its last reply line.
  std::string Drive(const std::string& line) {
    const std::vector<std::string> reply = driver.execute(line);
    return reply.empty() ? std::string() : reply.back();
  }
  std::vector<std::string> DriveLines(const std::string& line) { return driver.execute(line); }

  std::filesystem::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
  ui::UiDriver driver{tk};
  std::vector<ax25::FrameRecord> sent;
  std::vector<std::string> connects;
  std::vector<std::pair<std::string, int>> help;
};

}  // namespace tarvik::test
