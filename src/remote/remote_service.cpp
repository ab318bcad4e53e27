#include "remote/remote_service.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "ax25/address.h"
#include "ax25/link.h"
#include "channels/main_window.h"
#include "core/identification.h"
#include "core/run_program.h"
#include "remote/remote_paths.h"
#include "ui/fifo_text.h"

namespace tarvik::remote {

namespace fs = std::filesystem;
using channels::ChannelWindow;

namespace {

// Settings of the configuration the service reads.
constexpr int kSettingSavePath = 3;
constexpr int kSettingCnfPath = 6;
constexpr int kSettingTempFile = 7;
constexpr int kSettingPubPath = 19;
constexpr int kSettingPrompt = 20;

constexpr std::size_t kLineLimit = 255;
constexpr std::size_t kBlockLimit = 516;
constexpr std::size_t kDeferredLimit = 127;
constexpr int kCommandsPerBlock = 2;
constexpr int kWelcomeTicks = 3;
constexpr int kExitTicks = 5;
// Posted to the service's own window once the lines of a received block
// have been handled: the command count starts again.
constexpr int kEvtBlockDone = 1;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string UpperText(std::string text) {
  for (char& c : text) c = Upper(c);
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

// The argument up to a terminator (blank or "|", none for the rest of the
// line), cut to the command's limit.
std::string ArgumentUpTo(std::string_view argument, char terminator, std::size_t limit) {
  std::string_view text = argument;
  if (terminator != 0) text = text.substr(0, text.find(terminator));
  return std::string(text.substr(0, limit));
}

std::string CallWithoutSsid(std::string_view call) { return std::string(call.substr(0, call.find('-'))); }

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// The commands by their letters, with their ACCESS switch positions
// (-1: never tested).
enum class Cmd {
  Access, Binary, Beep, Capture, ChangeDir, Gateway, Delete, Dir, EndSend, Exit, Echo, Get, Help, Info, LastCon,
  Minimise, Monitor, Mail, Name, Play, Ports, SaveDir, RemoteDir, Prompt, Qth, Quit, Remark, XmodemReceive, Run,
  SaveChange, SaveDelete, SaveList, Statistics, XmodemSend, Services, Version, Unknown
};

struct CommandKind {
  Cmd cmd;
  int access;
};

CommandKind Identify(char c1, char c2, char c3) {
  switch (c1) {
    case 'A': return {Cmd::Access, 8};
    case 'B': return c2 == 'I' ? CommandKind{Cmd::Binary, 1} : CommandKind{Cmd::Beep, 10};
    case 'C':
      if (c2 == 'A') return {Cmd::Capture, 2};
      if (c2 == 'D') return {Cmd::ChangeDir, 5};
      return {Cmd::Gateway, 21};
    case 'D': return c2 == 'E' ? CommandKind{Cmd::Delete, 6} : CommandKind{Cmd::Dir, 4};
    case 'E':
      if (c2 == 'S') return {Cmd::EndSend, -1};
      if (c2 == 'X') return {Cmd::Exit, 0};
      return {Cmd::Echo, 9};
    case 'G': return {Cmd::Get, 7};
    case 'H': return {Cmd::Help, 8};
    case 'I': return {Cmd::Info, 8};
    case 'L': return {Cmd::LastCon, 14};
    case 'M':
      if (c2 == 'I') return {Cmd::Minimise, 10};
      if (c2 == 'O') return {Cmd::Monitor, 13};
      return {Cmd::Mail, 11};
    case 'N': return {Cmd::Name, 14};
    case 'P':
      if (c2 == 'L') return {Cmd::Play, 10};
      if (c2 == 'O') return {Cmd::Ports, 17};
      if (c2 == 'S') return {Cmd::SaveDir, 6};
      if (c2 == 'W') return {Cmd::RemoteDir, 4};
      return {Cmd::Prompt, 12};
    case 'Q': return c2 == 'T' ? CommandKind{Cmd::Qth, 14} : CommandKind{Cmd::Quit, -1};
    case 'R':
      if (c2 == 'E') return {Cmd::Remark, 14};
      if (c2 == 'X') return {Cmd::XmodemReceive, -1};
      return {Cmd::Run, 23};
    case 'S':
      if (c2 == 'C') return {Cmd::SaveChange, 6};
      if (c2 == 'D') return c3 == 'E' ? CommandKind{Cmd::SaveDelete, 6} : CommandKind{Cmd::SaveList, 4};
      if (c2 == 'T') return {Cmd::Statistics, 15};
      if (c2 == 'X') return {Cmd::XmodemSend, -1};
      return {Cmd::Services, 22};
    case 'V': return {Cmd::Version, 8};
    default: return {Cmd::Unknown, -1};
  }
}

// A text file going out on the channel, block by block.
class FileSender {
 public:
  bool Open(const std::string& path) {
    Close();
    file_.reset(std::fopen(path.c_str(), "rb"));
    return file_ != nullptr;
  }
  void Close() {
    file_.reset();
    carry_.clear();
  }
  bool isOpen() const { return file_ != nullptr; }

  // The next block (empty at the end): lines of at most 255 characters, a
  // line end becoming CR, each expanded by `expand`; what does not fit into
  // 516 characters waits for the next block.
  std::string NextBlock(const std::function<std::string(const std::string&)>& expand, std::vector<std::string>& shown) {
    std::string block = std::move(carry_);
    carry_.clear();
    if (!file_) return block;
    char buffer[kLineLimit + 1];
    while (block.size() < kBlockLimit && std::fgets(buffer, sizeof buffer, file_.get())) {
      std::string line(buffer);  // a NUL inside a line ends it here, never beyond the buffer
      bool ended = false;
      if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ended = true;
      }
      if (expand) line = expand(line);
      shown.push_back(line);
      if (ended) line += '\r';
      const std::size_t room = kBlockLimit - block.size();
      block.append(line, 0, std::min(room, line.size()));
      if (line.size() > room) carry_ = line.substr(room);
    }
    return block;
  }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::string carry_;
};

class Service;

// The service's window: a child of the channel window, so that it ends
// with the channel, and the receiver of the service's ticks and posts.
class ServiceWindow final : public ui::Window {
 public:
  explicit ServiceWindow(std::shared_ptr<Service> service) : service_(std::move(service)) {}
  void onEvent(ui::Event& event) override;
  Service& service() { return *service_; }

