#include "script/mailbox_dialogue.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "channels/charset.h"
#include "channels/main_window.h"
#include "channels/station_windows.h"
#include "script/checklist_recorder.h"
#include "script/checklist_window.h"
#include "script/mailbox_password.h"
#include "store/mail_capture.h"
#include "store/mail_store.h"

namespace tarvik::script {

using channels::ChannelWindow;
using channels::LineResult;

namespace {

constexpr int kListFromTexts = 4;     // [FROM]
constexpr int kListMailboxNames = 10;  // one entry per [BOX-n], with n
constexpr int kListFirstMailbox = 10;  // [BOX-n] is list 10 + n
constexpr std::size_t kCheckListLineLimit = 254;
constexpr int kInfoLinesShown = 200;
// How often (in seconds) a connected channel looks whether the station's
// mailbox type was changed elsewhere (the station list's form).
constexpr int kBoxCheckTicks = 5;

bool NonEmptyFile(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size > 0;
}

std::string ReadFirstLine(const std::string& path, bool& opened) {
  std::ifstream in(path, std::ios::binary);
  opened = static_cast<bool>(in);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

std::string ReadText(const std::string& path, bool& opened) {
  std::ifstream in(path, std::ios::binary);
  opened = static_cast<bool>(in);
  std::string text, line;
  while (in && std::getline(in, line) && text.size() < 64 * 1024) text += line + "\n";
  return text;
}

store::MailStore StoreOf(core::App& app) {
  core::App* a = &app;
  return store::MailStore(app.config().Record().logPath, [a] { return a->toolkit().localTime(); });
}

}  // namespace

std::string ListFilePath(core::App& app, const std::string& call) {
  const std::string stem = ListFileStem(call);
  return stem.empty() ? std::string() : app.config().Record().logPath + stem + ".lst";
}

// One channel's dialogue with a mailbox; the channel's two parts share it.
class MailboxState {
 public:
  MailboxState(core::App& app, ui::FormRuntime* forms) : app_(app), forms_(forms) {}

  // --- connect: the definition of the station's mailbox type --------------------------
  void Connected(ChannelWindow& ch) {
    recorder_.SetPath(ListFilePath(app_, ch.stationCall()));
    connected_ = true;
    loadDefinition(ch, ch.stationFacts().box);
    promptTail_ = false;
  }

  // The station's mailbox type may have changed (its form was stored, or
  // a while has passed): a new type loads its definition.
  void CheckMailboxType(ChannelWindow& ch) {
    channels::StationFactsSource* source = ch.stationSource();
    if (!connected_ || !source || ch.stationCall().empty()) return;
    std::optional<channels::StationFacts> facts = source->Lookup(ch.stationCall());
    if (const std::size_t dash = ch.stationCall().find('-'); !facts && dash != std::string::npos)
      facts = source->Lookup(ch.stationCall().substr(0, dash));
    if (facts && facts->box != box_) loadDefinition(ch, facts->box);
  }

  void Tick(ChannelWindow& ch) {
    if (++ticks_ < kBoxCheckTicks) return;
    ticks_ = 0;
    CheckMailboxType(ch);
  }

  // --- received lines -------------------------------------------------------------------
  LineResult MailboxLine(ChannelWindow& ch, const std::string& line) {
    // A line that completes a tail already handled as the prompt is that
    // prompt still: only what follows it is new.
    const std::size_t old = promptTail_ ? std::min(promptTailLength_, line.size()) : 0;
    promptTail_ = false;
    const std::string fresh = line.substr(old);
    if (passwordArmed_) {
      const std::size_t before = std::min(armedTail_, line.size());
      armedTail_ = 0;
      if (line.size() > before) answerPassword(ch, line.substr(before));
    }
    tail_.clear();
    lastWasPrompt_ = old > 0;
    if (old > 0 && fresh.empty()) return LineResult::Pass;
    if (old == 0 && isPrompt(ch, line)) {
      lastWasPrompt_ = true;
      OnPrompt(ch);
      return LineResult::Pass;
    }
    if (capture_.active()) {
      if (capture_.Line(fresh) == store::MailCapture::Result::Ended) {
        captureEnded(ch);
        ch.ShowText(kMailOk, ui::kRed);
        ch.SendText(std::string(kMailOk) + "\r");
      }
      return LineResult::Taken;
    }
    return LineResult::Pass;
  }

