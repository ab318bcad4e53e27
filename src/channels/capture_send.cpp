#include "channels/capture_send.h"

#include <fstream>
#include <utility>

#include "core/atomic_file.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

namespace {

constexpr int kSettingSavePath = 3;
constexpr int kSettingTmpPath = 5;
constexpr std::size_t kProposalCallLength = 7;

std::string WithoutLastCharacter(std::string text) {
  if (!text.empty()) text.pop_back();
  return text;
}

std::optional<std::string> FirstLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// What one channel keeps about its capture and its file being sent.
class CaptureAndSend {
 public:
  explicit CaptureAndSend(core::App& app) : app_(app) {}

  void captureCommand(ChannelWindow& channel, std::intptr_t argument) {
    if (!capturePath_.empty()) {
      // The click toggled the mark; it shows the capture until the answer.
      channel.SetCheck(kChRcv, 1);
      app_.ShowMessage(channel.id(), 2, kMsgCaptureRunning, channel.remoteText(), capturePath_);
      return;
    }
    const std::string directory = WithoutLastCharacter(app_.config().GetSetting(kSettingSavePath));
    const std::optional<std::string> path = channel.toolkit().fileDialog(
        true, channel.Text("CAPT"), directory, CaptureProposal(channel.remoteText()));
    ui::FifoText* pane = ui::FindFifo(channel.toolkit(), channel.receivePane());
    if (!path || path->empty() || !pane) {
      channel.SetCheck(kChRcv, 0);
      return;
    }
    pane->Capture(*path, argument == 1);
    if (!pane->capturing() && !pane->captureQuestionOpen()) {
      // Nothing would be written: the operator learns it now, not when
      // the file turns out empty.
      channel.SetCheck(kChRcv, 0);
      app_.ShowMessage(channel.id(), 1, kMsgCannotOpen, *path);
      return;
    }
    capturePath_ = *path;
    channel.UpdateTitle();
    channel.SetCheck(kChRcv, 1);
  }

  void stopCapture(ChannelWindow& channel) {
    capturePath_.clear();
    if (ui::FifoText* pane = ui::FindFifo(channel.toolkit(), channel.receivePane())) pane->Capture("", false);
    channel.UpdateTitle();
    channel.SetCheck(kChRcv, 0);
  }

  void answered(ChannelWindow& channel, int answer, int message) {
    if (message != kMsgCaptureRunning) return;
    if (answer == core::kAnswerYes) stopCapture(channel);
    else channel.SetCheck(kChRcv, !capturePath_.empty());
  }

  const std::string& capturePath() const { return capturePath_; }

  void sendCommand(ChannelWindow& channel) {
    if (sending_) {
      stopSending(channel);
      return;
    }
    const std::string remembered = app_.config().GetSetting(kSettingTmpPath) + std::string(kSendDirFile);
    const SendDialogStart start =
        SendDialogStartFrom(FirstLine(remembered), app_.config().GetSetting(kSettingSavePath));
    const std::optional<std::string> path =
        channel.toolkit().fileDialog(false, channel.Text("SNDTXT"), start.directory, start.filter);
    if (!path || path->empty()) {
      channel.SetCheck(kChSnd, 0);
      return;
    }
    sendPath_ = *path;
    core::WriteFileAtomically(remembered, sendPath_ + "\n");
    startSending(channel);
  }

  // The link's queue has drained: the next block, or the end of the file.
  void step(ChannelWindow& channel) {
    if (!sending_ || channel.sessionState() != SessionState::Connected) return;
    std::vector<std::string> lines;
    const std::string block = file_.NextBlock(&lines);
    if (block.empty()) {
      finish(channel);
      return;
    }
    for (const std::string& line : lines) channel.ShowText(line, ui::kRed);
    channel.SendData(Bytes(block));
  }

 private:
  void startSending(ChannelWindow& channel) {
    file_.Close();
    sending_ = false;
    if (!file_.Open(sendPath_)) {
      // Indicators and controls stay as they were; the operator is told.
      channel.SetCheck(kChSnd, 0);
      app_.ShowMessage(channel.id(), 1, kMsgCannotOpen, sendPath_);
      return;
    }
    sending_ = true;
    channel.SetState(kLampSqueue, 1);
    channel.SetCheck(kChSnd, 1);
    // The first block goes out as soon as the channel takes its events.
    channel.toolkit().post(channel.id(), ui::Event::user(ax25::kEvtQueueDrained, 1));
  }

  void stopSending(ChannelWindow& channel) { finish(channel); }

  void finish(ChannelWindow& channel) {
    file_.Close();
    sending_ = false;
    channel.SetState(kLampSqueue, 0);
    channel.SetCheck(kChSnd, 0);
  }

  core::App& app_;
  std::string capturePath_;
  std::string sendPath_;
  TextFileSender file_;
  bool sending_ = false;
};

}  // namespace

std::string CaptureProposal(std::string_view remoteCall) {
  std::string_view call = remoteCall.substr(0, remoteCall.find('-'));
  return std::string(call.substr(0, kProposalCallLength)) + ".txt";
}

SendDialogStart SendDialogStartFrom(const std::optional<std::string>& remembered, std::string_view savePath) {
  if (remembered && !remembered->empty()) {
    const std::size_t slash = remembered->rfind('/');
    const std::string name = slash == std::string::npos ? *remembered : remembered->substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return {slash == std::string::npos ? std::string() : remembered->substr(0, slash),
            "*" + (dot == std::string::npos ? std::string() : name.substr(dot))};
  }
  return {WithoutLastCharacter(std::string(savePath)), "*.txt"};
}

bool TextFileSender::Open(const std::string& path) {
  Close();
  file_.reset(std::fopen(path.c_str(), "rb"));
  return file_ != nullptr;
}

std::string TextFileSender::NextBlock(std::vector<std::string>* lines) {
  std::string block = std::move(carry_);
  carry_.clear();
  if (!file_) return block;
  char buffer[kSendLineLimit + 1];
  while (block.size() < kSendBlockLimit && std::fgets(buffer, sizeof buffer, file_.get())) {
    std::string line(buffer);
    // A line end becomes the carriage return of the air; a CR LF pair (a
    // file written on another system) is one line end, not two.
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (lines) lines->push_back(line);
      line += '\r';
    } else if (lines) {
      lines->push_back(line);
    }
    const std::size_t room = kSendBlockLimit - block.size();
    block.append(line, 0, std::min(room, line.size()));
    if (line.size() > room) carry_ = line.substr(room);
  }
  return block;
}

void AddCaptureAndSend(core::App& app, ChannelHooks& hooks) {
  auto state = std::make_shared<CaptureAndSend>(app);
  hooks.commands[kChRcv] = [state](ChannelWindow& ch, std::intptr_t argument) { state->captureCommand(ch, argument); };
  hooks.commands[kChSnd] = [state](ChannelWindow& ch, std::intptr_t) { state->sendCommand(ch); };
  hooks.capturePath = [state](ChannelWindow&) { return state->capturePath(); };
  auto previousAnswer = std::move(hooks.answered);
  hooks.answered = [state, previousAnswer](ChannelWindow& ch, int answer, int message) {
    state->answered(ch, answer, message);
    if (previousAnswer) previousAnswer(ch, answer, message);
  };
  auto previousDrained = std::move(hooks.queueDrained);
  hooks.queueDrained = [state, previousDrained](ChannelWindow& ch) {
    state->step(ch);
    if (previousDrained) previousDrained(ch);
  };
}

}  // namespace tarvik::channels
