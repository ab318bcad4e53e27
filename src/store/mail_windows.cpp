#include "store/mail_windows.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <utility>

#include "core/atomic_file.h"
#include "core/config.h"
#include "store/mail_store.h"
#include "store/mail_viewers.h"
#include "ui/list_control.h"

namespace tarvik::store {
namespace {

constexpr int kNotice = 1;
constexpr int kMsgCannotCopy = 1023, kMsgUnknownEvent = 501, kMsgUnknownCommand = 503;
constexpr int kMsgCannotStart = 1025, kMsgViewersOpen = 1730;
constexpr int kError = 4;

enum ListId : int { kListExit = 0, kListRead = 1, kListWrite = 2, kListReply = 3, kListDelete = 4, kListLines = 5 };
enum ListState : int { kListSel = 0 };
enum SendId : int { kSendExit = 0, kSendSend = 1, kSendEdit = 2, kSendTo = 3, kSendSubject = 4, kSendCc = 5 };
enum SendState : int { kSendEdited = 0 };

constexpr std::array<std::pair<std::string_view, int>, 5> kListNames{
    {{"READ", 1}, {"WRITE", 2}, {"REPLY", 3}, {"DEL", 4}, {"LISTE", 5}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kListStates{{{"SEL", 0}}};
constexpr std::array<std::pair<std::string_view, int>, 5> kSendNames{
    {{"SEND", 1}, {"EDIT", 2}, {"TO", 3}, {"SUBJECT", 4}, {"CC", 5}}};
constexpr std::array<std::pair<std::string_view, int>, 1> kSendStates{{{"EDITED", 0}}};

MailStore Store(core::App& app) {
  ui::Toolkit& toolkit = app.toolkit();
  return MailStore(app.config().GetSetting(core::kSettingLogPath), [&toolkit] { return toolkit.localTime(); });
}

// The editor (and viewer) with a file, kept in `programs` under `key`:
// program, a blank, the path. True when it runs (started now or before).
bool StartEditor(core::App& app, ui::WindowId window, ProgramSet& programs, int key, const std::string& path) {
  const std::string editor = app.config().GetSetting(core::kSettingEditor);
  switch (programs.Open(key, editor, path)) {
    case ProgramSet::Start::Started:
    case ProgramSet::Start::Running: return true;
    case ProgramSet::Start::Full:
      app.ShowMessage(window, kNotice, kMsgViewersOpen, std::to_string(kMailViewerLimit));
      return false;
    case ProgramSet::Start::Failed: break;
  }
  app.ShowMessage(window, kError, kMsgCannotStart, editor + " " + path);
  return false;
}

ui::FormRequest Request(int number, ui::WindowId parent, const char* name) {
  ui::FormRequest r;
  r.number = number;
  if (number == kMailListNumber)
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kListNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kListStates); }};
  else
    r.resolvers = ui::Resolvers{[](std::string_view n, int& id) { return ui::LookupName(n, id, kSendNames); },
                                [](std::string_view n, int& id) { return ui::LookupName(n, id, kSendStates); }};
  r.parent = parent;
  r.name = name;
  r.kind = ui::WindowKind::Document;
  return r;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class MailSend final : public ui::Form {
 public:
  MailSend(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, MailDraft draft)
      : Form(forms, Request(kMailSendNumber, parent, "MAILSND")), app_(app), draft_(std::move(draft)) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: onCreate(); return true;
      case ui::EventType::Destroy:
        if (!path_.empty()) std::remove(path_.c_str());
        return Form::ownerEvent(event);
      case ui::EventType::User:
        if (event.id < core::kAnswerBase || event.id > core::kAnswerBase + core::kAnswerCancel)
          app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "MAILSND");
        return true;
      default: return Form::ownerEvent(event);
    }
  }
  void onCommand(int command, std::intptr_t) override {
    switch (command) {
      case kSendExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
      case kSendEdit:
        if (StartEditor(app_, id(), editor_, 0, path_)) SetState(kSendEdited, 1);
        break;
      case kSendSend: send(); break;
      case ui::kCallbackChanged:
      case kSendTo: case kSendSubject: case kSendCc: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "MAILSND");
    }
  }

 private:
  // The text to edit: the quoted message, an empty line, the signature.
  void onCreate() {
    path_ = app_.config().GetSetting(core::kSettingTempFile);
    std::string text;
    if (!draft_.quote.empty()) {
      const std::string quote = ReadText(draft_.quote);
      std::size_t at = 0;
      while (at < quote.size()) {
        std::size_t end = quote.find('\n', at);
        if (end == std::string::npos) end = quote.size();
        text += '>' + quote.substr(at, end - at) + '\n';
        at = end + 1;
      }
    }
    text += '\n';
    const std::string call = app_.config().GetSetting(core::kSettingMyCall);
    text += ReadText(app_.config().GetSetting(core::kSettingCnfPath) + call.substr(0, call.find('-')) + ".sig");
    if (!core::WriteFileAtomically(path_, text)) app_.ShowMessage(id(), kNotice, kMsgCannotCopy, path_);
    SetCtlText(kSendTo, draft_.to);
    SetCtlText(kSendSubject, draft_.subject);
    SetState(kSendEdited, 0);
  }

  void send() {
    const std::string to = GetCtlText(kSendTo);
    const std::string subject = GetCtlText(kSendSubject);
    if (to.empty() || subject.empty()) return;
    {
      std::ofstream out(path_, std::ios::binary | std::ios::app);
      out << "NNNN\n";
      if (!out) {
        app_.ShowMessage(id(), kNotice, kMsgCannotCopy, path_);
        return;
      }
    }
    // The list copies the text at once; this window's file goes with it.
    toolkit().sendUser(toolkit().parentOf(id()), kEvtMailWritten, 0, std::make_unique<MailWritten>(to, subject, path_));
    ui::CloseForm(toolkit(), id(), app_.taskWindow);
  }

  core::App& app_;
  MailDraft draft_;
  std::string path_;
  ProgramSet editor_{1};  // the editor started for this window
};

