#include "script/checklist_window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <utility>
#include <vector>

#include "core/atomic_file.h"
#include "script/mailbox_definition.h"
#include "ui/list_control.h"

namespace tarvik::script {

namespace {

constexpr int kMsgUnknownEvent = 501, kMsgUnknownCommand = 503;

enum CheckId : int { kCheckExit = 0, kCheckRead = 1, kCheckFile = 2, kCheckDel = 3, kCheckLines = 4 };
enum CheckState : int { kCheckSel = 0, kCheckReading = 1 };

constexpr std::array<std::pair<std::string_view, int>, 4> kCheckNames{
    {{"READ", kCheckRead}, {"FILE", kCheckFile}, {"DEL", kCheckDel}, {"LISTE", kCheckLines}}};
constexpr std::array<std::pair<std::string_view, int>, 2> kCheckStates{
    {{"SEL", kCheckSel}, {"READING", kCheckReading}}};

// The fields of a list file line and the characters each keeps: date,
// call, file, mailbox, number, length, title.
constexpr std::array<std::size_t, 7> kEntryFieldSize = {19, 19, 31, 10, 10, 31, 31};

std::vector<std::string> SplitEntry(std::string_view entry) {
  std::vector<std::string> fields;
  for (std::size_t i = 0; i < kEntryFieldSize.size(); ++i) {
    const std::size_t tab = entry.find('\t');
    std::string field(entry.substr(0, tab));
    while (!field.empty() && (field.back() == ' ' || field.back() == '\r')) field.pop_back();
    if (field.size() > kEntryFieldSize[i]) field.resize(kEntryFieldSize[i]);
    fields.push_back(std::move(field));
    entry = tab == std::string_view::npos ? std::string_view() : entry.substr(tab + 1);
  }
  return fields;
}

ui::FormRequest Request(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kCheckListNumber;
  r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kCheckNames); },
                              [](std::string_view n, int& id) { return ui::LookupName(n, id, kCheckStates); }};
  r.parent = parent;
  r.name = "CHECK";
  r.kind = ui::WindowKind::Document;
  return r;
}

