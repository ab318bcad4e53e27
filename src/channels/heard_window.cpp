#include "channels/heard_window.h"

#include <algorithm>
#include <chrono>
#include <array>
#include <utility>

#include "channels/main_window.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

bool HeardNames(std::string_view name, int& id) {
  static constexpr std::array<std::pair<std::string_view, int>, 3> kNames{{
      {"LISTE", kHeardLines},
      {"SAVE", kHeardSave},
      {"OPEN", kHeardOpen},
  }};
  return ui::LookupName(name, id, kNames);
}

namespace {

ui::FormRequest HeardRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kHeardWindowNumber;
  r.resolvers = ui::Resolvers{HeardNames, ui::NoNames};
  r.parent = parent;
  r.name = "HEARD";
  r.kind = ui::WindowKind::Document;
  return r;
}

}  // namespace

HeardList* FindHeardList(core::App& app) {
  MainWindow* main = app.toolkit().findAs<MainWindow>(app.mainWindow);
  return main ? &main->heard() : nullptr;
}

HeardWindow::HeardWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
    : Form(forms, HeardRequest(parent)),
      app_(app),
      title_(LookupString("TITLE").value_or("HEARD")),
      caption_(LookupString("CAPT").value_or("")) {}

ui::WindowId OpenHeardWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  if (const ui::WindowId open = FindHeardWindow(forms.toolkit()); open != ui::kNoWindow) {
    forms.toolkit().raise(open);
    return open;
  }
  return forms.open(std::make_unique<HeardWindow>(app, forms, parent));
}

ui::WindowId FindHeardWindow(ui::Toolkit& toolkit) {
  for (const ui::WindowId id : toolkit.windows())
    if (toolkit.exists(id) && toolkit.findAs<HeardWindow>(id)) return id;
  return ui::kNoWindow;
}

void HeardFrameEvent(core::App& app, const ui::Event& event) {
  HeardFeed feed;
  HeardFrameEvent(app, event, feed);
}

void HeardFrameEvent(core::App& app, const ui::Event& event, HeardFeed& feed) {
  if (event.id != core::kEvtFrameReceived) return;
  const auto* frame = event.as<ax25::FrameRecord>();
  // Only I frames are noted: the list is not even looked for otherwise.
  if (!frame || frame->type != ax25::FrameType::I) return;
  MainWindow* main = feed.main.Find(app.toolkit());
  if (!main) return;
  HeardList* list = &main->heard();
  const std::optional<std::int32_t> key = list->NewPair(*frame);
  if (!key) return;
  // The local time is worked out once a minute, not for every frame.
  const std::int64_t minute =
      std::chrono::duration_cast<std::chrono::minutes>(app.toolkit().now().time_since_epoch()).count();
  if (minute != feed.minute) {
    const ui::LocalTime now = app.toolkit().localTime();
    feed.time = HeardTime(now.day, now.month, now.year, now.hour, now.minute);
    feed.minute = minute;
  }
  const HeardChange change = list->Note(*frame, *key, feed.time);
  HeardWindow* open = feed.window.Find(app.toolkit());
  if (!open) return;
  for (int n = 0; n < change.count; ++n) {
    app.toolkit().sendUser(open->id(), kEvtHeardChanged, HeardList::ChangedPlace(change, n));
  }
}

bool HeardWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create:
      toolkit().setTitle(id(), title_);
      EnableId(kHeardOpen, false);
      Fill();
      return true;
    case ui::EventType::Size:
      PlacePane();
      return true;
    case ui::EventType::User:
      if (event.id == kEvtHeardChanged) {
        PlaceChanged(static_cast<int>(event.arg));
        return true;
      }
      if (event.arg == kMsgHeardStopCapture && event.id == core::kAnswerBase + core::kAnswerYes) {
        StopCapture();
        return true;
      }
      if (event.arg == kMsgHeardStopCapture && event.id == core::kAnswerBase + core::kAnswerNo) {
        SetCheck(kHeardSave, !captureFile_.empty());
        return true;
      }
      if (event.id == kHeardLines) {  // clicks and focus of the list pane
        if (event.arg == ui::kFifoSingleClick) Command(kHeardLines);
        if (event.arg == ui::kFifoDoubleClick) {
          Command(kHeardLines);
          if (SelectedPlace() >= 0) Command(kHeardOpen);
        }
        return true;
      }
      return false;
    default:
      return Form::ownerEvent(event);
  }
}

