#include "core/task_window.h"

#include <filesystem>

#include "core/frame_position.h"
#include "core/identification.h"
#include "core/mycall.h"
#include "ui/toolkit/drawing.h"
#include "core/port_opening.h"
#include "core/run_program.h"

namespace tarvik::core {

namespace {
constexpr int kStatusShownTicks = 20;
constexpr int kStatusIdleTicks = 1000;
constexpr int kNoStatusLineTicks = 10000;
// The message whose ABBRUCH answer ends the program.
constexpr int kMsgQuitQuestion = 1007;
// How often a held shutdown looks whether it may go on.
constexpr int kShutdownPollMs = 100;
// MYCALL is no call sign: the ports stay closed.
constexpr int kMsgInvalidOwnCall = 1060;

// Paths in settings may be relative to the INI file's directory.
std::string besideIni(App& app, const std::string& file) {
  if (file.empty() || file[0] == '/') return file;
  return app.config().GetSetting(9) + file;
}
}  // namespace

void TaskWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::User: onUser(event); break;
    case ui::EventType::Timer: onTimer(event); break;
    case ui::EventType::Close:
      if (app_.mainWindow != ui::kNoWindow) {
        ui::Event close(ui::EventType::Close, 0);
        toolkit().send(app_.mainWindow, close);
      } else {
        shutdown();
      }
      break;
    case ui::EventType::Quit:
      if (event.arg != 0) shutdown(true);
      break;
    default: break;
  }
}

void TaskWindow::onCreate() {
  app_.DebugLog("task window created");
  app_.taskWindow = id();
  app_.messages().setTaskWindow(id());
  if (!app_.config().LoadConfiguration(app_.options().iniPath)) {
    // Without its configuration the program cannot run; it ends silently.
    app_.configFailed = true;
    app_.ports().Clear();
    toolkit().quit(2);
    return;
  }
  // The station's working directories are made when missing, so that the
  // first log, capture or temporary file of a new station is not lost.
  for (int setting : {3, 4, 5, 42}) {
    const std::string dir = app_.config().GetSetting(setting);
    std::error_code ec;
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  }
  if (app_.options().frameMode) {
    toolkit().setFrameBackground(besideIni(app_, app_.config().GetSetting(18)));
    startPortsAndServices();
    countdown_ = kStatusIdleTicks;
  } else {
    countdown_ = kNoStatusLineTicks;
  }
  // Icons are pictures by number in the directory ICONDLL names; without
  // one the windows simply draw no icons.
  app_.iconLibrary = besideIni(app_, app_.config().GetSetting(24));
  toolkit().setIconDirectory(app_.iconLibrary);
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Document;
  spec.name = "WELCOME";
  spec.title = "Tarvik";
  spec.parent = app_.options().frameMode ? id() : ui::kNoWindow;
  spec.rect = {100, 150, 300, 520};
  startupWindow_ = toolkit().create(spec, std::make_unique<StartupWindow>(app_));
  PlaySound("SOUND/TVKSTART.WAV");
}

void TaskWindow::startPortsAndServices() {
  if (app_.hooks().startServices) app_.hooks().startServices(app_);
  // Every frame carries the own call as its source: without a valid one the
  // station stays off the air, and the operator is told why.
  if (!IsValidCall(app_.config().GetSetting(2))) {
    app_.ShowMessage(id(), 1, kMsgInvalidOwnCall, app_.config().GetSetting(2),
                     app_.config().GetSetting(10));
    return;
  }
  if (app_.hooks().startTcpServer) app_.hooks().startTcpServer(app_);
  OpenAllPorts(app_);
}

void TaskWindow::createMainWindow() {
  if (app_.mainWindow != ui::kNoWindow || !app_.hooks().createMainWindow) return;
  app_.mainWindow = app_.hooks().createMainWindow(app_);
  if (app_.mainWindow == ui::kNoWindow) return;
  app_.DebugLog("main window created");
  if (!app_.options().frameMode)
    startPortsAndServices();
  else
    toolkit().setFrameDocTitle(app_.config().GetSetting(2));
  runStartPrograms();
}