  LineResult ListLine(ChannelWindow& ch, const std::string& line) {
    const int mode = ch.conversionMode();
    // An open check-list window takes the entries into its list.
    recorder_.SetDivert([this, &ch](const std::string& entry) {
      const ui::WindowId window = checkWindow(ch);
      if (window == ui::kNoWindow) return false;
      app_.toolkit().sendUser(window, kEvtCheckListEntry, 0, std::make_unique<ui::TextPayload>(entry));
      return true;
    });
    const auto step = recorder_.Line(definition_, line, lastWasPrompt_,
                                     [mode](std::string& title) { channels::ConvertReceived(title, mode); });
    lastWasPrompt_ = false;
    if (step == ListRecorder::Step::Ended) markCheck(ch);
    return step == ListRecorder::Step::Recorded ? LineResult::Taken : LineResult::Pass;
  }

  void Tail(ChannelWindow& ch, const std::string& tail) {
    if (passwordArmed_ && tail.size() > armedTail_) answerPassword(ch, tail.substr(armedTail_));
    tail_ = tail;
    if (promptTail_) {
      promptTailLength_ = tail.size();
    } else if (isPrompt(ch, tail)) {
      promptTail_ = true;
      promptTailLength_ = tail.size();
      OnPrompt(ch);
    }
  }

  void OnPrompt(ChannelWindow& ch) {
    endCapture(ch);
    if (sending_ >= 0) SendMail(ch);
    recorder_.End();
    markCheck(ch);
  }

  // --- reading mail ---------------------------------------------------------------------
  void ReadMail(ChannelWindow& ch, const std::string& command) {
    Script* script = FindScript(ch);
    endCapture(ch);
    captureFlag_ = true;
    const auto value = [script](std::string_view name) {
      const Variable* v = script ? script->variables().Get(name) : nullptr;
      return v ? v->value : std::string();
    };
    store::MailStore store = StoreOf(app_);
    const std::string call = value("CHK_CALL");
    if (auto mail = store.NewIncoming(value("CHK_DATE"), call, value("CHK_FILE"), value("CHK_TITLE")))
      capture_.Begin(std::move(store), *mail, call, fromTexts());
    const std::string text = script ? script->Expand(command) : command;
    ch.ShowText(text, ui::kRed);
    ch.SendText(text + "\r");
  }

  // --- the check-list window ------------------------------------------------------------
  void OpenCheckList(ChannelWindow& ch) {
    // The control's mark shows whether there is a list, whatever the click did.
    markCheck(ch);
    const std::string path = recorder_.path().empty() ? ListFilePath(app_, ch.stationCall()) : recorder_.path();
    if (!forms_ || path.empty()) return;
    // The window writes the list file anew: a list being recorded opens it
    // again for its next entry.
    recorder_.CloseFile();
    forms_->OpenWindowWith(ch.id(), kCheckListNumber, CheckListStart(path, definition_.read));
  }

  // An entry of the check-list window to read: stored as a mail (kind 6)
  // or only shown (kind 9); the next prompt ends it.
  void ReadFromWindow(ChannelWindow& ch, int kind, const CheckListRequest& request) {
    if (capture_.active()) {
      capture_.End();
      captureEnded(ch, false);
    }
    if (kind == kReadStore) {
      store::MailStore store = StoreOf(app_);
      if (auto mail = store.NewIncoming(request.date, request.call, request.file, request.title))
        capture_.Begin(std::move(store), *mail, request.call, fromTexts());
    }
    captureFlag_ = true;
    ch.ShowText(request.command, ui::kRed);
    ch.SendText(request.command + "\r");
  }

