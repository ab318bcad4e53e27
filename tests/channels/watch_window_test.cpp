// Conversation watch: station A follows what B and C say to each other, from
// A's heard list. B and C talk over the shared ether; A only listens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ax25/frame_events.h"
#include "channels/heard_window.h"
#include "channels/terminal_fixture.h"
#include "channels/watch_window.h"

namespace tarvik::channels {
namespace {

namespace fs = std::filesystem;
using test::PaneLine;

class WatchWindowTest : public test::TerminalFixture {
 protected:
  void Install(const test::Terminal& t, int number) {
    const std::string name = ui::DescriptionFileName(number);
    std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream(t.dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
  }

  // The lines of the watch window's pane.
  std::vector<PaneLine> Watched(ui::WindowId watch) {
    std::vector<PaneLine> out;
    auto* form = tk.findAs<ui::Form>(watch);
    const ui::FifoText* pane = form ? ui::FindFifo(tk, form->GetCtlWindow(kWatchLines)) : nullptr;
    if (!pane) return out;
    for (int i = 0; i < pane->lines().count(); ++i) {
      const ui::FifoSlot& s = pane->lines().slot(pane->lines().oldest() + i);
      out.push_back({s.text, s.colour});
    }
    return out;
  }

  void Say(ChannelWindow* ch, const std::string& text) {
    const std::size_t before = received[ch == chB ? 1 : 0].size();
    ch->SendText(text);
    // Whatever B says reaches C, and the other way round.
    ASSERT_TRUE(ether.RunUntil([&] { return received[ch == chB ? 1 : 0].size() >= before + text.size(); }));
  }

  ChannelWindow* chB = nullptr;
  ChannelWindow* chC = nullptr;
  std::string received[2];  // what B and what C received
};

TEST_F(WatchWindowTest, FollowsBothDirectionsOfAPairFromTheHeardList) {
  test::Terminal& a = AddStation("DA1AAA", true);
  for (const int number : {1080, 1090}) Install(a, number);
  test::Terminal& b = AddStation("DB2BBB");
  test::Terminal& c = AddStation("DC3CCC");
  chB = ConnectPair(b, c);
  ASSERT_NE(chB, nullptr);
  chC = c.channel(0);
  ASSERT_NE(chC, nullptr);
  chB->setObserver({[this](std::span<const std::uint8_t> d) { received[0].append(d.begin(), d.end()); }, {}, {}});
  chC->setObserver({[this](std::span<const std::uint8_t> d) { received[1].append(d.begin(), d.end()); }, {}, {}});
  Say(chB, "before the window\r");

  // A's heard list has the pair; its Watch button opens the window.
  const ui::WindowId heard = a.forms->OpenWindowById(a.app->mainWindow, kHeardWindowNumber);
  ASSERT_NE(heard, ui::kNoWindow);
  auto* heardWindow = tk.findAs<HeardWindow>(heard);
  const ui::FifoText* heardPane = ui::FindFifo(tk, heardWindow->textPane());
  ASSERT_EQ(heardPane->lines().count(), 1);
  Do("mouse " + Win(heard) + " LISTE click 10 " +
     std::to_string(heardPane->headerHeight() + heardPane->lineHeight() / 2));
  ether.Run(500);  // a single click is told once the double-click time has passed
  Do("press " + Win(heard) + " OPEN");
  const std::vector<ui::WindowId> open = a.forms->windowsOf(kWatchNumber);
  ASSERT_EQ(open.size(), 1u);
  const ui::WindowId watch = open[0];
  EXPECT_EQ(tk.specOf(watch)->title, "DB2BBB <--> DC3CCC");
  // A second press raises it instead of opening another.
  Do("press " + Win(heard) + " OPEN");
  EXPECT_EQ(a.forms->windowsOf(kWatchNumber).size(), 1u);

  Say(chB, "hello C\r");
  Say(chC, "hi B, ");      // a line left open ...
  Say(chC, "how are you\r");  // ... is continued by the next frame
  const std::string longLine(130, 'x');
  Say(chB, longLine + "\r");
  const std::vector<PaneLine> expected{
      {"hello C", ui::kBlack},
      {"hi B, how are you", ui::kBlue},
      {std::string(127, 'x'), ui::kBlack},
      {"xxx", ui::kBlack},
  };
  EXPECT_EQ(Watched(watch), expected);

  // With FLOW on, a frame heard twice (a digipeater's copy) shows once.
  Do("check " + Win(watch) + " FLOW 1");
  const std::string text = "twice\r";
  const std::vector<std::uint8_t> info(text.begin(), text.end());
  for (int i = 0; i < 2; ++i) {
    auto frame = ax25::BuildFrame(0, 0, false, *ax25::ParseCall("DB2BBB"), *ax25::ParseCall("DC3CCC"), {},
                                  ax25::FrameType::I, ax25::CrPf::Command, ax25::kPidNoLayer3, 0, 6, info);
    tk.sendUser(a.app->taskWindow, ax25::kEvtFrameReceived, 0, std::make_unique<ax25::FrameRecord>(frame));
  }
  const std::vector<PaneLine> shown = Watched(watch);
  ASSERT_EQ(shown.size(), expected.size() + 1);
  EXPECT_EQ(shown.back(), (PaneLine{"twice", ui::kBlue}));
}

TEST(WatchLines, CutAtReturnsAndAfter127Characters) {
  WatchLines lines;
  auto texts = [](const std::vector<WatchPiece>& pieces) {
    std::vector<std::pair<std::string, bool>> out;
    for (const WatchPiece& p : pieces) out.emplace_back(p.text, p.continues);
    return out;
  };
  using V = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(texts(lines.Take("one\rtwo\r")), (V{{"one", false}, {"two", false}}));
  EXPECT_EQ(texts(lines.Take("open")), (V{{"open", false}}));
  EXPECT_EQ(texts(lines.Take(" end\rnext")), (V{{" end", true}, {"next", false}}));
  EXPECT_EQ(texts(lines.Take("\r")), (V{{"", true}}));  // the open line ends
  // The limit counts the open line's characters from the frame before.
  EXPECT_EQ(texts(lines.Take(std::string(100, 'a'))), (V{{std::string(100, 'a'), false}}));
  EXPECT_EQ(texts(lines.Take(std::string(30, 'b'))), (V{{std::string(27, 'b'), true}, {"bbb", false}}));
  EXPECT_EQ(texts(lines.Take("\n\r")), (V{{"", true}}));  // line feeds are dropped
}

TEST(SequenceFilter, SkipsFramesOutOfSequenceAfterTheFirst) {
  SequenceFilter f;
  EXPECT_TRUE(f.Pass(5));   // any at first
  EXPECT_FALSE(f.Pass(5));  // repeated
  EXPECT_TRUE(f.Pass(6));
  EXPECT_TRUE(f.Pass(7));
  EXPECT_TRUE(f.Pass(0));  // modulo 8
  EXPECT_FALSE(f.Pass(3));
  f.Reset();
  EXPECT_TRUE(f.Pass(3));
}

}  // namespace
}  // namespace tarvik::channels