void TaskWindow::runStartPrograms() {
  // RUN-0, RUN-1, ... in turn, up to the first missing key or a value
  // without ";".
  for (const std::string& command : app_.config().ReadRunPrograms())
    app_.RunProgram(ui::kNoWindow, command);
}

void TaskWindow::setStatus(int field, const std::string& text) {
  if (!app_.options().frameMode) {
    countdown_ = kNoStatusLineTicks;
    return;
  }
  static constexpr std::size_t kCapacity[3] = {79, 63, 31};
  toolkit().setStatusField(field, text.substr(0, kCapacity[field]));
  countdown_ = kStatusShownTicks;
}

void TaskWindow::clearStatus() {
  if (app_.options().frameMode) {
    toolkit().setStatusField(0, "");
    toolkit().setStatusField(2, "");
    showPortStates();
    countdown_ = kStatusIdleTicks;
  } else {
    countdown_ = kNoStatusLineTicks;
  }
}

void TaskWindow::onTimer(const ui::Event& event) {
  if (shutdownTimer_ != 0 && static_cast<ui::TimerId>(event.id) == shutdownTimer_) {
    if (!app_.ShutdownHeld() || toolkit().now() >= shutdownDeadline_) toolkit().destroy(id());
    return;
  }
  showPortStates();
  if (countdown_-- < 0) clearStatus();
}

void TaskWindow::showPortStates() {
  if (!app_.options().frameMode) return;
  std::string key;
  for (const PortRecord& port : app_.ports())
    key += port.configured() ? static_cast<char>('0' + static_cast<int>(port.shownState())) : '.';
  if (key != portStateKey_) {
    portStateKey_ = key;
    static constexpr std::size_t kFieldCapacity = 31;
    portStates_ = PortStateSummary(app_).substr(0, kFieldCapacity);
  }
  // Field 2 is cleared with the message field; the states come back at once.
  if (!portStates_.empty() && toolkit().statusField(2) != portStates_) toolkit().setStatusField(2, portStates_);
}

void TaskWindow::onUser(ui::Event& event) {
  auto text = [&event]() {
    auto* t = event.as<ui::TextPayload>();
    return t ? t->text : std::string();
  };
  switch (event.id) {
    case kEvtFrameReceived:
      if (app_.mainWindow != ui::kNoWindow) toolkit().send(app_.mainWindow, event);
      break;  // the frame is freed with the event unless a receiver took it
    case kEvtFrameSend:
      if (app_.hooks().encodeAndSend) app_.hooks().encodeAndSend(app_, event);
      if (app_.mainWindow != ui::kNoWindow) toolkit().send(app_.mainWindow, event);
      break;
    case kEvtShutdown:
      shutdown(event.arg == kShutdownAtOnce);
      break;
    case kEvtChildClosed:
      shutdown();
      break;
    case kEvtTcpOpened:
    case kEvtTcpClosed:
    case kEvtSerialOpened:
      break;
    // Port reports name the port by its title and where it leads.
    case kEvtTcpFailed:
      if (auto* s = event.as<PortStatus>())
        app_.ShowMessage(id(), 1, 20, PortLabel(app_.ports(), s->port, s->device), s->error);
      break;
    case kEvtSerialClosed:
      if (auto* s = event.as<PortStatus>())
        app_.ShowMessage(id(), 1, 27, PortLabel(app_.ports(), s->port, s->device), "Timeout");
      else
        app_.ShowMessage(id(), 1, 27, "Timeout", "Timeout");
      break;
    case kEvtSerialFailed:
      if (auto* s = event.as<PortStatus>())
        app_.ShowMessage(id(), 1, 27, PortLabel(app_.ports(), s->port, s->device), s->error);
      break;
    case kEvtStatusField2: setStatus(2, text()); break;
    case kEvtStatusField1: setStatus(1, text()); break;
    case kEvtStatusField0: setStatus(0, text()); break;
    case kEvtStatusClear: clearStatus(); break;
    case kEvtDisableWindows:
      app_.windowsDisabled = event.arg == 2;
      if (app_.mainWindow != ui::kNoWindow) toolkit().send(app_.mainWindow, event);
      break;
    case kEvtStartupGone: startupWindow_ = ui::kNoWindow; break;
    case kEvtCreateMainWindow: createMainWindow(); break;
    case kEvtStartupComplete:
      if (startupWindow_ != ui::kNoWindow) toolkit().destroy(startupWindow_);
      break;
    case kAnswerBase + kAnswerNo:
    case kAnswerBase + kAnswerYes:
    case kAnswerBase + 2:
    case kAnswerBase + 4:
      break;
    case kAnswerBase + kAnswerCancel:
      if (event.arg == kMsgQuitQuestion) shutdown();
      break;
    default:
      app_.ShowMessage(id(), 1, 501, "TASKWIN", std::to_string(event.id));
      break;
  }
}

