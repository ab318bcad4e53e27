#include "channels/watch_window.h"

#include <array>
#include <optional>
#include <utility>

#include "channels/charset.h"
#include "channels/heard_list.h"
#include "channels/heard_window.h"
#include "channels/main_window.h"
#include "channels/station_windows.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

namespace {

constexpr int kMsgWatchUnknownCommand = 503;

constexpr std::array<std::pair<std::string_view, int>, 9> kNames{{
    {"LISTE", kWatchLines}, {"RCV_TXT", kWatchCapture}, {"STATION", kWatchStation}, {"FLOW", kWatchFlow},
    {"7BITGR", kWatchMode}, {"7BITUS", kWatchMode + 1}, {"8BITIBM", kWatchMode + 2}, {"8BITOEM", kWatchMode + 3},
    {"UNTRANS", kWatchMode + 4}}};

ui::FormRequest WatchRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kWatchNumber;
  r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kNames); },
                              ui::NoNames};
  r.parent = parent;
  r.name = "WATCH";
  r.kind = ui::WindowKind::Document;
  return r;
}

std::string WithoutLastCharacter(std::string text) {
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

std::vector<WatchPiece> WatchLines::Take(std::string_view info) {
  std::vector<WatchPiece> pieces;
  WatchPiece piece;
  piece.continues = open_;
  const auto end = [&] {
    pieces.push_back(std::move(piece));
    piece = WatchPiece{};
    length_ = 0;
    open_ = false;
  };
  for (const char c : info) {
    if (c == '\r') {
      end();
      continue;
    }
    if (c == '\n' || c == '\0') continue;
    piece.text += c;
    if (++length_ == kWatchLineLimit) end();
  }
  if (!piece.text.empty()) {
    pieces.push_back(std::move(piece));
    open_ = true;
  }
  return pieces;
}

bool SequenceFilter::Pass(int ns) {
  if (expected_ != -1 && ns != expected_) return false;
  expected_ = (ns + 1) % 8;
  return true;
}

WatchWindow::WatchWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, ax25::AddressRecord first,
                         ax25::AddressRecord second)
    : Form(forms, WatchRequest(parent)),
      app_(app),
      first_(std::move(first)),
      second_(std::move(second)),
      mode_(InitialCharsetMode(app.config().Record().chrset)) {}

bool WatchWindow::ownerEvent(ui::Event& event) {
  if (event.type == ui::EventType::Create) {
    toolkit().setTitle(id(), ax25::FormatCall(first_) + " <--> " + ax25::FormatCall(second_));
    SetMode(mode_);
    return true;
  }
  if (event.type == ui::EventType::User && event.id == kWatchLines) return true;  // clicks in the pane
  return Form::ownerEvent(event);
}

void WatchWindow::onCommand(int command, std::intptr_t) {
  if (command >= kWatchMode && command < kWatchMode + kCharsetModeCount) {
    SetMode(command - kWatchMode);
    return;
  }
  switch (command) {
    case kWatchExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kWatchCapture: ToggleCapture(); break;
    case kWatchStation:
      runtime().OpenWindowWith(id(), kStationFormNumber,
                               StationStart(StationStart::ByCall, store::kNoNode, ax25::FormatCall(first_)));
      break;
    case kWatchFlow:
      // Switched on, the filter starts from whatever comes next.
      toSecond_.Reset();
      toFirst_.Reset();
      break;
    case kWatchLines:
    case ui::kCallbackChanged: break;
    default: app_.messages().ShowMessageNumber(id(), 1, kMsgWatchUnknownCommand, command, "WATCH");
  }
}

void WatchWindow::SetMode(int mode) {
  mode_ = mode;
  SetCheck(kWatchMode + mode, 1);
}