class CheckListWindow final : public ui::Form {
 public:
  CheckListWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId channel, CheckListStart start)
      : Form(forms, Request(channel)), app_(app), channel_(channel), start_(std::move(start)) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: onCreate(); return true;
      case ui::EventType::User: onUser(event); return true;
      default: return Form::ownerEvent(event);
    }
  }

  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kCheckExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kCheckRead: startReading(kReadShow, selectedLines()); break;
      case kCheckFile: startReading(kReadStore, selectedLines()); break;
      case kCheckDel: remove(); break;
      case kCheckLines:
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "CHECK");
    }
  }

 private:
  ui::ListControl* pane() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kCheckLines)); }

  std::vector<std::string> selectedLines() {
    ui::ListControl* p = pane();
    return p ? p->SelectedLines() : std::vector<std::string>{};
  }

  // The list is the list file itself; a station without one gets an
  // empty file, so that the entries recorded while the window is open
  // have a file to go to.
  void onCreate() {
    if (std::FILE* f = std::fopen(start_.listPath.c_str(), "ab")) std::fclose(f);
    if (ui::ListControl* p = pane()) p->AttachFile(start_.listPath);
    SetState(kCheckSel, 0);
    SetState(kCheckReading, 0);
  }

  void onUser(ui::Event& event) {
    ui::ListControl* p = pane();
    switch (event.id) {
      case kCheckLines:
        if (event.arg == ui::kListFocusNotice) return;
        if (event.arg % 10 == 1 && !State(kCheckReading)) {  // a double click or Enter: store that line
          if (const auto line = p ? p->Selected() : std::nullopt) startReading(kReadStore, {*line});
          return;
        }
        if (!State(kCheckReading)) SetState(kCheckSel, p && p->SelectedCount() > 0 ? 1 : 0);
        return;
      case kEvtCheckListEntry:
        if (const auto* entry = event.as<ui::TextPayload>(); entry && !(p && p->AppendLine(entry->text))) {
          // A list file the list cannot take the entry into (its lines have
          // another length) still gets it, as the recorder would have.
          if (std::FILE* f = std::fopen(start_.listPath.c_str(), "ab")) {
            std::fputs((entry->text + "\n").c_str(), f);
            std::fclose(f);
          }
        }
        return;
      case kEvtCheckListNext:
        if (State(kCheckReading)) readNext();
        return;
      default:
        if (event.id >= core::kAnswerBase && event.id <= core::kAnswerBase + core::kAnswerCancel) return;
        app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "CHECK");
    }
  }

  void startReading(int kind, std::vector<std::string> lines) {
    if (State(kCheckReading) || lines.empty()) return;
    kind_ = kind;
    queue_.assign(lines.begin(), lines.end());
    SetState(kCheckReading, 1);
    readNext();
  }

  void readNext() {
    if (queue_.empty()) {
      // The last one has been read: the selection ends.
      SetState(kCheckReading, 0);
      SetState(kCheckSel, 0);
      if (ui::ListControl* p = pane()) p->AttachFile(start_.listPath);
      return;
    }
    const std::string line = std::move(queue_.front());
    queue_.pop_front();
    toolkit().sendUser(channel_, kEvtCheckListRead + kind_, 0,
                       std::make_unique<CheckListRequest>(ReadRequest(line, start_.readPattern)));
  }

  void remove() {
    if (State(kCheckReading)) return;
    ui::ListControl* p = pane();
    if (!p) return;
    const std::vector<std::string> selected = p->SelectedLines();
    if (selected.empty()) {
      core::WriteFileAtomically(start_.listPath, "");
      p->AttachFile(start_.listPath);
      toolkit().sendUser(channel_, kEvtCheckListCleared);
    } else {
      // The file is written anew without the selected lines (the list's
      // own deletion would leave lines of carriage returns in the file
      // the check list is read from).
      std::string kept;
      std::vector<std::string> gone = selected;
      for (const std::string& line : p->Lines()) {
        const auto it = std::find(gone.begin(), gone.end(), line);
        if (it != gone.end()) {
          gone.erase(it);
          continue;
        }
        kept += line + "\n";
      }
      core::WriteFileAtomically(start_.listPath, kept);
      p->AttachFile(start_.listPath);
      if (kept.empty()) toolkit().sendUser(channel_, kEvtCheckListCleared);
    }
    SetState(kCheckSel, 0);
  }

  core::App& app_;
  ui::WindowId channel_;
  CheckListStart start_;
  int kind_ = kReadStore;
  std::deque<std::string> queue_;
};

}  // namespace

CheckListRequest ReadRequest(std::string_view entry, std::string_view pattern) {
  const std::vector<std::string> f = SplitEntry(entry);
  CheckListRequest request;
  request.date = f[0];
  request.call = f[1];
  request.file = f[2];
  request.title = f[6];
  request.command = ReadCommand(pattern, f[4], f[2], f[3]);
  return request;
}

void InstallCheckListForm(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  forms.registerCreator(kCheckListNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    if (const ui::WindowId open = CheckListWindowOf(rt, parent); open != ui::kNoWindow) {
      rt.toolkit().raise(open);
      return open;
    }
    const auto* start = rt.openArgument<CheckListStart>();
    if (!start) return ui::kNoWindow;
    return rt.open(std::make_unique<CheckListWindow>(app, rt, parent, *start));
  });
}

ui::WindowId CheckListWindowOf(ui::FormRuntime& forms, ui::WindowId channel) {
  for (const ui::WindowId w : forms.windowsOf(kCheckListNumber))
    if (forms.toolkit().parentOf(w) == channel) return w;
  return ui::kNoWindow;
}

}  // namespace tarvik::script
