#include "channels/logbook_window.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "channels/station_windows.h"
#include "store/logbook.h"
#include "store/station_db.h"
#include "ui/list_control.h"

namespace tarvik::channels {
namespace {

constexpr int kNotice = 1, kQuestion = 2;
constexpr int kMsgArchiveQuestion = 15, kMsgNothingArchived = 16, kMsgUnknownEvent = 501,
              kMsgUnknownCommand = 503, kMsgCannotWrite = 1021;
constexpr int kMinWidth = 450, kMinHeight = 160;
constexpr std::size_t kCallWidth = 12;

enum LogbookId : int { kExit = 0, kStation = 1, kConnect = 2, kLoad = 3, kArchive = 4, kReload = 5, kLines = 6 };
enum LogbookState : int { kSel = 0, kArc = 1 };
enum ArchiveId : int { kArchiveOk = 1, kArchiveDate = 2 };
enum ArchiveState : int { kDateOk = 0 };

constexpr std::array<std::pair<std::string_view, int>, 6> kLogbookNames{
    {{"STATION", 1}, {"CON", 2}, {"LOAD", 3}, {"ARCHIVE", 4}, {"RELOAD", 5}, {"LISTE", 6}}};
constexpr std::array<std::pair<std::string_view, int>, 2> kLogbookStates{{{"SEL", 0}, {"ARC", 1}}};
constexpr std::array<std::pair<std::string_view, int>, 2> kArchiveNames{{{"OK", 1}, {"DATUM", 2}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kArchiveStates{{{"DATOK", 0}}};

ui::FormRequest Request(int number, ui::WindowId parent) {
  ui::FormRequest r;
  r.number = number;
  if (number == kLogbookNumber) {
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kLogbookNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kLogbookStates); }};
    r.name = "LOGBUCH";
    r.kind = ui::WindowKind::Document;
  } else {
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kArchiveNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kArchiveStates); }};
    r.name = "LOGARCH";
    r.kind = ui::WindowKind::Dialog;
  }
  r.parent = parent;
  return r;
}

// The call of a logbook line: its first word.
std::string CallOf(const std::string& line) {
  std::string call = line.substr(0, std::min(kCallWidth, line.find_first_of(" \t")));
  return call;
}

