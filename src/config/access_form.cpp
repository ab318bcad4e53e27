// The access-level window (1260): home directory and command switches of the
// six levels of the remote command service.

#include "config/config_form_base.h"
#include "config/config_forms.h"
#include "core/config.h"

namespace tarvik::config {
namespace {

constexpr int kQuestion3 = 3, kMsgSaveQuestion = 5;
constexpr std::size_t kSwitches = 24;

enum Id : int { kExit = 0, kOk = 1, kHomeDir = 2, kL0 = 3, kL5 = 8, kC0 = 9, kC23 = 32 };
enum State : int { kLevel0 = 0 };

constexpr std::array<std::pair<std::string_view, int>, 32> kNames{{
    {"OK", kOk}, {"HOMEDIR", kHomeDir}, {"L0", 3}, {"L1", 4}, {"L2", 5}, {"L3", 6}, {"L4", 7}, {"L5", 8},
    {"C0", 9}, {"C1", 10}, {"C2", 11}, {"C3", 12}, {"C4", 13}, {"C5", 14}, {"C6", 15}, {"C7", 16},
    {"C8", 17}, {"C9", 18}, {"C10", 19}, {"C11", 20}, {"C12", 21}, {"C13", 22}, {"C14", 23}, {"C15", 24},
    {"C16", 25}, {"C17", 26}, {"C18", 27}, {"C19", 28}, {"C20", 29}, {"C21", 30}, {"C22", 31}, {"C23", 32},
}};
constexpr std::array<std::pair<std::string_view, int>, 1> kStates{{{"L0", kLevel0}}};

class AccessForm final : public ConfigForm {
 public:
  AccessForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : ConfigForm(app, forms, kAccessFormNumber, parent, kNames, kStates, "ACCESS") {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    if (command >= kC0 && command <= kC23) {
      char& bit = access_[static_cast<std::size_t>(command - kC0)];
      bit = bit == '1' ? '0' : '1';
      SetCheck(command, bit == '1' ? 1 : 0);
      switched_ = true;
      return;
    }
    if (command >= kL0 && command <= kL5) {
      if (unsaved()) {
        // The click is not taken: the level shown stays selected until the
        // operator has decided about its changes.
        toolkit().checkRadio(id(), controlOf(kL0 + level_));
        app().ShowMessage(id(), kQuestion3, kMsgSaveQuestion, "changes");
      } else {
        show(command - kL0);
      }
      return;
    }
    switch (command) {
      case kExit: close(); break;
      case kOk:
        if (store()) close();
        break;
      case ui::kCallbackChanged:
      case kHomeDir: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    // Level 0 starts with no home and no rights each time the window opens;
    // the file keeps its [LEVEL0] until level 0 is saved here.
    app().config().SetLevelRecord(0, "", std::string(kSwitches, '0'));
    show(0);
  }

  void onUser(const ui::Event& event) override {
    if (event.arg == kMsgSaveQuestion && event.id == core::kAnswerBase + core::kAnswerYes) {
      if (store()) clearChanges();
    } else if (event.arg == kMsgSaveQuestion && event.id == core::kAnswerBase + core::kAnswerNo) {
      clearChanges();
    } else if (event.id < core::kAnswerBase || event.id > core::kAnswerBase + core::kAnswerCancel) {
      unknownEvent(event.id);
    }
  }

  void show(int level) {
    level_ = level;
    const core::LevelRecord* record = app().config().GetLevelRecord(level);
    access_ = record ? record->access : std::string();
    if (access_.size() < kSwitches) access_.resize(kSwitches, '0');
    toolkit().checkRadio(id(), controlOf(kL0 + level));
    SetState(kLevel0, level == 0 ? 1 : 0);
    SetCtlText(kHomeDir, record ? record->home : std::string());
    for (std::size_t i = 0; i < kSwitches; ++i) SetCheck(kC0 + static_cast<int>(i), access_[i] == '1' ? 1 : 0);
    clearChanges();
  }

  // Changes are the switches toggled and the home directory typed into;
  // choosing a level is none.
  bool unsaved() const { return switched_ || ControlChanged(kHomeDir); }
  void clearChanges() {
    switched_ = false;
    SetChanged(false);
  }

  // The shown level into memory and its section into the file.
  bool store() {
    const std::string home = GetCtlText(kHomeDir);
    if (refused(CheckIniValue("HOME", home)) || refused(CheckIniValue("ACCESS", access_))) return false;
    core::Configuration& config = app().config();
    config.SetLevelRecord(level_, home, access_);
    return written(config.WriteLevelSection(level_), iniFile());
  }

  int level_ = 0;
  std::string access_;
  bool switched_ = false;
};

}  // namespace

ui::WindowId OpenAccessForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  return forms.open(std::make_unique<AccessForm>(app, forms, parent));
}

}  // namespace tarvik::config