void WatchWindow::ToggleCapture() {
  ui::FifoText* pane = ui::FindFifo(toolkit(), GetCtlWindow(kWatchLines));
  if (!captureFile_.empty()) {
    captureFile_.clear();
    if (pane) pane->Capture("", false);
    SetCheck(kWatchCapture, 0);
    return;
  }
  const std::optional<std::string> path =
      toolkit().fileDialog(true, LookupString("CAPT").value_or(""),
                           WithoutLastCharacter(app_.config().GetSetting(core::kSettingSavePath)), "WATCH.TXT");
  if (!path || path->empty() || !pane) {
    SetCheck(kWatchCapture, 0);
    return;
  }
  captureFile_ = *path;
  pane->Capture(captureFile_, false);
  SetCheck(kWatchCapture, 1);
}

void WatchWindow::Show(const ax25::FrameRecord& frame) {
  const bool toSecond = ax25::SameAddress(frame.destination, second_);
  if (toolkit().checked(id(), controlOf(kWatchFlow)) && !(toSecond ? toSecond_ : toFirst_).Pass(frame.ns)) return;
  ui::FifoText* pane = ui::FindFifo(toolkit(), GetCtlWindow(kWatchLines));
  if (!pane) return;
  const std::string_view info(reinterpret_cast<const char*>(frame.info.data()), frame.info.size());
  for (WatchPiece& piece : lines_.Take(info)) {
    ConvertReceived(piece.text, mode_);
    if (piece.continues) pane->AppendToLastLine(piece.text);
    else pane->AppendLine(piece.text, toSecond ? ui::kBlack : ui::kBlue);
  }
}

ui::WindowId OpenWatchWindow(core::App& app, ui::FormRuntime& forms, WatchTable& table, int heardPlace) {
  const HeardList* list = FindHeardList(app);
  const HeardEntry* entry = list ? list->AtPlace(heardPlace) : nullptr;
  if (!entry) return ui::kNoWindow;
  WatchTable::Place* free = nullptr;
  for (WatchTable::Place& place : table.places) {
    if (place.window != ui::kNoWindow && !forms.toolkit().exists(place.window)) place.window = ui::kNoWindow;
    if (place.window != ui::kNoWindow && place.key == entry->key) {
      forms.toolkit().raise(place.window);
      return place.window;
    }
    if (place.window == ui::kNoWindow && !free) free = &place;
  }
  if (!free) return ui::kNoWindow;
  const ui::WindowId parent = app.mainWindow != ui::kNoWindow ? app.mainWindow : app.taskWindow;
  free->window = forms.open(std::make_unique<WatchWindow>(app, forms, parent, entry->source, entry->destination));
  free->key = entry->key;
  return free->window;
}

void WatchFrameEvent(core::App& app, const ui::Event& event, WatchTable& table) {
  if (event.id != core::kEvtFrameReceived) return;
  const auto* frame = event.as<ax25::FrameRecord>();
  if (!frame || frame->type != ax25::FrameType::I) return;
  // The pair's key is worked out only when a watch window is open.
  std::optional<std::int32_t> key;
  for (WatchTable::Place& place : table.places) {
    if (place.window == ui::kNoWindow) continue;
    if (!key) key = PairKey(frame->source, frame->destination);
    if (place.key != *key) continue;
    if (auto* window = app.toolkit().findAs<WatchWindow>(place.window)) window->Show(*frame);
    else place.window = ui::kNoWindow;
  }
}

void InstallWatchWindows(core::App& app, ui::FormRuntime& forms, MainWindowHooks& hooks) {
  auto table = std::make_shared<WatchTable>();
  forms.registerCreator(kWatchNumber, [&app, table](ui::FormRuntime& rt, ui::WindowId, std::intptr_t place) {
    return OpenWatchWindow(app, rt, *table, static_cast<int>(place));
  });
  hooks.openWatch = [&app, &forms, table](ui::Event& e) {
    OpenWatchWindow(app, forms, *table, static_cast<int>(e.arg));
  };
  hooks.frameReceived = [&app, table, before = std::move(hooks.frameReceived)](ui::Event& e) {
    if (before) before(e);
    WatchFrameEvent(app, e, *table);
  };
}

}  // namespace tarvik::channels