class MailList final : public ui::Form {
 public:
  MailList(core::App& app, ui::FormRuntime& forms, ui::WindowId parent)
      : Form(forms, Request(kMailListNumber, parent, "MAIL")), app_(app) {}

 protected:
  bool ownerEvent(ui::Event& event) override {
    switch (event.type) {
      case ui::EventType::Create: fill(); return true;
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
      case kListRead: read(); break;
      case kListWrite: runtime().OpenWindowWith(id(), kMailSendNumber, MailDraft{}); break;
      case kListReply: reply(); break;
      case kListDelete: remove(); break;
      case ui::kCallbackChanged: break;
      default: app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "MAIL");
    }
  }

 private:
  ui::ListControl* pane() { return toolkit().findAs<ui::ListControl>(GetCtlWindow(kListLines)); }

  void fill() {
    file_ = app_.config().GetSetting(core::kSettingTempFile);
    std::string contents;
    for (const MailEntry& e : Store(app_).Entries())
      if (e.status != kMailIncomplete) contents += MailListLine(e) + "\n";
    core::WriteFileAtomically(file_, contents);
    ui::ListControl* p = pane();
    if (!p) return;
    std::array<ui::Color, 8> backgrounds, texts;
    backgrounds.fill(ui::kWhite);
    texts.fill(ui::kBlack);
    texts[kMailNew] = ui::kRed;
    texts[kMailWaiting] = ui::kBlue;
    p->SetColours(0, backgrounds, texts);
    p->AttachFile(file_);
  }

  // The selected message, unless it is still being received.
  std::optional<MailEntry> selected() {
    ui::ListControl* p = pane();
    const auto line = p ? p->Selected() : std::nullopt;
    if (!line) return std::nullopt;
    auto entry = Store(app_).Find(MailListNumber(*line));
    if (!entry || entry->status == kMailIncomplete) return std::nullopt;
    return entry;
  }

  void tellParent(std::optional<int> summary) {
    if (summary) toolkit().sendUser(toolkit().parentOf(id()), kEvtMailSummary + *summary);
  }

  void read() {
    auto entry = selected();
    if (!entry) return;
    if (entry->status == kMailNew) {
      MailStore mail = Store(app_);
      const auto summary = mail.SetStatus(entry->number, kMailRead);
      entry->status = kMailRead;
      if (summary) pane()->ReplaceLine(MailListLine(*entry));
      tellParent(summary);
    } else {
      tellParent(Store(app_).Summary());
    }
    StartEditor(app_, id(), viewers_, entry->number, Store(app_).TextPath(entry->number));
  }

  void remove() {
    const auto entry = selected();
    if (!entry) return;
    const auto summary = Store(app_).Delete(entry->number);
    if (!summary) return;
    tellParent(summary);
    pane()->DeleteSelected();
    SetState(kListSel, 0);
  }

  void reply() {
    const auto entry = selected();
    if (!entry || (entry->status != kMailRead && entry->status != kMailNew)) return;
    const std::string to = ReplyAddressee(entry->to, entry->from, app_.config().GetSetting(core::kSettingMyCall));
    runtime().OpenWindowWith(id(), kMailSendNumber,
                             MailDraft{to, "Re:" + entry->subject, Store(app_).TextPath(entry->number)});
  }

  void onUser(ui::Event& event) {
    ui::ListControl* p = pane();
    switch (event.id) {
      case kListLines:
        SetState(kListSel, p && p->Selected() ? 1 : 0);
        if (event.arg == 1) read();  // a double click or Enter
        return;
      case kEvtMailWritten:
        if (const auto* written = event.as<MailWritten>()) {
          const auto mail = Store(app_).NewOutgoing(written->to, written->subject, written->path);
          if (!mail) {
            app_.ShowMessage(id(), kNotice, kMsgCannotCopy, written->path);
            return;
          }
          if (const auto entry = Store(app_).Find(mail->number); entry && p) p->AppendLine(MailListLine(*entry));
        }
        return;
      default:
        if (event.id >= core::kAnswerBase && event.id <= core::kAnswerBase + core::kAnswerCancel) return;
        app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "MAIL");
    }
  }

  core::App& app_;
  std::string file_;
  ProgramSet viewers_{kMailViewerLimit};  // one per message
};

}  // namespace

