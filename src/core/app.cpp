#include "core/app.h"

#include <chrono>

#include "core/run_program.h"
#include "core/task_window.h"

namespace tarvik::core {

App::App(ui::Toolkit& toolkit, StartupOptions options)
    : toolkit_(toolkit),
      options_(std::move(options)),
      messages_(toolkit, [this] {
        return MessageSettings{config_.GetSetting(11), config_.GetSetting(14),
                               config_.GetSetting(4)};
      }) {
  OpenDebugFile();
}

App::~App() {
  // Windows refer to the app; they go down in the orderly way before it.
  if (taskWindow != ui::kNoWindow) toolkit_.sendUser(taskWindow, kEvtShutdown, kShutdownAtOnce);
  CloseDebugFile();
}

void App::OpenDebugFile() {
  if (options_.debugFile && !debugFile_) debugFile_ = std::fopen(options_.debugFileName.c_str(), "w");
}

void App::CloseDebugFile() {
  if (debugFile_) std::fclose(debugFile_);
  debugFile_ = nullptr;
}

void App::DebugLog(const std::string& line) {
  if (!debugFile_) return;
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(toolkit_.now().time_since_epoch()).count();
  const auto up = duration_cast<milliseconds>(steady_clock::now() - started_).count();
  std::fprintf(debugFile_, "%lld.%03lld +%lldms %s\n", static_cast<long long>(ms / 1000),
               static_cast<long long>(ms % 1000), static_cast<long long>(up), line.c_str());
  std::fflush(debugFile_);
}

bool App::GlobalFlag(int entry) const {
  if (entry == 1002) return options_.frameMode;
  if (entry == 1003) return options_.ctl3d;
  return false;
}

bool App::RunProgram(ui::WindowId window, const std::string& commandText) {
  RunContext ctx;
  ctx.iniPath = options_.iniPath;
  if (window != ui::kNoWindow) {
    ctx.expandMacros = [this, window](const std::string& text) {
      return hooks_.expandMacros ? hooks_.expandMacros(*this, window, text) : text;
    };
  }
  ctx.message = [this, window](int number, const std::string& text) {
    ShowMessage(window != ui::kNoWindow ? window : taskWindow, number == 1025 ? 4 : 1, number,
                text);
  };
  return core::RunProgram(ctx, commandText);
}

bool App::Start() {
  ui::WindowSpec spec;
  spec.kind = options_.frameMode ? ui::WindowKind::Frame : ui::WindowKind::Invisible;
  spec.name = "TASKWIN";
  spec.title = "Tarvik";
  spec.rect = frameRect;
  toolkit_.create(spec, std::make_unique<TaskWindow>(*this));
  return !configFailed;
}

void App::RequestShutdown() {
  if (taskWindow != ui::kNoWindow) toolkit_.post(taskWindow, ui::Event::user(kEvtShutdown));
}

}  // namespace tarvik::core
