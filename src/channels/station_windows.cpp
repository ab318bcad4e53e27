#include "channels/station_windows.h"

#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/atomic_file.h"
#include "ui/list_control.h"

namespace tarvik::channels {
namespace {

constexpr int kSettingTmpPath = 5;
constexpr int kSettingLogPath = 4;
constexpr int kMailboxList = 10;  // configured list of mailbox names

// Message kinds: a notice (status line or dialog, by its level) and a
// yes/no question.
constexpr int kNotice = 1, kQuestion = 2;
constexpr int kMsgStored = 3, kMsgChanged = 4, kMsgSaveQuestion = 5, kMsgDeleteQuestion = 6,
              kMsgNotFound = 7, kMsgUnknownEvent = 501, kMsgUnknownCommand = 503;

enum ListId : int { kListExit = 0, kListCreate = 1, kListSearch = 2, kListDelete = 3, kListLines = 4, kListConnect = 5 };
enum ListState : int { kListSel = 0 };
enum FormId : int {
  kFormExit = 0, kFormStation = 1, kFormName, kFormQth, kFormText1, kFormText2, kFormRemark, kFormLastConnect,
  kFormHome, kFormL0, kFormL5 = 14, kFormDigi = 15, kFormBox = 16, kFormOk = 17, kFormConnect = 18, kFormPassword = 19,
};
enum FormState : int { kCreate = 0, kShow = 1, kUpdate = 2, kSearch = 3 };

constexpr std::array<std::pair<std::string_view, int>, 5> kListNames{
    {{"ANLEGEN", 1}, {"SUCHEN", 2}, {"DEL", 3}, {"LISTE", 4}, {"CON", 5}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kListStates{{{"SEL", 0}}};
constexpr std::array<std::pair<std::string_view, int>, 19> kFormNames{
    {{"STATION", 1}, {"NAME", 2}, {"QTH", 3}, {"TEXT1", 4}, {"TEXT2", 5}, {"ANM", 6}, {"LCONNECT", 7},
     {"HOME", 8}, {"L0", 9}, {"L1", 10}, {"L2", 11}, {"L3", 12}, {"L4", 13}, {"L5", 14}, {"DIGI", 15},
     {"BOX", 16}, {"OK", 17}, {"CONNECT", 18}, {"PASSWD", 19}}};
constexpr std::array<std::pair<std::string_view, int>, 4> kFormStatesTable{
    {{"CREATE", 0}, {"SHOW", 1}, {"UPDATE", 2}, {"SEARCH", 3}}};

store::StationDatabase Database(core::App& app) { return store::StationDatabase(app.config().GetSetting(kSettingLogPath)); }

// The connect text of a record: HOME, a blank and the call, or the call.
std::string ConnectText(const store::StationRecord& r, bool withCall) {
  const std::string call = store::ShowCall(r.station);
  if (r.home.empty()) return call;
  return withCall ? r.home + " " + call : r.home;
}

// The record position at the end of a list line.
constexpr int kPositionField = 3;
std::int32_t PositionOf(const std::string& line) {
  const std::size_t tab = line.rfind('\t');
  if (tab == std::string::npos) return store::kNoNode;
  long value = store::kNoNode;
  return std::sscanf(line.c_str() + tab + 1, "%ld", &value) == 1 ? static_cast<std::int32_t>(value) : store::kNoNode;
}

ui::FormRequest Request(int number, ui::WindowId parent, const char* name, std::intptr_t argument) {
  ui::FormRequest r;
  r.number = number;
  if (number == kStationListNumber)
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kListNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kListStates); }};
  else
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kFormNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kFormStatesTable); }};
  r.parent = parent;
  r.name = name;
  r.argument = argument;
  r.kind = ui::WindowKind::Document;
  return r;
}

