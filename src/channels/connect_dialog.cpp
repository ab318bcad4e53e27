#include "channels/connect_dialog.h"

#include <cctype>
#include <cstdio>

#include "channels/channel_session.h"
#include "channels/channel_window.h"
#include "core/port_opening.h"

namespace tarvik::channels {

namespace {

bool ConnectDialogNames(std::string_view name, int& id) {
  static constexpr std::pair<std::string_view, int> kNames[] = {
      {"OK", kCdOk}, {"STATION", kCdStation}, {"QRG", kCdQrg}, {"PORT", kCdPort}, {"CHAN", kCdChan}};
  return ui::LookupName(name, id, kNames);
}

ui::FormRequest Request(ui::WindowId channel) {
  ui::FormRequest r;
  r.number = kConnectDialogNumber;
  r.resolvers.names = ConnectDialogNames;
  r.resolvers.states = ui::NoNames;
  r.parent = channel;
  r.name = "CONNECT";
  r.kind = ui::WindowKind::Dialog;
  return r;
}

std::string Entry(int number, const std::string& title) {
  char text[64];
  std::snprintf(text, sizeof text, "%d:%.40s", number, title.c_str());
  return text;
}

}  // namespace

ConnectDialog::ConnectDialog(core::App& app, ui::FormRuntime& forms, ui::WindowId channel)
    : ui::Form(forms, Request(channel)), app_(app), channel_(channel) {}

ui::WindowId OpenConnectDialog(core::App& app, ui::FormRuntime& forms, ui::WindowId channel) {
  return forms.open(std::make_unique<ConnectDialog>(app, forms, channel));
}

bool ConnectDialog::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: fillPorts(); return true;
    case ui::EventType::Close: cancel(); return true;
    default: return false;
  }
}

void ConnectDialog::onCommand(int id, std::intptr_t) {
  switch (id) {
    case kCdOk: connect(); break;
    case kCdCancel: cancel(); break;
    case kCdPort: fillRadioChannels(); break;
    case kCdChan: showQrg(); break;
    default: break;
  }
}

int ConnectDialog::chosenNumber(int id) const {
  const std::string text = GetCtlText(id);
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return -1;
  int n = 0;
  for (std::size_t i = 0; i < text.size() && i < 2 && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    n = n * 10 + (text[i] - '0');
  return n;
}

void ConnectDialog::fillPorts() {
  const int list = controlOf(kCdPort);
  if (list == ui::kNoControl) return;
  ui::Toolkit& tk = toolkit();
  tk.listClear(id(), list);
  // Every configured port, with its state: one that is down may be chosen
  // too, and Connect then says so. The first port that is up is chosen.
  int chosen = -1, index = 0;
  for (int p = 0; p < core::kPortCount; ++p) {
    const core::PortRecord& port = app_.ports()[p];
    if (!port.configured()) continue;
    const std::string state = core::PortStateWord(app_, port.shownState());
    tk.listAdd(id(), list, Entry(p, port.title) + (state.empty() ? "" : " (" + state + ")"));
    if (chosen < 0 && port.takesFrames()) chosen = index;
    ++index;
  }
  if (index > 0) tk.listSetSel(id(), list, std::max(chosen, 0));
  fillRadioChannels();
}

void ConnectDialog::fillRadioChannels() {
  const int list = controlOf(kCdChan);
  if (list == ui::kNoControl) return;
  ui::Toolkit& tk = toolkit();
  tk.listClear(id(), list);
  if (const core::PortRecord* port = app_.ports().Find(chosenNumber(kCdPort))) {
    for (int rc = 0; rc < core::kRadioChannelCount; ++rc) {
      const core::ChannelParams& params = port->channels[static_cast<std::size_t>(rc)];
      if (params.configured()) tk.listAdd(id(), list, Entry(rc, params.title));
    }
  }
  if (!tk.listItems(id(), list).empty()) tk.listSetSel(id(), list, 0);
  showQrg();
}

void ConnectDialog::showQrg() {
  const core::PortRecord* port = app_.ports().Find(chosenNumber(kCdPort));
  const int rc = chosenNumber(kCdChan);
  if (!port || rc < 0 || rc >= core::kRadioChannelCount) {
    SetCtlText(kCdQrg, "");
    return;
  }
  SetCtlText(kCdQrg, port->channels[static_cast<std::size_t>(rc)].qrg);
}

void ConnectDialog::connect() {
  const std::string station = GetCtlText(kCdStation);
  if (station.size() < 3) return;
  // The first word is the call, every further one a digipeater; a word
  // that is no call keeps the dialog open for correction.
  ConnectTarget target;
  std::size_t i = 0, count = 0;
  bool first = true;
  for (;;) {
    while (i < station.size() && station[i] == ' ') ++i;
    if (i >= station.size()) break;
    std::size_t j = i;
    while (j < station.size() && station[j] != ' ') ++j;
    std::string word = station.substr(i, j - i);
    i = j;
    if (first) {
      if (word.size() > kCallWordCapacity) return;
      for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      const auto call = ax25::ParseCall(word);
      if (!call || call->empty()) return;
      target.requestedCall = word;
      target.remote = *call;
      first = false;
    } else {
      const auto digi = ax25::ParseCall(word);
      if (!digi || digi->empty() || count == ax25::kMaxVia) return;
      target.via[count++] = *digi;
    }
  }
  if (first) return;
  target.port = chosenNumber(kCdPort);
  target.radioChannel = chosenNumber(kCdChan);
  // A port that is closed, a radio channel that is not configured, or a
  // port that is down is told at once, naming the port; the dialog stays
  // for another choice.
  if (const int refusal = CheckConnectPort(app_.ports(), target.port, target.radioChannel)) {
    app_.messages().ShowMessageNumber(app_.taskWindow, 1, refusal, target.port);
    return;
  }
  if (core::TellPortDown(app_, target.port, target.requestedCall)) return;
  const std::string qrg = GetCtlText(kCdQrg);
  const ui::WindowId channel = channel_;
  ChannelWindow* owner = toolkit().findAs<ChannelWindow>(channel);
  ui::CloseForm(toolkit(), id(), app_.taskWindow);
  if (owner) owner->ConnectTo(target, qrg, false);
}

void ConnectDialog::cancel() {
  ui::Toolkit& tk = toolkit();
  const ui::WindowId channel = channel_;
  ui::CloseForm(tk, id(), app_.taskWindow);
  tk.post(channel, ui::Event::user(kEvtCloseChannel));
}

}  // namespace tarvik::channels
