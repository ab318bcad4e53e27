#include "channels/alerts.h"

#include <string>

#include "channels/channel_window.h"
#include "core/message_service.h"
#include "core/text.h"

namespace tarvik::channels {

namespace {

constexpr int kAlertSound = 1;
constexpr int kAlertNotify = 2;
constexpr int kMsgConnectedTitle = 1790;
constexpr int kMsgTextTitle = 1791;
constexpr std::size_t kShownText = 120;

int alertSetting(core::App& app, int setting, int unset) {
  const std::string value = app.config().GetSetting(setting);
  if (value.empty() || value[0] < '0' || value[0] > '3') return unset;
  return value[0] - '0';
}

class Alerts final : public ChannelPart {
 public:
  explicit Alerts(core::App& app) : app_(app) {}

  void Connected(ChannelWindow& ch) override {
    if (ch.outgoing()) return;
    alert(ch, alertSetting(app_, core::kSettingAlertConnect, 3), kMsgConnectedTitle, ch.remoteText());
  }

  void SawLine(ChannelWindow& ch, const std::string& line) override {
    if (!inBackground(ch)) {
      told_ = false;
      return;
    }
    if (told_) return;
    told_ = true;
    alert(ch, alertSetting(app_, core::kSettingAlertText, 2), kMsgTextTitle, core::PrintableLine(line, kShownText));
  }

  void Tick(ChannelWindow& ch) override {
    if (told_ && !inBackground(ch)) told_ = false;
  }

 private:
  bool inBackground(ChannelWindow& ch) const {
    return !ch.toolkit().applicationActive() || ch.toolkit().activeWindow() != ch.id();
  }

  void alert(ChannelWindow& ch, int how, int title, const std::string& text) {
    ui::Toolkit& tk = ch.toolkit();
    if (how & kAlertSound) tk.beep();
    if (!(how & kAlertNotify) || tk.applicationActive()) return;
    core::MessageLine message;
    if (!app_.messages().lookup(title, message) || !message.found || message.disabled) return;
    const std::string call = ch.stationCall().empty() ? ch.remoteText() : ch.stationCall();
    tk.notify(core::MessageService::format(message.text, std::to_string(ch.slot() + 1), call, false), text);
  }

  core::App& app_;
  bool told_ = false;
};

}  // namespace

std::unique_ptr<ChannelPart> AlertPart(core::App& app) { return std::make_unique<Alerts>(app); }

}  // namespace tarvik::channels
