#include "config/connection_manager.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "config/connect_forms.h"
#include "core/atomic_file.h"
#include "core/port_opening.h"
#include "devices/tcp_port.h"
#include "ui/list_control.h"

namespace tarvik::config {

namespace {

enum ManagerId : int {
  kManExit = 0, kManDiscon = 1, kManTcpCon = 2, kManComCon = 3, kManChanConf = 4, kManConfSave = 5,
  kManConfDel = 6, kManList = 7,
};
enum ManagerState : int { kStateSel = 0, kStateTnc = 1, kStateChg = 2, kStateTcpIp = 3 };

constexpr std::array<std::pair<std::string_view, int>, 7> kNames{{
    {"DISCON", kManDiscon}, {"TCPCON", kManTcpCon}, {"COMCON", kManComCon}, {"CHANCONF", kManChanConf},
    {"CONFSAVE", kManConfSave}, {"CONFDEL", kManConfDel}, {"LISTE", kManList}}};
constexpr std::array<std::pair<std::string_view, int>, 4> kStates{
    {{"SEL", kStateSel}, {"TNC", kStateTnc}, {"CHG", kStateChg}, {"TCPIP", kStateTcpIp}}};

constexpr int kRefreshMs = 1000;
constexpr int kChannelFormNumber = 1230;
constexpr int kPortFormNumber = 1250;
constexpr int kMsgUnknownCommand = 503;
constexpr int kNotice = 1, kQuestion = 2;

ui::FormRequest ManagerRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kConManNumber;
  r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kNames); },
                              [](std::string_view n, int& id) { return ui::LookupName(n, id, kStates); }};
  r.parent = parent;
  r.name = "CONMAN";
  r.kind = ui::WindowKind::Document;
  return r;
}

std::string PortKey(int port) {
  char key[8];
  std::snprintf(key, sizeof key, "%2d", port);
  return key;
}