std::string ReplyAddressee(const std::string& to, const std::string& from, const std::string& ownCall) {
  // The own call without its SSID, as a whole word: "DL1AB" is not the
  // beginning of "DL1ABC".
  const std::string own = ownCall.substr(0, ownCall.find('-'));
  const bool fromHere = !own.empty() && from.starts_with(own) &&
                        (from.size() == own.size() || !std::isalnum(static_cast<unsigned char>(from[own.size()])));
  return !from.empty() && !fromHere ? from : to;
}

void InstallMailForms(core::App& app, ui::FormRuntime& forms) {
  ui::InstallListControls(forms);
  forms.registerCreator(kMailListNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    for (const ui::WindowId open : rt.windowsOf(kMailListNumber)) {
      rt.toolkit().raise(open);
      return open;
    }
    return rt.open(std::make_unique<MailList>(app, rt, parent));
  });
  forms.registerCreator(kMailSendNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    MailDraft draft;
    if (const auto* given = rt.openArgument<MailDraft>()) draft = *given;
    return rt.open(std::make_unique<MailSend>(app, rt, parent, std::move(draft)));
  });
}

int MailAtStart(core::App& app) {
  MailStore mail = Store(app);
  mail.RemoveStaleTemporaries();
  return mail.CleanUp().value_or(mail.Summary());
}

}  // namespace tarvik::store
