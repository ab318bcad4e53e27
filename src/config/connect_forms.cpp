#include "config/connect_forms.h"

#include <array>
#include <utility>

#include "config/connection_manager.h"
#include "core/text.h"
#include "devices/port_drivers.h"
#include "devices/serial_port.h"

namespace tarvik::config {

namespace {

constexpr int kNotice = 1;
constexpr int kMsgUnknownCommand = 503;
constexpr std::size_t kHostCapacity = 127;
constexpr std::size_t kPortTextCapacity = 11;
constexpr std::size_t kTextCapacity = 127;
// Posted to itself: the port that did not open is given up. Its driver is
// still reporting when the report arrives, so it is closed afterwards.
constexpr int kEvtGiveUpPort = 1539;

enum TcpId : int { kTcpExit = 0, kTcpConnect = 1, kTcpHost = 2, kTcpPort = 3 };
enum SerialId : int {
  kSerExit = 0, kSerConnect = 1, kSerDevice = 2, kSerBaud = 3, kSerTnc = 4, kSerFirst = 5, kSerSecond = 6,
  kSerFirstLabel = 7, kSerSecondLabel = 8,
};
enum ConnectState : int { kStateCon = 0, kStateIsTnc = 1 };

constexpr std::array<std::pair<std::string_view, int>, 3> kTcpNames{
    {{"CONNECT", kTcpConnect}, {"HOST", kTcpHost}, {"PORT", kTcpPort}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kTcpStates{{{"CON", kStateCon}}};
constexpr std::array<std::pair<std::string_view, int>, 8> kSerialNames{
    {{"CONNECT", kSerConnect}, {"DEVICE", kSerDevice}, {"BAUD", kSerBaud}, {"TNC", kSerTnc},
     {"CON", kSerFirst}, {"ANSWER", kSerSecond}, {"CTITEL", kSerFirstLabel}, {"ATITEL", kSerSecondLabel}}};
constexpr std::array<std::pair<std::string_view, int>, 2> kSerialStates{
    {{"CON", kStateCon}, {"ISTNC", kStateIsTnc}}};

template <std::size_t N, std::size_t M>
ui::FormRequest Request(int number, ui::WindowId parent, const char* name,
                        const std::array<std::pair<std::string_view, int>, N>& names,
                        const std::array<std::pair<std::string_view, int>, M>& states) {
  ui::FormRequest r;
  r.number = number;
  r.resolvers = ui::Resolvers{[&names](std::string_view n, int& id) { return ui::LookupName(n, id, names); },
                              [&states](std::string_view n, int& id) { return ui::LookupName(n, id, states); }};
  r.parent = parent;
  r.name = name;
  return r;
}

// Lines of a multi-line field as the INI texts keep them: CR LF between.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  return out;
}

// What both connect windows share: the port they occupy while it is being
// opened, and giving it up again.
class ConnectForm : public ui::Form {
 public:
  ConnectForm(core::App& app, ui::FormRuntime& forms, ui::FormRequest request, std::string owner)
      : Form(forms, std::move(request)), app_(app), owner_(std::move(owner)) {}

 protected:
  core::App& app() { return app_; }

  // A fresh record of the port a connect takes; nothing when all are open.
  core::PortRecord* TakePort() {
    const std::optional<int> port = PortForConnect(app_.ports());
    if (!port) {
      app_.ShowMessage(id(), kNotice, kMsgNoFreePort);
      return nullptr;
    }
    port_ = *port;
    opened_ = false;
    core::PortRecord& r = app_.ports()[port_];
    r = core::PortRecord{};
    return &r;
  }

  // Opens the taken port through its driver, this window hearing its first
  // report. False (and the port given up) when no driver could be made.
  bool OpenTaken() {
    SetState(kStateCon, 1);
    if (devices::OpenPortWindowFor(app_, port_, id()) != ui::kNoWindow) return true;
    GiveUp();
    return false;
  }

  // The port did not open (or the operator cancelled): its driver goes and
  // its record is emptied, so nothing of it is left to save.
  void GiveUp() {
    if (port_ < 0 || opened_) return;
    core::PortRecord& r = app_.ports()[port_];
    if (r.portWindow != ui::kNoWindow) toolkit().destroy(r.portWindow);
    r = core::PortRecord{};
    port_ = -1;
    SetState(kStateCon, 0);
  }
  void GiveUpLater() { toolkit().post(id(), ui::Event::user(kEvtGiveUpPort)); }

  // The manager learns of the open port; the window closes.
  void Opened(const std::string& device, int devType) {
    opened_ = true;
    const ui::WindowId parent = toolkit().parentOf(id());
    if (parent != ui::kNoWindow)
      toolkit().sendUser(parent, kEvtManagerPortOpened, 0,
                         std::make_unique<PortOpenedPayload>(port_, "KISS", device, devType));
    close();
  }

  void close() { ui::CloseForm(toolkit(), id(), app_.taskWindow); }

  bool ownerEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Destroy) GiveUp();
    if (event.type == ui::EventType::User && event.id == kEvtGiveUpPort) {
      GiveUp();
      return true;
    }
    return Form::ownerEvent(event);
  }