class ConnectionManager final : public ui::Form {
 public:
  ConnectionManager(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : Form(forms, ManagerRequest(parent)), app_(app) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create:
        file_ = app_.config().GetSetting(core::kSettingTempFile);
        timer_ = toolkit().createTimer(id(), kRefreshMs);
        Refresh(true);
        return true;
      case ui::EventType::Destroy:
        if (timer_ != 0) toolkit().destroyTimer(timer_);
        timer_ = 0;
        if (!file_.empty()) std::remove(file_.c_str());
        return Form::ownerEvent(event);
      case ui::EventType::Timer:
        if (timer_ != 0 && event.id == static_cast<int>(timer_)) {
          Refresh(false);
          return true;
        }
        return Form::ownerEvent(event);
      case ui::EventType::User:
        // The form's own messages are the form's.
        if (event.id >= ui::kFormFocus && event.id <= ui::kFormWindows && event.id != ui::kFormChildClose)
          return Form::ownerEvent(event);
        onUser(event);
        return true;
      default: return Form::ownerEvent(event);
    }
  }

  void onCommand(int command, std::intptr_t argument) override {
    switch (command) {
      case kManExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kManDiscon: Disconnect(); break;
      case kManTcpCon: runtime().OpenWindowById(id(), kTcpConnectNumber); break;
      case kManComCon: runtime().OpenWindowById(id(), kSerialConnectNumber); break;
      // The port's radio channels; a double click on its line (Selected)
      // opens the port itself.
      case kManChanConf:
        if (const int port = SelectedPort(); port >= 0) runtime().OpenWindowById(id(), kChannelFormNumber, port);
        break;
      case kManConfSave:
        if ((asked_ = SelectedPort()) >= 0) app_.ShowMessage(id(), kQuestion, kMsgAskSave);
        break;
      case kManConfDel:
        if ((asked_ = SelectedPort()) >= 0)
          app_.ShowMessage(id(), kQuestion, kMsgAskDelete, {}, {}, core::DefaultAnswer::No);
        break;
      case kManList: Selected(argument); break;
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), kNotice, kMsgUnknownCommand, command, "CONMAN");
    }
  }

 private:
  ui::ListControl* list() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kManList)); }

  // The port of the selected line; -1 when none is selected or the port
  // has closed meanwhile.
  int SelectedPort() {
    ui::ListControl* l = list();
    const auto line = l ? l->Selected() : std::nullopt;
    if (!line) return -1;
    const int port = std::atoi(line->c_str());
    const core::PortRecord* record = app_.ports().Find(port);
    return record && record->open() ? port : -1;
  }

  std::string LineOf(int port) {
    const core::PortRecord& r = app_.ports()[port];
    return PortListLine(port, ProtocolName(r.protocol), r.device, r.devType, r.mark,
                        core::PortStateWord(app_, r.shownState()));
  }

  // The list as the port table stands. A port that opened or closed gives
  // a new file (nothing selected then); otherwise only the lines that
  // changed are written, and the selection stays.
  void Refresh(bool whole) {
    std::map<int, std::string> lines;
    for (int p = 0; p < core::kPortCount; ++p)
      if (app_.ports()[p].open()) lines.emplace(p, LineOf(p));
    bool samePorts = lines.size() == shown_.size();
    for (auto a = lines.begin(), b = shown_.begin(); samePorts && a != lines.end(); ++a, ++b)
      samePorts = a->first == b->first;
    ui::ListControl* l = list();
    if (whole || !samePorts || !l) {
      std::string text;
      for (const auto& [port, line] : lines) text += line;
      core::WriteFileAtomically(file_, text);
      if (l) l->AttachFile(file_);
    } else {
      for (const auto& [port, line] : lines)
        if (shown_[port] != line) l->ReplaceByKey(0, PortKey(port), line.substr(0, line.size() - 1));
    }
    shown_ = std::move(lines);
    UpdateStates();
  }

  void UpdateStates() {
    const int port = SelectedPort();
    const core::PortRecord* r = port >= 0 ? &app_.ports()[port] : nullptr;
    SetState(kStateSel, r ? 1 : 0);
    SetState(kStateTnc, r && r->devType == core::kDevTypeTnc ? 1 : 0);
    SetState(kStateChg, r && r->mark != 0 ? 1 : 0);
    const std::string tcpIp = app_.config().GetSetting(core::kSettingTcpIp);
    SetState(kStateTcpIp, !tcpIp.empty() && (tcpIp[0] == 'Y' || tcpIp[0] == 'J') ? 1 : 0);
  }

  void Selected(std::intptr_t argument) {
    UpdateStates();
    if (argument % 10 == 1)
      if (const int port = SelectedPort(); port >= 0) runtime().OpenWindowById(id(), kPortFormNumber, port);
  }

  void Disconnect() {
    const int port = SelectedPort();
    if (port < 0) return;
    const core::PortRecord& r = app_.ports()[port];
    if (r.devType == core::kDevTypeTcpIp) devices::CloseTcpPort(app_, r.portWindow);
    else toolkit().destroy(r.portWindow);
    Refresh(true);
  }

  void Save(int port) {
    core::PortRecord& r = app_.ports()[port];
    if (!app_.config().SavePortSections(port)) {
      app_.ShowMessage(id(), kNotice, kMsgIniNotWritten, app_.config().GetSetting(core::kSettingIniPath));
      return;
    }
    r.mark = 0;
    Refresh(false);
  }

  // The INI file no longer has the port; while it stays open it differs
  // from the file, so it keeps its line, marked as changed.
  void Delete(int port) {
    if (!app_.config().RemovePortSections(port)) {
      app_.ShowMessage(id(), kNotice, kMsgIniNotWritten, app_.config().GetSetting(core::kSettingIniPath));
      return;
    }
    app_.ports()[port].mark = 1;
    Refresh(false);
  }

  void onUser(ui::Event& event) {
    switch (event.id) {
      case kManList:
        if (event.arg != ui::kListFocusNotice) onCommand(kManList, event.arg);
        return;
      case kEvtManagerPortChanged:
        if (core::PortRecord* r = app_.ports().Find(static_cast<int>(event.arg))) r->mark = 1;
        Refresh(false);
        return;
      case kEvtManagerPortOpened:
        if (const auto* opened = event.as<PortOpenedPayload>())
          if (core::PortRecord* r = app_.ports().Find(opened->port)) r->mark = 1;
        Refresh(false);
        return;
      case core::kAnswerBase + core::kAnswerYes: {
        const int port = std::exchange(asked_, -1);
        const core::PortRecord* r = app_.ports().Find(port);
        if (!r || !r->open()) return;
        if (event.arg == kMsgAskSave) Save(port);
        if (event.arg == kMsgAskDelete) Delete(port);
        return;
      }
      case core::kAnswerBase + core::kAnswerNo:
      case core::kAnswerBase + 2:
      case core::kAnswerBase + core::kAnswerCancel:
      case core::kAnswerBase + 4:
        asked_ = -1;
        return;
      case ui::kFormChildClose:
        toolkit().sendUser(id(), ui::kFormFocus);
        return;
      default:
        app_.ShowMessage(id(), kNotice, kMsgUnknownEvent, "CONMAN", std::to_string(event.id));
    }
  }

  core::App& app_;
  std::string file_;
  ui::TimerId timer_ = 0;
  std::map<int, std::string> shown_;  // port -> its line as shown
  int asked_ = -1;                    // the port a question is about
};

}  // namespace

std::string ProtocolName(int protocol) {
  switch (protocol) {
    case core::kProtocolNone: return "NO";
    case core::kProtocolKiss: return "KISS";
    case core::kProtocolSmack: return "SMACK";
    case core::kProtocolRmnc: return "RMNC";
    default: return "UNDEF";
  }
}

std::string PortListLine(int port, const std::string& protocol, const std::string& device, int devType,
                         int mark, const std::string& state) {
  char line[160];
  std::snprintf(line, sizeof line, "%2d\t%6.6s\t%-40.40s\t%1d\t%1d\t%-12.12s\n", port % 100, protocol.c_str(),
                device.c_str(), devType % 10, mark % 10, state.c_str());
  return line;
}

std::optional<int> PortForConnect(const core::PortTable& ports) {
  for (int p = 0; p < core::kPortCount; ++p)
    if (!ports[p].open() && !ports[p].configured()) return p;
  return ports.FindFreePort();
}

ui::WindowId OpenConnectionManager(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  for (const ui::WindowId open : forms.windowsOf(kConManNumber)) {
    forms.toolkit().raise(open);
    return open;
  }
  return forms.open(std::make_unique<ConnectionManager>(app, forms, parent));
}

void InstallConnectionManager(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  forms.registerCreator(kConManNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    return OpenConnectionManager(app, rt, parent);
  });
  InstallConnectForms(app, forms);
}

}  // namespace tarvik::config
