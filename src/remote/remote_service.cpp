#include "remote/remote_service.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "ax25/address.h"
#include "ax25/link.h"
#include "channels/heard_window.h"
#include "channels/main_window.h"
#include "core/identification.h"
#include "core/run_program.h"
#include "core/text.h"
#include "remote/mail_receive.h"
#include "remote/remote_commands.h"
#include "remote/remote_paths.h"
#include "remote/service_host.h"
#include "remote/transfer_commands.h"
#include "ui/fifo_text.h"

namespace tarvik::remote {

namespace fs = std::filesystem;
using channels::ChannelWindow;

namespace {

using core::kSettingCnfPath;
using core::kSettingPrompt;
using core::kSettingPubPath;
using core::kSettingSavePath;
using core::kSettingTempFile;
using core::UpperChar;
using core::UpperCase;
using core::EqualsNoCase;

constexpr std::size_t kDeferredLimit = 127;
constexpr int kCommandsPerBlock = 2;
constexpr int kWelcomeTicks = 3;
constexpr int kExitTicks = 5;
// The switch of DE: replacing an existing file by a capture needs it too.
constexpr int kDeleteAccess = 6;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The argument up to a terminator (blank or "|", none for the rest of the
// line), cut to the command's limit.
std::string ArgumentUpTo(std::string_view argument, char terminator, std::size_t limit) {
  std::string_view text = argument;
  if (terminator != 0) text = text.substr(0, text.find(terminator));
  return std::string(text.substr(0, limit));
}

// What a station asks to store, without control bytes: names, places and
// remarks end up in the station database and the connection log.
std::string Printable(std::string text) {
  std::erase_if(text, [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
  return text;
}

bool Allowed(const core::LevelRecord& level, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < level.access.size() && level.access[index] == '1';
}

std::string CallWithoutSsid(std::string_view call) { return std::string(call.substr(0, call.find('-'))); }

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

class RemoteService final : public channels::ChannelPart {
 public:
  explicit RemoteService(core::App& app) : app_(app) {}

  // --- the channel part ---------------------------------------------------------------
  channels::LineStage stage() const override { return channels::LineStage::Remote; }

  void Opened(ChannelWindow& channel) override {
    if (channel.outgoing()) return;
    promptMode_ = true;
    const std::string call = CallWithoutSsid(channel.remoteText());
    const std::string sound = "SOUND/" + call + ".WAV";
    core::PlaySound(FileExists(sound) ? sound : "SOUND/CONNECT.WAV");
    welcomeTicks_ = kWelcomeTicks;
  }

  channels::LineResult Line(ChannelWindow& channel, const std::string& line) override {
    return RunLine(channel, line, Origin::Station) ? channels::LineResult::Taken : channels::LineResult::Pass;
  }

  bool LocalCommand(ChannelWindow& channel, const std::string& line) override {
    RunLine(channel, line, Origin::Local);
    return true;
  }

  void Tick(ChannelWindow& channel) override {
    if (welcomeTicks_ > 0 && --welcomeTicks_ == 0) welcome(channel);
    if (exitTicks_ > 0 && --exitTicks_ == 0 && app_.mainWindow != ui::kNoWindow)
      app_.toolkit().sendUser(app_.mainWindow, channels::kEvtMainClose);
  }

  // The link has taken everything: a command kept while a file went out
  // runs now.
  void QueueDrained(ChannelWindow& channel) override {
    if (!channel.fileSender().sending()) runDeferred(channel);
  }

  void FileSent(ChannelWindow& channel, const channels::FileSendResult& result) override {
    if (result.end != channels::FileSendEnd::Done || result.mode.disconnectAfter) return;
    if (!deferred_.empty()) {
      runDeferred(channel);
    } else if (result.requester == this && !result.mode.noClosingReply) {
      Reply(channel, "");
    }
  }

  // --- lines -----------------------------------------------------------------------

  bool RunLine(ChannelWindow& channel, const std::string& line, Origin origin) {
    if (line.size() <= 2 || line[0] != '/' || line[1] != '/' || line[2] == ' ') return false;
    // A station without a record, a node or digipeater, and level 0 take
    // no commands; the operator's own lines run at the station's level too.
    const channels::StationFacts station = channel.CurrentFacts();
    if (!station.known || station.digi || station.level <= 0) return false;
    const core::LevelRecord* level = app_.config().GetLevelRecord(station.level);
    if (!level) return false;
    if (!levelTaken_) {
      levelTaken_ = true;
      remoteDir_ = WithSlash(level->home);
      saveDir_ = app_.config().GetSetting(kSettingSavePath);
    }

    const std::string_view body = std::string_view(line).substr(2);
    const std::size_t blank = body.find(' ');
    const std::string_view word = body.substr(0, blank);
    std::string_view argument;
    if (blank != std::string_view::npos) {
      argument = body.substr(blank);
      argument.remove_prefix(std::min(argument.find_first_not_of(' '), argument.size()));
    }
    const char c1 = UpperChar(word[0]);
    const char c2 = word.size() > 1 ? UpperChar(word[1]) : '\0';
    const char c3 = word.size() > 2 ? UpperChar(word[2]) : '\0';

    if (!channel.remoteOn() && c1 != 'Q' && c2 != 'I') return true;
    if (channel.fileSender().sending() && c1 != 'E' && c2 != 'S') {
      deferred_ = line.substr(0, kDeferredLimit);
      deferredOrigin_ = origin;
      return true;
    }
    // The count starts again with every data block the link hands to the
    // channel, and with every line of the operator or a script's "!".
    if (origin == Origin::Local || channel.receivedBlocks() != block_) counter_ = 0;
    block_ = channel.receivedBlocks();
    if (counter_++ >= kCommandsPerBlock) return true;

    const CommandKind kind = Identify(c1, c2, c3);
    origin_ = origin;
    if ((origin == Origin::Station || kind.cmd == Cmd::Exit) && kind.access >= 0) {
      if (!Allowed(*level, kind.access)) {
        Reply(channel, FillReply(channel.Text("ACCESS"), {line}) + "\r");
        return true;
      }
    }
    run(channel, kind.cmd, c2, line, argument, station, *level);
    return true;
  }

  // --- replies ------------------------------------------------------------------------

  void Reply(ChannelWindow& channel, std::string text) {
    const bool local = origin_ == Origin::Local;
    if (!text.empty()) channel.ShowText(text, local ? ui::kBlue : ui::kRed);
    if (promptMode_) {
      if (local) return;
      const std::string prompt = expand(channel, app_.config().GetSetting(kSettingPrompt));
      channel.ShowText(prompt, ui::kRed);
      text += '\r';
      text += prompt;
    } else if (text.empty() || local) {
      return;
    }
    channel.SendText(text);
  }

  // For the transfers: their directories and the reply.
  TransferContext transfers(ChannelWindow& channel, const core::LevelRecord& level) {
    return {fileDir(), remoteBound(level), saveDir_, saveBound(),
            [this, &channel](const std::string& text) { Reply(channel, text); }, origin_ == Origin::Local};
  }

  // A transfer's late answer goes to the station.
  void ReplyLater(ChannelWindow& channel, const std::string& text) {
    origin_ = Origin::Station;
    Reply(channel, text);
  }
  std::string saveDirectory() const { return levelTaken_ ? saveDir_ : std::string(); }

  // Shown red and sent without the prompt.
  void SendDirectly(ChannelWindow& channel, const std::string& text) {
    channel.ShowText(text, ui::kRed);
    if (origin_ != Origin::Local) channel.SendText(text);
  }

  // --- the file sender ------------------------------------------------------------

  bool SendFile(ChannelWindow& channel, const std::string& path, SendMode mode, std::string listPath = {}) {
    channels::FileSendRequest request;
    request.path = path;
    request.mode = mode;
    request.requester = this;
    request.listPath = std::move(listPath);
    return channel.fileSender().Start(channel, std::move(request));
  }

  void StopSending(ChannelWindow& channel, bool clearDeferred) {
    channel.fileSender().Stop(channel);
    if (clearDeferred) deferred_.clear();
  }

  void Goodbye(ChannelWindow& channel) {
    SendMode mode;
    mode.expandMacros = mode.disconnectAfter = mode.noClosingReply = true;
    // Without a goodbye text the station still asked to leave.
    if (!SendFile(channel, cnfPath() + "GOODBYE.TXT", mode)) channel.Disconnect(false);
  }


 private:
  // --- helpers ---------------------------------------------------------------------------

  std::string expand(ChannelWindow& channel, const std::string& text) { return channel.ExpandMacros(text); }

  std::string cnfPath() { return app_.config().GetSetting(kSettingCnfPath); }
  // The directory of D, G, DE, CA, PL and the bound every name there must
  // stay in.
  std::string fileDir() { return remoteDir_.empty() ? app_.config().GetSetting(kSettingPubPath) : remoteDir_; }
  std::string remoteBound(const core::LevelRecord& level) {
    return level.home.empty() ? app_.config().GetSetting(kSettingPubPath) : WithSlash(level.home);
  }
  std::string saveBound() { return app_.config().GetSetting(kSettingSavePath); }

  // A text file for the station, written to a temporary file that the
  // sender deletes afterwards.
  bool sendTemporary(ChannelWindow& channel, const std::string& text, bool expandMacros = false) {
    const std::string path = app_.config().GetSetting(kSettingTempFile);
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      if (!out || !(out << text)) return false;
    }
    SendMode mode;
    mode.deleteAfter = true;
    mode.expandMacros = expandMacros;
    if (SendFile(channel, path, mode)) return true;
    std::error_code ec;
    fs::remove(path, ec);
    return false;
  }

  bool sendText(ChannelWindow& channel, const std::string& path) {
    SendMode mode;
    mode.expandMacros = true;
    return SendFile(channel, path, mode);
  }

  void runDeferred(ChannelWindow& channel) {
    if (deferred_.empty()) return;
    const std::string line = std::move(deferred_);
    deferred_.clear();
    counter_ = 0;
    RunLine(channel, line, deferredOrigin_);
  }

  void welcome(ChannelWindow& channel) {
    origin_ = Origin::Station;
    const std::string own = cnfPath() + CallWithoutSsid(channel.remoteText()) + ".TXT";
    const auto clean = CleanName(CallWithoutSsid(channel.remoteText()));
    if (clean && clean->find('/') == std::string::npos && sendText(channel, own)) return;
    if (sendText(channel, cnfPath() + "WELCOME.TXT")) return;
    Reply(channel, "");
  }

  // --- the commands ----------------------------------------------------------------------

  void run(ChannelWindow& channel, Cmd cmd, char c2, const std::string& line, std::string_view argument,
           const channels::StationFacts& station, const core::LevelRecord& level) {
    const auto illegal = [&] { Reply(channel, FillReply(channel.Text("ILLCMD"), {line}) + "\r"); };
    switch (cmd) {
      case Cmd::Access: Reply(channel, level.access + "\r"); return;
      case Cmd::Binary: binary(channel, line, ArgumentUpTo(argument, ' ', 2)); return;
      case Cmd::Beep:
        channel.toolkit().raise(channel.id());
        channel.toolkit().beep();
        Reply(channel, "");
        return;
      case Cmd::Capture: capture(channel, ArgumentUpTo(argument, ' ', kNameLimit), level); return;
      case Cmd::ChangeDir: changeDir(channel, std::string(argument.substr(0, kNameLimit)), remoteDir_, remoteBound(level)); return;
      case Cmd::SaveChange: changeDir(channel, std::string(argument.substr(0, kNameLimit)), saveDir_, saveBound()); return;
      case Cmd::Delete: remove(channel, fileDir(), remoteBound(level), ArgumentUpTo(argument, ' ', kNameLimit)); return;
      case Cmd::SaveDelete: remove(channel, saveDir_, saveBound(), ArgumentUpTo(argument, ' ', kNameLimit)); return;
      case Cmd::Dir: list(channel, fileDir(), remoteBound(level), ArgumentUpTo(argument, ' ', kNameLimit)); return;
      case Cmd::SaveList: list(channel, saveDir_, saveBound(), ArgumentUpTo(argument, ' ', kNameLimit)); return;
      case Cmd::EndSend:
        StopSending(channel, true);
        Reply(channel, "");
        return;
      case Cmd::Exit:
        ax25::LinkCommand(channel.toolkit(), channel.link(), ax25::LinkCommandCode::HoldReports, 1);
        ax25::LinkCommand(channel.toolkit(), channel.link(), ax25::LinkCommandCode::DisconnectNow);
        exitTicks_ = kExitTicks;
        return;
      case Cmd::Echo: {
        const std::string text = ArgumentUpTo(argument, '|', 79);
        Reply(channel, text.empty() ? text : text + "\r");
        return;
      }
      case Cmd::Get:
        if (c2 == 'B') return GetUuencoded(channel, argument, transfers(channel, level));
        get(channel, ArgumentUpTo(argument, ' ', kNameLimit), level);
        return;
      case Cmd::Help: help(channel, ArgumentUpTo(argument, '|', 7)); return;
      case Cmd::Info:
        if (!sendText(channel, cnfPath() + "INFO.TXT")) Reply(channel, "");
        return;
      case Cmd::LastCon:
        Reply(channel, FillReply(channel.Text("LASTCON"), {station.lastConnect}) + "\r");
        return;
      case Cmd::Minimise: Reply(channel, ""); return;  // the toolkit has no minimised state
      case Cmd::Mail: {
        const bool taken = StartStationMail(channel, std::string(argument));
        SendDirectly(channel, channel.Text(taken ? "MAILEND" : "MAILNO") + "\r");
        return;
      }
      case Cmd::Name:
      case Cmd::Qth: {
        const bool name = cmd == Cmd::Name;
        channels::StationFactsSource* source = channel.stationSource();
        if (!source) return illegal();
        std::string value = Printable(ArgumentUpTo(argument, '|', 40));
        if (value.empty()) value = name ? station.name : station.qth;
        else if (name) source->StoreName(channel.remoteText(), value);
        else source->StoreQth(channel.remoteText(), value);
        Reply(channel, FillReply(channel.Text(name ? "NAME" : "QTH"), {value}) + "\r");
        return;
      }
      case Cmd::Play: play(channel, ArgumentUpTo(argument, '|', 7)); return;
      case Cmd::Ports: ports(channel); return;
      case Cmd::SaveDir: Reply(channel, saveDir_ + "\r"); return;
      case Cmd::RemoteDir: Reply(channel, remoteDir_ + "\r"); return;
      case Cmd::Prompt: {
        const std::string value = ArgumentUpTo(argument, ' ', 2);
        if (!value.empty()) promptMode_ = EqualsNoCase(value, "on");
        Reply(channel, channel.Text(promptMode_ ? "PROON" : "PROOFF") + "\r");
        return;
      }
      case Cmd::Quit:
        StopSending(channel, false);
        Goodbye(channel);
        return;
      case Cmd::Remark: {
        const std::string text = Printable(ArgumentUpTo(argument, '|', 31));
        if (!text.empty()) channel.setRemark(text);
        Reply(channel, text.empty() ? text : text + "\r");
        return;
      }
      case Cmd::Run: {
        const std::string command = ArgumentUpTo(argument, '|', kNameLimit);
        app_.RunProgram(channel.id(), command);
        Reply(channel, command + "\r");
        return;
      }
      case Cmd::Version: {
        char text[160];
        std::snprintf(text, sizeof text, "%s V %s(%s) (%s)\r", core::ProductText().c_str(), "2.10", "98",
                      core::BuildStamp().c_str());
        Reply(channel, text);
        return;
      }
      case Cmd::Gateway: gateway(channel, line, argument); return;
      case Cmd::XmodemReceive: return XmodemReceive(channel, argument, transfers(channel, level));
      case Cmd::XmodemSend: return XmodemSend(channel, argument, transfers(channel, level));
      case Cmd::Monitor: connectionList(channel); return;
      case Cmd::Statistics: statistics(channel); return;
      case Cmd::Services: services(channel, argument); return;
      case Cmd::Unknown: illegal(); return;
    }
  }

  // The service list (macros expanded), or a service opened for the
  // station: its greeting goes out at once, any other answer as a reply.
  void services(ChannelWindow& channel, std::string_view argument) {
    ServiceHost* host = channel.FindPart<ServiceHost>();
    if (!host) return Reply(channel, FillReply(channel.Text("ILLCMD"), {"//S"}) + "\r");
    const std::string name = ArgumentUpTo(argument, ' ', kServiceNameLimit);
    if (name.empty()) {
      if (!sendTemporary(channel, host->ServiceList(channel), true)) Reply(channel, "");
      return;
    }
    const ServiceHost::Answer answer = host->OpenService(channel, name);
    if (answer.opened) SendDirectly(channel, answer.text + "\r");
    else Reply(channel, answer.text + "\r");
  }

  // Connects the station through to a third one on a second link of the
  // channel: "[port:][radio channel:]CALL [DIGI ...]".
  void gateway(ChannelWindow& channel, const std::string& line, std::string_view argument) {
    const auto direct = [&](std::string_view key, std::initializer_list<std::string_view> texts) {
      SendDirectly(channel, FillReply(channel.Text(key), texts) + "\r");
    };
    if (argument.size() < 3) return direct("ILLCMD", {line});
    int port = 0, radio = 0;
    std::string_view rest = argument;
    const auto number = [](std::string_view text) {
      return text.size() == 1 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : -1;
    };
    if (const std::size_t colon = rest.find(':'); colon != std::string_view::npos) {
      const std::string_view portText = rest.substr(0, colon);
      port = number(portText);
      rest.remove_prefix(colon + 1);
      const core::PortRecord* record = port >= 0 ? app_.config().Ports().Find(port) : nullptr;
      if (!record || !record->open()) return direct("ILLPORT", {portText, line});
      if (const std::size_t second = rest.find(':'); second != std::string_view::npos) {
        const std::string_view radioText = rest.substr(0, second);
        radio = number(radioText);
        rest.remove_prefix(second + 1);
        if (radio < 0 || radio >= core::kRadioChannelCount) return direct("ILLCHAN", {radioText, line});
      }
    } else {
      const core::PortRecord* record = app_.config().Ports().Find(port);
      if (!record || !record->open()) return direct("ILLPORT", {"0", line});
    }
    const core::ChannelParams& params = app_.config().GetChannelParams(port, radio);
    if (&params == &app_.config().TcpChannel() || !params.configured())
      return direct("ILLCHAN", {std::to_string(radio), line});
    // The call and up to eight digipeaters, blank separated.
    std::vector<std::string> words;
    std::size_t at = 0;
    while (words.size() <= ax25::kMaxVia) {
      at = rest.find_first_not_of(' ', at);
      if (at == std::string_view::npos) break;
      const std::size_t end = std::min(rest.find(' ', at), rest.size());
      words.push_back(UpperCase(std::string(rest.substr(at, end - at))));
      at = end;
    }
    if (words.empty()) return direct("ILLCMD", {line});
    ax25::ConnectRequest request;
    request.port = port;
    request.radioChannel = radio;
    request.qrg = params.qrg;
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::optional<ax25::AddressRecord> call =
          words[i].size() <= 9 ? ax25::ParseCall(words[i]) : std::nullopt;
      if (!call) return direct("CONINV", {words[i], line});
      if (i == 0) request.remote = *call;
      else request.via[i - 1] = *call;
    }
    // The station appears on the far side under its own call with the
    // SSID mirrored, so that it never meets itself there.
    std::optional<ax25::AddressRecord> own = ax25::ParseCall(channel.remoteText());
    if (!own) return direct("CONINV", {channel.remoteText(), line});
    own->ssid = 15 - own->ssid;
    request.own = *own;
    direct("CONSET", {words[0]});
    if (!channel.OpenSecondLink(request, words[0])) direct("CONNO", {});
  }

  void binary(ChannelWindow& channel, const std::string& line, const std::string& value) {
    // Without a receiver of uuencoded files the switch would promise what
    // nobody does.
    if (!channel.Handles(channels::kChAutobin)) {
      Reply(channel, FillReply(channel.Text("NOTAVAIL"), {line}) + "\r");
      return;
    }
    if (!value.empty()) {
      const bool on = EqualsNoCase(value, "on");
      if (channel.autobin() != on) channel.Command(channels::kChAutobin);
    }
    Reply(channel, channel.Text(channel.autobin() ? "BINON" : "BINOFF") + "\r");
  }

  void capture(ChannelWindow& channel, const std::string& value, const core::LevelRecord& level) {
    const std::string running = channel.capturePath();
    if (value.empty()) {
      Reply(channel, running.empty() ? channel.Text("CANO") + "\r" : FillReply(channel.Text("CAOPEN"), {running}) + "\r");
      return;
    }
    if (EqualsNoCase(value, "off")) {
      if (running.empty()) {
        Reply(channel, channel.Text("CANO") + "\r");
      } else if (channel.captureOwner() != channels::CaptureOwner::Station) {
        // The operator's capture is the operator's to end.
        Reply(channel, FillReply(channel.Text("CAOPEN"), {running}) + "\r");
      } else {
        channel.StopCapture();
        Reply(channel, FillReply(channel.Text("CACLOSE"), {running}) + "\r");
      }
      return;
    }
    const std::string shown = fileDir() + value;
    const std::string bound = remoteBound(level);
    const auto path = ConfinedPath(bound, fileDir(), value);
    const auto failed = [&](std::string_view key) { Reply(channel, FillReply(channel.Text(key), {shown}) + "\r"); };
    if (!path || !running.empty()) return failed("CAERR");
    switch (KindOf(bound, *path)) {
      case PathKind::Missing: break;
      case PathKind::Regular:
        // Writing anew over a file destroys it: only for a station that
        // may delete files (the operator's own lines may).
        if (origin_ == Origin::Station && !Allowed(level, kDeleteAccess)) return failed("CAEXIST");
        if (!OpenRegular(bound, *path, O_WRONLY) || !RemoveFile(bound, *path)) return failed("CAERR");
        break;
      default: return failed("CAERR");  // directories, FIFOs, devices, links leading out
    }
    // The test leaves an empty file; gone again, the capture starts it
    // afresh instead of asking the operator whether to append.
    if (!CreateNew(bound, *path)) return failed("CAERR");
    RemoveFile(bound, *path);
    Reply(channel, FillReply(channel.Text("CAOPEN"), {*path}) + "\r");
    channel.StartCapture(*path, false, channels::CaptureOwner::Station);
  }

  void changeDir(ChannelWindow& channel, std::string argument, std::string& directory, const std::string& bound) {
    if (argument.empty()) {
      Reply(channel, directory + "\r");
      return;
    }
    std::replace(argument.begin(), argument.end(), '\\', '/');
    std::string result;
    if (argument.find("..") != std::string::npos) {
      // One level up, whatever else the argument says.
      std::string trimmed = directory;
      while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
      const std::size_t slash = trimmed.rfind('/');
      result = slash == std::string::npos ? std::string() : trimmed.substr(0, slash + 1);
    } else if (const auto clean = CleanName(argument.front() == '/' ? argument.substr(1) : argument)) {
      // A leading "/" starts at the top of what the station may reach.
      result = WithSlash((argument.front() == '/' ? bound : directory) + *clean);
    } else if (argument.find_first_not_of('/') == std::string::npos) {
      result = bound;
    }
    const std::string shown = result.empty() ? argument : result;
    // The directory must take a file: the service writes captures there.
    const bool usable =
        !result.empty() && KindOf(bound, result) == PathKind::Directory && DirectoryTakesFiles(bound, result);
    if (!usable) {
      Reply(channel, FillReply(channel.Text("ILLCD"), {shown}) + "\r");
      return;
    }
    directory = result;
    Reply(channel, directory + "\r");
  }

  void remove(ChannelWindow& channel, const std::string& directory, const std::string& bound, const std::string& name) {
    if (name.empty()) {
      Reply(channel, "");
      return;
    }
    char text[512];
    if (!HasWildcard(name)) {
      const auto path = ConfinedPath(bound, directory, name);
      const bool removed = path && RemoveFile(bound, *path);
      std::snprintf(text, sizeof text, removed ? "%s%s deleted\r" : "Could not delete %s%s\r", directory.c_str(),
                    name.c_str());
      Reply(channel, text);
      return;
    }
    const auto clean = CleanName(name);
    const std::vector<std::string> files = clean ? MatchingFiles(bound, directory, *clean) : std::vector<std::string>{};
    if (files.empty()) {
      std::snprintf(text, sizeof text, "Could not delete %s%s\r", directory.c_str(), name.c_str());
      Reply(channel, text);
      return;
    }
    for (const std::string& file : files) RemoveFile(bound, file);
    std::snprintf(text, sizeof text, "%s%s deleted\r", directory.c_str(), name.c_str());
    Reply(channel, text);
  }

  void list(ChannelWindow& channel, const std::string& directory, const std::string& bound, std::string pattern) {
    if (!pattern.empty() && (pattern.front() == '.' || pattern.front() == '\\' || pattern.front() == '/')) {
      Reply(channel, FillReply(channel.Text("DIRONLY"), {directory}) + "\r");
      return;
    }
    if (pattern.empty()) pattern = "*.*";
    const auto clean = CleanName(pattern);
    const std::vector<ListingEntry> entries = clean ? ListDirectory(bound, directory, *clean) : std::vector<ListingEntry>{};
    if (entries.empty() || !sendTemporary(channel, ListingText(directory + pattern, entries)))
      Reply(channel, FillReply(channel.Text("DIRNOTF"), {directory + pattern}) + "\r");
  }

  void get(ChannelWindow& channel, const std::string& name, const core::LevelRecord& level) {
    if (name.empty()) {
      Reply(channel, "");
      return;
    }
    const std::string directory = fileDir();
    const std::string bound = remoteBound(level);
    const auto notFound = [&] { Reply(channel, FillReply(channel.Text("GETNOTF"), {directory + name}) + "\r"); };
    // The file the channel captures into grows with every line it sends:
    // it is never sent while the capture runs.
    const auto captured = [&](const std::string& file) { return channels::SameFile(file, channel.capturePath()); };
    const auto beingCaptured = [&] { Reply(channel, FillReply(channel.Text("GETCAPT"), {directory + name}) + "\r"); };
    if (!HasWildcard(name)) {
      const auto path = ConfinedPath(bound, directory, name);
      if (!path || !OpenRegular(bound, *path, O_RDONLY)) return notFound();
      if (captured(*path)) return beingCaptured();
      if (!SendFile(channel, *path, SendMode{})) notFound();
      return;
    }
    const auto clean = CleanName(name);
    std::vector<std::string> files = clean ? MatchingFiles(bound, directory, *clean) : std::vector<std::string>{};
    const std::size_t matched = files.size();
    std::erase_if(files, captured);
    if (files.empty()) return matched > 0 ? beingCaptured() : notFound();
    const std::string listPath = app_.config().GetSetting(kSettingTempFile);
    {
      std::ofstream out(listPath, std::ios::binary | std::ios::trunc);
      for (const std::string& file : files) out << file << '\n';
      if (!out) return notFound();
    }
    // The sender goes on with the files listed after the one it sends.
    for (const std::string& file : files)
      if (SendFile(channel, file, SendMode{}, listPath)) return;
    std::error_code ec;
    fs::remove(listPath, ec);
    notFound();
  }

  std::vector<std::string> namesWithExtension(const std::string& directory, std::string_view extension) {
    std::vector<std::string> names;
    for (const ListingEntry& e : ListDirectory(directory, directory, std::string("*") + std::string(extension)))
      if (!e.directory) names.push_back(e.name);
    return names;
  }

  void help(ChannelWindow& channel, const std::string& topic) {
    char none[96];
    std::snprintf(none, sizeof none, "No help about '%s' available\n", topic.c_str());
    const std::string cnf = cnfPath();
    if (topic.empty()) {
      if (!sendText(channel, cnf + "HELP.TXT")) Reply(channel, none);
      return;
    }
    if (topic == "?") {
      const auto names = namesWithExtension(cnf, ".TXT");
      if (names.empty() || !sendTemporary(channel, NameListText(names))) Reply(channel, none);
      return;
    }
    // A topic is a plain name inside CNFPATH; files are tried as written
    // and in upper case, the way the shipped texts are named.
    if (topic.find_first_of("/\\") == std::string::npos) {
      for (const std::string& name : {topic + ".TXT", UpperCase(topic) + ".TXT"}) {
        const auto path = ConfinedPath(cnf, cnf, name);
        if (path && FileExists(*path) && sendText(channel, *path)) return;
      }
    }
    Reply(channel, none);
  }

  void play(ChannelWindow& channel, const std::string& name) {
    if (name.empty()) return;
    const std::string directory = fileDir();
    if (name == "?") {
      const auto names = namesWithExtension(directory, ".WAV");
      if (names.empty() || !sendTemporary(channel, NameListText(names))) Reply(channel, "No sound file available\n");
      return;
    }
    const auto path = name.find_first_of("/\\") == std::string::npos ? ConfinedPath(directory, directory, name + ".WAV")
                                                                      : std::nullopt;
    if (!path || !FileExists(*path)) {
      Reply(channel, "No sound file available\n");
      return;
    }
    core::PlaySound(*path);
    Reply(channel, "...done\r");
  }

  // The link's statistics report, expanded as a text, and deleted once sent.
  void statistics(ChannelWindow& channel) {
    const std::string path = app_.config().GetSetting(kSettingTempFile);
    SendMode mode;
    mode.expandMacros = mode.deleteAfter = true;
    if (ax25::LinkInfo(app_.toolkit(), channel.link(), 0, path) && SendFile(channel, path, mode)) return;
    std::error_code ec;
    fs::remove(path, ec);
    Reply(channel, "");
  }

  // The pairs of stations heard lately, as the heard file has them.
  void connectionList(ChannelWindow& channel) {
    const channels::MainWindow* main = app_.toolkit().findAs<channels::MainWindow>(app_.mainWindow);
    const channels::HeardList* list = channels::FindHeardList(app_);
    const std::string path = app_.config().GetSetting(kSettingTempFile);
    SendMode mode;
    mode.deleteAfter = true;
    if (main && list &&
        channels::WriteHeardFile(path, *list, main->heardHeader(), app_.config().GetSetting(core::kSettingMyCall)) &&
        SendFile(channel, path, mode))
      return;
    std::error_code ec;
    fs::remove(path, ec);
    Reply(channel, "");
  }

  void ports(ChannelWindow& channel) {
    std::string text = "Port Prot.  Device (Channel)\n" + std::string(49, '-') + "\n";
    const core::PortTable& table = app_.config().Ports();
    char line[300];
    for (int p = 0; p < core::kPortCount; ++p) {
      const core::PortRecord& port = table[p];
      if (port.device.empty()) continue;
      std::snprintf(line, sizeof line, "%2d   %-6s %s\n", p, "KISS", port.device.c_str());
      text += line;
      for (int r = 0; r < core::kRadioChannelCount; ++r) {
        const core::ChannelParams& params = app_.config().GetChannelParams(p, r);
        if (!params.configured() || &params == &app_.config().TcpChannel()) continue;
        std::snprintf(line, sizeof line, "            Channel %d: %s\n", r, params.title.c_str());
        text += line;
      }
    }
    if (!sendTemporary(channel, text)) Reply(channel, "");
  }

  core::App& app_;
  int welcomeTicks_ = 0;
  int exitTicks_ = 0;
  bool levelTaken_ = false;
  bool promptMode_ = false;
  int counter_ = 0;
  std::uint64_t block_ = 0;  // the received data block the counter belongs to
  Origin origin_ = Origin::Station;
  std::string remoteDir_;
  std::string saveDir_;
  std::string deferred_;
  Origin deferredOrigin_ = Origin::Station;
};

namespace {

RemoteService* FindService(ChannelWindow& channel) { return channel.FindPart<RemoteService>(); }

}  // namespace

std::string FillReply(std::string_view format, std::initializer_list<std::string_view> texts) {
  std::string out;
  auto next = texts.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    std::size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    while (j < format.size() && std::string_view("-+ #0123456789.").find(format[j]) != std::string_view::npos) ++j;
    if (j < format.size() && std::string_view("sdiuxc").find(format[j]) != std::string_view::npos) {
      if (next != texts.end()) out += *next++;
      i = j;
    } else {
      out += format.substr(i, j - i);  // not a conversion: shown as it is
      i = j - 1;
    }
  }
  return out;
}

std::unique_ptr<channels::ChannelPart> RemoteServicePart(core::App& app) { return std::make_unique<RemoteService>(app); }

bool RunRemoteLine(ChannelWindow& channel, const std::string& line, Origin origin) {
  RemoteService* service = FindService(channel);
  return service && service->RunLine(channel, line, origin);
}

bool SendFile(ChannelWindow& channel, const std::string& path, SendMode mode) {
  RemoteService* service = FindService(channel);
  return service && service->SendFile(channel, path, mode);
}

void ReplyToStation(ChannelWindow& channel, const std::string& text) {
  if (RemoteService* service = FindService(channel)) return service->ReplyLater(channel, text);
  channel.ShowText(text, ui::kRed);
  channel.SendText(text);
}

std::string SaveDirectory(ChannelWindow& channel, const std::string& savePath) {
  RemoteService* service = FindService(channel);
  const std::string dir = service ? service->saveDirectory() : std::string();
  return dir.empty() ? savePath : dir;
}

void DisconnectWithGoodbye(ChannelWindow& channel) {
  if (RemoteService* service = FindService(channel)) service->Goodbye(channel);
}

}  // namespace tarvik::remote
