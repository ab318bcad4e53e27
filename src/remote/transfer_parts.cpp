#include "remote/transfer_parts.h"

#include <fstream>
#include <optional>

#include "channels/capture_send.h"
#include "core/atomic_file.h"
#include "remote/progress_window.h"
#include "remote/remote_service.h"
#include "remote/sevenplus.h"
#include "remote/uu_receiver.h"
#include "remote/uu_sender.h"
#include "remote/xmodem_part.h"

namespace tarvik::remote {

using channels::ChannelWindow;

namespace {

constexpr int kMsgCopyFailed = 1023;
constexpr int kMsgRenameFailed = 1021;

ProgressWindow* FindProgress(ChannelWindow& channel, ui::WindowId window) {
  return window == ui::kNoWindow ? nullptr : channel.toolkit().findAs<ProgressWindow>(window);
}

// The uuencode receiver, AUTOBIN, SNDBIN, the send progress window and
// the summaries.
class BinaryTransfer final : public channels::ChannelPart {
 public:
  BinaryTransfer(core::App& app, TransferHooks hooks) : app_(app), hooks_(std::move(hooks)) {}

  channels::LineStage stage() const override { return channels::LineStage::Binary; }
  std::vector<int> commands() const override { return {channels::kChAutobin, channels::kChSndBin}; }

  channels::LineResult Line(ChannelWindow& channel, const std::string& line) override {
    const std::string savePath = app_.config().GetSetting(core::kSettingSavePath);
    const UuEvent event = receiver_.Line(line, SaveDirectory(channel, savePath), savePath,
                                         [this] { return app_.config().GetSetting(core::kSettingTempFile); });
    using Kind = UuEvent::Kind;
    switch (event.kind) {
      case Kind::Pass: return channels::LineResult::Pass;
      case Kind::Data: return channels::LineResult::Taken;
      case Kind::Started:
        if (scriptRunning(channel)) {
          channel.ShowText(event.text, ui::kBlue);
        } else {
          channel.ShowText(event.text, ui::kRed);
          channel.SendText(event.text + "\r");
        }
        break;
      case Kind::CannotOpen:
        if (scriptRunning(channel)) channel.ShowText(event.text, ui::kBlue);
        else ReplyToStation(channel, event.text + "\r");
        break;
      case Kind::Good:
      case Kind::Bad:
        if (hooks_.setTransfer) hooks_.setTransfer(channel, event.kind == Kind::Good ? "OK" : "ERROR");
        ReplyToStation(channel, event.text + "\r");
        break;
      case Kind::CopyFailed:
        if (hooks_.setTransfer) hooks_.setTransfer(channel, "ERROR");
        app_.ShowMessage(channel.id(), 1, kMsgCopyFailed, event.text);
        break;
    }
    return channels::LineResult::Taken;
  }

  void Command(ChannelWindow& channel, int command, std::intptr_t) override {
    // The switch has changed (the channel keeps it): a reception running
    // ends without a result.
    if (command == channels::kChAutobin) receiver_.Abandon();
    else if (command == channels::kChSndBin) sendBinary(channel);
  }

  bool UserEvent(ChannelWindow& channel, ui::Event& event) override {
    switch (event.id) {
      case channels::kEvtSendStart:
        if (const auto* start = event.as<channels::SendProgressArgument>()) {
          closeWindow(channel);
          window_ = OpenProgressWindow(channel.runtime(), kSendWindowNumber, channel.id());
          name_ = start->name;
          if (ProgressWindow* w = FindProgress(channel, window_)) w->Start(name_, start->size, 0);
        }
        return true;
      case channels::kEvtSendProgress:
        if (ProgressWindow* w = FindProgress(channel, window_)) w->Add(static_cast<std::uintmax_t>(event.arg));
        return true;
      case channels::kEvtSendEnd:
        if (ProgressWindow* w = FindProgress(channel, window_)) w->Finish("<Tarvik send file> ", name_, "sent");
        window_ = ui::kNoWindow;
        return true;
      case channels::kEvtSendBroken: closeWindow(channel); return true;
      case kEvtSummary:
        if (const auto* text = event.as<ui::TextPayload>()) showSummary(channel, text->text);
        return true;
      default: return false;
    }
  }

  void Closing(ChannelWindow&) override { receiver_.Abandon(); }

 private:
  bool scriptRunning(ChannelWindow& channel) { return hooks_.scriptRunning && hooks_.scriptRunning(channel); }

  void closeWindow(ChannelWindow& channel) {
    if (FindProgress(channel, window_)) channel.toolkit().destroy(window_);
    window_ = ui::kNoWindow;
  }

  // The summary's lines, blue; nothing is sent.
  static void showSummary(ChannelWindow& channel, std::string_view text) {
    while (!text.empty()) {
      const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
      if (end > 0) channel.ShowText(text.substr(0, end), ui::kBlue);
      text.remove_prefix(std::min(end + 1, text.size()));
    }
  }

