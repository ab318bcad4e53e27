#include "remote/mail_receive.h"

#include <algorithm>

#include "channels/main_window.h"
#include "remote/remote_service.h"
#include "store/mail_capture.h"

namespace tarvik::remote {

namespace {

constexpr char kMailTaken[] = "mail is ok\r";
// What stations may leave, so that none can fill the disk: a mail's text
// of at most 64 KiB, and none while the operator has 100 unread mails.
constexpr std::size_t kStationMailLimit = 64 * 1024;
constexpr long kUnreadMailLimit = 100;

class MailReceive final : public channels::ChannelPart {
 public:
  explicit MailReceive(core::App& app) : app_(app) {}

  channels::LineStage stage() const override { return channels::LineStage::Mailbox; }

  channels::LineResult Line(channels::ChannelWindow& channel, const std::string& line) override {
    if (!capture_.active()) return channels::LineResult::Pass;
    switch (capture_.Line(line)) {
      case store::MailCapture::Result::Stored: break;
      case store::MailCapture::Result::Ended:
        ReplyToStation(channel, kMailTaken);
        tellMainWindow();
        break;
      case store::MailCapture::Result::Failed: ReplyToStation(channel, channel.Text("MAILNO") + "\r"); break;
      case store::MailCapture::Result::TooLong: break;
      case store::MailCapture::Result::Dropped:
        ReplyToStation(channel, channels::FillText(channel.Text("MAILBIG"), std::to_string(kStationMailLimit)) + "\r");
        break;
    }
    return channels::LineResult::Taken;
  }

  void Closing(channels::ChannelWindow&) override { capture_.Abandon(); }

  bool Start(channels::ChannelWindow& channel, const std::string& subject) {
    store::MailStore mail = Store(channel);
    const std::vector<store::MailEntry> entries = mail.Entries();
    if (std::count_if(entries.begin(), entries.end(), [](const store::MailEntry& e) {
          return e.status == store::kMailNew;
        }) >= kUnreadMailLimit)
      return false;
    const std::string to = channel.remoteText();
    const auto entry = mail.NewIncoming("", to, "", subject);
    if (!entry) return false;
    std::vector<std::string> fromTexts;
    if (const core::ConfigList* list = app_.config().GetConfigList(kListFromTexts))
      for (const core::ConfigListEntry& e : *list) fromTexts.push_back(e.text);
    if (capture_.Begin(mail, *entry, to, std::move(fromTexts), kStationMailLimit)) return true;
    mail.Delete(entry->number, false);
    return false;
  }

 private:
  // Section [FROM]: the texts that begin a header line naming the addressee.
  static constexpr int kListFromTexts = 4;

  store::MailStore Store(channels::ChannelWindow& channel) {
    ui::Toolkit& toolkit = channel.toolkit();
    return store::MailStore(app_.config().GetSetting(core::kSettingLogPath),
                            [&toolkit] { return toolkit.localTime(); });
  }

  void tellMainWindow() {
    if (app_.mainWindow == ui::kNoWindow) return;
    app_.toolkit().sendUser(app_.mainWindow, channels::kEvtMailNew);
  }

  core::App& app_;
  store::MailCapture capture_;
};

}  // namespace

std::unique_ptr<channels::ChannelPart> MailReceivePart(core::App& app) { return std::make_unique<MailReceive>(app); }

bool StartStationMail(channels::ChannelWindow& channel, const std::string& subject) {
  MailReceive* part = channel.FindPart<MailReceive>();
  return part && part->Start(channel, subject);
}

}  // namespace tarvik::remote
