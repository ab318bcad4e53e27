#include "channels/monitor_window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "ui/fifo_text.h"

namespace tarvik::channels {

bool MonitorNames(std::string_view name, int& id) {
  static constexpr std::array<std::pair<std::string_view, int>, 5> kNames{{
      {"MONITOR", kMonitorText},
      {"SAVE", kMonitorSave},
      {"IONLY", kMonitorIOnly},
      {"OONLY", kMonitorOOnly},
      {"NOBIN", kMonitorNoBin},
  }};
  return ui::LookupName(name, id, kNames);
}

namespace {

ui::FormRequest MonitorRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kMonitorWindowNumber;
  r.resolvers = ui::Resolvers{MonitorNames, ui::NoNames};
  r.parent = parent;
  r.name = "MONITOR";
  r.kind = ui::WindowKind::Document;
  return r;
}

}  // namespace

MonitorWindow::MonitorWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
    : Form(forms, MonitorRequest(parent)),
      app_(app),
      title_(LookupString("TITLE").value_or("MONITOR")),
      caption_(LookupString("CAPT").value_or("")) {}

ui::WindowId OpenMonitorWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  if (const ui::WindowId open = FindMonitorWindow(forms.toolkit()); open != ui::kNoWindow) {
    forms.toolkit().raise(open);
    return open;
  }
  return forms.open(std::make_unique<MonitorWindow>(app, forms, parent));
}

ui::WindowId FindMonitorWindow(ui::Toolkit& toolkit) {
  for (const ui::WindowId id : toolkit.windows())
    if (toolkit.exists(id) && toolkit.findAs<MonitorWindow>(id)) return id;
  return ui::kNoWindow;
}

void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event) {
  ui::WindowCache<MonitorWindow> monitor;
  MonitorFrameEvent(toolkit, event, monitor);
}

void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event,
                       ui::WindowCache<MonitorWindow>& monitor) {
  if (event.id != core::kEvtFrameReceived && event.id != core::kEvtFrameSend) return;
  const auto* frame = event.as<ax25::FrameRecord>();
  if (!frame) return;
  if (MonitorWindow* window = monitor.Find(toolkit))
    window->ShowFrame(*frame, event.id == core::kEvtFrameSend);
}

bool MonitorWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create:
      // The title always comes from STRINGS, also when the description has
      // none in its WINDOW line.
      toolkit().setTitle(id(), title_);
      SetCheck(kMonitorNoBin, filter_.noBin);
      return true;
    case ui::EventType::Size:
      PlacePane();
      return true;
    case ui::EventType::User:
      // The answer to message 2: yes stops the capture; no leaves the SAVE
      // mark showing the running capture.
      if (event.arg == kMsgStopCapture && event.id == core::kAnswerBase + core::kAnswerYes) {
        StopCapture();
        return true;
      }
      if (event.arg == kMsgStopCapture && event.id == core::kAnswerBase + core::kAnswerNo) {
        SetCheck(kMonitorSave, !captureFile_.empty());
        return true;
      }
      if (event.id == kMonitorText) {  // clicks and focus of the text pane
        Command(kMonitorText);
        return true;
      }
      return false;
    default:
      return Form::ownerEvent(event);
  }
}

void MonitorWindow::onCommand(int command, std::intptr_t) { Command(command); }

// The pane keeps the margins its description gives when the window is
// resized (the form places it only once).
void MonitorWindow::PlacePane() {
  const ui::WindowId pane = textPane();
  if (pane == ui::kNoWindow || pane == id() || !toolkit().exists(pane)) return;
  const int index = description().idMap[kMonitorText].control;
  if (index < 0) return;
  ui::Rect r = controlRect(description().controls[static_cast<std::size_t>(index)]);
  r.bottom = std::max(r.bottom, r.top);
  r.right = std::max(r.right, r.left);
  toolkit().move(pane, r);
  ui::Event size(ui::EventType::Size, r.width(), r.height());
  toolkit().send(pane, size);
}

ui::FifoText* MonitorWindow::Pane() {
  if (!paneKnown_ || paneGeneration_ != toolkit().windowsGeneration()) {
    pane_ = ui::FindFifo(toolkit(), textPane());
    paneGeneration_ = toolkit().windowsGeneration();
    paneKnown_ = true;
  }
  return pane_;
}

void MonitorWindow::ShowFrame(const ax25::FrameRecord& frame, bool sent) {
  const core::ConfigRecord& settings = app_.config().Record();
  if (!ax25::MonitorAccepts(frame, filter_, settings.myCall)) return;
  ui::FifoText* pane = Pane();
  if (!pane) return;
  const ui::Color header = sent ? ui::kRed : ui::kBlue;
  // MONTIME=1 puts the time of day before each header line, on screen and
  // so also in a capture of the monitor.
  line_.clear();
  if (settings.monTime == "1") {
    const ui::LocalTime now = toolkit().localTime();
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d ", now.hour % 100, now.minute % 100, now.second % 100);
    line_ = text;
  }
  ax25::ForEachMonitorLine(frame, filter_.noBin, line_, [pane, header](ax25::MonitorLineKind kind, std::string_view text) {
    pane->AppendLine(text, kind == ax25::MonitorLineKind::Header ? header : ui::kBlack);
  });
}

void MonitorWindow::Command(int command) {
  switch (command) {
    case kMonitorExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kMonitorText:
    case kMonitorChanged: break;
    case kMonitorSave: StartOrAskCapture(); break;
    case kMonitorIOnly: ToggleFilter(filter_.iOnly, kMonitorIOnly); break;
    case kMonitorOOnly: ToggleFilter(filter_.ownOnly, kMonitorOOnly); break;
    case kMonitorNoBin: ToggleFilter(filter_.noBin, kMonitorNoBin); break;
    default: app_.messages().ShowMessageNumber(id(), 1, kMsgMonitorUnknownCommand, command, "MONITOR");
  }
}

void MonitorWindow::ToggleFilter(bool& flag, int control) {
  flag = !flag;
  SetCheck(control, flag);
}

void MonitorWindow::StartOrAskCapture() {
  if (!captureFile_.empty()) {
    // The operator's click toggled the mark; it shows the capture until the
    // answer says otherwise.
    SetCheck(kMonitorSave, true);
    app_.ShowMessage(id(), 2, kMsgStopCapture, "MONITOR", captureFile_);
    return;
  }
  std::string directory = app_.config().GetSetting(3);
  if (!directory.empty()) directory.pop_back();  // SAVEPATH without its final "/"
  const std::optional<std::string> path =
      toolkit().fileDialog(true, caption_, directory, "MONITOR.TXT");
  if (!path || path->empty() || path->size() > kMonitorPathCapacity) {
    SetCheck(kMonitorSave, false);
    return;
  }
  captureFile_ = *path;
  toolkit().setTitle(id(), title_ + " --> " + captureFile_);
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), textPane())) pane->Capture(captureFile_, false);
  SetCheck(kMonitorSave, true);
}

void MonitorWindow::StopCapture() {
  captureFile_.clear();
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), textPane())) pane->Capture("", false);
  toolkit().setTitle(id(), title_);
  SetCheck(kMonitorSave, false);
}

}  // namespace tarvik::channels
