// The link statistics window: the twenty values from a counter block, and
// the window of a real link between two stations, opened from the
// channel's STATISTIK control, following the counters tick by tick and
// telling the link when it closes.

#include <fstream>
#include <sstream>

#include "ax25/link_window.h"
#include "channels/link_statistics_window.h"
#include "terminal_fixture.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
using channels::LinkStatisticsWindow;
using namespace std::chrono_literals;

TEST(StatisticsTexts, EveryValueInItsPlace) {
  ax25::LinkStatisticsBlock block;
  ax25::LinkStatistics& s = block.statistics;
  s.sentRR = 1, s.receivedRR = 2, s.sentRNR = 3, s.receivedRNR = 4, s.sentREJ = 5, s.receivedREJ = 6;
  s.sentI = 7, s.receivedI = 8, s.sentFRMR = 9, s.receivedFRMR = 10, s.sentSABM = 11, s.receivedSABM = 12;
  s.sentUA = 13, s.receivedUA = 14, s.sentBytes = 1234567, s.receivedBytes = 7654321;
  s.resentBytesSent = 17, s.resentBytesReceived = 18;
  block.connectTime = "03.04.2025 05:06";
  block.createTime = ui::Clock::time_point{} + 1000h;
  const auto texts = channels::StatisticsTexts(block, block.createTime + 75s);
  const std::pair<int, const char*> expected[] = {
      {channels::kStatRrSnd, "1"},       {channels::kStatRrRcv, "2"},       {channels::kStatRnrSnd, "3"},
      {channels::kStatRnrRcv, "4"},      {channels::kStatRejSnd, "5"},      {channels::kStatRejRcv, "6"},
      {channels::kStatISnd, "7"},        {channels::kStatIRcv, "8"},        {channels::kStatFrmrSnd, "9"},
      {channels::kStatFrmrRcv, "10"},    {channels::kStatSabmSnd, "11"},    {channels::kStatSabmRcv, "12"},
      {channels::kStatUaSnd, "13"},      {channels::kStatUaRcv, "14"},      {channels::kStatBSnd, "1234567"},
      {channels::kStatBRcv, "7654321"},  {channels::kStatBreSnd, "17"},     {channels::kStatBreRcv, "18"},
      {channels::kStatCon, "03.04.2025 05:06"}, {channels::kStatCont, "1:15"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(texts[static_cast<std::size_t>(id - 1)], text) << "value " << id;
}

TEST(StatisticsTexts, DurationIsMinutesAndTwoDigitSeconds) {
  ax25::LinkStatisticsBlock block;
  block.createTime = ui::Clock::time_point{} + 1000h;
  const std::pair<std::chrono::seconds, const char*> cases[] = {
      {0s, "0:00"}, {9s, "0:09"}, {60s, "1:00"}, {3605s, "60:05"}, {-10s, "0:00"}};
  for (const auto& [elapsed, text] : cases)
    EXPECT_EQ(channels::StatisticsTexts(block, block.createTime + elapsed)[channels::kStatCont - 1], text)
        << elapsed.count() << " s";
}

class LinkStatisticsTest : public TerminalFixture {
 protected:
  void SetUp() override {
    a_ = &AddStation("DL1AAA");
    b_ = &AddStation("DB0BBB");
    for (Terminal* t : {a_, b_}) {
      const std::string name = ui::DescriptionFileName(channels::kStatisticsWindowNumber);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / "M1100.txt");
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(t->dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
      // Unknown commands as a dialog instead of the status line.
      std::ifstream msgIn(t->dir / "TARVIK.MSG");
      std::string messages((std::istreambuf_iterator<char>(msgIn)), {});
      msgIn.close();
      messages.replace(messages.find("503 3"), 5, "503 1");
      std::ofstream(t->dir / "TARVIK.MSG", std::ios::binary) << messages;
      t->addParts = [t](channels::ChannelParts& parts) { parts.push_back(channels::LinkStatisticsPart(*t->app)); };
    }
    ca_ = ConnectPair(*a_, *b_);
    ASSERT_TRUE(ca_);
    cb_ = b_->channel(0);
    ASSERT_TRUE(cb_);
  }
  LinkStatisticsWindow* Open(ChannelWindow* ch) {
    Do("press " + Win(ch->id()) + " STATISTIK");
    const auto open = ch->runtime().windowsOf(channels::kStatisticsWindowNumber);
    for (const ui::WindowId w : open)
      if (auto* s = tk.findAs<LinkStatisticsWindow>(w); s && s->link() == ch->link()) return s;
    return nullptr;
  }
  const ax25::LinkControlBlock& Link(ChannelWindow* ch) {
    return tk.findAs<ax25::LinkWindow>(ch->link())->block();
  }

  Terminal* a_ = nullptr;
  Terminal* b_ = nullptr;
  ChannelWindow* ca_ = nullptr;
  ChannelWindow* cb_ = nullptr;
};

TEST_F(LinkStatisticsTest, OpensWithTheLinksValuesAndFollowsThem) {
  LinkStatisticsWindow* sa = Open(ca_);
  LinkStatisticsWindow* sb = Open(cb_);
  ASSERT_TRUE(sa && sb);
  EXPECT_EQ(tk.parentOf(sa->id()), ca_->id());
  // At once, before any tick: the caller sent SABM and got UA; the called
  // side counts the exchange that happened before its link existed.
  EXPECT_EQ(sa->GetCtlText(channels::kStatSabmSnd), "1");
  EXPECT_EQ(sa->GetCtlText(channels::kStatUaRcv), "1");
  EXPECT_EQ(sb->GetCtlText(channels::kStatSabmRcv), "1");
  EXPECT_EQ(sb->GetCtlText(channels::kStatUaSnd), "1");
  EXPECT_EQ(sa->GetCtlText(channels::kStatCon), ax25::LinkInfo(tk, ca_->link(), 5).value_or("?"));
  EXPECT_FALSE(sa->GetCtlText(channels::kStatCon).empty());

  Do("type " + Win(ca_->id()) + " INPUT Hello B{ENTER}");  // 8 bytes with the CR
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(cb_, {"Hello B", ui::kBlack}); }));
  ether.Run(2'000);  // the next tick brings the counters
  const ax25::LinkStatistics& la = Link(ca_).statistics;
  EXPECT_EQ(sa->GetCtlText(channels::kStatISnd), std::to_string(la.sentI));
  EXPECT_EQ(sa->GetCtlText(channels::kStatBSnd), "8");
  EXPECT_EQ(sb->GetCtlText(channels::kStatIRcv), "1");
  EXPECT_EQ(sb->GetCtlText(channels::kStatBRcv), "8");
  EXPECT_EQ(sa->GetCtlText(channels::kStatRrRcv), std::to_string(la.receivedRR));

  // Seventy-five seconds on, the duration reads 1:15 (give or take the
  // seconds already gone).
  const std::string before = sa->GetCtlText(channels::kStatCont);
  ether.Run(75'000);
  const std::string after = sa->GetCtlText(channels::kStatCont);
  const auto seconds = [](const std::string& t) {
    return std::stoi(t.substr(0, t.find(':'))) * 60 + std::stoi(t.substr(t.find(':') + 1));
  };
  EXPECT_EQ(seconds(after) - seconds(before), 75) << before << " -> " << after;
}

TEST_F(LinkStatisticsTest, OneWindowPerLinkAndClosingStopsTheCounters) {
  LinkStatisticsWindow* first = Open(ca_);
  ASSERT_TRUE(first);
  const ui::WindowId id = first->id();
  EXPECT_EQ(Open(ca_)->id(), id);  // pressed again: the same window
  EXPECT_EQ(ca_->runtime().windowsOf(channels::kStatisticsWindowNumber).size(), 1u);
  EXPECT_EQ(Link(ca_).statisticsWindow, id);

  first->Command(7);  // no such command
  ether.Run(100);
  EXPECT_TRUE(DialogShown("Unknown command: 7 STATISTIK")) << ::testing::PrintToString(Dialogs());
  EXPECT_TRUE(tk.exists(id));
  first->Command(channels::kStatNothing);
  EXPECT_TRUE(tk.exists(id));

  first->Command(channels::kStatExit);
  EXPECT_FALSE(tk.exists(id));
  EXPECT_EQ(Link(ca_).statisticsWindow, ui::kNoWindow);
  ether.Run(3'000);  // ticks go on without a window to feed
  EXPECT_TRUE(Connected(ca_));
}

TEST_F(LinkStatisticsTest, TheWindowEndsWithItsChannel) {
  LinkStatisticsWindow* s = Open(cb_);
  ASSERT_TRUE(s);
  const ui::WindowId id = s->id();
  tk.queueDialogAnswer(1);
  Do("press " + Win(ca_->id()) + " EXIT");
  ASSERT_TRUE(ether.RunUntil([&] { return b_->openChannels() == 0; }));
  EXPECT_FALSE(tk.exists(id));
}

}  // namespace
}  // namespace tarvik::test
