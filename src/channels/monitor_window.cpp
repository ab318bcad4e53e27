#include "channels/monitor_window.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "ui/cnx_file.h"
#include "ui/description.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

namespace {

// The window's own layout until the form runtime builds it from its
// description (data/forms/M1050.txt has the same places): a row of check
// boxes above the text pane.
constexpr int kButtonTop = 6;
constexpr int kButtonHeight = 22;
constexpr int kPaneTop = 34;

struct ControlPlace {
  int id;
  const char* name;
  int left, width;
};
constexpr ControlPlace kControls[] = {
    {kMonitorSave, "SAVE", 8, 90},
    {kMonitorIOnly, "IONLY", 108, 110},
    {kMonitorOOnly, "OONLY", 228, 120},
    {kMonitorNoBin, "NOBIN", 358, 100},
};

// The STRINGS of description 1050 in CNFPATH; nothing when it cannot be read.
std::optional<ui::FormDescription> ReadDescription(core::App& app) {
  std::ifstream in(app.config().GetSetting(6) + "M1050.CNX", std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream s;
  s << in.rdbuf();
  const ui::NameResolver none = [](std::string_view, int&) { return false; };
  return ui::ParseDescription(ui::DecodeCnx(s.str()), ui::Resolvers{none, none});
}

}  // namespace

MonitorWindow::MonitorWindow(core::App& app) : app_(app) {
  if (const std::optional<ui::FormDescription> d = ReadDescription(app)) {
    title_ = ui::LookupString(*d, "TITLE").value_or("");
    caption_ = ui::LookupString(*d, "CAPT").value_or("");
  }
  if (title_.empty()) title_ = "MONITOR";
}

ui::WindowId OpenMonitorWindow(core::App& app, ui::WindowId parent) {
  ui::Toolkit& tk = app.toolkit();
  if (const ui::WindowId open = FindMonitorWindow(tk); open != ui::kNoWindow) {
    tk.raise(open);
    return open;
  }
  auto window = std::make_unique<MonitorWindow>(app);
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Document;
  spec.name = "MONITOR";
  spec.number = kMonitorWindowNumber;
  spec.title = window->title();
  spec.rect = {20, 20, 380, 660};
  spec.parent = parent;
  return tk.create(spec, std::move(window));
}

ui::WindowId FindMonitorWindow(ui::Toolkit& toolkit) {
  for (const ui::WindowId id : toolkit.windows())
    if (toolkit.findAs<MonitorWindow>(id)) return id;
  return ui::kNoWindow;
}

void MonitorFrameEvent(ui::Toolkit& toolkit, const ui::Event& event) {
  if (event.id != core::kEvtFrameReceived && event.id != core::kEvtFrameSend) return;
  const auto* frame = event.as<ax25::FrameRecord>();
  if (!frame) return;
  const ui::WindowId id = FindMonitorWindow(toolkit);
  if (MonitorWindow* monitor = toolkit.findAs<MonitorWindow>(id))
    monitor->ShowFrame(*frame, event.id == core::kEvtFrameSend);
}

void MonitorWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: BuildControls(); break;
    case ui::EventType::Size: LayoutControls(); break;
    case ui::EventType::Close: Command(kMonitorExit); break;
    case ui::EventType::Control:
      if (event.arg == ui::kNotifyClicked) Command(event.id);
      break;
    case ui::EventType::User:
      // The answer to message 2: yes stops the capture.
      if (event.arg == kMsgStopCapture && event.id == core::kAnswerBase + core::kAnswerYes)
        StopCapture();
      else if (event.arg == kMsgStopCapture && event.id == core::kAnswerBase + core::kAnswerNo)
        SetCheck(kMonitorSave, !captureFile_.empty());
      else if (event.id == kMonitorText)  // clicks and focus of the text pane
        Command(kMonitorText);
      break;
    default: break;
  }
}

void MonitorWindow::BuildControls() {
  ui::Toolkit& tk = toolkit();
  for (const ControlPlace& c : kControls) {
    ui::ControlSpec spec;
    spec.kind = ui::ControlKind::CheckBox;
    spec.id = c.id;
    spec.name = c.name;
    spec.text = c.name;
    spec.rect = {kButtonTop, c.left, kButtonTop + kButtonHeight, c.left + c.width};
    tk.createControl(id(), spec);
  }
  SetCheck(kMonitorNoBin, filter_.noBin);
  ui::FifoOptions options;
  options.name = "MONITOR";
  options.controlNumber = kMonitorText;
  const ui::Rect client = tk.clientRect(id());
  pane_ = ui::FifoText::Create(tk, id(), {kPaneTop, 0, client.bottom, client.right},
                               app_.messages(), std::move(options));
}

void MonitorWindow::LayoutControls() {
  ui::Toolkit& tk = toolkit();
  if (pane_ == ui::kNoWindow || !tk.exists(pane_)) return;
  const ui::Rect client = tk.clientRect(id());
  tk.move(pane_, {kPaneTop, 0, std::max(kPaneTop, client.bottom), client.right});
  ui::Event size(ui::EventType::Size, tk.clientRect(pane_).width(),
                 tk.clientRect(pane_).height());
  tk.send(pane_, size);
}

void MonitorWindow::ShowFrame(const ax25::FrameRecord& frame, bool sent) {
  if (!ax25::MonitorAccepts(frame, filter_, app_.config().GetSetting(2))) return;
  ui::FifoText* pane = ui::FindFifo(toolkit(), pane_);
  if (!pane) return;
  const ui::Color header = sent ? ui::kRed : ui::kBlue;
  for (const ax25::MonitorLine& line : ax25::MonitorLines(frame, filter_.noBin))
    pane->AppendLine(line.text, line.kind == ax25::MonitorLineKind::Header ? header : ui::kBlack);
}

void MonitorWindow::Command(int command) {
  switch (command) {
    case kMonitorExit: toolkit().destroy(id()); break;
    case kMonitorText:
    case kMonitorChanged: break;
    case kMonitorSave: StartOrAskCapture(); break;
    case kMonitorIOnly: ToggleFilter(filter_.iOnly, kMonitorIOnly); break;
    case kMonitorOOnly: ToggleFilter(filter_.ownOnly, kMonitorOOnly); break;
    case kMonitorNoBin: ToggleFilter(filter_.noBin, kMonitorNoBin); break;
    default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "MONITOR");
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
  SetWindowTitle(title_ + " --> " + captureFile_);
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), pane_)) pane->Capture(captureFile_, false);
  SetCheck(kMonitorSave, true);
}

void MonitorWindow::StopCapture() {
  captureFile_.clear();
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), pane_)) pane->Capture("", false);
  SetWindowTitle(title_);
  SetCheck(kMonitorSave, false);
}

void MonitorWindow::SetCheck(int control, bool checked) { toolkit().setChecked(id(), control, checked); }

void MonitorWindow::SetWindowTitle(const std::string& title) { toolkit().setTitle(id(), title); }

}  // namespace tarvik::channels