class StationForm final : public ui::Form {
 public:
  StationForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, StationStart start)
      : Form(forms, Request(kStationFormNumber, parent, "STATION", 0)), app_(app), start_(std::move(start)) {}

 protected:
  bool filterEvent(ui::Event& event) override {
    // Typing a call of three characters or more makes OK usable.
    if (event.type == ui::EventType::Control && event.id == controlOf(kFormStation))
      EnableId(kFormOk, toolkit().controlText(id(), controlOf(kFormStation)).size() > 2 ||
                            State(kUpdate) != 0);
    return false;
  }
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: onCreate(); return true;
      case ui::EventType::User:
        if (event.id == core::kAnswerBase + core::kAnswerYes && event.arg == kMsgSaveQuestion) {
          if (Save()) close();
        } else if (event.id == core::kAnswerBase + core::kAnswerNo && event.arg == kMsgSaveQuestion) {
          close();
        } else if (event.id >= core::kAnswerBase && event.id <= core::kAnswerBase + core::kAnswerCancel) {
        } else {
          app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "STATION");
        }
        return true;
      default: return Form::ownerEvent(event);
    }
  }
  void onCommand(int command, std::intptr_t) override {
    if (command >= kFormL0 && command <= kFormL5) {
      record_.level = static_cast<std::int16_t>(command - kFormL0);
      SetChanged(true);
      OfferPassword();
      return;
    }
    switch (command) {
      case kFormExit:
        if (State(kSearch) == 0 && Changed() && GetCtlText(kFormStation).size() >= 4)
          app_.ShowMessage(id(), kQuestion, kMsgSaveQuestion, GetCtlText(kFormStation));
        else
          close();
        break;
      case kFormOk: Ok(); break;
      case kFormConnect: {
        const std::string home = GetCtlText(kFormHome);
        toolkit().sendUser(toolkit().parentOf(id()), kEvtStationConnect, 0,
                           std::make_unique<ui::TextPayload>(home.empty() ? GetCtlText(kFormStation) : home));
        close();
        break;
      }
      case kFormPassword:
        if (runtime().hasCreator(kPasswordWindowNumber)) {
          runtime().OpenWindowWith(id(), kPasswordWindowNumber, ui::CallArgument(GetCtlText(kFormStation)));
        }
        break;
      case ui::kCallbackChanged:
      case kFormStation: case kFormName: case kFormQth: case kFormText1: case kFormText2: case kFormRemark:
      case kFormLastConnect: case kFormHome: case kFormDigi: case kFormBox: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "STATION");
    }
  }

 private:
  void onCreate() {
    const int box = controlOf(kFormBox);
    toolkit().listAdd(id(), box, "");
    if (const core::ConfigList* boxes = app_.config().GetConfigList(kMailboxList))
      for (const core::ConfigListEntry& e : *boxes) toolkit().listAdd(id(), box, e.text);
    int mode = start_.mode;
    if (mode == StationStart::ByCall) {
      store::StationEntry entry;
      if (Database(app_).Lookup(start_.call, entry) == store::kRecordFound) {
        mode = StationStart::Show;
        start_.position = entry.position;
      } else {
        mode = StationStart::Create;
      }
    }
    if (mode == StationStart::Show && Database(app_).ReadAt(start_.position, record_) == store::kRecordFound) {
      position_ = start_.position;
      Show();
      return;
    }
    if (mode == StationStart::Search) {
      SetCtlText(kFormOk, LookupString("SUCHEN").value_or(""));
      toolkit().setTitle(id(), LookupString("SUTITLE").value_or(""));
      SetState(kSearch, 1);
    } else {
      SetCtlText(kFormOk, LookupString("ANLEGEN").value_or(""));
      toolkit().setTitle(id(), LookupString("ANTITLE").value_or(""));
      SetCheck(kFormL0, 1);
      SetState(kCreate, 1);
      if (!start_.call.empty()) SetCtlText(kFormStation, start_.call);
    }
    EnableId(kFormOk, GetCtlText(kFormStation).size() > 2);
    OfferPassword();
  }

  void Show() {
    SetCtlText(kFormStation, store::ShowCall(record_.station));
    SetCtlText(kFormName, record_.name);
    SetCtlText(kFormQth, record_.qth);
    SetCtlText(kFormText1, record_.text1);
    SetCtlText(kFormText2, record_.text2);
    SetCtlText(kFormRemark, record_.remark);
    SetCtlText(kFormLastConnect, record_.lastConnect);
    SetCtlText(kFormHome, record_.home);
    SetCheck(kFormDigi, record_.digi ? 1 : 0);
    for (int l = 0; l <= 5; ++l) SetCheck(kFormL0 + l, record_.level == l ? 1 : 0);
    const int count = static_cast<int>(toolkit().listItems(id(), controlOf(kFormBox)).size());
    if (record_.box >= 0 && record_.box < count) toolkit().listSetSel(id(), controlOf(kFormBox), record_.box);
    SetCtlText(kFormOk, LookupString("AENDERN").value_or(""));
    EnableId(kFormOk, true);
    const std::string pattern = LookupString("TITLE").value_or("%s");
    const std::string call = store::ShowCall(record_.station);
    toolkit().setTitle(id(), pattern.find("%s") == std::string::npos
                                 ? call
                                 : pattern.substr(0, pattern.find("%s")) + call + pattern.substr(pattern.find("%s") + 2));
    SetState(kSearch, 0);
    SetState(kCreate, 0);
    SetState(kUpdate, 1);
    // The call is the record's key: a shown station keeps it (another call
    // is another station, created as such).
    EnableId(kFormStation, false);
    SetChanged(false);
    OfferPassword();
  }

  // The password window for the station, when the program has one: the
  // PASSWD button's condition is re-evaluated with every change of state,
  // so this follows each of them.
  void OfferPassword() { EnableId(kFormPassword, State(kSearch) == 0 && runtime().hasCreator(kPasswordWindowNumber)); }

  void Ok() {
    if (State(kSearch)) {
      store::StationEntry entry;
      const std::string call = GetCtlText(kFormStation);
      const auto r = Database(app_).Lookup(call, entry);
      if (r == store::kRecordFound) {
        record_ = entry.record;
        position_ = entry.position;
        Show();
      } else {
        app_.ShowMessage(id(), kNotice, kMsgNotFound, r == 0 ? call : Database(app_).IndexPath());
      }
      return;
    }
    if (!Changed()) {
      close();
      return;
    }
    if (Save()) close();
  }

  // Stores the form's fields; true when the form may close.
  bool Save() {
    if (!State(kUpdate)) record_.station = store::FoldCall(GetCtlText(kFormStation));
    record_.name = GetCtlText(kFormName);
    record_.qth = GetCtlText(kFormQth);
    record_.text1 = GetCtlText(kFormText1);
    record_.text2 = GetCtlText(kFormText2);
    record_.remark = GetCtlText(kFormRemark);
    record_.lastConnect = GetCtlText(kFormLastConnect);
    record_.home = GetCtlText(kFormHome);
    const int box = toolkit().listSelIndex(id(), controlOf(kFormBox));
    record_.box = static_cast<std::int16_t>(box < 0 ? 0 : box);
    record_.digi = toolkit().checked(id(), controlOf(kFormDigi));
    store::StationDatabase db = Database(app_);
    const ui::WindowId parent = toolkit().parentOf(id());
    if (State(kUpdate)) {
      const auto r = db.Update(position_, record_);
      if (r != store::kRecordFound) {
        app_.ShowMessage(id(), kNotice, kMsgNotFound, db.IndexPath());
        return false;
      }
      app_.ShowMessage(id(), kNotice, kMsgChanged, store::ShowCall(record_.station));
      toolkit().sendUser(parent, kEvtStationChanged, 0,
                         std::make_unique<StationLine>(StationListLine(record_, position_), position_));
      SetChanged(false);
      OfferPassword();
      return true;
    }
    std::int32_t position = store::kNoNode;
    const auto r = db.Insert(record_, position);
    if (r == store::kDuplicate) {
      app_.ShowMessage(id(), kNotice, store::kDuplicate, store::ShowCall(record_.station));
      return false;
    }
    if (r != store::kRecordOk) {
      app_.ShowMessage(id(), kNotice, kMsgNotFound, db.IndexPath());
      return false;
    }
    app_.ShowMessage(id(), kNotice, kMsgStored, store::ShowCall(record_.station));
    toolkit().sendUser(parent, kEvtStationAdded, 0,
                       std::make_unique<StationLine>(StationListLine(record_, position), position));
    return true;
  }

  void close() { ui::CloseForm(toolkit(), id(), app_.taskWindow); }

  core::App& app_;
  StationStart start_;
  store::StationRecord record_;
  std::int32_t position_ = store::kNoNode;
};

