#include "script/timer_windows.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

#include "channels/main_window.h"
#include "core/atomic_file.h"
#include "script/timer_list.h"
#include "ui/list_control.h"

namespace tarvik::script {
namespace {

constexpr int kNotice = 1;
constexpr int kMsgUnknownCommand = 503, kMsgBadTime = 1008;

enum ListId : int {
  kListExit = 0, kListMon = 1, kListTue, kListWed, kListThu, kListFri, kListSat, kListSun,
  kListNew = 8, kListEdit, kListDelete, kListSave, kListLoad, kListLines,
};
enum ListState : int { kListSel = 0, kListChanged = 1 };
enum EntryId : int { kEntryExit = 0, kEntryStart = 1, kEntryEnd, kEntryPeriodic, kEntryCommand, kEntryOk, kEntryScript };

constexpr std::array<std::pair<std::string_view, int>, 13> kListNames{
    {{"MON", 1}, {"TUE", 2}, {"WEN", 3}, {"THU", 4}, {"FRI", 5}, {"SAT", 6}, {"SUN", 7}, {"NEW", 8},
     {"EDIT", 9}, {"DEL", 10}, {"SAVE", 11}, {"LOAD", 12}, {"LISTE", 13}}};
constexpr std::array<std::pair<std::string_view, int>, 2> kListStates{{{"SEL", 0}, {"CHANGED", 1}}};
constexpr std::array<std::pair<std::string_view, int>, 6> kEntryNames{
    {{"START", 1}, {"END", 2}, {"PERIODIC", 3}, {"COMMAND", 4}, {"OK", 5}, {"SCRIPT", 6}}};
constexpr std::array<std::pair<std::string_view, int>, 0> kNoStates{};

// The day buttons in the order Monday ... Sunday, as weekday numbers.
constexpr std::array<int, 7> kDayOfButton{1, 2, 3, 4, 5, 6, 0};

// Tells the timer list window what the entry window made of an entry
// (`index` the entry changed, -1 for a new one).
inline constexpr int kEvtTimerEntry = 1311;
struct EntryPayload : ui::Payload {
  EntryPayload(TimerFileLine l, int i) : line(std::move(l)), index(i) {}
  TimerFileLine line;
  int index;
};
// How the entry window starts.
struct EntryStart : ui::OpenArgument {
  TimerFileLine line;
  int index = -1;
};

std::string ScriptDirectory(core::App& app) {
  return app.config().GetSetting(core::kSettingIniDirectory) + "script/";
}

int StartMinutes(const TimerFileLine& l) {
  return l.start.size() == 5 ? std::stoi(l.start.substr(0, 2)) * 60 + std::stoi(l.start.substr(3, 2)) : 0;
}

ui::FormRequest Request(int number, ui::WindowId parent, const char* name) {
  ui::FormRequest r;
  r.number = number;
  if (number == kTimerListNumber)
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kListNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kListStates); }};
  else
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kEntryNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kNoStates); }};
  r.parent = parent;
  r.name = name;
  r.kind = ui::WindowKind::Document;
  return r;
}

