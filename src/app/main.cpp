// Tarvik: a terminal for amateur packet radio.
//
// The entry point picks the toolkit backend (Qt, or headless for an
// unattended station with NOGUI), wires the subsystems into the core's hooks
// and runs the main loop until the task window ends it.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/station.h"
#include "core/app.h"
#include "core/atomic_file.h"
#include "core/config.h"
#include "core/frame_position.h"
#include "core/ini_reader.h"
#include "core/signal_watch.h"
#include "core/startup_options.h"
#include "core/station_directory.h"
#include "store/station_db.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"
#ifdef TARVIK_HAVE_QT
#include "ui/toolkit/qt/qt_toolkit.h"
#endif

namespace {

std::string programPath(const char* argv0) {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<std::size_t>(n));
  return argv0 ? argv0 : "tarvik";
}

// The frame's rectangle comes from the position file in TMPPATH, which is
// read before the rest of the configuration.
tarvik::ui::Rect initialFrameRect(const std::string& iniPath) {
  auto reader = tarvik::core::IniReader::Open(iniPath);
  if (!reader || !reader->FindSection("[TARVIK]")) return tarvik::core::kDefaultFrameRect;
  return tarvik::core::ReadFramePosition(reader->ReadText("TMPPATH", 127));
}

int runStation(tarvik::ui::Toolkit& toolkit, const tarvik::core::StartupOptions& options) {
  tarvik::core::App app(toolkit, options);
  app.frameRect = initialFrameRect(options.iniPath);
  // Forms go before the app: the runtime closes its open forms first.
  std::shared_ptr<tarvik::ui::FormRuntime> forms = tarvik::ui::InstallForms(app);
  tarvik::app::BuildStation(app, *forms);
  tarvik::core::WatchTerminationSignals(app);
  if (!app.Start()) return 2;  // no configuration: end silently
  // What writers killed half-way left behind (the station database, the
  // logbook and its archives, the window positions) goes before anything is
  // written again.
  const std::string logPath = app.config().GetSetting(tarvik::core::kSettingLogPath);
  tarvik::store::RemoveStaleTemporaries(logPath);
  tarvik::core::RemoveStaleTemporariesIn(logPath, ".log");
  tarvik::core::RemoveStaleTemporariesIn(logPath, ".lar");
  tarvik::core::RemoveStaleTemporariesIn(app.config().GetSetting(tarvik::core::kSettingTmpPath) + "POS",
                                         ".POS");
  // DRIVER=<path>: the operator's side can be driven over a local socket
  // ("-": standard input and output), see the README's UI driver section.
  if (!options.driverSocket.empty() &&
      tarvik::ui::startDriverServer(toolkit, options.driverSocket) == tarvik::ui::kNoWindow)
    std::fprintf(stderr, "tarvik: cannot open the UI driver socket %s\n",
                 options.driverSocket.c_str());
  int code = toolkit.run();
  return app.configFailed ? 2 : code;
}

}  // namespace

int main(int argc, char** argv) {
  // A peer that closes its end (a UI driver client, a TCP link, a pipe)
  // is an error of that one write, never the end of the station.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::string program = programPath(argv[0]);
  tarvik::core::StartupOptions options = tarvik::core::ParseArguments(args, program);
#ifndef TARVIK_HAVE_QT
  options.noGui = true;  // a build without Qt never draws
#endif
  // --help, --version, the user's station on a start without INI path, and
  // the reasons not to start at all (no configuration, no display).
  if (const auto code = tarvik::core::PrepareStart(options, program, [](const char* name) {
        return static_cast<const char*>(std::getenv(name));
      }))
    return *code;
#ifdef TARVIK_HAVE_QT
  if (!options.noGui) {
    tarvik::ui::QtToolkit toolkit(argc, argv, options.frameMode);
    return runStation(toolkit, options);
  }
#endif
  tarvik::ui::HeadlessToolkit toolkit(tarvik::ui::HeadlessToolkit::Mode::RealTime);
  // Nobody looks at the surfaces of a station without a display.
  toolkit.keepSurfaces(false);
  return runStation(toolkit, options);
}
