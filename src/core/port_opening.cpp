#include "core/port_opening.h"

#include <algorithm>
#include <chrono>

#include "core/app.h"

namespace tarvik::core {

namespace {

// "0 (Neighbour)": the port's number and title, as the state notices name it.
std::string ShortName(const PortRecord& record, int port) {
  std::string name = std::to_string(port);
  if (!record.title.empty()) name += " (" + record.title + ")";
  return name;
}

}  // namespace

std::string MessageText(App& app, int number, const std::string& text1, const std::string& text2,
                        const std::string& fallback) {
  MessageLine line;
  if (!app.messages().lookup(number, line) || !line.found || line.disabled) return fallback;
  return MessageService::format(line.text, text1, text2, false);
}

void SetPortState(App& app, int port, PortState state, const std::string& reason) {
  PortRecord* record = app.ports().Find(port);
  if (record == nullptr || record->state == state) return;
  const PortState before = record->state;
  record->state = state;
  const std::string name = ShortName(*record, port);
  std::string notice;
  if (state == PortState::Down) {
    record->downSince = app.toolkit().now();
    notice = MessageText(app, kMsgPortLost, name, reason);
    // A port that never came up has had its failure told by its driver.
    if (before == PortState::Up) app.ShowMessage(app.taskWindow, 1, kMsgPortLost, name, reason);
  } else if (state == PortState::Up && before == PortState::Down) {
    // To the nearest second: a retry after 0.9 s was away about a second.
    const auto away = std::chrono::round<std::chrono::seconds>(app.toolkit().now() - record->downSince);
    const std::string seconds = std::to_string(std::max<long long>(0, away.count()));
    notice = MessageText(app, kMsgPortBack, name, seconds);
    app.ShowMessage(app.taskWindow, 1, kMsgPortBack, name, seconds);
  }
  if (notice.empty()) return;
  app.DebugLog(notice);
  if (app.mainWindow != ui::kNoWindow)
    app.toolkit().sendUser(app.mainWindow, kEvtPortNotice, port, std::make_unique<ui::TextPayload>(notice));
}

std::string PortStateWord(App& app, PortState state) {
  switch (state) {
    case PortState::Up: return MessageText(app, kMsgPortStateUp);
    case PortState::Connecting: return MessageText(app, kMsgPortStateConnecting);
    case PortState::Down: break;
  }
  return MessageText(app, kMsgPortStateDown);
}

std::string PortStateSummary(App& app) {
  // Without the words in the message file, a sign still tells the states apart.
  auto word = [&app](PortState state, const char* sign) {
    const std::string w = PortStateWord(app, state);
    return w.empty() ? std::string(sign) : w;
  };
  const std::string words[] = {word(PortState::Up, "+"), word(PortState::Connecting, "~"), word(PortState::Down, "-")};
  std::string summary;
  for (int n = 0; n < kPortCount; ++n) {
    const PortRecord& record = app.ports()[n];
    if (!record.configured()) continue;
    if (!summary.empty()) summary += " ";
    summary += "P" + std::to_string(n) + " " + words[static_cast<int>(record.shownState())];
  }
  return summary;
}

bool TellPortDown(App& app, int port, const std::string& station) {
  const PortRecord* record = app.ports().Find(port);
  if (record == nullptr || !record->open() || record->state != PortState::Down) return false;
  app.ShowMessage(app.taskWindow, 1, kMsgPortDownConnect, PortLabel(app.ports(), port, {}), station);
  return true;
}

void OpenAllPorts(App& app) {
  for (int n = 0; n < kPortCount; ++n) {
    PortRecord& port = app.ports()[n];
    if (port.device.empty() || port.open()) continue;
    if (port.devType < kDevTypeTnc || port.devType > kDevTypeTcpIp) continue;
    if (!app.hooks().openPort) continue;  // no drivers in this build
    port.portWindow = app.hooks().openPort(app, n);
  }
}

std::string PortLabel(const PortTable& ports, int port, const std::string& reportedDevice) {
  std::string title = "port " + std::to_string(port);
  std::string where = reportedDevice;
  if (const PortRecord* record = ports.Find(port)) {
    if (!record->title.empty()) title = record->title;
    if (record->devType == kDevTypeTcpIp && record->device.find(';') != std::string::npos)
      where = record->device;
  }
  return where.empty() ? title : title + " (" + where + ")";
}

void CloseAllPorts(App& app) {
  for (int n = 0; n < kPortCount; ++n) {
    const ui::WindowId w = app.ports()[n].portWindow;
    if (w == ui::kNoWindow) continue;
    app.toolkit().destroy(w);
    app.ports()[n].portWindow = ui::kNoWindow;
  }
}

}  // namespace tarvik::core
