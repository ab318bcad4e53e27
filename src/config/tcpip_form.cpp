// The TCP/IP window (1270): the switch of the KISS/TCP server and its port,
// which take effect at the next start.

#include "config/config_form_base.h"
#include "config/config_forms.h"

namespace tarvik::config {
namespace {

enum Id : int { kExit = 0, kOk = 1, kTcp = 2, kPort = 3 };
enum State : int { kOn = 0 };

constexpr std::array<std::pair<std::string_view, int>, 3> kNames{{{"OK", kOk}, {"TCP", kTcp}, {"PORT", kPort}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kStates{{{"ON", kOn}}};

class TcpIpForm final : public ConfigForm {
 public:
  TcpIpForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : ConfigForm(app, forms, kTcpIpFormNumber, parent, kNames, kStates, "TCPCONF") {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kExit: close(); break;
      case kTcp: setSwitch(!on_); break;
      case kOk: ok(); break;
      case ui::kCallbackChanged:
      case kPort: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    const std::string setting = app().config().GetSetting(core::kSettingTcpIp);
    setSwitch(!setting.empty() && std::string_view("YyJjX").find(setting.front()) != std::string_view::npos);
    SetCtlText(kPort, app().config().GetSetting(core::kSettingTcpPort));
  }

  void setSwitch(bool on) {
    on_ = on;
    SetCheck(kTcp, on ? 1 : 0);
    SetState(kOn, on ? 1 : 0);
  }

  void ok() {
    // A server that is switched off may have no port.
    const std::string port = GetCtlText(kPort);
    int number = 0;
    if ((on_ || !port.empty()) && refused(CheckNumber("PORT", port, 1, 65535, number))) return;
    if (!written(app().config().WriteTcpIpSettings(on_, number ? std::to_string(number) : ""), iniFile())) return;
    close();
  }

  bool on_ = false;
};

}  // namespace

ui::WindowId OpenTcpIpForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  return forms.open(std::make_unique<TcpIpForm>(app, forms, parent));
}

}  // namespace tarvik::config
