#include "channels/capture_send.h"

#include <fstream>
#include <utility>

#include "core/atomic_file.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

namespace {

constexpr std::size_t kProposalCallLength = 7;

std::string WithoutLastCharacter(std::string text) {
  if (!text.empty()) text.pop_back();
  return text;
}

// RCV and SND of one channel.
class CaptureAndSend final : public ChannelPart {
 public:
  explicit CaptureAndSend(core::App& app) : app_(app) {}

  std::vector<int> commands() const override { return {kChRcv, kChSnd}; }

  void Command(ChannelWindow& channel, int command, std::intptr_t argument) override {
    if (command == kChRcv) captureCommand(channel, argument);
    else if (command == kChSnd) sendCommand(channel);
  }

  bool Answered(ChannelWindow& channel, int answer, int message) override {
    if (message != kMsgCaptureRunning) return false;
    if (answer == core::kAnswerYes) channel.StopCapture();
    else channel.SetCheck(kChRcv, !channel.capturePath().empty());
    return true;
  }

 private:
  void captureCommand(ChannelWindow& channel, std::intptr_t argument) {
    if (!channel.capturePath().empty()) {
      // The click toggled the mark; it shows the capture until the answer.
      // A station's capture is the channel's too: the operator may end it,
      // and the station learns it when it asks.
      channel.SetCheck(kChRcv, 1);
      app_.ShowMessage(channel.id(), 2, kMsgCaptureRunning, channel.remoteText(), channel.capturePath());
      return;
    }
    const std::string directory = WithoutLastCharacter(app_.config().GetSetting(core::kSettingSavePath));
    const std::optional<std::string> path = channel.toolkit().fileDialog(
        true, channel.Text("CAPT"), directory, CaptureProposal(channel.remoteText()));
    if (!path || path->empty()) {
      channel.SetCheck(kChRcv, 0);
      return;
    }
    if (!channel.StartCapture(*path, argument == 1, CaptureOwner::Operator)) {
      // Nothing would be written: the operator learns it now, not when
      // the file turns out empty.
      channel.SetCheck(kChRcv, 0);
      app_.ShowMessage(channel.id(), 1, kMsgCannotOpen, *path);
    }
  }

  void sendCommand(ChannelWindow& channel) {
    // SND while a file goes out (the operator's or one a station fetches)
    // stops it: one file at a time on a channel.
    if (channel.fileSender().sending()) {
      channel.fileSender().Stop(channel);
      return;
    }
    const SendDialogStart start =
        SendDialogStartFrom(RememberedSendFile(app_), app_.config().GetSetting(core::kSettingSavePath));
    const std::optional<std::string> path =
        channel.toolkit().fileDialog(false, channel.Text("SNDTXT"), start.directory, start.filter);
    if (!path || path->empty()) {
      channel.SetCheck(kChSnd, 0);
      return;
    }
    RememberSendFile(app_, *path);
    FileSendRequest request;
    request.path = *path;
    request.requester = this;
    request.showProgress = true;  // window 1160, when the station has it
    if (!channel.fileSender().Start(channel, std::move(request))) {
      // Indicators and controls stay as they were; the operator is told.
      channel.SetCheck(kChSnd, 0);
      app_.ShowMessage(channel.id(), 1, kMsgCannotOpen, *path);
    }
  }

  core::App& app_;
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

namespace {
std::string SendDirPath(core::App& app) {
  return app.config().GetSetting(core::kSettingTmpPath) + std::string(kSendDirFile);
}
}  // namespace

void RememberSendFile(core::App& app, const std::string& path) {
  core::WriteFileAtomically(SendDirPath(app), path + "\n");
}

std::optional<std::string> RememberedSendFile(core::App& app) {
  std::ifstream in(SendDirPath(app), std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::unique_ptr<ChannelPart> CaptureAndSendPart(core::App& app) { return std::make_unique<CaptureAndSend>(app); }

}  // namespace tarvik::channels
