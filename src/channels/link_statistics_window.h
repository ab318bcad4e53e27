#pragma once
// The link statistics window (window 1100): the frame and byte counters of
// one link, live. The channel's STATISTIK control opens it as a child of
// the channel window; the link then sends it its counters (user event 1130,
// ax25::LinkStatisticsBlock) at once and on every one-second tick, and the
// window rewrites all twenty values. When it closes it tells the link
// (user event 920 with its own id), which stops sending.

#include <array>
#include <string>

#include "ax25/link_control_block.h"
#include "channels/channel_window.h"
#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kStatisticsWindowNumber = 1100;

// Symbolic ids of the values, in the order of the description's contract.
enum StatisticsId : int {
  kStatExit = 0,
  kStatRrSnd = 1,
  kStatRrRcv,
  kStatRnrSnd,
  kStatRnrRcv,
  kStatRejSnd,
  kStatRejRcv,
  kStatISnd,
  kStatIRcv,
  kStatFrmrSnd,
  kStatFrmrRcv,
  kStatSabmSnd,
  kStatSabmRcv,
  kStatUaSnd,
  kStatUaRcv,
  kStatBSnd,
  kStatBRcv,
  kStatBreSnd,
  kStatBreRcv,
  kStatCon,
  kStatCont = 20,
  kStatNothing = 1001,
};
inline constexpr int kStatisticsValues = 20;

// The texts of the values 1..20 (index 0 is value 1) for a block seen at
// `now`: counters in decimal, the connect time as the link keeps it, and
// the time since the link was created as minutes ":" two-digit seconds.
std::array<std::string, kStatisticsValues> StatisticsTexts(const ax25::LinkStatisticsBlock& block,
                                                           ui::Clock::time_point now);

class LinkStatisticsWindow final : public ui::Form {
 public:
  LinkStatisticsWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, ui::WindowId link);

  ui::WindowId link() const { return link_; }
  // Command 0 closes, 1001 does nothing, any other shows message 503.
  void Command(int command);

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void show(const ax25::LinkStatisticsBlock& block);

  core::App& app_;
  ui::WindowId link_;
};

// Opens the statistics window of `link` as a child of `parent` (the
// link's channel), or raises the one already open for that link.
ui::WindowId OpenLinkStatistics(core::App& app, ui::FormRuntime& forms, ui::WindowId parent,
                                ui::WindowId link);

// The channel part of the STATISTIK control: it opens the statistics
// window of the channel's link.
std::unique_ptr<ChannelPart> LinkStatisticsPart(core::App& app);

}  // namespace tarvik::channels
