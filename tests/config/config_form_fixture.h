#pragma once
// A whole station (app::BuildStation) on the headless backend with the
// shipped descriptions of the toolbox and the configuration windows, its INI
// file written by the test, and the real message file. The operator acts
// through the UI driver. Port windows are stand-ins that record the user
// events they get (unless the test asks for the real ones); a stand-in connection manager, the parent of the port and
// radio-channel windows, saves a port's sections when it is told that the
// port changed, as its Save does.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/station.h"
#include "config/config_forms.h"
#include "core/app.h"
#include "ui/cnx_file.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::test {

namespace fs = std::filesystem;

// Records the user events it gets; `onUser` may act on them.
struct RecordingWindow : ui::Window {
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    events.emplace_back(e.id, e.arg);
    if (onUser) onUser(e);
  }
  std::vector<std::pair<int, std::intptr_t>> events;
  std::function<void(const ui::Event&)> onUser;
};

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ConfigFormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_cfgform_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    for (const char* sub : {"cnf", "log", "tmp"}) fs::create_directories(dir / sub);
    for (const int number : {1040, 1230, 1240, 1250, 1260, 1270, 1330}) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
  }
  void TearDown() override {
    for (const ui::WindowId w : tk.windows()) tk.destroy(w);
    app.reset();
    fs::remove_all(dir);
  }

  // The text with "@D@" replaced by the station directory (ending in "/")
  // and "@M@" by the message file.
  std::string Expand(std::string text) const {
    const std::string d = dir.string() + "/";
    const std::string m = std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG";
    for (std::size_t at; (at = text.find("@D@")) != std::string::npos;) text.replace(at, 3, d);
    for (std::size_t at; (at = text.find("@M@")) != std::string::npos;) text.replace(at, 3, m);
    return text;
  }
  fs::path IniPath() const { return dir / "TARVIK.INI"; }
  std::string Ini() const { return ReadFile(IniPath()); }

  void Start(const std::string& ini) {
    std::ofstream(IniPath(), std::ios::binary) << Expand(ini);
    core::StartupOptions options;
    options.iniPath = IniPath().string();
    app = std::make_unique<core::App>(tk, options);
    forms = ui::InstallForms(*app);
    app::BuildStation(*app, *forms, {});
    if (!realPorts) app->hooks().openPort = [this](core::App& a, int port) {
      auto w = std::make_unique<RecordingWindow>();
      RecordingWindow* raw = w.get();
      const ui::WindowId id = a.toolkit().create(ui::WindowSpec{}, std::move(w));
      portWindows[port] = raw;
      return id;
    };
    app->Start();
    ASSERT_TRUE(RunUntil([this] { return app->mainWindow != ui::kNoWindow; }));
    auto m = std::make_unique<RecordingWindow>();
    manager = m.get();
    manager->onUser = [this](const ui::Event& e) {
      if (e.id != config::kEvtPortChanged) return;
      changedPorts.push_back(static_cast<int>(e.arg));
      app->config().SavePortSections(static_cast<int>(e.arg));
    };
    ui::WindowSpec spec;
    spec.kind = ui::WindowKind::Document;
    spec.name = "MANAGER";
    managerWindow = tk.create(spec, std::move(m));
  }

  bool RunUntil(const std::function<bool()>& pred, long long limitMs = 10'000) {
    for (long long t = 0;; t += 10) {
      tk.pump();
      if (pred()) return true;
      if (t >= limitMs) return false;
      tk.stepMs(10);
    }
  }
  void Settle() { RunUntil([] { return false; }, 50); }

  // The operator's request; its last reply line.
  std::string Drive(const std::string& request) {
    const auto reply = driver.execute(request);
    Settle();
    return reply.empty() ? "" : reply.back();
  }
  // The same, which must succeed.
  void Do(const std::string& request) {
    const std::string reply = Drive(request);
    EXPECT_TRUE(reply == "OK" || reply.rfind("OK ", 0) == 0) << request << " -> " << reply;
  }

  bool IsOpen(int number) { return forms && !forms->windowsOf(number).empty(); }
  // First lines of the message dialogs open now, without trailing blanks.
  std::vector<std::string> OpenDialogs() const {
    std::vector<std::string> out;
    for (const auto& d : tk.openDialogs()) {
      std::string first = d.lines.empty() ? "" : d.lines[0];
      while (!first.empty() && first.back() == ' ') first.pop_back();
      out.push_back(first);
    }
    return out;
  }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  ui::UiDriver driver{tk};
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
  bool realPorts = false;  // the station's own port windows instead of stand-ins
  std::map<int, RecordingWindow*> portWindows;
  RecordingWindow* manager = nullptr;
  std::vector<int> changedPorts;  // as the manager was told
  ui::WindowId managerWindow = ui::kNoWindow;
};

}  // namespace tarvik::test
