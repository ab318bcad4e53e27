#include "channels/ping_window.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <utility>

#include "ax25/frame_events.h"
#include "channels/main_window.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

bool PingNames(std::string_view name, int& id) {
  static constexpr std::array<std::pair<std::string_view, int>, 6> kNames{{
      {"OK", kPingSend},
      {"STATION", kPingStation},
      {"QRG", kPingQrg},
      {"PORT", kPingPort},
      {"CHAN", kPingChan},
      {"RESPONSE", kPingResponse},
  }};
  return ui::LookupName(name, id, kNames);
}

namespace {

ui::FormRequest PingRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kPingWindowNumber;
  r.resolvers = ui::Resolvers{PingNames, ui::NoNames};
  r.parent = parent;
  r.name = "PING";
  r.kind = ui::WindowKind::Document;
  return r;
}

std::string Entry(int number, const std::string& title) {
  char text[64];
  std::snprintf(text, sizeof text, "%d:%.40s", number, title.c_str());
  return text;
}

}  // namespace

std::optional<ax25::ViaList> PingPath(std::string_view text) {
  ax25::ViaList via{};
  std::size_t count = 0;
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    std::size_t j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    const std::string_view word = text.substr(i, j - i);
    i = j;
    if (count == kPingPathWords || word.size() > kPingWordCapacity) return std::nullopt;
    const std::optional<ax25::AddressRecord> call = ax25::ParseCall(word);
    if (!call || call->empty()) return std::nullopt;
    via[count++] = *call;
  }
  return via;
}

std::string PingAnswerLine(long seconds, const ax25::FrameRecord& answer) {
  char head[24];
  std::snprintf(head, sizeof head, "%4ld\t", seconds);
  std::string line = head + ax25::FormatCall(answer.source) + "\t";
  for (const std::uint8_t byte : answer.info) {
    if (line.size() >= kPingLineCapacity) break;
    line += byte == 0 ? ' ' : static_cast<char>(byte);
  }
  if (line.size() > kPingLineCapacity) line.resize(kPingLineCapacity);
  return line;
}

PingWindow::PingWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
    : Form(forms, PingRequest(parent)), app_(app), lastSend_(forms.toolkit().now()) {}

ui::WindowId OpenPingWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  if (const std::vector<ui::WindowId> open = forms.windowsOf(kPingWindowNumber); !open.empty()) {
    forms.toolkit().raise(open.front());
    return open.front();
  }
  return forms.open(std::make_unique<PingWindow>(app, forms, parent));
}

bool PingWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create:
      FillPorts();
      Register(true);
      return true;
    case ui::EventType::Destroy:
      Register(false);
      return true;
    case ui::EventType::User:
      if (event.id == core::kEvtFrameReceived) {
        if (const auto* frame = event.as<ax25::FrameRecord>()) ShowAnswer(*frame);
        return true;
      }
      if (event.id == kPingResponse) return true;  // clicks and focus of the answer pane
      return false;
    default:
      return Form::ownerEvent(event);
  }
}

// The router hands answers to the ping window it knows; an old window must
// never stay known after it went.
void PingWindow::Register(bool open) {
  MainWindow* main = toolkit().findAs<MainWindow>(app_.mainWindow);
  if (!main) return;
  if (open)
    main->router().setPingWindow(id());
  else if (main->router().pingWindow() == id())
    main->router().setPingWindow(ui::kNoWindow);
}

void PingWindow::onCommand(int command, std::intptr_t) { Command(command); }

void PingWindow::Command(int command) {
  switch (command) {
    case kPingExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kPingSend: Send(); break;
    case kPingPort: FillRadioChannels(); break;
    case kPingChan: ChooseRadioChannel(); break;
    case kPingStation:
    case kPingQrg:
    case kPingResponse:
    case kPingChanged: break;
    default:
      app_.messages().ShowMessageNumber(id(), 1, kMsgPingUnknownCommand, command, "PING");
  }
}