  // The window emptied the list and its file.
  void CheckListCleared(ChannelWindow& ch) {
    recorder_.CloseFile();
    ch.SetCheck(channels::kChCheck, 0);
  }

  // --- sending mail ---------------------------------------------------------------------
  void SendMail(ChannelWindow& ch) {
    store::MailStore store = StoreOf(app_);
    if (sending_ >= 0) store.SetStatus(sending_, store::kMailSent);
    sending_ = -1;
    // DECIDED: a mail whose text cannot be sent is left waiting and the
    // sending ends, instead of announcing a mail to the mailbox and never
    // giving it the text.
    if (const auto next = store.NextToSend(); next && std::filesystem::is_regular_file(next->path)) {
      sending_ = next->number;
      for (const std::string& line : {"s " + next->to, next->subject}) {
        ch.ShowText(line, ui::kRed);
        ch.SendText(line + "\r");
      }
      channels::FileSendRequest request;
      request.path = next->path;
      if (!ch.fileSender().Start(ch, std::move(request))) sending_ = -1;
    }
    ch.SetState(channels::kLampSndMail, sending_ >= 0 ? 1 : 0);
  }

  // --- the password answer ----------------------------------------------------------------
  void ArmPassword(ChannelWindow& ch) {
    const std::string stem = ListFileStem(ch.stationCall());
    bool opened = false;
    const std::string first = stem.empty() ? std::string()
                                           : ReadFirstLine(app_.config().Record().logPath + stem + ".PWD", opened);
    if (!opened) {
      ch.ShowText(kNoPasswordFile, ui::kBlue);
      return;
    }
    const std::optional<PasswordEntry> entry = ParsePasswordLine(first);
    if (!entry) {
      ch.ShowText(kCorruptPasswordFile, ui::kBlue);
      return;
    }
    const std::string types = ReadText(app_.config().Record().iniDirectory + "PWDTYP.DAT", opened);
    if (!opened) return;
    // DECIDED: a type without a line in PWDTYP.DAT answers as an unknown
    // method does, so the operator learns why nothing sensible was sent.
    method_ = PasswordMethod(types, entry->type).value_or(-1);
    password_ = entry->password;
    passwordArmed_ = true;
    armedTail_ = tail_.size();  // what was received before arming is no challenge
  }

  // INFO: the station's information text (LOGPATH + station file name +
  // ".txt") in the configured editor; without one its lines are shown in
  // the terminal window in blue.
  void ShowInfo(ChannelWindow& ch) {
    const std::string stem = ListFileStem(ch.stationCall());
    if (stem.empty()) return;
    const std::string path = app_.config().Record().logPath + stem + ".txt";
    // The click took the mark away or set it; it shows whether there is a text.
    ch.SetCheck(channels::kChInfo, NonEmptyFile(path) ? 1 : 0);
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    if (const std::string editor = app_.config().Record().editor; !editor.empty()) {
      app_.RunProgram(ch.id(), editor + " \"" + path + "\"");
      return;
    }
    std::string line;
    for (int n = 0; n < kInfoLinesShown && std::getline(in, line); ++n) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ch.ShowText(line.substr(0, channels::kSendLineLimit), ui::kBlue);
    }
  }

  // clearlist: a list being recorded ends (its file is about to go), and
  // the check-list window closes.
  void ClearList(ChannelWindow& ch) {
    recorder_.End();
    if (const ui::WindowId window = checkWindow(ch); window != ui::kNoWindow)
      ui::CloseForm(app_.toolkit(), window, app_.taskWindow);
  }

  void Closing() {
    capture_.Abandon();
    recorder_.End();
    recorder_.SetDivert({});
    connected_ = false;
  }

 private:
  void loadDefinition(ChannelWindow& ch, int box) {
    box_ = box;
    const std::vector<std::string> lines = definitionLines(box);
    Script* script = FindScript(ch);
    definition_ = ParseMailboxDefinition(lines, [&](const std::string& text) {
      return script ? script->Expand(text) : text;
    });
    if (script) {
      script->SetPrompt(definition_.prompt);
      if (!lines.empty()) script->variables().Define("PROMPT", definition_.prompt);
    }
  }

