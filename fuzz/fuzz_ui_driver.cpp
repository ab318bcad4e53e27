// The UI driver's request lines against a station's windows (main window,
// a channel window, the connect dialog): any request, with any window name,
// control, number or text, is answered OK or ERR and never crashes.
//
// Requests that name paths to write ("file" for the file dialogs, "png")
// are left out: they write wherever they are told, as the operator wants.
//
// Input: request lines, LF separated.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "channels/channel_owner.h"
#include "channels/form_windows.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace {

namespace fs = std::filesystem;
fs::path g_ini;

struct Sink : tarvik::ui::Window {
  void onEvent(tarvik::ui::Event&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_fuzz_driver_" + std::to_string(::getpid()));
  fs::create_directories(dir / "tmp");
  g_ini = dir / "TARVIK.INI";
  std::ofstream(g_ini) << "[TARVIK]\nMYCALL=DA1AAA\nMYNAME=fuzz\nFLAGS=0000000000\nTMPPATH=" << (dir / "tmp").string()
                       << "/\nMESSAGEFILE=" << (dir / "none.msg").string()
                       << "\n[P0]\nDEVICE=x\nPROTOCOL=KISS\n[P0CHAN0]\nWINDOW=7\nPACLEN=64\nT1=3\nT2=300\nT2DAMA=100\n"
                          "T3=20\nRETRY=2\nL2F=15\n";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik;
  ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
  {
    core::App app(tk, core::StartupOptions{});
    app.config().LoadConfiguration(g_ini);
    app.taskWindow = tk.create({}, std::make_unique<Sink>());
    app.messages().setTaskWindow(app.taskWindow);
    const auto forms = ui::InstallForms(app);
    channels::InstallChannelForms(app, *forms);
    app.mainWindow = channels::MainWindow::Create(app, *forms, {});
    channels::OpenOutgoingChannel(app, "DB2BBB");
    tk.pump();
    ui::UiDriver driver(tk);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      const std::string_view word = line.substr(0, line.find(' '));
      if (word == "file" || word == "png") continue;
      driver.execute(line);
      tk.pump();
    }
    for (const ui::WindowId w : tk.windows()) tk.destroy(w);
  }
  return 0;
}
