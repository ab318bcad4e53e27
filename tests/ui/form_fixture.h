#pragma once
// A station directory with cnf/ and tmp/, a headless toolkit on a manual
// clock, a task window that records its user events, and a form runtime
// whose messages are recorded instead of shown.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ui/cnx_file.h"
#include "ui/form.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ui::testing {

struct Recorder : Window {
  std::vector<std::pair<int, std::intptr_t>> events;
  void onEvent(Event& e) override {
    if (e.type == EventType::User) events.emplace_back(e.id, e.arg);
  }
};

struct ShownMessage {
  WindowId window;
  int kind, number;
  std::string text1;
  bool operator==(const ShownMessage&) const = default;
};

class FormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("tvk_form_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "cnf");
    std::filesystem::create_directories(dir / "tmp");
    task = tk.create(WindowSpec{WindowKind::Frame, "TASKWIN"}, std::make_unique<Recorder>());
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  FormEnvironment environment() {
    FormEnvironment env;
    env.setting = [this](int n) {
      if (n == 5) return dir.string() + "/tmp/";
      if (n == 6) return dir.string() + "/cnf/";
      if (n == 26) return std::string("help.txt");
      return std::string();
    };
    env.showMessage = [this](WindowId w, int kind, int number, const std::string& t1, const std::string&) {
      messages.push_back({w, kind, number, t1});
    };
    env.executeCommand = [this](WindowId, const std::string& text) { executed.push_back(text); };
    env.showHelp = [this](const std::string& file, int context) {
      helps.push_back(file + "#" + std::to_string(context));
    };
    env.winMenu = [this] { return winMenu; };
    env.taskWindow = [this] { return task; };
    return env;
  }

  // Writes description `number` the way the encoder does.
  void describe(int number, const std::string& text, bool seal = true) {
    char name[16];
    std::snprintf(name, sizeof name, "M%04d.CNX", number);
    std::ofstream(dir / "cnf" / name, std::ios::binary)
        << EncodeCnx(seal ? SealDescription(text) : text + "[//0]\n", name);
  }

  Recorder& taskEvents() { return *tk.findAs<Recorder>(task); }

  std::filesystem::path dir;
  HeadlessToolkit tk{HeadlessToolkit::Mode::Manual};
  WindowId task = kNoWindow;
  std::vector<ShownMessage> messages;
  std::vector<std::string> executed;
  std::vector<std::string> helps;
  std::vector<std::string> winMenu;
  FormRuntime runtime{tk, environment()};
};

}  // namespace tarvik::ui::testing