class TimerEntryWindow final : public ui::Form {
 public:
  TimerEntryWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, EntryStart start)
      : Form(forms, Request(kTimerEntryNumber, parent, "TIMER")), app_(app), start_(std::move(start)) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Create) {
      SetCtlText(kEntryStart, start_.line.start);
      SetCtlText(kEntryEnd, start_.line.end);
      SetCheck(kEntryPeriodic, start_.line.periodic ? 1 : 0);
      SetCtlText(kEntryCommand, start_.line.command);
      return true;
    }
    return Form::ownerEvent(event);
  }
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kEntryExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kEntryOk: Ok(); break;
      case kEntryScript: OpenScript(); break;
      case ui::kCallbackChanged:
      case kEntryStart: case kEntryEnd: case kEntryPeriodic: case kEntryCommand: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "TIMER");
    }
  }

 private:
  TimerFileLine Typed() const {
    TimerFileLine l;
    l.start = GetCtlText(kEntryStart);
    l.end = GetCtlText(kEntryEnd);
    l.periodic = toolkit().checked(id(), controlOf(kEntryPeriodic));
    l.command = GetCtlText(kEntryCommand);
    return l;
  }
  // The entry goes to the list only as a line the timer list will read.
  void Ok() {
    TimerFileLine l = Typed();
    const std::optional<TimerEntry> parsed = ParseTimerLine(l.FileLine(), 1);
    if (!parsed) {
      app_.ShowMessage(id(), kNotice, kMsgBadTime, l.start + " " + l.end);
      return;
    }
    toolkit().sendUser(toolkit().parentOf(id()), kEvtTimerEntry, 0,
                       std::make_unique<EntryPayload>(std::move(l), start_.index));
    ui::CloseForm(toolkit(), id(), app_.taskWindow);
  }
  // The script of a connect path ("@name" up to "#") in the configured editor.
  void OpenScript() {
    const std::string command = GetCtlText(kEntryCommand);
    const std::size_t at = command.find('@');
    const std::string editor = app_.config().GetSetting(core::kSettingEditor);
    if (at == std::string::npos || editor.empty()) return;
    std::string name = command.substr(at + 1, command.find_first_of("# ", at + 1) - at - 1);
    if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos) return;
    app_.RunProgram(id(), editor + " " + ScriptDirectory(app_) + name);
  }

  core::App& app_;
  EntryStart start_;
};

class TimerListWindow final : public ui::Form {
 public:
  TimerListWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, std::shared_ptr<int> counter)
      : Form(forms, Request(kTimerListNumber, parent, "TIMERLIS")), app_(app), counter_(std::move(counter)) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: Load(std::string(WeekdayName(toolkit().localTime().dayOfWeek))); return true;
      case ui::EventType::Destroy:
        if (!file_.empty()) std::remove(file_.c_str());
        return Form::ownerEvent(event);
      case ui::EventType::User: onUser(event); return true;
      default: return Form::ownerEvent(event);
    }
  }
  void onCommand(int command, std::intptr_t) override {
    if (command >= kListMon && command <= kListSun) {
      Load(std::string(WeekdayName(kDayOfButton[static_cast<std::size_t>(command - kListMon)])));
      return;
    }
    switch (command) {
      case kListExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kListNew: runtime().OpenWindowWith(id(), kTimerEntryNumber, EntryStart{}); break;
      case kListEdit:
        if (const int i = SelectedIndex(); i >= 0) {
          EntryStart start;
          start.line = lines_[static_cast<std::size_t>(i)];
          start.index = i;
          runtime().OpenWindowWith(id(), kTimerEntryNumber, start);
        }
        break;
      case kListDelete:
        if (const int i = SelectedIndex(); i >= 0) {
          lines_.erase(lines_.begin() + i);
          Show(true);
        }
        break;
      case kListSave: Save(); break;
      // The file as it is on disk again: what was not saved is dropped.
      case kListLoad: Load(day_); break;
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "TIMERLIS");
    }
  }

 private:
  ui::ListControl* pane() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kListLines)); }

  int SelectedIndex() {
    ui::ListControl* p = pane();
    const auto line = p ? p->Selected() : std::nullopt;
    if (!line) return -1;
    const int i = std::atoi(line->c_str() + line->rfind('\t') + 1);
    return i >= 0 && i < static_cast<int>(lines_.size()) ? i : -1;
  }

  void Load(std::string day) {
    day_ = std::move(day);
    std::ifstream in(ScriptDirectory(app_) + day_ + ".tim", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    lines_ = ReadTimerLines(text);
    std::string title = LookupString("TITLE").value_or("%s");
    if (const std::size_t at = title.find("%s"); at != std::string::npos) title.replace(at, 2, day_);
    toolkit().setTitle(id(), title);
    Show(false);
  }

  // Writes the display file of the entries and shows it.
  void Show(bool changed) {
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const TimerFileLine& a, const TimerFileLine& b) { return StartMinutes(a) < StartMinutes(b); });
    if (file_.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "T%.7d.$$$", ++*counter_ % 10000000);
      file_ = app_.config().GetSetting(core::kSettingTmpPath) + name;
    }
    std::string contents;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      char line[192];
      std::snprintf(line, sizeof line, "%s\t%s\t%s\t%-108.108s\t%04zu\n", lines_[i].start.c_str(),
                    lines_[i].end.c_str(), lines_[i].periodic ? "1" : "0", lines_[i].command.c_str(), i % 10000);
      contents += line;
    }
    core::WriteFileAtomically(file_, contents);
    if (ui::ListControl* p = pane()) p->AttachFile(file_);
    SetState(kListSel, 0);
    SetState(kListChanged, changed ? 1 : 0);
    SetChanged(changed);
  }

  void Save() {
    std::string text;
    for (const TimerFileLine& l : lines_) text += l.FileLine() + "\n";
    if (!core::WriteFileAtomically(ScriptDirectory(app_) + day_ + ".tim", text)) {
      app_.ShowMessage(id(), kNotice, 1021, ScriptDirectory(app_) + day_ + ".tim");
      return;
    }
    SetState(kListChanged, 0);
    SetChanged(false);
    if (app_.mainWindow != ui::kNoWindow) toolkit().sendUser(app_.mainWindow, channels::kEvtReloadTimerList);
  }

  void onUser(ui::Event& event) {
    if (event.id == kListLines) {
      ui::ListControl* p = pane();
      SetState(kListSel, p && p->Selected() ? 1 : 0);
      if (event.arg == 1) onCommand(kListEdit, 0);
      return;
    }
    if (event.id == kEvtTimerEntry) {
      if (auto* entry = event.as<EntryPayload>()) {
        if (entry->index >= 0 && entry->index < static_cast<int>(lines_.size()))
          lines_[static_cast<std::size_t>(entry->index)] = entry->line;
        else
          lines_.push_back(entry->line);
        Show(true);
      }
      return;
    }
  }

  core::App& app_;
  std::shared_ptr<int> counter_;
  std::string day_;
  std::string file_;
  std::vector<TimerFileLine> lines_;
};

}  // namespace