 private:
  std::shared_ptr<Service> service_;
};

class Service {
 public:
  Service(core::App& app, RemoteHooks hooks) : app_(app), hooks_(std::move(hooks)) {}

  void Attach(ChannelWindow& channel) {
    channel_ = channel.id();
    ui::WindowSpec spec;
    spec.name = "REMOTE";
    spec.parent = channel.id();
    window_ = channel.toolkit().create(spec, std::make_unique<ServiceWindow>(self_.lock()));
    if (!channel.outgoing()) {
      promptMode_ = true;
      const std::string call = CallWithoutSsid(channel.remoteText());
      const std::string sound = "SOUND/" + call + ".WAV";
      core::PlaySound(FileExists(sound) ? sound : "SOUND/CONNECT.WAV");
      welcomeTicks_ = kWelcomeTicks;
      startTimer(channel.toolkit());
    }
  }

  void setSelf(const std::shared_ptr<Service>& self) { self_ = self; }

  // --- lines -----------------------------------------------------------------------

  bool Line(ChannelWindow& channel, const std::string& line, Origin origin) {
    if (line.size() <= 2 || line[0] != '/' || line[1] != '/' || line[2] == ' ') return false;
    const std::optional<StationInfo> station = stationInfo(channel);
    if (!station || station->digi || station->level <= 0) return false;
    const core::LevelRecord* level = app_.config().GetLevelRecord(station->level);
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
    const char c1 = Upper(word[0]);
    const char c2 = word.size() > 1 ? Upper(word[1]) : '\0';
    const char c3 = word.size() > 2 ? Upper(word[2]) : '\0';

    if (!channel.remoteOn() && c1 != 'Q' && c2 != 'I') return true;
    if (sending_ && c1 != 'E' && c2 != 'S') {
      deferred_ = line.substr(0, kDeferredLimit);
      deferredOrigin_ = origin;
      return true;
    }
    if (origin == Origin::Local) counter_ = 0;
    if (counter_++ >= kCommandsPerBlock) return true;
    // The lines of one received block are handled in one go; the count
    // starts again once the channel's events have run.
    if (counter_ == 1) channel.toolkit().post(window_, ui::Event::user(kEvtBlockDone));

    const CommandKind kind = Identify(c1, c2, c3);
    origin_ = origin;
    if ((origin == Origin::Station || kind.cmd == Cmd::Exit) && kind.access >= 0) {
      const bool allowed = static_cast<std::size_t>(kind.access) < level->access.size() && level->access[kind.access] == '1';
      if (!allowed) {
        Reply(channel, FillReply(channel.Text("ACCESS"), {line}) + "\r");
        return true;
      }
    }
    run(channel, kind.cmd, c2, line, argument, *station, *level);
    return true;
  }

