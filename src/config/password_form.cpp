// The password window (1330): the method and the password with which the
// program answers a station's login challenge, kept in the station's
// password file LOGPATH/<station file name>.PWD as the single line
// "type<TAB>password".

#include <cstdio>
#include <fstream>

#include "channels/channel_session.h"
#include "config/config_form_base.h"
#include "config/config_forms.h"
#include "core/atomic_file.h"
#include "core/mycall.h"

namespace tarvik::config {
namespace {

constexpr int kQuestion3 = 3, kMsgSaveQuestion = 5;
constexpr std::size_t kPasswordCapacity = 79;

enum Id : int { kExit = 0, kOk = 1, kPwdFile = 2, kPwdType = 3, kPassword = 4 };

constexpr std::array<std::pair<std::string_view, int>, 4> kNames{
    {{"OK", kOk}, {"PWDFILE", kPwdFile}, {"PWDTYP", kPwdType}, {"PASSWORD", kPassword}}};
constexpr std::array<std::pair<std::string_view, int>, 0> kStates{};

// The names of the password methods: the text before "=" of each line of
// PWDTYP.DAT beside the INI file; line n describes type n.
std::vector<std::string> MethodNames(const std::string& file) {
  std::vector<std::string> names;
  std::ifstream in(file, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    names.push_back(line.substr(0, line.find('=')));
  }
  return names;
}

class PasswordForm final : public ConfigForm {
 public:
  PasswordForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, std::string call)
      : ConfigForm(app, forms, kPasswordFormNumber, parent, kNames, kStates, "PWD"),
        call_(std::move(call)),
        file_(app.config().GetSetting(core::kSettingLogPath) + channels::StationFileName(call_) + ".PWD") {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kExit:
        if (Changed() && !GetCtlText(kPassword).empty())
          app().ShowMessage(id(), kQuestion3, kMsgSaveQuestion, call_);
        else
          close();
        break;
      case kOk:
        if (!Changed() || save()) close();
        break;
      case ui::kCallbackChanged:
      case kPwdType: case kPassword: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    read();
    SetCtlText(kPwdFile, call_);
    const int list = controlOf(kPwdType);
    toolkit().listClear(id(), list);
    for (const std::string& name :
         MethodNames(app().config().GetSetting(core::kSettingIniDirectory) + "PWDTYP.DAT"))
      toolkit().listAdd(id(), list, name);
    if (type_ >= 0 && type_ < static_cast<int>(toolkit().listItems(id(), list).size()))
      toolkit().listSetSel(id(), list, type_);
    SetCtlText(kPassword, password_);
    SetChanged(false);
  }

  // The first line of the password file: the type up to a tab, the password
  // up to the next.
  void read() {
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t tab = line.find('\t');
    type_ = std::atoi(line.substr(0, tab).c_str());
    if (tab == std::string::npos) return;
    const std::string rest = line.substr(tab + 1);
    password_ = rest.substr(0, std::min(rest.find('\t'), kPasswordCapacity));
  }

  void onUser(const ui::Event& event) override {
    if (event.arg == kMsgSaveQuestion && event.id == core::kAnswerBase + core::kAnswerYes) {
      if (save()) close();
    } else if (event.arg == kMsgSaveQuestion && event.id == core::kAnswerBase + core::kAnswerNo) {
      close();
    } else if (event.id < core::kAnswerBase || event.id > core::kAnswerBase + core::kAnswerCancel) {
      unknownEvent(event.id);
    }
  }

  // An empty password removes the file; otherwise the file is the one line
  // "type<TAB>password", without a line end.
  bool save() {
    const std::string password = GetCtlText(kPassword);
    if (refused(CheckPassword(password))) return false;
    if (const int selected = toolkit().listSelIndex(id(), controlOf(kPwdType)); selected >= 0) type_ = selected;
    if (password.empty()) {
      std::error_code ec;
      std::filesystem::remove(file_, ec);
      return written(!ec, file_);
    }
    const std::string line = std::to_string(type_) + "\t" + password.substr(0, kPasswordCapacity);
    return written(core::WriteFileAtomically(file_, line), file_);
  }

  std::string call_;
  std::string file_;
  int type_ = 0;
  std::string password_;
};

}  // namespace

ui::WindowId OpenPasswordForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, const std::string& call) {
  // The call names a file: only a call sign may do that.
  if (!core::IsValidCall(call)) {
    app.ShowMessage(parent, 1, kMsgBadPasswordCall, call);
    return ui::kNoWindow;
  }
  return forms.open(std::make_unique<PasswordForm>(app, forms, parent, call));
}

}  // namespace tarvik::config
