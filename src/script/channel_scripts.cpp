#include "script/channel_scripts.h"

#include <fstream>
#include <utility>

#include "ax25/link.h"

namespace tarvik::script {

using channels::ChannelHooks;
using channels::ChannelWindow;

// One channel's script and what it needs of the channel. The channel is
// looked up by its window id at every use, so nothing here outlives it.
class Scripting::ChannelScript final : public ScriptHost {
 public:
  ChannelScript(core::App& app, const ScriptServices& services, ui::WindowId channel)
      : app_(app), services_(services), channel_(channel), script_(*this, app.toolkit().localTime()) {}

  Script& script() { return script_; }

  // --- the EXEC control and the operator's stop ----------------------------------------
  void execCommand(ChannelWindow& channel) {
    if (script_.running()) {
      // The click took the mark away; it stays until the operator has answered.
      channel.SetCheck(channels::kChExec, 1);
      app_.ShowMessage(channel.id(), 2, kMsgStopScript, script_.path());
      return;
    }
    const std::string directory = app_.config().Record().iniDirectory + "script";
    const std::optional<std::string> path =
        channel.toolkit().fileDialog(false, channel.Text("SCRIPT"), directory, "*.scr");
    if (!path || path->empty()) {
      channel.SetCheck(channels::kChExec, 0);
      return;
    }
    if (!script_.Start(*path)) {
      channel.SetCheck(channels::kChExec, 0);
      app_.ShowMessage(channel.id(), 1, channels::kMsgCannotOpen, *path);
    }
  }

  void answered(ChannelWindow& channel, int answer, int message) {
    if (message != kMsgStopScript) return;
    if (answer == core::kAnswerYes) script_.Stop();
    else channel.SetCheck(channels::kChExec, script_.running());
  }

  // --- ScriptHost ----------------------------------------------------------------------
  void SendLine(const std::string& text) override {
    if (ChannelWindow* ch = channel()) {
      ch->ShowText(text, ui::kRed);
      ch->SendText(text + "\r");
    }
  }
  void Notice(const std::string& text) override {
    if (ChannelWindow* ch = channel()) ch->ShowText(text, ui::kBlue);
  }
  void Wake() override { app_.toolkit().post(channel_, ui::Event::user(kEvtScriptContinue)); }
  void Running(bool on) override {
    if (ChannelWindow* ch = channel()) {
      ch->SetState(channels::kLampScript, on ? 1 : 0);
      ch->SetCheck(channels::kChExec, on ? 1 : 0);
    }
  }
  ChannelFacts Facts() override {
    ChannelFacts facts;
    facts.now = app_.toolkit().localTime();
    ChannelWindow* ch = channel();
    if (!ch) return facts;
    // Without a link (or before it is up) the calls are empty texts.
    facts.myCall = ax25::LinkInfo(app_.toolkit(), ch->link(), 2).value_or("");
    facts.yourCall = ch->remoteText();
    if (services_.stationName) facts.yourName = services_.stationName(*ch);
    facts.lastCon = services_.lastConnect ? services_.lastConnect(*ch)
                                          : ax25::LinkInfo(app_.toolkit(), ch->link(), 5).value_or("");
    return facts;
  }
  void Disconnect(Script& script) override {
    ChannelWindow* ch = channel();
    if (!ch) return;
    leaving_ = true;
    if (services_.disconnect) {
      services_.disconnect(*ch);
      return;
    }
    // The goodbye text goes out with its macros, then the link ends after
    // what is queued. DECIDED: without a goodbye file the channel still
    // disconnects, as the script asked.
    std::ifstream in(app_.config().Record().cnfPath + "GOODBYE.TXT", std::ios::binary);
    std::string line;
    while (in && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string text = script.Expand(line);
      ch->ShowText(text, ui::kRed);
      ch->SendText(text + "\r");
    }
    leaving_ = true;
    ch->Disconnect(false);
  }
  // A leaving channel takes no more script lines: the script pauses until
  // the channel ends.
  bool SendingFile() override { return leaving_; }
  void RemoteCommand(const std::string& command, bool local) override {
    if (ChannelWindow* ch = channel(); ch && services_.remoteCommand) services_.remoteCommand(*ch, command, local);
  }
  void ReadMail(const std::string& command) override {
    ChannelWindow* ch = channel();
    if (!ch) return;
    if (services_.readMail) services_.readMail(*ch, command);
    else SendLine(command);  // without a mail store the read command still goes out
  }
  void SendMail() override {
    if (ChannelWindow* ch = channel(); ch && services_.sendMail) services_.sendMail(*ch);
  }
  void CheckListToRequests(Script& script) override {
    if (ChannelWindow* ch = channel(); ch && services_.checkList) services_.checkList(*ch, script);
  }
  bool MailWaiting() override { return services_.mailWaiting && services_.mailWaiting(); }
  void CheckListEntry(const std::string& entry, VariableTable& variables) override {
    if (services_.checkListEntry) services_.checkListEntry(entry, variables);
  }
  std::string LogPath() override { return app_.config().Record().logPath; }
  std::string CurrentDirectory() override {
    ChannelWindow* ch = channel();
    if (ch && services_.currentDirectory) return services_.currentDirectory(*ch);
    return app_.config().Record().savePath;
  }
  std::string ExportDirectory() override { return app_.config().Record().expPath; }
  void CopyFailed(const std::string& text) override {
    app_.ShowMessage(channel_, 1, kMsgCopyFailed, text);
  }
  std::string InvalidCommandText() override {
    ChannelWindow* ch = channel();
    return ch ? ch->Text("BADSCR") : std::string();
  }

