#pragma once
// Conversation watch (window 1090): the text two other stations exchange,
// followed from the heard list. The window's first address is the heard
// entry's source, its second the entry's destination; its title is
// "FIRST <--> SECOND".
//
// Every received I frame of the pair (by its pair key, heard_list.h) is
// shown: frames to the second address black, the other direction blue. The
// information is cut into lines at carriage returns and after 127
// characters; a frame's first line continues the previous frame's open
// line, and a last piece without carriage return stays open. With FLOW on,
// a frame whose N(S) is not the next one of its direction is skipped (a
// repeated frame, a digipeated copy). The five conversion modes are the
// channel's (charset.h); the first comes from CHRSET.
//
// At most eight watch windows are open, one per pair. RCV_TXT captures the
// shown text to a file; STATION opens the station form of the first
// address.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/frame.h"
#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kWatchNumber = 1090;
inline constexpr int kWatchPlaces = 8;
inline constexpr std::size_t kWatchLineLimit = 127;

enum WatchId : int {
  kWatchExit = 0,
  kWatchLines = 1,    // "LISTE"
  kWatchCapture = 2,  // "RCV_TXT"
  kWatchStation = 3,  // "STATION"
  kWatchFlow = 4,     // "FLOW"
  kWatchMode = 7,     // "7BITGR" .. "UNTRANS" are 7..11
};

// The pieces of text frames make on the screen.
struct WatchPiece {
  std::string text;
  bool continues = false;  // goes on the open line shown before
};
class WatchLines {
 public:
  std::vector<WatchPiece> Take(std::string_view info);

 private:
  std::size_t length_ = 0;  // characters on the open line
  bool open_ = false;
};

// The N(S) filter of one direction: true when the frame is shown.
class SequenceFilter {
 public:
  bool Pass(int ns);
  void Reset() { expected_ = -1; }

 private:
  int expected_ = -1;  // -1: any
};

// The open watch windows by place, for the main window.
struct WatchTable {
  struct Place {
    ui::WindowId window = ui::kNoWindow;
    std::int32_t key = 0;
  };
  std::array<Place, kWatchPlaces> places{};
};

class WatchWindow final : public ui::Form {
 public:
  WatchWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, ax25::AddressRecord first,
              ax25::AddressRecord second);

  // An I frame of the pair.
  void Show(const ax25::FrameRecord& frame);
  int mode() const { return mode_; }
  const std::string& captureFile() const { return captureFile_; }

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void SetMode(int mode);
  void ToggleCapture();

  core::App& app_;
  ax25::AddressRecord first_;
  ax25::AddressRecord second_;
  WatchLines lines_;
  SequenceFilter toSecond_;
  SequenceFilter toFirst_;
  int mode_ = 0;
  std::string captureFile_;
};

// Opens the watch window of the pair in a heard-list place, or raises the
// one open for the pair; nothing when eight are open or the place holds no
// entry.
ui::WindowId OpenWatchWindow(core::App& app, ui::FormRuntime& forms, WatchTable& table, int heardPlace);

// For the main window's received-frame hook: an I frame goes to the watch
// window of its pair.
void WatchFrameEvent(core::App& app, const ui::Event& event, WatchTable& table);

struct MainWindowHooks;
// Joins the watch windows to a main window about to be created: its
// received frames reach them, its event 1088 opens them, and window 1090
// opens through the runtime (argument: the heard-list place).
void InstallWatchWindows(core::App& app, ui::FormRuntime& forms, MainWindowHooks& hooks);

}  // namespace tarvik::channels