void TaskWindow::shutdown(bool atOnce) {
  if (!shuttingDown_) {
    shuttingDown_ = true;
    if (app_.mainWindow != ui::kNoWindow) {
      ui::WindowId main = app_.mainWindow;
      app_.mainWindow = ui::kNoWindow;
      toolkit().destroy(main);
    }
    CloseAllPorts(app_);
  }
  // Closing serial ports may still be sending their DEINI texts: the main
  // loop keeps running for them, within a bound.
  if (atOnce || !app_.ShutdownHeld()) {
    toolkit().destroy(id());
    return;
  }
  if (shutdownTimer_ == 0) {
    app_.DebugLog("shutdown waits for closing ports");
    shutdownDeadline_ = toolkit().now() + std::chrono::seconds(kShutdownWaitSeconds);
    shutdownTimer_ = toolkit().createTimer(id(), kShutdownPollMs);
  }
}

void TaskWindow::onDestroy() {
  if (app_.configFailed) return;
  app_.DebugLog("shutdown");
  if (startupWindow_ != ui::kNoWindow) toolkit().destroy(startupWindow_);
  if (app_.hooks().stopServices) app_.hooks().stopServices(app_);
  if (app_.hooks().stopTcpServer) app_.hooks().stopTcpServer(app_);
  app_.iconLibrary.clear();
  toolkit().setIconDirectory({});
  if (app_.options().frameMode) {
    WriteFramePosition(app_.config().GetSetting(5), toolkit().outerRect(id()));
  }
  app_.config().ReleaseConfiguration();
  app_.CloseDebugFile();
  app_.taskWindow = ui::kNoWindow;
  toolkit().quit(0);
}

// The welcome picture: the program's identification and the station it runs
// for, on a dark band, drawn again whenever the window is uncovered.
void StartupWindow::paint() {
  ui::Canvas* canvas = toolkit().canvas(id());
  if (!canvas) return;
  const int w = canvas->width(), h = canvas->height();
  ui::DrawTools tools;
  tools.pen = tools.brush = ui::rgb(24, 48, 96);
  canvas->setTools(tools);
  canvas->drawRect({0, 0, h, w});
  tools.foreColor = ui::kWhite;
  canvas->setTools(tools);
  ui::FontSpec big;
  big.size = 28;
  big.style = ui::kFontBold;
  canvas->setFont(big);
  const std::string product = ProductText().substr(0, ProductText().find('/'));
  canvas->drawText((w - canvas->textWidth(product)) / 2, h / 2 - 10, product);
  ui::FontSpec small;
  canvas->setFont(small);
  tools.foreColor = ui::rgb(200, 215, 240);
  canvas->setTools(tools);
  // The operator sees this program's own release and build day here; the
  // texts peers see (%PROD%, "//V") keep their old form.
  const std::string line1 = ProgramVersion() + "  " + ProgramBuildDate();
  const std::string line2 = app_.config().GetSetting(2) + "  " + app_.config().GetSetting(1);
  canvas->drawText((w - canvas->textWidth(line1)) / 2, h / 2 + 22, line1);
  canvas->drawText((w - canvas->textWidth(line2)) / 2, h / 2 + 42, line2);
}

void StartupWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: timer_ = toolkit().createTimer(id(), 1000); break;
    case ui::EventType::Update: paint(); break;
    case ui::EventType::Timer:
      toolkit().destroyTimer(timer_);
      timer_ = 0;
      toolkit().sendUser(task_, kEvtCreateMainWindow);
      break;
    case ui::EventType::Destroy: toolkit().sendUser(task_, kEvtStartupGone); break;
    default: break;
  }
}

}  // namespace tarvik::core