 private:
  ChannelWindow* channel() { return app_.toolkit().findAs<ChannelWindow>(channel_); }

  core::App& app_;
  ScriptServices services_;
  ui::WindowId channel_;
  Script script_;
  bool leaving_ = false;
};

Scripting::Scripting(core::App& app, ScriptServices services)
    : app_(app), services_(std::move(services)), reference_(DateNow(app.toolkit().localTime())) {}

Scripting::~Scripting() = default;

void Scripting::AddTo(ChannelWindow& channel, ChannelHooks& hooks) {
  std::erase_if(channels_, [](const auto& entry) { return entry.second.expired(); });
  auto state = std::make_shared<ChannelScript>(app_, services_, channel.id());
  channels_[channel.id()] = state;

  hooks.commands[channels::kChExec] = [state](ChannelWindow& ch, std::intptr_t) {
    auto keep = state;
    keep->execCommand(ch);
  };
  hooks.runScript = [state](ChannelWindow&, const std::string& path) {
    auto keep = state;
    return keep->script().Start(path);
  };
  auto previousAnswer = std::move(hooks.answered);
  hooks.answered = [state, previousAnswer](ChannelWindow& ch, int answer, int message) {
    auto keep = state;
    keep->answered(ch, answer, message);
    if (previousAnswer) previousAnswer(ch, answer, message);
  };
  auto previousLine = std::move(hooks.scriptLine);
  hooks.scriptLine = [state, previousLine](ChannelWindow& ch, const std::string& line) {
    auto keep = state;
    if (previousLine) previousLine(ch, line);
    keep->script().ReceivedLine(line);
  };
  auto previousTail = std::move(hooks.partialLine);
  hooks.partialLine = [state, previousTail](ChannelWindow& ch, const std::string& tail) {
    auto keep = state;
    if (previousTail) previousTail(ch, tail);
    keep->script().ReceivedTail(tail);
  };
  auto previousTick = std::move(hooks.tick);
  hooks.tick = [state, previousTick](ChannelWindow& ch) {
    auto keep = state;
    if (previousTick) previousTick(ch);
    keep->script().Tick();
  };
  auto previousEvent = std::move(hooks.userEvent);
  hooks.userEvent = [state, previousEvent](ChannelWindow& ch, ui::Event& event) {
    auto keep = state;
    if (event.id == kEvtScriptContinue) {
      keep->script().Continue();
      return true;
    }
    return previousEvent && previousEvent(ch, event);
  };
}

Script* Scripting::Find(ui::WindowId channel) {
  const auto it = channels_.find(channel);
  if (it == channels_.end()) return nullptr;
  const auto state = it->second.lock();
  if (!state || !app_.toolkit().findAs<ChannelWindow>(channel)) return nullptr;
  return &state->script();  // the channel's hooks keep it alive
}

std::string Scripting::ExpandFor(ui::WindowId window, const std::string& text) {
  if (Script* script = Find(window)) return script->Expand(text);
  MacroContext context;
  context.now = app_.toolkit().localTime();
  context.reference = &reference_;
  return Expand(text, context);
}

std::shared_ptr<Scripting> InstallScripting(core::App& app, ScriptServices services) {
  auto scripting = std::make_shared<Scripting>(app, std::move(services));
  app.hooks().expandMacros = [scripting](core::App&, ui::WindowId window, const std::string& text) {
    return scripting->ExpandFor(window, text);
  };
  return scripting;
}

}  // namespace tarvik::script
