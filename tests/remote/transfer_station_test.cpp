// Two whole stations over a radio channel that loses a fifth of the frames,
// repeats some and delays them: a 300 KB binary file travels each way
// uuencoded and by XMODEM, byte for byte, and the summaries tell its size.
// And XMODEM each way over a half-duplex 1200 bit/s channel with airtime
// that loses a tenth or a fifth of the transmissions, with the link as
// shipped for such a channel.
#include <gtest/gtest.h>

#include <chrono>

#include "remote/transfer_fixture.h"

namespace tarvik::remote::test {
namespace {

constexpr std::size_t kSize = 300 * 1024;  // whole XMODEM blocks: nothing to fill up

class LossyTransfer : public TransferFixture {
 protected:
  void SetUp() override {
    const tarvik::test::AirParams lossy{0.20, 0.05, 5, 400, false, 1200, 300, 7};
    Connect(&lossy);
  }
  // Simulated time is generous: the link retries what the air loses.
  static constexpr long long kLimit = 4LL * 3600 * 1000;
  // The lines of both panes that tell how a transfer went.
  std::string Notices() {
    std::string out = "simulated " + std::to_string(air->nowMs() / 1000) + " s\n";
    for (tarvik::test::Terminal* t : {a, b})
      for (const auto& e : fs::directory_iterator(t->dir / "save"))
        out += e.path().filename().string() + " " + std::to_string(fs::file_size(e.path())) + "\n";
    for (tarvik::test::Terminal* t : {a, b})
      for (int slot = 0; slot < 8; ++slot)
        for (const auto& line : Pane(t->channel(slot)))
          if (line.text.find("XMODEM") != std::string::npos || line.text.find("isconn") != std::string::npos)
            out += t->call + ": " + line.text + "\n";
    return out;
  }
};

TEST_F(LossyTransfer, UuencodedEachWay) {
  const auto started = std::chrono::steady_clock::now();
  const std::string down = RandomData(kSize, 41), up = RandomData(kSize, 42);
  WriteFile(a->dir / "pub" / "down.bin", down);
  WriteFile(b->dir / "up.bin", up);

  // A to B: //GB, received by B's AUTOBIN.
  chB->Command(channels::kChAutobin);
  FromB("//gb down.bin");
  const std::string atBSave = (b->dir / "save" / "down.bin").string();
  ASSERT_TRUE(Wait([&] { return Has(atA, "Binary file " + atBSave + " is ok\r"); }, kLimit)) << atA.substr(0, 300);
  EXPECT_EQ(ReadFile(atBSave), down);

  // B to A: B's operator sends it uuencoded; its window sums up the size.
  FromB("//bi on");
  ASSERT_TRUE(Wait([&] { return chA->autobin(); }, kLimit));
  tk.queueFileDialogAnswer((b->dir / "up.bin").string());
  chB->Command(channels::kChSndBin);
  const std::string atASave = (a->dir / "save" / "up.bin").string();
  ASSERT_TRUE(Wait([&] { return Has(atB, "Binary file " + atASave + " is ok\r"); }, kLimit));
  EXPECT_EQ(ReadFile(atASave), up);
  ASSERT_TRUE(Wait([&] { return PaneHas(chB, {"<Tarvik send file> up.bin", ui::kBlue}); }, kLimit));
  bool summary = false;
  for (const auto& line : Pane(chB))
    summary |= line.text.rfind(std::to_string(kSize) + " Bytes sent in ", 0) == 0;
  EXPECT_TRUE(summary);
  std::printf("[ uuencoded ] %.0f s simulated, %lld frames, %lld lost, %.1f s real\n", air->nowMs() / 1000.0,
              air->framesSent(), air->framesLost(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

TEST_F(LossyTransfer, XmodemEachWay) {
  const auto started = std::chrono::steady_clock::now();
  XmodemEachWay(kSize, 43, kLimit);
  std::printf("[ xmodem ] %.0f s simulated, %lld frames, %lld lost, %.1f s real\n", air->nowMs() / 1000.0,
              air->framesSent(), air->framesLost(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// XMODEM is stop and wait: every block waits for its answer, and every lost
// transmission costs a T1 of the link underneath. Neither side may repeat a
// block or a request while the link is still recovering the last one, or
// the copies put the ends out of step.
// Loss in percent, and PERSIST: 100 keys up at once, so both ends would
// meet every time if their repeats were in step.
class XmodemOnTheAir : public TransferFixture, public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  void SetUp() override {
    tarvik::test::AirParams air;
    air.halfDuplex = true;
    air.loss = GetParam().first / 100.0;
    air.persist = GetParam().second;
    air.slotTimeMs = 100;
    air.txDelayMs = 300;
    air.txTailMs = 20;
    air.seed = static_cast<unsigned>(GetParam().first + GetParam().second / 100);
    Connect(&air, /*shipped=*/true);
  }
  static constexpr std::size_t kAirSize = 12 * 1024;
  // About 20 B/s at a fifth lost: a bound of four times that.
  static constexpr long long kLimit = 4 * 1000LL * kAirSize / 20;
};

TEST_P(XmodemOnTheAir, EachWayWithTheRightBytes) {
  XmodemEachWay(kAirSize, 51, kLimit);
  EXPECT_GT(air->transmissionsLost(), 0);
}

INSTANTIATE_TEST_SUITE_P(Loss, XmodemOnTheAir,
                         ::testing::Values(std::pair{10, 25}, std::pair{20, 25}, std::pair{20, 100}),
                         [](const ::testing::TestParamInfo<std::pair<int, int>>& p) {
                           return std::to_string(p.param.first) + "PercentPersist" + std::to_string(p.param.second);
                         });

}  // namespace
}  // namespace tarvik::remote::test