  // The operator's SNDBIN: any file, uuencoded, with the progress window.
  void sendBinary(ChannelWindow& channel) {
    if (channel.fileSender().sending()) {
      channel.fileSender().Stop(channel);
      return;
    }
    const std::optional<std::string> last = channels::RememberedSendFile(app_);
    channels::SendDialogStart start =
        channels::SendDialogStartFrom(last, app_.config().GetSetting(core::kSettingSavePath));
    if (!last || last->empty()) start.filter = "*.*";
    const std::optional<std::string> path =
        channel.toolkit().fileDialog(false, channel.Text("SNDBIN"), start.directory, start.filter);
    if (!path || path->empty()) {
      channel.SetCheck(channels::kChSndBin, 0);
      return;
    }
    channels::RememberSendFile(app_, *path);
    channels::FileSendRequest request;
    request.path = *path;
    request.requester = this;
    request.encoder = UuencodeEncoder();
    request.showProgress = true;
    if (!channel.fileSender().Start(channel, std::move(request)))
      app_.ShowMessage(channel.id(), 1, channels::kMsgCannotOpen, *path);
  }

  core::App& app_;
  TransferHooks hooks_;
  UuReceiver receiver_;
  ui::WindowId window_ = ui::kNoWindow;
  std::string name_;
};

// The 7PLUS and text capture with window 1150.
class SevenPlusTransfer final : public channels::ChannelPart {
 public:
  explicit SevenPlusTransfer(core::App& app) : app_(app) {}

  channels::LineStage stage() const override { return channels::LineStage::SevenPlus; }
  std::vector<int> commands() const override { return {channels::kChAuto7pl}; }

  channels::LineResult Line(ChannelWindow& channel, const std::string& line) override {
    if (!channel.auto7pl()) {
      stop(channel);
      return channels::LineResult::Pass;
    }
    const core::ConfigRecord& record = app_.config().Record();
    const SevenPlusMarkers markers{record.sevenPlusGo, record.sevenPlusStop, record.goText, record.stopText};
    const SevenPlusLine kind = ClassifySevenPlusLine(line, markers);
    const bool capturing = capture_.open();
    switch (kind) {
      case SevenPlusLine::StartPart:
      case SevenPlusLine::StartText: start(channel, line, kind, markers); return channels::LineResult::Taken;
      case SevenPlusLine::Stop:
        if (capturing) finish(channel, line);
        return channels::LineResult::Taken;
      case SevenPlusLine::Other:
        if (!capturing) return channels::LineResult::Pass;
        capture_.Data(line);
        if (ProgressWindow* w = FindProgress(channel, window_)) w->Add(line.size() + 2);
        return channels::LineResult::Taken;
    }
    return channels::LineResult::Pass;
  }

  void Command(ChannelWindow& channel, int command, std::intptr_t) override {
    if (command == channels::kChAuto7pl && !channel.auto7pl()) stop(channel);
  }

  void Closing(ChannelWindow&) override { capture_.Close(); }

 private:
  SevenPlusCapture::Places places() {
    return {app_.config().GetSetting(core::kSettingSavePath),
            [this] { return app_.config().GetSetting(core::kSettingRunningNumber); }};
  }

  void start(ChannelWindow& channel, const std::string& line, SevenPlusLine kind, const SevenPlusMarkers& markers) {
    const SevenPlusCapture::Started started = capture_.Start(line, kind, markers, places());
    if (!started.ok) {
      channel.SetState(channels::kLampIsAuto7pl, 0);
      return;
    }
    ProgressWindow* w = FindProgress(channel, window_);
    if (!w) {
      window_ = OpenProgressWindow(channel.runtime(), kCaptureWindowNumber, channel.id());
      w = FindProgress(channel, window_);
    }
    if (w) w->Start(started.shownName, started.expected, started.bytes);
    channel.SetState(channels::kLampIsAuto7pl, 1);
  }

  void finish(ChannelWindow& channel, const std::string& line) {
    const SevenPlusCapture::Stopped stopped = capture_.Stop(line, places());
    channel.SetState(channels::kLampIsAuto7pl, 0);
    if (stopped.moveFailed) app_.ShowMessage(channel.id(), 1, kMsgRenameFailed, stopped.moveText);
    ProgressWindow* w = FindProgress(channel, window_);
    if (w) {
      w->Add(line.size());
      w->Finish("<Tarvik Auto 7Plus> ", stopped.name, "received");
    }
  }

  void stop(ChannelWindow& channel) {
    capture_.Close();
    if (FindProgress(channel, window_)) channel.toolkit().destroy(window_);
    window_ = ui::kNoWindow;
    channel.SetState(channels::kLampIsAuto7pl, 0);
  }

  core::App& app_;
  SevenPlusCapture capture_;
  ui::WindowId window_ = ui::kNoWindow;
};

}  // namespace

std::unique_ptr<channels::ChannelPart> BinaryTransferPart(core::App& app, TransferHooks hooks) {
  return std::make_unique<BinaryTransfer>(app, std::move(hooks));
}

std::unique_ptr<channels::ChannelPart> SevenPlusPart(core::App& app) { return std::make_unique<SevenPlusTransfer>(app); }

std::unique_ptr<channels::ChannelPart> XmodemPart(core::App&) { return std::make_unique<XmodemTransfer>(); }

}  // namespace tarvik::remote
