#include "script/channel_scripts.h"

#include <fstream>
#include <utility>

#include "ax25/link.h"

namespace tarvik::script {

using channels::ChannelWindow;

namespace {

// One channel's script and what it needs of the channel. The part lives in
// its channel; the channel is found by its window id at every use of the
// interpreter, which may run from a posted event.
class ChannelScript final : public ScriptHost, public channels::ChannelPart {
 public:
  ChannelScript(core::App& app, const ScriptServices& services)
      : app_(app), services_(services), script_(*this, app.toolkit().localTime()) {}

  Script& script() { return script_; }

  // --- the channel part ------------------------------------------------------------------
  std::vector<int> commands() const override { return {channels::kChExec}; }
  void Opened(ChannelWindow& channel) override { channel_ = channel.id(); }
  // The connection has ended: a script ends with it, also when the
  // window stays to keep the conversation on screen.
  void Closing(ChannelWindow&) override {
    if (script_.running()) script_.Stop();
  }
  void Command(ChannelWindow& channel, int, std::intptr_t) override { execCommand(channel); }
  bool RunScript(ChannelWindow&, const std::string& path) override { return script_.Start(path); }
  void SawLine(ChannelWindow&, const std::string& line) override { script_.ReceivedLine(line); }
  void PartialLine(ChannelWindow&, const std::string& tail) override { script_.ReceivedTail(tail); }
  void Tick(ChannelWindow&) override { script_.Tick(); }
  void FileSent(ChannelWindow&, const channels::FileSendResult&) override { script_.FileSendDone(); }
  bool UserEvent(ChannelWindow&, ui::Event& event) override {
    if (event.id != kEvtScriptContinue) return false;
    script_.Continue();
    return true;
  }

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

  bool Answered(ChannelWindow& channel, int answer, int message) override {
    if (message != kMsgStopScript) return false;
    if (answer == core::kAnswerYes) script_.Stop();
    else channel.SetCheck(channels::kChExec, script_.running());
    return true;
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
    // The name as stored (the call itself while none is), and the connect
    // before this one (this one's time for a first-time station).
    const channels::StationFacts& station = ch->stationFacts();
    facts.yourName = station.name;
    facts.lastCon = !station.lastConnect.empty() ? station.lastConnect
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
  // the channel ends. While the channel's file sender sends, the script
  // waits for the file to have gone (FileSent).
  bool SendingFile() override {
    if (leaving_) return true;
    ChannelWindow* ch = channel();
    return ch && ch->fileSender().sending();
  }
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
  void ClearList() override {
    if (ChannelWindow* ch = channel(); ch && services_.clearList) services_.clearList(*ch);
  }
  void ArmPassword() override {
    if (ChannelWindow* ch = channel(); ch && services_.armPassword) services_.armPassword(*ch);
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
  ScriptServices services_;  // a copy: a channel may outlive the station's scripting
  ui::WindowId channel_ = ui::kNoWindow;
  Script script_;
  bool leaving_ = false;
};

}  // namespace

Scripting::Scripting(core::App& app, ScriptServices services)
    : app_(app), services_(std::move(services)), reference_(DateNow(app.toolkit().localTime())) {}

Scripting::~Scripting() = default;

std::unique_ptr<channels::ChannelPart> Scripting::Part() { return std::make_unique<ChannelScript>(app_, services_); }

Script* Scripting::Find(ui::WindowId channel) {
  ChannelWindow* window = app_.toolkit().findAs<ChannelWindow>(channel);
  return window ? FindScript(*window) : nullptr;
}

Script* FindScript(ChannelWindow& channel) {
  ChannelScript* part = channel.FindPart<ChannelScript>();
  return part ? &part->script() : nullptr;
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
