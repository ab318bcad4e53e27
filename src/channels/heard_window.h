#pragma once
// The heard window (window 1080): the main window's heard list (see
// heard_list.h) live, one line per pair, oldest first, with a capture of the
// list to a file and the way to a conversation-watch window of a pair.
//
// Frames reach the list through HeardFrameEvent, which the main window's
// received-frame hook calls for user event 800 before routing. Each changed
// place of the list goes to the open heard window as user event 1089, which
// replaces that one line (or appends it when the list grew).
//
// The window is a form of description 1080: the text control LISTE, the
// check box SAVE and the button OPEN (enabled by a selection while the
// program has a watch window to open). STRINGS: "TITLE" and "CAPT" (caption
// of the capture's file dialog).

#include <cstdint>
#include <string>
#include <vector>

#include "channels/heard_list.h"
#include "core/app.h"
#include "ui/form.h"
#include "ui/toolkit/window_cache.h"

namespace tarvik::channels {

class MainWindow;

inline constexpr int kHeardWindowNumber = 1080;
inline constexpr int kWatchWindowNumber = 1090;

enum HeardId : int {
  kHeardExit = 0,
  kHeardLines = 1,  // "LISTE"
  kHeardSave = 2,   // "SAVE"
  kHeardOpen = 3,   // "OPEN"
  kHeardChanged = 1001,
};

bool HeardNames(std::string_view name, int& id);

inline constexpr int kMsgHeardStopCapture = 2;
inline constexpr int kMsgHeardUnknownCommand = 503;
inline constexpr std::size_t kHeardPathCapacity = 127;

// The heard list the main window keeps; null while there is no main window.
HeardList* FindHeardList(core::App& app);

class HeardWindow final : public ui::Form {
 public:
  HeardWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

  // 0 closes, 1 a selection, 2 the capture, 3 the watch window of the
  // selected pair, 1001 nothing; anything else message 503.
  void Command(int id);
  // Shows the new contents of one place of the list.
  void PlaceChanged(int place);

  const std::string& captureFile() const { return captureFile_; }
  ui::WindowId textPane() const { return GetCtlWindow(kHeardLines); }
  // The place of the selected line, -1 when none is selected.
  int SelectedPlace();

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void Fill();
  void PlacePane();
  void Selected();
  void OpenWatch();
  void StartOrAskCapture();
  void StopCapture();

  core::App& app_;
  std::string captureFile_;
  std::string title_;
  std::string caption_;
};

ui::WindowId OpenHeardWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);
ui::WindowId FindHeardWindow(ui::Toolkit& toolkit);

// For the main window's received-frame hook (user event 800): notes an I
// frame in the heard list with the time now and tells the open heard window
// which places changed. The frame is only read.
void HeardFrameEvent(core::App& app, const ui::Event& event);
// What a hook that sees every frame keeps between frames: the heard window,
// and the time text of the current minute.
struct HeardFeed {
  ui::WindowCache<MainWindow> main;  // whose heard list every frame is noted in
  ui::WindowCache<HeardWindow> window;
  std::int64_t minute = -1;
  std::string time;
};
void HeardFrameEvent(core::App& app, const ui::Event& event, HeardFeed& feed);

}  // namespace tarvik::channels
