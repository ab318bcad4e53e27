#include "channels/link_statistics_window.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>

#include "ax25/link.h"

namespace tarvik::channels {

namespace {

constexpr std::pair<std::string_view, int> kNames[] = {
    {"RRSND", kStatRrSnd},     {"RRRCV", kStatRrRcv},     {"RNRSND", kStatRnrSnd},
    {"RNRRCV", kStatRnrRcv},   {"REJSND", kStatRejSnd},   {"REJRCV", kStatRejRcv},
    {"ISND", kStatISnd},       {"IRCV", kStatIRcv},       {"FRMRSND", kStatFrmrSnd},
    {"FRMRRCV", kStatFrmrRcv}, {"SABMSND", kStatSabmSnd}, {"SABMRCV", kStatSabmRcv},
    {"UASND", kStatUaSnd},     {"UARCV", kStatUaRcv},     {"BSND", kStatBSnd},
    {"BRCV", kStatBRcv},       {"BRESND", kStatBreSnd},   {"BRERCV", kStatBreRcv},
    {"CON", kStatCon},         {"CONT", kStatCont},
};

bool StatisticsNames(std::string_view name, int& id) {
  return ui::LookupName(name, id, kNames);
}

ui::FormRequest StatisticsRequest(ui::WindowId parent, ui::WindowId link) {
  ui::FormRequest r;
  r.number = kStatisticsWindowNumber;
  r.resolvers = ui::Resolvers{StatisticsNames, ui::NoNames};
  r.parent = parent;
  r.argument = static_cast<std::intptr_t>(link);
  r.name = "STATISTIK";
  r.kind = ui::WindowKind::Document;
  return r;
}

std::string Number(long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", value);
  return text;
}

}  // namespace

std::array<std::string, kStatisticsValues> StatisticsTexts(const ax25::LinkStatisticsBlock& block,
                                                           ui::Clock::time_point now) {
  const ax25::LinkStatistics& s = block.statistics;
  // A clock set back before the link's creation shows no negative time.
  const long seconds =
      std::max<long>(0, static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - block.createTime).count()));
  char duration[32];
  std::snprintf(duration, sizeof duration, "%ld:%02ld", seconds / 60, seconds % 60);
  return {Number(s.sentRR),       Number(s.receivedRR),   Number(s.sentRNR),  Number(s.receivedRNR),
          Number(s.sentREJ),      Number(s.receivedREJ),  Number(s.sentI),    Number(s.receivedI),
          Number(s.sentFRMR),     Number(s.receivedFRMR), Number(s.sentSABM), Number(s.receivedSABM),
          Number(s.sentUA),       Number(s.receivedUA),   Number(s.sentBytes), Number(s.receivedBytes),
          Number(s.resentBytesSent), Number(s.resentBytesReceived), block.connectTime, duration};
}

LinkStatisticsWindow::LinkStatisticsWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent,
                                           ui::WindowId link)
    : Form(forms, StatisticsRequest(parent, link)), app_(app), link_(link) {}

ui::WindowId OpenLinkStatistics(core::App& app, ui::FormRuntime& forms, ui::WindowId parent,
                                ui::WindowId link) {
  ui::Toolkit& tk = forms.toolkit();
  for (const ui::WindowId open : forms.windowsOf(kStatisticsWindowNumber)) {
    const auto* window = tk.findAs<LinkStatisticsWindow>(open);
    if (window && window->link() == link) {
      tk.raise(open);
      return open;
    }
  }
  const ui::WindowId id = forms.open(std::make_unique<LinkStatisticsWindow>(app, forms, parent, link));
  // The link answers with its counters at once, so every value shows.
  if (id != ui::kNoWindow) ax25::LinkSetStatisticsWindow(tk, link, id);
  return id;
}

bool LinkStatisticsWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Destroy:
      // The link stops sending to a window that is gone.
      if (toolkit().exists(link_))
        toolkit().sendUser(link_, ax25::kEvtWindowClosed, static_cast<std::intptr_t>(id()));
      return true;
    case ui::EventType::User:
      if (event.id == ax25::kEvtLinkData) {
        if (const auto* block = event.as<ax25::LinkStatisticsBlock>()) show(*block);
        return true;
      }
      return false;
    default: return Form::ownerEvent(event);
  }
}

void LinkStatisticsWindow::onCommand(int command, std::intptr_t) { Command(command); }

void LinkStatisticsWindow::Command(int command) {
  switch (command) {
    case kStatExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kStatNothing: break;
    default: app_.messages().ShowMessageNumber(id(), 1, 503, command, "STATISTIK");
  }
}

void LinkStatisticsWindow::show(const ax25::LinkStatisticsBlock& block) {
  const auto texts = StatisticsTexts(block, toolkit().now());
  for (int i = 0; i < kStatisticsValues; ++i) SetCtlText(i + 1, texts[static_cast<std::size_t>(i)]);
}

namespace {

// STATISTIK of a channel.
class StatisticsPart final : public ChannelPart {
 public:
  explicit StatisticsPart(core::App& app) : app_(app) {}
  std::vector<int> commands() const override { return {kChStatistik}; }
  void Command(ChannelWindow& channel, int, std::intptr_t) override {
    OpenLinkStatistics(app_, channel.runtime(), channel.id(), channel.link());
  }

 private:
  core::App& app_;
};

}  // namespace

std::unique_ptr<ChannelPart> LinkStatisticsPart(core::App& app) { return std::make_unique<StatisticsPart>(app); }

}  // namespace tarvik::channels