std::string TimerFileLine::FileLine() const {
  return start + " " + end + " " + (periodic ? "1" : "0") + " " + command;
}

std::vector<TimerFileLine> ReadTimerLines(const std::string& text) {
  // The lines the timer list reads, as the timer list reads them.
  std::vector<TimerFileLine> out;
  for (const TimerEntry& e : ParseTimerText(text)) {
    TimerFileLine l;
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d", e.startHour, e.startMinute);
    l.start = clock;
    std::snprintf(clock, sizeof clock, "%02d:%02d", e.endHour, e.endMinute);
    l.end = clock;
    l.periodic = e.periodic;
    l.command = e.command;
    if (e.connects()) l.command.resize(l.command.size() - std::string_view(kConnectMark).size());
    out.push_back(std::move(l));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const TimerFileLine& a, const TimerFileLine& b) { return StartMinutes(a) < StartMinutes(b); });
  return out;
}

void InstallTimerForms(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  auto counter = std::make_shared<int>(0);
  forms.registerCreator(kTimerListNumber, [&app, counter](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    for (const ui::WindowId open : rt.windowsOf(kTimerListNumber)) {
      rt.toolkit().raise(open);
      return open;
    }
    return rt.open(std::make_unique<TimerListWindow>(app, rt, parent, counter));
  });
  forms.registerCreator(kTimerEntryNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    EntryStart start;
    if (const auto* given = rt.openArgument<EntryStart>()) start = *given;
    return rt.open(std::make_unique<TimerEntryWindow>(app, rt, parent, std::move(start)));
  });
}

}  // namespace tarvik::script
