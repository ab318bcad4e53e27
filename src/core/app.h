#pragma once
// The process-wide state of the application core: the toolkit, the start-up
// options, the configuration with its port table, the message service and
// the handful of windows every subsystem must be able to reach (task window,
// main window).
//
// Subsystems above the core (port drivers, link layer, channels, services)
// plug in through CoreHooks, so that the core never depends on them: the
// executable fills the hooks before the task window is created.

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/message_service.h"
#include "core/startup_options.h"
#include "ui/toolkit/geometry.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::core {

class App;

// Ids of the task window's user events.
enum TaskEvent : int {
  kEvtShutdown = 1,
  kEvtFrameReceived = 800,
  kEvtFrameSend = 810,
  kEvtChildClosed = 920,
  kEvtTcpOpened = 940,
  kEvtTcpClosed = 941,
  kEvtTcpFailed = 942,
  kEvtSerialOpened = 950,
  kEvtSerialClosed = 951,
  kEvtSerialFailed = 952,
  kEvtStatusField2 = 980,
  kEvtStatusField1 = 981,
  // 982 kEvtStatusClear and 983 kEvtStatusField0: message_service.h
  kEvtDisableWindows = 999,
  kEvtStartupGone = 1021,
  kEvtCreateMainWindow = 1029,
  kEvtStartupComplete = 1046,
};

// The one-second heartbeat: the main window sends it to every link and port
// window once per wall-clock second; a link passes it on to its channel,
// which passes it to its parts. Timers of a window stay its own.
inline constexpr int kEvtHeartbeat = 1000;

// The argument of kEvtShutdown that ends the program without waiting for
// the work that holds the shutdown (the application itself is going).
inline constexpr std::intptr_t kShutdownAtOnce = 1;
// Longest wait of an orderly shutdown for the work that holds it.
inline constexpr int kShutdownWaitSeconds = 30;

// Work that the orderly shutdown waits for, such as a closing serial port
// still sending its DEINI text with its delays: while a hold exists, the
// task window stays (and the main loop runs) after the ports were closed,
// for kShutdownWaitSeconds at most. Released on the user-interface thread.
class ShutdownHold {
 public:
  explicit ShutdownHold(std::shared_ptr<int> count) : count_(std::move(count)) { ++*count_; }
  ~ShutdownHold() { --*count_; }
  ShutdownHold(const ShutdownHold&) = delete;
  ShutdownHold& operator=(const ShutdownHold&) = delete;

 private:
  std::shared_ptr<int> count_;
};

// Status record of a port driver's report (950..952, 940..942): the device
// or host named and the error text.
struct PortStatus : ui::Payload {
  PortStatus(int p, std::string dev, std::string err)
      : port(p), device(std::move(dev)), error(std::move(err)) {}
  int port = -1;
  std::string device;
  std::string error;
};

struct CoreHooks {
  // Creates the main window; returns kNoWindow on failure.
  std::function<ui::WindowId(App&)> createMainWindow;
  // Creates the window of a configured port (serial or outgoing TCP/IP);
  // returns kNoWindow when it could not be opened.
  std::function<ui::WindowId(App&, int port)> openPort;
  std::function<void(App&)> startTcpServer;
  std::function<void(App&)> stopTcpServer;
  std::function<void(App&)> startServices;
  std::function<void(App&)> stopServices;
  // Encodes a frame to send (user event 810) and hands it to its port.
  std::function<void(App&, ui::Event&)> encodeAndSend;
  // Expands the text macros of a window (programs started with "%" texts).
  std::function<std::string(App&, ui::WindowId, const std::string&)> expandMacros;
};

class App {
 public:
  App(ui::Toolkit& toolkit, StartupOptions options);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  ui::Toolkit& toolkit() { return toolkit_; }
  const StartupOptions& options() const { return options_; }
  Configuration& config() { return config_; }
  PortTable& ports() { return config_.Ports(); }
  MessageService& messages() { return messages_; }
  CoreHooks& hooks() { return hooks_; }

  // Shows message `number` of `kind` for a window (see MessageService).
  void ShowMessage(ui::WindowId window, int kind, int number, const std::string& text1 = {},
                   const std::string& text2 = {},
                   DefaultAnswer defaultAnswer = DefaultAnswer::Yes) {
    messages_.ShowMessage(window, kind, number, text1, text2, defaultAnswer);
  }

  // Starts the program of a command text (see RunProgram) for a window.
  bool RunProgram(ui::WindowId window, const std::string& commandText);

  // Creates the task window, which loads the configuration and brings the
  // program up. False when the configuration could not be loaded.
  bool Start();
  // Asks for the orderly shutdown (as the task window's event 1).
  void RequestShutdown();
  // Holds the orderly shutdown until the hold is released.
  std::unique_ptr<ShutdownHold> HoldShutdown() { return std::make_unique<ShutdownHold>(shutdownHolds_); }
  bool ShutdownHeld() const { return *shutdownHolds_ > 0; }

  // The global flag table entries that window descriptions can test.
  bool GlobalFlag(int entry) const;

  ui::WindowId taskWindow = ui::kNoWindow;
  ui::WindowId mainWindow = ui::kNoWindow;
  bool windowsDisabled = false;
  // Set when the configuration could not be loaded: the process ends with a
  // non-zero code and without a message.
  bool configFailed = false;
  std::string iconLibrary;  // directory or library named by ICONDLL, "" when none
  ui::Rect frameRect;       // initial rectangle of the frame (position file)

  // The debug file of DBGF, held open until shutdown: start-up milestones
  // and port reports with a millisecond time stamp. Nothing when closed.
  void DebugLog(const std::string& line);
  void OpenDebugFile();
  void CloseDebugFile();

 private:
  ui::Toolkit& toolkit_;
  StartupOptions options_;
  Configuration config_;
  MessageService messages_;
  CoreHooks hooks_;
  std::FILE* debugFile_ = nullptr;
  std::shared_ptr<int> shutdownHolds_ = std::make_shared<int>(0);
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace tarvik::core