class LogbookWindow final : public ui::Form {
 public:
  LogbookWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, std::shared_ptr<int> counter)
      : Form(forms, Request(kLogbookNumber, parent)), app_(app), counter_(std::move(counter)) {}

 protected:
  bool filterEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Size) PlaceExit(event.id);
    return false;
  }
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create:
        toolkit().setMinimumClientSize(id(), kMinWidth, kMinHeight);
        PlaceExit(toolkit().clientRect(id()).width());
        Show(LogFile());
        toolkit().setFocus(GetCtlWindow(kLines));
        return true;
      case ui::EventType::Destroy:
        if (!display_.empty()) std::remove(display_.c_str());
        return Form::ownerEvent(event);
      case ui::EventType::User: onUser(event); return true;
      default: return Form::ownerEvent(event);
    }
  }
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kStation:
        if (const auto line = Selected())
          runtime().OpenWindowWith(id(), kStationFormNumber,
                                   StationStart{StationStart::ByCall, store::kNoNode, CallOf(*line)});
        break;
      case kConnect: Connect(); break;
      case kLoad: {
        const std::string title = LookupString("LOADARC").value_or(std::string());
        const auto path = toolkit().fileDialog(false, title, LogPath(), "*.lar");
        if (path && !path->empty()) {
          Show(*path);
          SetState(kArc, 1);
        }
        break;
      }
      case kReload:
        SetState(kArc, 0);
        Show(LogFile());
        break;
      case kArchive: runtime().OpenWindowById(id(), kLogArchiveNumber); break;
      case kLines: break;
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "LOGBUCH");
    }
  }

 private:
  ui::ListControl* list() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kLines)); }
  std::optional<std::string> Selected() {
    ui::ListControl* l = list();
    return l ? l->Selected() : std::nullopt;
  }
  std::string LogPath() const { return app_.config().GetSetting(core::kSettingLogPath); }
  std::string OwnCall() const { return app_.config().GetSetting(core::kSettingMyCall); }
  std::string LogFile() const { return store::LogbookPath(LogPath(), OwnCall()); }

  // The close button in the top right corner, whatever the width.
  void PlaceExit(int width) {
    const int control = controlOf(kExit);
    if (control != ui::kNoControl) toolkit().moveControl(id(), control, ui::Rect{4, width - 43, 41, width - 6});
  }

  // Makes the display file of a log or archive file and shows it.
  void Show(const std::string& source) {
    if (display_.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "L%.7d.$$$", ++*counter_ % 10000000);
      display_ = app_.config().GetSetting(core::kSettingTmpPath) + name;
    }
    ui::ListControl* l = list();
    if (l) l->AttachFile("");
    if (!store::WriteLogbookDisplay(source, display_)) {
      app_.ShowMessage(id(), kNotice, kMsgCannotWrite, display_);
      return;
    }
    if (l) l->AttachFile(display_);
    SetState(kSel, 0);
  }

  void Connect() {
    const auto line = Selected();
    if (!line) return;
    const std::string call = CallOf(*line);
    store::StationEntry entry;
    store::StationDatabase db(LogPath());
    if (db.Lookup(call, entry) != store::kRecordFound) return;
    const std::string text = entry.record.home.empty() ? call : entry.record.home + " " + call;
    toolkit().sendUser(toolkit().parentOf(id()), kEvtStationConnect, 0, std::make_unique<ui::TextPayload>(text));
  }

  void Archive() {
    switch (store::ArchiveLogbook(LogPath(), OwnCall(), date_)) {
      case store::ArchiveResult::Nothing: app_.ShowMessage(id(), kNotice, kMsgNothingArchived, date_); return;
      case store::ArchiveResult::Failed: app_.ShowMessage(id(), kNotice, kMsgCannotWrite, LogFile()); return;
      case store::ArchiveResult::Archived: break;
    }
    SetState(kArc, 0);
    Show(LogFile());
    for (const ui::WindowId w : runtime().windowsOf(kLogArchiveNumber))
      if (toolkit().parentOf(w) == id()) ui::CloseForm(toolkit(), w, app_.taskWindow);
  }

  void onUser(ui::Event& event) {
    switch (event.id) {
      case kLines:
        if (event.arg == ui::kListFocusNotice) return;
        SetState(kSel, Selected() ? 1 : 0);
        if (event.arg == 1) onCommand(kStation, 0);
        if (event.arg == 11) Connect();
        return;
      case kEvtLogbookArchive:
        if (auto* text = event.as<ui::TextPayload>()) {
          date_ = text->text;
          app_.ShowMessage(id(), kQuestion, kMsgArchiveQuestion, date_);
        }
        return;
      case core::kAnswerBase + core::kAnswerYes:
        if (event.arg == kMsgArchiveQuestion) Archive();
        return;
      case core::kAnswerBase + core::kAnswerNo:
      case core::kAnswerBase + core::kAnswerCancel: return;
      case kEvtStationConnect:
        if (auto* text = event.as<ui::TextPayload>())
          toolkit().sendUser(toolkit().parentOf(id()), kEvtStationConnect, 0,
                             std::make_unique<ui::TextPayload>(text->text));
        return;
      case kEvtStationChanged:
      case kEvtStationAdded: return;  // the station form tells its opener
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "LOGBUCH");
    }
  }

  core::App& app_;
  std::shared_ptr<int> counter_;
  std::string display_;
  std::string date_;
};

class LogArchiveWindow final : public ui::Form {
 public:
  LogArchiveWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : Form(forms, Request(kLogArchiveNumber, parent)), app_(app) {}

 protected:
  bool filterEvent(ui::Event& event) override {
    if (event.type == ui::EventType::Control && event.id == controlOf(kArchiveDate))
      SetState(kDateOk, toolkit().controlText(id(), controlOf(kArchiveDate)).size() > 5 ? 1 : 0);
    return false;
  }
  bool ownerEvent(ui::Event& event) override {
    if (event.type == ui::EventType::User) {
      if (event.id < core::kAnswerBase || event.id > core::kAnswerBase + core::kAnswerCancel)
        app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "LOGARCH");
      return true;
    }
    return Form::ownerEvent(event);
  }
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kArchiveOk:
        toolkit().sendUser(toolkit().parentOf(id()), kEvtLogbookArchive, 0,
                           std::make_unique<ui::TextPayload>(GetCtlText(kArchiveDate)));
        break;
      case kArchiveDate:
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "LOGARCH");
    }
  }

 private:
  core::App& app_;
};

}  // namespace

void InstallLogbookForms(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  auto counter = std::make_shared<int>(0);
  forms.registerCreator(kLogbookNumber, [&app, counter](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    for (const ui::WindowId open : rt.windowsOf(kLogbookNumber)) {
      rt.toolkit().raise(open);
      return open;
    }
    return rt.open(std::make_unique<LogbookWindow>(app, rt, parent, counter));
  });
  forms.registerCreator(kLogArchiveNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    return rt.open(std::make_unique<LogArchiveWindow>(app, rt, parent));
  });
}

}  // namespace tarvik::channels