  std::vector<std::string> fromTexts() const {
    std::vector<std::string> from;
    if (const core::ConfigList* texts = app_.config().GetConfigList(kListFromTexts))
      for (const core::ConfigListEntry& e : *texts) from.push_back(e.text);
    return from;
  }

  ui::WindowId checkWindow(ChannelWindow& ch) const {
    return forms_ ? CheckListWindowOf(*forms_, ch.id()) : ui::kNoWindow;
  }

  std::vector<std::string> definitionLines(int box) const {
    const core::ConfigList* names = app_.config().GetConfigList(kListMailboxNames);
    if (box <= 0 || !names || static_cast<std::size_t>(box) > names->size()) return {};
    const core::ConfigList* section = app_.config().GetConfigList(kListFirstMailbox + (*names)[box - 1].number);
    std::vector<std::string> lines;
    if (section)
      for (const core::ConfigListEntry& e : *section) lines.push_back(e.text);
    return lines;
  }

  bool isPrompt(ChannelWindow& ch, std::string_view text) {
    const Script* script = FindScript(ch);
    return script && script->IsPrompt(text);
  }

  void answerPassword(ChannelWindow& ch, const std::string& challenge) {
    passwordArmed_ = false;
    const std::optional<std::string> answer = AnswerChallenge(method_, password_, challenge);
    const std::string text = answer ? *answer : std::string(kPasswordMethodUnknown);
    ch.ShowText(text, ui::kRed);
    ch.SendText(text + "\r");
  }

  // A mail being read ends (the prompt came); a read that stored nothing
  // ends with it.
  void endCapture(ChannelWindow& ch) {
    if (capture_.active()) {
      capture_.End();
      captureEnded(ch);
    } else if (captureFlag_) {
      captureFlag_ = false;
      tellCheckWindow(ch);
    }
  }

  // The mail is new in the store; an open check-list window goes on with
  // its next entry.
  void captureEnded(ChannelWindow& ch, bool next = true) {
    if (app_.mainWindow != ui::kNoWindow) app_.toolkit().sendUser(app_.mainWindow, channels::kEvtMailNew, 0);
    captureFlag_ = false;
    if (next) tellCheckWindow(ch);
  }

  void tellCheckWindow(ChannelWindow& ch) {
    // Posted: the window's next request must not start inside the handling
    // of the line that ended this one.
    if (const ui::WindowId window = checkWindow(ch); window != ui::kNoWindow)
      app_.toolkit().post(window, ui::Event::user(kEvtCheckListNext));
  }

  void markCheck(ChannelWindow& ch) { ch.SetCheck(channels::kChCheck, NonEmptyFile(recorder_.path()) ? 1 : 0); }

  core::App& app_;
  ui::FormRuntime* forms_;
  MailboxDefinition definition_;
  int box_ = 0;
  bool connected_ = false;
  int ticks_ = 0;
  bool captureFlag_ = false;  // a read runs: its end tells the check-list window
  ListRecorder recorder_;
  store::MailCapture capture_;
  int sending_ = -1;
  std::string tail_;
  bool promptTail_ = false;    // the tail was the prompt and has been acted on
  std::size_t promptTailLength_ = 0;
  bool lastWasPrompt_ = false;  // the line on its way to the recorder is the prompt
  bool passwordArmed_ = false;
  std::size_t armedTail_ = 0;
  int method_ = -1;
  std::string password_;
};

namespace {

class MailboxPart final : public channels::ChannelPart {
 public:
  explicit MailboxPart(std::shared_ptr<MailboxState> state) : state_(std::move(state)) {}
  MailboxState& state() { return *state_; }

