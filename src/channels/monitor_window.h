#pragma once
// The monitor window (window 1050): every frame the program receives on its
// KISS-family ports and every frame it sends, as monitor text (see
// ax25/monitor_format.h) in a FIFO text pane, with the filters IONLY, OONLY
// and NOBIN and a capture of the text to a file.
//
// Frames reach it from the main window: user event 800 (received) and 810
// (sent) with the FrameRecord, handed on by MonitorFrameEvent() while a
// monitor window is open. While none is open frames are not decoded at all.
//
// The window is a form of description 1050: the check boxes SAVE, IONLY,
// OONLY and NOBIN and the text control MONITOR, whose pane the form runtime's
// text-control factory makes (see form_windows.h). The STRINGS "TITLE"
// (window title) and "CAPT" (caption of the capture's file dialog) come from
// the description.

#include <cstdint>
#include <string>

#include "ax25/frame.h"
#include "ax25/monitor_format.h"
#include "core/app.h"
#include "ui/form.h"
#include "ui/toolkit/window_cache.h"

namespace tarvik::ui {
class FifoText;
}

namespace tarvik::channels {

inline constexpr int kMonitorWindowNumber = 1050;

// Symbolic ids of the monitor's controls, and its commands.
enum MonitorId : int {
  kMonitorExit = 0,
  kMonitorText = 1,   // "MONITOR"
  kMonitorSave = 2,   // "SAVE"
  kMonitorIOnly = 3,  // "IONLY"
  kMonitorOOnly = 4,  // "OONLY"
  kMonitorNoBin = 5,  // "NOBIN"
  kMonitorChanged = 1001,
};

// The names of description 1050.
bool MonitorNames(std::string_view name, int& id);

// Messages: a capture is running, stop it? (the answer comes back as user
// event 1651 or 1650 with this number); an unknown command.
inline constexpr int kMsgStopCapture = 2;
inline constexpr int kMsgMonitorUnknownCommand = 503;
// Longest capture path the monitor keeps.
inline constexpr std::size_t kMonitorPathCapacity = 127;

class MonitorWindow final : public ui::Form {
 public:
  MonitorWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

  // Shows one frame (received: header blue; sent: header red; information
  // black) if the filters let it through.
  void ShowFrame(const ax25::FrameRecord& frame, bool sent);
  // The command of a control or of the form: 0 closes, 2..5 as their
  // controls, 1 and 1001 nothing, anything else message 503.
  void Command(int id);

  const ax25::MonitorFilter& filter() const { return filter_; }
  const std::string& captureFile() const { return captureFile_; }
  ui::WindowId textPane() const { return GetCtlWindow(kMonitorText); }
  // The window title without a capture (STRINGS "TITLE").
  const std::string& title() const { return title_; }

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void PlacePane();
  void ToggleFilter(bool& flag, int id);
  void StartOrAskCapture();
  void StopCapture();
  // The text pane, looked up again only when a window came or went.
  ui::FifoText* Pane();

  core::App& app_;
  ax25::MonitorFilter filter_;
  std::string captureFile_;
  std::string title_;    // STRINGS "TITLE"
  std::string caption_;  // STRINGS "CAPT"
  ui::FifoText* pane_ = nullptr;
  std::uint64_t paneGeneration_ = 0;
  bool paneKnown_ = false;
  std::string line_;  // the header line being built
};

// Opens the monitor window, or raises the open one; returns its id.
ui::WindowId OpenMonitorWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

// The open monitor window, kNoWindow when there is none.
ui::WindowId FindMonitorWindow(ui::Toolkit& toolkit);

// For the main window's frame hooks: shows the frame of user event 800
// (received) or 810 (sent) in the open monitor window; nothing when no
// monitor is open or the event carries no frame. The frame is only read.
void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event);
// The same for a hook that sees every frame: the monitor is looked for again
// only when windows came or went.
void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event,
                       ui::WindowCache<MonitorWindow>& monitor);

}  // namespace tarvik::channels
