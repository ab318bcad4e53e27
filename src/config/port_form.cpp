// The port window (1250): title, device string and the two texts of one port.

#include "config/config_form_base.h"
#include "config/config_forms.h"

namespace tarvik::config {
namespace {

enum Id : int { kExit = 0, kOk = 1, kTitle, kDevice, kIni, kDeini, kIniLabel, kDeiniLabel };
enum State : int { kTnc = 0 };

constexpr std::array<std::pair<std::string_view, int>, 7> kNames{{{"OK", kOk}, {"TITLE", kTitle},
                                                                  {"DEVICE", kDevice}, {"INI", kIni},
                                                                  {"DEINI", kDeini}, {"CTITEL", kIniLabel},
                                                                  {"ATITEL", kDeiniLabel}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kStates{{{"TNC", kTnc}}};

// A text block as its field shows it: one line per line, LF between them.
std::string FieldText(std::string_view block) {
  std::string out;
  for (const char c : block)
    if (c != '\r') out += c;
  return out;
}

class PortForm final : public ConfigForm {
 public:
  PortForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port)
      : ConfigForm(app, forms, kPortFormNumber, parent, kNames, kStates, "PORTCONF"),
        port_(port),
        copy_(app.config().Ports()[port]) {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kExit: close(); break;
      case kOk: ok(); break;
      case ui::kCallbackChanged:
      case kTitle: case kDevice: case kIni: case kDeini: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    setNumberedTitle(std::to_string(port_));
    const bool tnc = copy_.devType == core::kDevTypeTnc;
    SetState(kTnc, tnc ? 1 : 0);
    SetCtlText(kTitle, copy_.title);
    SetCtlText(kDevice, copy_.device);
    SetCtlText(kIni, FieldText(copy_.iniText));
    SetCtlText(kDeini, FieldText(copy_.deiniText));
    SetCtlText(kIniLabel, LookupString(tnc ? "INI" : "CON").value_or("") + "      ");
    SetCtlText(kDeiniLabel, LookupString(tnc ? "DEINI" : "ANSW").value_or("") + "      ");
  }

  void ok() {
    const std::string title = GetCtlText(kTitle), device = GetCtlText(kDevice);
    const std::string ini = GetCtlText(kIni), deini = GetCtlText(kDeini);
    if (refused(CheckIniValue("TITLE", title)) || refused(CheckDevice(copy_.devType, device)) ||
        refused(CheckIniBlock("[P" + std::to_string(port_) + "INI]", ini)) ||
        refused(CheckIniBlock("[P" + std::to_string(port_) + "DEINI]", deini)))
      return;
    copy_.title = title.substr(0, core::kPortTitleCapacity);
    copy_.device = device.substr(0, core::kPortDeviceCapacity);
    copy_.iniText = NormalIniBlock(ini).substr(0, core::kIniTextCapacity);
    copy_.deiniText = NormalIniBlock(deini).substr(0, core::kIniTextCapacity);
    WriteBackPort(app().config().Ports()[port_], copy_);
    toolkit().sendUser(toolkit().parentOf(id()), kEvtPortChanged, port_);
    close();
  }

  int port_;
  core::PortRecord copy_;
};

}  // namespace

ui::WindowId OpenPortForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port) {
  if (!core::PortTable::IsValidPort(port)) return ui::kNoWindow;
  return forms.open(std::make_unique<PortForm>(app, forms, parent, port));
}

}  // namespace tarvik::config