  channels::LineStage stage() const override { return channels::LineStage::Mailbox; }
  std::vector<int> commands() const override { return {channels::kChMail, channels::kChPasswd, channels::kChInfo}; }
  void Connected(ChannelWindow& ch) override { state_->Connected(ch); }
  void Closing(ChannelWindow&) override { state_->Closing(); }
  void Tick(ChannelWindow& ch) override { state_->Tick(ch); }
  bool UserEvent(ChannelWindow& ch, ui::Event& event) override {
    // The station form opened from this channel stored the station.
    if (event.id == channels::kEvtStationChanged || event.id == channels::kEvtStationAdded)
      state_->CheckMailboxType(ch);
    return false;
  }
  LineResult Line(ChannelWindow& ch, const std::string& line) override { return state_->MailboxLine(ch, line); }
  void PartialLine(ChannelWindow& ch, const std::string& tail) override { state_->Tail(ch, tail); }
  void Command(ChannelWindow& ch, int command, std::intptr_t) override {
    if (command == channels::kChMail) state_->SendMail(ch);
    else if (command == channels::kChPasswd) state_->ArmPassword(ch);
    else if (command == channels::kChInfo) state_->ShowInfo(ch);
  }

 private:
  std::shared_ptr<MailboxState> state_;
};

class CheckListPart final : public channels::ChannelPart {
 public:
  explicit CheckListPart(std::shared_ptr<MailboxState> state) : state_(std::move(state)) {}
  channels::LineStage stage() const override { return channels::LineStage::CheckList; }
  std::vector<int> commands() const override { return {channels::kChCheck}; }
  LineResult Line(ChannelWindow& ch, const std::string& line) override { return state_->ListLine(ch, line); }
  void Command(ChannelWindow& ch, int, std::intptr_t) override { state_->OpenCheckList(ch); }
  bool UserEvent(ChannelWindow& ch, ui::Event& event) override {
    switch (event.id) {
      case kEvtCheckListRead + kReadStore:
      case kEvtCheckListRead + kReadShow:
        if (const auto* request = event.as<CheckListRequest>())
          state_->ReadFromWindow(ch, event.id - kEvtCheckListRead, *request);
        return true;
      case kEvtCheckListCleared: state_->CheckListCleared(ch); return true;
      default: return false;
    }
  }

 private:
  std::shared_ptr<MailboxState> state_;
};

MailboxState* StateOf(ChannelWindow& ch) {
  MailboxPart* part = ch.FindPart<MailboxPart>();
  return part ? &part->state() : nullptr;
}

}  // namespace

void AddMailboxParts(core::App& app, ui::FormRuntime& forms, channels::ChannelParts& parts) {
  auto state = std::make_shared<MailboxState>(app, &forms);
  parts.push_back(std::make_unique<MailboxPart>(state));
  parts.push_back(std::make_unique<CheckListPart>(state));
}

void InstallMailboxServices(core::App& app, ScriptServices& services) {
  core::App* a = &app;
  services.readMail = [](ChannelWindow& ch, const std::string& command) {
    if (MailboxState* state = StateOf(ch)) state->ReadMail(ch, command);
  };
  services.sendMail = [](ChannelWindow& ch) {
    if (MailboxState* state = StateOf(ch)) state->SendMail(ch);
  };
  services.armPassword = [](ChannelWindow& ch) {
    if (MailboxState* state = StateOf(ch)) state->ArmPassword(ch);
  };
  services.checkList = [a](ChannelWindow& ch, Script& script) {
    std::ifstream in(ListFilePath(*a, ch.stationCall()), std::ios::binary);
    if (!in) return;  // no list: everything stays as it is
    std::deque<std::string>& list = script.checkList();
    list.clear();
    std::string line;
    while (std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
      list.push_back(line.substr(0, kCheckListLineLimit));
    }
  };
  services.clearList = [a](ChannelWindow& ch) {
    if (MailboxState* state = StateOf(ch)) state->ClearList(ch);
    std::error_code ec;
    std::filesystem::remove(ListFilePath(*a, ch.stationCall()), ec);
    ch.SetCheck(channels::kChCheck, 0);
  };
  services.mailWaiting = [a] { return StoreOf(*a).NextToSend().has_value(); };
  services.checkListEntry = [](const std::string& entry, VariableTable& variables) {
    CheckListVariables(entry, variables);
  };
}

}  // namespace tarvik::script