  void BlockDone() { counter_ = 0; }

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

  // Shown red and sent without the prompt.
  void SendDirectly(ChannelWindow& channel, const std::string& text) {
    channel.ShowText(text, ui::kRed);
    if (origin_ != Origin::Local) channel.SendText(text);
  }

  // --- the file sender ------------------------------------------------------------

  bool SendFile(ChannelWindow& channel, const std::string& path, SendMode mode) {
    if (sending_ || file_.isOpen()) closeFile(true);
    if (!file_.Open(path)) return false;
    sending_ = true;
    mode_ = mode;
    path_ = path;
    channel.SetState(channels::kLampSqueue, 1);
    channel.SetCheck(channels::kChSnd, 1);
    channel.toolkit().post(channel.id(), ui::Event::user(ax25::kEvtQueueDrained, 1));
    return true;
  }

  void QueueDrained(ChannelWindow& channel) {
    if (!sending_) {
      runDeferred(channel);
      return;
    }
    if (channel.sessionState() != channels::SessionState::Connected) return;
    std::vector<std::string> shown;
    const std::string block = file_.NextBlock(
        [&](const std::string& l) { return mode_.expandMacros ? expand(channel, l) : l; }, shown);
    if (!block.empty()) {
      for (const std::string& l : shown) channel.ShowText(l, ui::kRed);
      channel.SendData({reinterpret_cast<const std::uint8_t*>(block.data()), block.size()});
      return;
    }
    finishFile(channel);
  }

  void StopSending(ChannelWindow& channel, bool clearDeferred) {
    closeFile(false);
    listPath_.clear();
    sending_ = false;
    channel.SetState(channels::kLampSqueue, 0);
    channel.SetCheck(channels::kChSnd, 0);
    if (clearDeferred) deferred_.clear();
  }

  void Goodbye(ChannelWindow& channel) {
    SendMode mode;
    mode.expandMacros = mode.disconnectAfter = mode.noClosingReply = true;
    // Without a goodbye text the station still asked to leave.
    if (!SendFile(channel, cnfPath() + "GOODBYE.TXT", mode)) channel.Disconnect(false);
  }

  const std::string& capturePath() const { return capturePath_; }

  void Tick() {
    ChannelWindow* channel = app_.toolkit().findAs<ChannelWindow>(channel_);
    if (welcomeTicks_ > 0 && --welcomeTicks_ == 0 && channel) welcome(*channel);
    if (exitTicks_ > 0 && --exitTicks_ == 0 && app_.mainWindow != ui::kNoWindow)
      app_.toolkit().sendUser(app_.mainWindow, channels::kEvtMainClose);
    if (welcomeTicks_ <= 0 && exitTicks_ <= 0) stopTimer();
  }

  void Destroyed() {
    stopTimer();
    closeFile(false);
  }

 private:
  // --- helpers ---------------------------------------------------------------------------

  std::optional<StationInfo> stationInfo(ChannelWindow& channel) const {
    if (!hooks_.station) return std::nullopt;
    return hooks_.station(channel.remoteText());
  }

  std::string expand(ChannelWindow& channel, const std::string& text) {
    if (app_.hooks().expandMacros) return app_.hooks().expandMacros(app_, channel.id(), text);
    return text;
  }