class StationList final : public ui::Form {
 public:
  StationList(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, std::shared_ptr<int> counter)
      : Form(forms, Request(kStationListNumber, parent, "STATLIST", 0)), app_(app), counter_(std::move(counter)) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: Fill(); return true;
      case ui::EventType::Destroy:
        if (!file_.empty()) std::remove(file_.c_str());
        return Form::ownerEvent(event);
      case ui::EventType::User: onUser(event); return true;
      default: return Form::ownerEvent(event);
    }
  }
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kListExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kListCreate: Open(StationStart{StationStart::Create, store::kNoNode, {}}); break;
      case kListSearch: Open(StationStart{StationStart::Search, store::kNoNode, {}}); break;
      case kListDelete:
        if (const auto line = pane()->Selected())
          // Deleting data: No is the default answer.
          app_.ShowMessage(id(), kQuestion, kMsgDeleteQuestion, line->substr(0, line->find_first_of(" \t")), {},
                           core::DefaultAnswer::No);
        break;
      case kListConnect:
        if (const auto line = pane()->Selected()) {
          store::StationRecord r;
          if (Database(app_).ReadAt(PositionOf(*line), r) == store::kRecordFound)
            toolkit().sendUser(toolkit().parentOf(id()), kEvtStationConnect, 0,
                               std::make_unique<ui::TextPayload>(ConnectText(r, true)));
        }
        break;
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "STATLIST");
    }
  }

 private:
  ui::ListControl* pane() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kListLines)); }

  void Fill() {
    char name[32];
    std::snprintf(name, sizeof name, "%.8d.$$$", ++*counter_ % 100000000);
    file_ = app_.config().GetSetting(kSettingTmpPath) + name;
    std::vector<store::StationEntry> entries;
    const auto r = Database(app_).List(entries);
    std::string contents;
    for (const store::StationEntry& e : entries) contents += StationListLine(e.record, e.position) + "\n";
    core::WriteFileAtomically(file_, contents);
    if (ui::ListControl* p = pane()) p->AttachFile(file_);
    if (r != store::kRecordOk) app_.ShowMessage(id(), kNotice, kMsgNotFound, Database(app_).IndexPath());
  }

  void Open(const StationStart& start) {
    runtime().OpenWindowWith(id(), kStationFormNumber, start);
  }

  void onUser(ui::Event& event) {
    ui::ListControl* p = pane();
    switch (event.id) {
      case kListLines:
        SetState(kListSel, p && p->Selected() ? 1 : 0);
        if (p && event.arg == 1) {
          if (const auto line = p->Selected())
            Open(StationStart{StationStart::Show, PositionOf(*line), {}});
        }
        return;
      case kEvtStationConnect:
        if (auto* text = event.as<ui::TextPayload>())
          toolkit().sendUser(toolkit().parentOf(id()), kEvtStationConnect, 0, std::make_unique<ui::TextPayload>(text->text));
        return;
      case kEvtStationChanged:
        if (auto* line = event.as<StationLine>(); line && p)
          p->ReplaceByKey(kPositionField, std::to_string(line->position), line->line);
        return;
      case kEvtStationAdded:
        if (auto* line = event.as<StationLine>(); line && p) p->AppendLine(line->line);
        return;
      case core::kAnswerBase + core::kAnswerYes:
        if (event.arg == kMsgDeleteQuestion && p) {
          if (const auto line = p->Selected()) {
            for (const ui::WindowId form : runtime().windowsOf(kStationFormNumber)) toolkit().destroy(form);
            Database(app_).Remove(PositionOf(*line));
            p->DeleteSelected();
            SetState(kListSel, 0);
          }
        }
        return;
      case core::kAnswerBase + core::kAnswerNo:
      case core::kAnswerBase + core::kAnswerCancel: return;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "STATLIST");
    }
  }

  core::App& app_;
  std::shared_ptr<int> counter_;
  std::string file_;
};

}  // namespace

std::string StationListLine(const store::StationRecord& record, std::int32_t position) {
  char line[128];
  std::snprintf(line, sizeof line, "%-9.9s\t%-40.40s\t%-40.40s\t%-11ld", store::ShowCall(record.station).c_str(),
                record.name.c_str(), record.qth.c_str(), static_cast<long>(position));
  return line;
}

void InstallStationForms(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  auto counter = std::make_shared<int>(0);
  forms.registerCreator(kStationListNumber, [&app, counter](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    for (const ui::WindowId open : rt.windowsOf(kStationListNumber)) {
      rt.toolkit().raise(open);
      return open;
    }
    return rt.open(std::make_unique<StationList>(app, rt, parent, counter));
  });
  forms.registerCreator(kStationFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    StationStart start;
    if (const auto* given = rt.openArgument<StationStart>()) start = *given;
    return rt.open(std::make_unique<StationForm>(app, rt, parent, std::move(start)));
  });
}

}  // namespace tarvik::channels