int PingWindow::Chosen(int control) const {
  const std::string text = GetCtlText(control);
  int n = 0;
  std::size_t i = 0;
  for (; i < text.size() && i < 2 && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    n = n * 10 + (text[i] - '0');
  return i > 0 && i < text.size() && text[i] == ':' ? n : -1;
}

void PingWindow::FillPorts() {
  const int list = controlOf(kPingPort);
  if (list == ui::kNoControl) return;
  ui::Toolkit& tk = toolkit();
  tk.listClear(id(), list);
  for (int p = 0; p < core::kPortCount; ++p) {
    const core::PortRecord& port = app_.ports()[p];
    if (port.open()) tk.listAdd(id(), list, Entry(p, port.title));
  }
  if (!tk.listItems(id(), list).empty()) tk.listSetSel(id(), list, 0);
  FillRadioChannels();
}

void PingWindow::FillRadioChannels() {
  const int list = controlOf(kPingChan);
  port_ = Chosen(kPingPort);
  const core::PortRecord* port = app_.ports().Find(port_);
  if (!port) port_ = -1;
  if (list != ui::kNoControl) {
    ui::Toolkit& tk = toolkit();
    tk.listClear(id(), list);
    if (port) {
      for (int rc = 0; rc < core::kRadioChannelCount; ++rc) {
        const core::ChannelParams& params = port->channels[static_cast<std::size_t>(rc)];
        if (params.configured()) tk.listAdd(id(), list, Entry(rc, params.title));
      }
    }
    // The first configured radio channel, which need not be channel 0: the
    // list and the channel pinged always agree.
    if (!tk.listItems(id(), list).empty()) tk.listSetSel(id(), list, 0);
  }
  ChooseRadioChannel();
}

void PingWindow::ChooseRadioChannel() {
  const core::PortRecord* port = app_.ports().Find(port_);
  radioChannel_ = port ? Chosen(kPingChan) : -1;
  if (radioChannel_ >= core::kRadioChannelCount) radioChannel_ = -1;
  SetCtlText(kPingQrg, radioChannel_ < 0 ? std::string()
                                          : port->channels[static_cast<std::size_t>(radioChannel_)].qrg);
  // Without a port and radio channel there is nothing to ping on.
  const bool usable = radioChannel_ >= 0;
  EnableId(kPingStation, usable);
  EnableId(kPingSend, usable);
}

void PingWindow::Send() {
  if (port_ < 0 || radioChannel_ < 0) return;
  const std::optional<ax25::ViaList> via = PingPath(GetCtlText(kPingStation));
  if (!via) return;
  const std::optional<ax25::AddressRecord> own = ax25::ParseCall(app_.config().Record().baseCall);
  if (!own || own->empty()) return;
  ax25::AddressRecord source = *own;
  source.ssid = app_.config().Record().defaultSsid;
  ax25::AddressRecord destination;
  destination.call = "TARVK";
  const ui::LocalTime now = toolkit().localTime();
  char info[48];
  const int n = std::snprintf(info, sizeof info, "%02d.%02d.%04d %02d:%02d", now.day, now.month,
                              now.year, now.hour, now.minute);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(info);
  ax25::SendFrame(app_, ax25::BuildFrame(port_, radioChannel_, false, destination, source, *via,
                                         ax25::FrameType::UI, ax25::CrPf::Command,
                                         ax25::kPidNoLayer3, 0, 0,
                                         std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(n))));
  lastSend_ = toolkit().now();
}

void PingWindow::ShowAnswer(const ax25::FrameRecord& frame) {
  ui::FifoText* pane = ui::FindFifo(toolkit(), responsePane());
  if (!pane) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(toolkit().now() - lastSend_);
  pane->AppendLine(PingAnswerLine(static_cast<long>(elapsed.count()), frame), ui::kBlack);
}

}  // namespace tarvik::channels