  std::string cnfPath() { return app_.config().GetSetting(kSettingCnfPath); }
  // The directory of D, G, DE, CA, PL and the bound every name there must
  // stay in.
  std::string fileDir() { return remoteDir_.empty() ? app_.config().GetSetting(kSettingPubPath) : remoteDir_; }
  std::string remoteBound(const core::LevelRecord& level) {
    return level.home.empty() ? app_.config().GetSetting(kSettingPubPath) : WithSlash(level.home);
  }
  std::string saveBound() { return app_.config().GetSetting(kSettingSavePath); }

  void startTimer(ui::Toolkit& tk) {
    if (timer_ == 0) timer_ = tk.createTimer(window_, 1000);
  }
  void stopTimer() {
    if (timer_ != 0) app_.toolkit().destroyTimer(timer_);
    timer_ = 0;
  }

  // A text file for the station, written to a temporary file that the
  // sender deletes afterwards.
  bool sendTemporary(ChannelWindow& channel, const std::string& text) {
    const std::string path = app_.config().GetSetting(kSettingTempFile);
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      if (!out || !(out << text)) return false;
    }
    SendMode mode;
    mode.deleteAfter = true;
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

  void closeFile(bool replaced) {
    (void)replaced;
    const bool remove = file_.isOpen() && mode_.deleteAfter;
    file_.Close();
    if (remove) {
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }

  void finishFile(ChannelWindow& channel) {
    closeFile(false);
    if (mode_.disconnectAfter) {
      sending_ = false;
      channel.SetState(channels::kLampSqueue, 0);
      channel.SetCheck(channels::kChSnd, 0);
      channel.Disconnect(false);
      return;
    }
    if (!listPath_.empty()) {
      std::ifstream list(listPath_);
      std::string entry;
      bool found = false;
      while (std::getline(list, entry)) {
        if (found) {
          const std::string listPath = listPath_;
          if (SendFile(channel, entry, SendMode{})) {
            listPath_ = listPath;
            return;
          }
          continue;  // gone since the listing: the next one
        }
        found = entry == path_;
      }
      list.close();
      std::error_code ec;
      fs::remove(listPath_, ec);
      listPath_.clear();
    }
    sending_ = false;
    channel.SetState(channels::kLampSqueue, 0);
    channel.SetCheck(channels::kChSnd, 0);
    if (!deferred_.empty()) {
      runDeferred(channel);
    } else if (!mode_.noClosingReply) {
      Reply(channel, "");
    }
    mode_.noClosingReply = false;
  }

  void runDeferred(ChannelWindow& channel) {
    if (deferred_.empty()) return;
    const std::string line = std::move(deferred_);
    deferred_.clear();
    counter_ = 0;
    Line(channel, line, deferredOrigin_);
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
           const StationInfo& station, const core::LevelRecord& level) {
    const auto illegal = [&] { Reply(channel, FillReply(channel.Text("ILLCMD"), {line}) + "\r"); };
    switch (cmd) {
      case Cmd::Access: Reply(channel, level.access + "\r"); return;
      case Cmd::Binary: binary(channel, ArgumentUpTo(argument, ' ', 2)); return;
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
        startTimer(channel.toolkit());
        return;
      case Cmd::Echo: {
        const std::string text = ArgumentUpTo(argument, '|', 79);
        Reply(channel, text.empty() ? text : text + "\r");
        return;
      }
      case Cmd::Get:
        if (c2 == 'B') return illegal();  // no uuencoded sending in this program yet
        get(channel, ArgumentUpTo(argument, ' ', kNameLimit), level);
        return;
      case Cmd::Help: help(channel, ArgumentUpTo(argument, '|', 7)); return;
      case Cmd::Info:
        if (!sendText(channel, cnfPath() + "INFO.TXT")) Reply(channel, "");
        return;
      case Cmd::LastCon:
        if (!hooks_.station) return illegal();
        Reply(channel, FillReply(channel.Text("LASTCON"), {station.lastConnect}) + "\r");
        return;
      case Cmd::Minimise: Reply(channel, ""); return;  // the toolkit has no minimised state
      case Cmd::Mail: {
        const std::string subject(argument);
        if (hooks_.startMail && hooks_.startMail(channel, channel.remoteText(), subject))
          SendDirectly(channel, channel.Text("MAILEND") + "\r");
        else
          SendDirectly(channel, channel.Text("MAILNO") + "\r");
        return;
      }
      case Cmd::Name:
      case Cmd::Qth: {
        const bool name = cmd == Cmd::Name;
        const auto& store = name ? hooks_.storeName : hooks_.storeQth;
        if (!store) return illegal();
        std::string value = ArgumentUpTo(argument, '|', 40);
        if (!value.empty()) store(channel.remoteText(), value);
        else value = name ? station.name : station.qth;
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
        const std::string text = ArgumentUpTo(argument, '|', 31);
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
      // Parts this program does not have yet: the connection list, link
      // statistics texts, XMODEM and service libraries.
      case Cmd::Monitor:
      case Cmd::Statistics:
      case Cmd::XmodemReceive:
      case Cmd::XmodemSend:
      case Cmd::Services:
      case Cmd::Unknown: illegal(); return;
    }
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
      words.push_back(UpperText(std::string(rest.substr(at, end - at))));
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

  void binary(ChannelWindow& channel, const std::string& value) {
    if (!value.empty()) {
      const bool on = EqualsNoCase(value, "on");
      if (channel.autobin() != on) channel.Command(channels::kChAutobin);
      if (hooks_.abandonBinary) hooks_.abandonBinary(channel);
    }
    Reply(channel, channel.Text(channel.autobin() ? "BINON" : "BINOFF") + "\r");
  }

  void capture(ChannelWindow& channel, const std::string& value, const core::LevelRecord& level) {
    ui::FifoText* pane = ui::FindFifo(channel.toolkit(), channel.receivePane());
    if (value.empty()) {
      Reply(channel, capturePath_.empty() ? channel.Text("CANO") + "\r"
                                          : FillReply(channel.Text("CAOPEN"), {capturePath_}) + "\r");
      return;
    }
    if (EqualsNoCase(value, "off")) {
      if (capturePath_.empty()) {
        Reply(channel, channel.Text("CANO") + "\r");
        return;
      }
      const std::string closed = capturePath_;
      if (pane) pane->Capture("", false);
      channel.SetCheck(channels::kChRcv, 0);
      capturePath_.clear();
      channel.UpdateTitle();
      Reply(channel, FillReply(channel.Text("CACLOSE"), {closed}) + "\r");
      return;
    }
    const std::string shown = fileDir() + value;
    const auto path = ConfinedPath(remoteBound(level), fileDir(), value);
    bool created = false;
    if (path && !fs::is_directory(*path)) {
      created = static_cast<bool>(std::ofstream(*path, std::ios::binary | std::ios::trunc));
      // The test left an empty file; gone again, the capture starts it
      // afresh instead of asking the operator whether to append.
      std::error_code ec;
      fs::remove(*path, ec);
    }
    if (!created || !pane || pane->capturing()) {
      Reply(channel, FillReply(channel.Text("CAERR"), {shown}) + "\r");
      return;
    }
    Reply(channel, FillReply(channel.Text("CAOPEN"), {*path}) + "\r");
    pane->Capture(*path, false);
    if (!pane->capturing()) return;
    capturePath_ = *path;
    channel.SetCheck(channels::kChRcv, 1);
    channel.UpdateTitle();
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
    bool usable = !result.empty() && Within(bound, result);
    if (usable) {
      // The directory must take a file: the service writes captures there.
      const std::string probe = result + "$.$";
      std::error_code ec;
      usable = fs::is_directory(result, ec) && static_cast<bool>(std::ofstream(probe));
      fs::remove(probe, ec);
    }
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
      std::error_code ec;
      const bool removed = path && fs::is_regular_file(fs::symlink_status(*path, ec)) && fs::remove(*path, ec);
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
    for (const std::string& file : files) {
      std::error_code ec;
      fs::remove(file, ec);
    }
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
    if (!HasWildcard(name)) {
      const auto path = ConfinedPath(bound, directory, name);
      if (!path || !FileExists(*path) || !SendFile(channel, *path, SendMode{})) notFound();
      return;
    }
    const auto clean = CleanName(name);
    const std::vector<std::string> files = clean ? MatchingFiles(bound, directory, *clean) : std::vector<std::string>{};
    if (files.empty()) return notFound();
    const std::string listPath = app_.config().GetSetting(kSettingTempFile);
    {
      std::ofstream out(listPath, std::ios::binary | std::ios::trunc);
      for (const std::string& file : files) out << file << '\n';
      if (!out) return notFound();
    }
    for (const std::string& file : files) {
      if (SendFile(channel, file, SendMode{})) {
        listPath_ = listPath;
        return;
      }
    }
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
      for (const std::string& name : {topic + ".TXT", UpperText(topic) + ".TXT"}) {
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
  RemoteHooks hooks_;
  std::weak_ptr<Service> self_;
  ui::WindowId channel_ = ui::kNoWindow;
  ui::WindowId window_ = ui::kNoWindow;
  ui::TimerId timer_ = 0;
  int welcomeTicks_ = 0;
  int exitTicks_ = 0;
  bool levelTaken_ = false;
  bool promptMode_ = false;
  int counter_ = 0;
  Origin origin_ = Origin::Station;
  std::string remoteDir_;
  std::string saveDir_;
  std::string deferred_;
  Origin deferredOrigin_ = Origin::Station;
  std::string capturePath_;
  // The file sender.
  FileSender file_;
  bool sending_ = false;
  SendMode mode_;
  std::string path_;
  std::string listPath_;
};

void ServiceWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Timer: service_->Tick(); break;
    case ui::EventType::User:
      if (event.id == kEvtBlockDone) service_->BlockDone();
      break;
    case ui::EventType::Destroy: service_->Destroyed(); break;
    default: break;
  }
}

Service* FindService(ChannelWindow& channel) {
  for (const ui::WindowId child : channel.toolkit().children(channel.id()))
    if (auto* window = channel.toolkit().findAs<ServiceWindow>(child)) return &window->service();
  return nullptr;
}

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

void AddRemoteService(core::App& app, ChannelWindow& channel, channels::ChannelHooks& hooks, RemoteHooks remoteHooks) {
  auto service = std::make_shared<Service>(app, std::move(remoteHooks));
  service->setSelf(service);
  std::weak_ptr<Service> weak = service;
  auto previousLine = std::move(hooks.remoteLine);
  hooks.remoteLine = [weak, previousLine](ChannelWindow& ch, const std::string& line) {
    if (previousLine && previousLine(ch, line)) return true;
    auto s = weak.lock();
    return s && s->Line(ch, line, Origin::Station);
  };
  auto previousLocal = std::move(hooks.localCommand);
  hooks.localCommand = [weak, previousLocal](ChannelWindow& ch, const std::string& line) {
    if (auto s = weak.lock()) s->Line(ch, line, Origin::Local);
    if (previousLocal) previousLocal(ch, line);
  };
  auto previousDrained = std::move(hooks.queueDrained);
  hooks.queueDrained = [weak, previousDrained](ChannelWindow& ch) {
    if (auto s = weak.lock()) s->QueueDrained(ch);
    if (previousDrained) previousDrained(ch);
  };
  auto previousCapture = std::move(hooks.capturePath);
  hooks.capturePath = [weak, previousCapture](ChannelWindow& ch) {
    if (auto s = weak.lock(); s && !s->capturePath().empty()) return s->capturePath();
    return previousCapture ? previousCapture(ch) : std::string();
  };
  // The service window holds the state; the hooks only reach it while the
  // channel (and so its child) lives.
  service->Attach(channel);
}

bool RunRemoteLine(ChannelWindow& channel, const std::string& line, Origin origin) {
  Service* service = FindService(channel);
  return service && service->Line(channel, line, origin);
}

bool SendFile(ChannelWindow& channel, const std::string& path, SendMode mode) {
  Service* service = FindService(channel);
  return service && service->SendFile(channel, path, mode);
}

void DisconnectWithGoodbye(ChannelWindow& channel) {
  if (Service* service = FindService(channel)) service->Goodbye(channel);
}

}  // namespace tarvik::remote
