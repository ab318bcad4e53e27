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
// Controls (symbolic ids): MONITOR 1 (the text pane), SAVE 2, IONLY 3,
// OONLY 4, NOBIN 5. Until the form runtime builds the window from its
// description the window lays the controls out itself; only the STRINGS
// "TITLE" and "CAPT" are read from description 1050. Everything the window
// does with its controls goes through SetCheck(), SetWindowTitle(), the
// pane id and the two strings, the places a form takes over.

#include <optional>
#include <string>

#include "ax25/frame.h"
#include "ax25/monitor_format.h"
#include "core/app.h"
#include "ui/toolkit/toolkit.h"

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

// Messages: a capture is running, stop it? (the answer comes back as user
// event 1651 or 1650 with this number); an unknown command.
inline constexpr int kMsgStopCapture = 2;
inline constexpr int kMsgUnknownCommand = 503;
// Longest capture path the monitor keeps.
inline constexpr std::size_t kMonitorPathCapacity = 127;

class MonitorWindow : public ui::Window {
 public:
  explicit MonitorWindow(core::App& app);

  void onEvent(ui::Event& event) override;

  // Shows one frame (received: header blue; sent: header red; information
  // black) if the filters let it through.
  void ShowFrame(const ax25::FrameRecord& frame, bool sent);
  // The command of a control or of the form: 0 closes, 2..5 as their
  // controls, 1 and 1001 nothing, anything else message 503.
  void Command(int id);

  const ax25::MonitorFilter& filter() const { return filter_; }
  const std::string& captureFile() const { return captureFile_; }
  ui::WindowId textPane() const { return pane_; }
  // The window title without a capture (STRINGS "TITLE").
  const std::string& title() const { return title_; }

 private:
  void BuildControls();
  void LayoutControls();
  void ToggleFilter(bool& flag, int id);
  void StartOrAskCapture();
  void StopCapture();
  void SetCheck(int id, bool checked);
  void SetWindowTitle(const std::string& title);

  core::App& app_;
  ax25::MonitorFilter filter_;
  std::string captureFile_;
  ui::WindowId pane_ = ui::kNoWindow;
  std::string title_;    // STRINGS "TITLE"
  std::string caption_;  // STRINGS "CAPT"
};

// Opens the monitor window, or raises the open one; returns its id.
ui::WindowId OpenMonitorWindow(core::App& app, ui::WindowId parent);

// The open monitor window, kNoWindow when there is none.
ui::WindowId FindMonitorWindow(ui::Toolkit& toolkit);

// For the main window's frame hooks: shows the frame of user event 800
// (received) or 810 (sent) in the open monitor window; nothing when no
// monitor is open or the event carries no frame. The frame is only read.
void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event);

}  // namespace tarvik::channels
