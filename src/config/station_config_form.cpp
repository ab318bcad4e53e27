// The station window (1240): the own call with the SSIDs the station answers
// on, the path of the own mailbox, and the station's other texts of
// [TARVIK]: the operator's name, the second mailbox, the prompt, the editor
// and the directories.

#include "config/config_form_base.h"
#include "config/config_forms.h"
#include "core/mycall.h"

namespace tarvik::config {
namespace {

enum Id : int { kExit = 0, kOk = 1, kMyCall = 2, kSsid0 = 3, kSsid15 = 18, kHomeBox, kAccess, kBoxTypes, kDir, kTcp,
                kMyName, kMy2Box, kPrompt, kEditor, kSavePath, kLogPath, kPubPath, kExpPath };

// The plain texts of [TARVIK] the window shows: field, key, setting, and
// whether it is a directory (which must end with "/"). Settings that cannot
// change while the program runs are used from the next start.
struct TextField {
  int id;
  std::string_view key;
  int setting;
  bool directory;
};
constexpr std::array<TextField, 8> kTexts{{
    {kMyName, "MYNAME", core::kSettingMyName, false},
    {kMy2Box, "MY2BBSPATH", core::kSettingMy2BbsPath, false},
    {kPrompt, "PROMPT", core::kSettingPrompt, false},
    {kEditor, "EDITOR", core::kSettingEditor, false},
    {kSavePath, "SAVEPATH", core::kSettingSavePath, true},
    {kLogPath, "LOGPATH", core::kSettingLogPath, true},
    {kPubPath, "PUBPATH", core::kSettingPubPath, true},
    {kExpPath, "EXPPATH", core::kSettingExpPath, true},
}};

constexpr std::array<std::pair<std::string_view, int>, 31> kNames{{
    {"OK", kOk}, {"MYCALL", kMyCall}, {"SSID0", 3}, {"SSID1", 4}, {"SSID2", 5}, {"SSID3", 6}, {"SSID4", 7},
    {"SSID5", 8}, {"SSID6", 9}, {"SSID7", 10}, {"SSID8", 11}, {"SSID9", 12}, {"SSID10", 13}, {"SSID11", 14},
    {"SSID12", 15}, {"SSID13", 16}, {"SSID14", 17}, {"SSID15", 18}, {"HOMEBOX", kHomeBox}, {"ACCESS", kAccess},
    {"BOXTYPEN", kBoxTypes}, {"DIR", kDir}, {"TCP", kTcp}, {"MYNAME", kMyName}, {"MY2BBSPATH", kMy2Box},
    {"PROMPT", kPrompt}, {"EDITOR", kEditor}, {"SAVEPATH", kSavePath}, {"LOGPATH", kLogPath},
    {"PUBPATH", kPubPath}, {"EXPPATH", kExpPath},
}};
constexpr std::array<std::pair<std::string_view, int>, 0> kStates{};

class StationConfigForm final : public ConfigForm {
 public:
  StationConfigForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : ConfigForm(app, forms, kStationFormNumber, parent, kNames, kStates, "CONFIG") {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    if (command >= kSsid0 && command <= kSsid15) {
      char& bit = mask_[static_cast<std::size_t>(command - kSsid0)];
      bit = bit == '1' ? '0' : '1';
      SetCheck(command, bit == '1' ? 1 : 0);
      SetChanged(true);
      return;
    }
    switch (command) {
      case kExit: close(); break;
      case kOk: ok(); break;
      case kAccess: runtime().OpenWindowById(id(), kAccessFormNumber); break;
      case kTcp: runtime().OpenWindowById(id(), kTcpIpFormNumber); break;
      case kBoxTypes: case kDir: break;
      case ui::kCallbackChanged:
      case kMyCall: case kHomeBox: case kMyName: case kMy2Box: case kPrompt: case kEditor: case kSavePath:
      case kLogPath: case kPubPath: case kExpPath: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    core::Configuration& config = app().config();
    const std::string call = config.GetSetting(core::kSettingMyCall);
    SetCtlText(kMyCall, call.substr(0, call.find('-')));
    mask_ = config.GetSetting(core::kSettingSsidMask);
    mask_.resize(core::kSsidCount, '0');
    for (int n = 0; n < core::kSsidCount; ++n) SetCheck(kSsid0 + n, mask_[static_cast<std::size_t>(n)] == '1' ? 1 : 0);
    SetCtlText(kHomeBox, config.GetSetting(core::kSettingMyBbsPath));
    for (const TextField& t : kTexts) SetCtlText(t.id, config.GetSetting(t.setting));
  }

  void ok() {
    const std::string call = GetCtlText(kMyCall), box = GetCtlText(kHomeBox);
    if (refused(CheckBaseCall(call)) || refused(CheckIniValue("MYBBSPATH", box))) return;
    for (const TextField& t : kTexts) {
      const std::string text = GetCtlText(t.id);
      if (refused(CheckIniValue(t.key, text)) || (t.directory && refused(CheckDirectory(t.key, text)))) return;
    }
    core::Configuration& config = app().config();
    if (!written(config.WriteMyCall(call, mask_), iniFile())) return;
    config.SetSetting(core::kSettingMyBbsPath, box);
    if (!written(config.WriteIniEntry("MYBBSPATH", box.substr(0, core::kPathCapacity)), iniFile())) return;
    // Only what was changed is written, so the other lines stay as they are.
    for (const TextField& t : kTexts) {
      const std::string text = GetCtlText(t.id).substr(0, core::kPathCapacity);
      if (text == config.GetSetting(t.setting)) continue;
      if (!written(config.WriteIniEntry(t.key, text), iniFile())) return;
      config.SetSetting(t.setting, text);
    }
    close();
  }

  std::string mask_;
};

}  // namespace

ui::WindowId OpenStationForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  return forms.open(std::make_unique<StationConfigForm>(app, forms, parent));
}

}  // namespace tarvik::config