  // A user event the window's own handling did not take: the answers it
  // does not act on, giving up the port and the form's own events go on
  // (false); anything else is reported as unknown (true).
  bool otherUserEvent(const ui::Event& event) {
    switch (event.id) {
      case core::kAnswerBase + core::kAnswerNo:
      case core::kAnswerBase + 2:
      case core::kAnswerBase + core::kAnswerCancel:
      case core::kAnswerBase + 4:
      case kEvtGiveUpPort:
        return false;
      default:
        if (event.id >= ui::kFormFocus && event.id <= ui::kFormWindows) return false;
        unknownEvent(event.id);
        return true;
    }
  }

  void unknown(int command) { app_.messages().ShowMessageNumber(id(), kNotice, kMsgUnknownCommand, command, owner_); }
  void unknownEvent(int event) {
    app_.ShowMessage(id(), kNotice, kMsgUnknownEvent, owner_, std::to_string(event));
  }

  int port_ = -1;
  bool opened_ = false;

 private:
  core::App& app_;
  std::string owner_;
};

class TcpConnectForm final : public ConnectForm {
 public:
  TcpConnectForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : ConnectForm(app, forms, Request(kTcpConnectNumber, parent, "TCPCON", kTcpNames, kTcpStates), "TCPCON") {}

 protected:
  bool filterEvent(ui::Event& event) override {
    // Connecting needs a host: the button follows the host field.
    if (event.type == ui::EventType::Control && event.id == controlOf(kTcpHost)) {
      EnableId(kTcpConnect, State(kStateCon) == 0 && !GetCtlText(kTcpHost).empty());
    }
    return false;
  }

  bool ownerEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Create) {
      SetCtlText(kTcpPort, app().config().GetSetting(core::kSettingTcpPort).substr(0, kPortTextCapacity));
      EnableId(kTcpConnect, false);
      toolkit().setFocus(id(), controlOf(kTcpHost));
      return true;
    }
    if (event.type == ui::EventType::User && onUser(event)) return true;
    return ConnectForm::ownerEvent(event);
  }

  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kTcpExit: GiveUp(), close(); break;
      case kTcpConnect: Connect(); break;
      case kTcpHost: case kTcpPort: case ui::kCallbackChanged: break;
      default: unknown(command);
    }
  }

 private:
  void Connect() {
    if (State(kStateCon) != 0) return;
    host_ = GetCtlText(kTcpHost).substr(0, kHostCapacity);
    portText_ = GetCtlText(kTcpPort).substr(0, kPortTextCapacity);
    if (host_.empty() || portText_.empty()) return;
    core::PortRecord* r = TakePort();
    if (!r) return;
    r->channels[0] = app().config().TcpChannel();
    r->device = host_ + ";" + portText_;
    r->title = host_;
    r->devType = core::kDevTypeTcpIp;
    r->protocol = core::kProtocolKiss;
    EnableId(kTcpConnect, false);
    // Outgoing TCP/IP ports open only while TCP/IP runs.
    if (!OpenTaken()) {
      app().ShowMessage(id(), kNotice, kMsgTcpIpNotRunning);
      EnableId(kTcpConnect, true);
    }
  }

  bool onUser(ui::Event& event) {
    switch (event.id) {
      case core::kEvtTcpOpened:
        opened_ = true;
        app().ShowMessage(id(), kNotice, kMsgTcpOpened, host_, portText_);
        return true;
      case core::kEvtTcpClosed:
        app().ShowMessage(id(), kNotice, kMsgTcpClosed, host_, portText_);
        GiveUpLater();
        return true;
      case core::kEvtTcpFailed: {
        const auto* status = event.as<core::PortStatus>();
        app().ShowMessage(id(), kNotice, kMsgTcpFailed, host_, status ? status->error : std::string());
        GiveUpLater();
        return true;
      }
      case core::kAnswerBase + core::kAnswerYes:
        if (event.arg == kMsgTcpOpened && opened_) Opened(host_ + ";" + portText_, core::kDevTypeTcpIp);
        else if (event.arg == kMsgTcpClosed || event.arg == kMsgTcpFailed) close();
        return true;
      default: return otherUserEvent(event);
    }
  }

  std::string host_;
  std::string portText_;
};