void HeardWindow::onCommand(int command, std::intptr_t) { Command(command); }

void HeardWindow::Command(int command) {
  switch (command) {
    case kHeardExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kHeardLines: Selected(); break;
    case kHeardSave: StartOrAskCapture(); break;
    case kHeardOpen: OpenWatch(); break;
    case kHeardChanged: break;
    default:
      app_.messages().ShowMessageNumber(id(), 1, kMsgHeardUnknownCommand, command, "HEARD");
  }
}

void HeardWindow::Fill() {
  ui::FifoText* pane = ui::FindFifo(toolkit(), textPane());
  const HeardList* list = FindHeardList(app_);
  if (!pane || !list) return;
  for (const HeardEntry& entry : list->Entries()) pane->AppendLine(HeardWindowLine(entry), ui::kBlack);
}

void HeardWindow::PlaceChanged(int place) {
  ui::FifoText* pane = ui::FindFifo(toolkit(), textPane());
  const HeardList* list = FindHeardList(app_);
  if (!pane || !list) return;
  const HeardEntry* entry = list->AtPlace(place);
  const int position = list->PositionOf(place);
  if (!entry || position < 0) return;
  const std::string line = HeardWindowLine(*entry);
  const ui::FifoLines& lines = pane->lines();
  if (position >= lines.count()) {
    pane->AppendLine(line, ui::kBlack);  // the list grew; a capture takes it
    return;
  }
  pane->ReplaceLine(lines.oldest() + position, line);
  // The newest place always holds the pair just heard; a capture records
  // each pair heard, also when the list only moved it to the end.
  if (position == list->size() - 1) pane->CaptureLine(line);
}

int HeardWindow::SelectedPlace() {
  ui::FifoText* pane = ui::FindFifo(toolkit(), textPane());
  HeardList* list = FindHeardList(app_);
  if (!pane || !list || !pane->HasSelection()) return -1;
  const int slot = pane->FirstSelected();
  const int position = slot - pane->lines().oldest();
  return list->PlaceOf(position);
}

void HeardWindow::Selected() {
  // The watch window opens only where the program has one to open.
  EnableId(kHeardOpen, SelectedPlace() >= 0 && runtime().hasCreator(kWatchWindowNumber));
}

void HeardWindow::OpenWatch() {
  const int place = SelectedPlace();
  if (place < 0 || app_.mainWindow == ui::kNoWindow) return;
  toolkit().sendUser(app_.mainWindow, kEvtOpenWatch, place);
}

// The pane keeps the margins its description gives when the window is
// resized (the form places it only once).
void HeardWindow::PlacePane() {
  const ui::WindowId pane = textPane();
  if (pane == ui::kNoWindow || pane == id() || !toolkit().exists(pane)) return;
  const int index = description().idMap[kHeardLines].control;
  if (index < 0) return;
  ui::Rect r = controlRect(description().controls[static_cast<std::size_t>(index)]);
  r.bottom = std::max(r.bottom, r.top);
  r.right = std::max(r.right, r.left);
  toolkit().move(pane, r);
  ui::Event size(ui::EventType::Size, r.width(), r.height());
  toolkit().send(pane, size);
}

void HeardWindow::StartOrAskCapture() {
  if (!captureFile_.empty()) {
    SetCheck(kHeardSave, true);
    app_.ShowMessage(id(), 2, kMsgHeardStopCapture, "HEARD", captureFile_);
    return;
  }
  std::string directory = app_.config().GetSetting(3);
  if (!directory.empty()) directory.pop_back();  // SAVEPATH without its final "/"
  const std::optional<std::string> path =
      toolkit().fileDialog(true, caption_, directory, "HEARD.TXT");
  if (!path || path->empty() || path->size() > kHeardPathCapacity) {
    SetCheck(kHeardSave, false);
    return;
  }
  captureFile_ = *path;
  toolkit().setTitle(id(), title_ + " --> " + captureFile_);
  // The file starts with the list as it stands: a capture of a list whose
  // lines are mostly replaced would otherwise miss every pair already heard.
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), textPane())) pane->Capture(captureFile_, true);
  SetCheck(kHeardSave, true);
}

void HeardWindow::StopCapture() {
  captureFile_.clear();
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), textPane())) pane->Capture("", false);
  toolkit().setTitle(id(), title_);
  SetCheck(kHeardSave, false);
}

}  // namespace tarvik::channels