class SerialConnectForm final : public ConnectForm {
 public:
  SerialConnectForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : ConnectForm(app, forms, Request(kSerialConnectNumber, parent, "COMCON", kSerialNames, kSerialStates),
                    "COMCON") {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Create) {
      const int list = controlOf(kSerDevice);
      const std::vector<std::string> lines = SerialDeviceLines();
      for (const std::string& line : lines) toolkit().listAdd(id(), list, line);
      if (!lines.empty()) toolkit().listSetSel(id(), list, 0);
      SetTnc(true);
      toolkit().setFocus(id(), list);
      // Without a line to open there is nothing to connect.
      if (lines.empty()) SetState(kStateCon, 1);
      return true;
    }
    if (event.type == ui::EventType::User && onUser(event)) return true;
    return ConnectForm::ownerEvent(event);
  }

  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kSerExit: GiveUp(), close(); break;
      case kSerConnect: Connect(); break;
      case kSerTnc: SetTnc(toolkit().checked(id(), controlOf(kSerTnc))); break;
      case kSerDevice: case kSerBaud: case kSerFirst: case kSerSecond: case ui::kCallbackChanged: break;
      default: unknown(command);
    }
  }

 private:
  // TNC mode: the texts are the INI and DEINI texts; modem mode: the
  // connect text and the answer awaited.
  void SetTnc(bool tnc) {
    tnc_ = tnc;
    SetState(kStateIsTnc, tnc ? 1 : 0);
    SetCheck(kSerTnc, tnc ? 1 : 0);
    SetCtlText(kSerFirstLabel, LookupString(tnc ? "INI" : "CON").value_or("") + " ");
    SetCtlText(kSerSecondLabel, LookupString(tnc ? "DEINI" : "ANSW").value_or("") + " ");
  }

  void Connect() {
    if (State(kStateCon) != 0) return;
    const int list = controlOf(kSerDevice);
    const int selected = toolkit().listSelIndex(id(), list);
    const std::vector<std::string> items = toolkit().listItems(id(), list);
    if (selected < 0 || selected >= static_cast<int>(items.size())) return;
    device_ = SerialDeviceOfLine(items[static_cast<std::size_t>(selected)]);
    first_ = GetCtlText(kSerFirst).substr(0, kTextCapacity);
    const std::string baud = GetCtlText(kSerBaud);
    if (device_.empty()) return;
    core::PortRecord* r = TakePort();
    if (!r) return;
    r->channels[0] = app().config().DefChannel();
    r->device = device_ + ":" + baud + ",n,8,1;8192,8192";
    r->title = "serial";
    r->iniText = WithCrLf(first_);
    r->deiniText = WithCrLf(GetCtlText(kSerSecond).substr(0, kTextCapacity));
    r->devType = tnc_ ? core::kDevTypeTnc : core::kDevTypeCom;
    r->protocol = core::kProtocolSmack;
    devType_ = r->devType;
    OpenTaken();
  }

  bool onUser(ui::Event& event) {
    switch (event.id) {
      case core::kEvtSerialOpened: Opened(device_, devType_); return true;
      case core::kEvtSerialClosed:
        app().ShowMessage(id(), kNotice, kMsgSerialClosed, device_, first_);
        GiveUpLater();
        return true;
      case core::kEvtSerialFailed:
        app().ShowMessage(id(), kNotice, kMsgSerialFailed, device_, "!");
        GiveUpLater();
        return true;
      case core::kAnswerBase + core::kAnswerYes:
        if (event.arg == kMsgSerialClosed || event.arg == kMsgSerialFailed) close();
        return true;
      default: return otherUserEvent(event);
    }
  }

  bool tnc_ = true;
  int devType_ = core::kDevTypeTnc;
  std::string device_;
  std::string first_;
};

template <class Window>
void RegisterConnectForm(core::App& app, ui::FormRuntime& forms, int number) {
  forms.registerCreator(number, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    if (!PortForConnect(app.ports())) {
      app.ShowMessage(parent, kNotice, kMsgNoFreePort);
      return ui::kNoWindow;
    }
    return rt.open(std::make_unique<Window>(app, rt, parent));
  });
}

}  // namespace

std::vector<std::string> SerialDeviceLines() {
  std::vector<std::string> devices;
  const std::vector<bool> com = devices::ProbeComPorts(4);
  for (std::size_t n = 0; n < com.size(); ++n)
    if (com[n]) devices.push_back("COM" + std::to_string(n + 1));
  for (const char* family : {"/dev/ttyUSB", "/dev/ttyACM"})
    for (int n = 0; n < 4; ++n)
      if (const std::string path = family + std::to_string(n); devices::ProbeSerialDevice(path))
        devices.push_back(path);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < devices.size(); ++i) lines.push_back(std::to_string(i + 1) + ":" + devices[i]);
  return lines;
}

std::string SerialDeviceOfLine(const std::string& line) {
  const std::size_t colon = line.find(':');
  return colon == std::string::npos ? line : line.substr(colon + 1);
}

void InstallConnectForms(core::App& app, ui::FormRuntime& forms) {
  RegisterConnectForm<TcpConnectForm>(app, forms, kTcpConnectNumber);
  RegisterConnectForm<SerialConnectForm>(app, forms, kSerialConnectNumber);
}

}  // namespace tarvik::config
