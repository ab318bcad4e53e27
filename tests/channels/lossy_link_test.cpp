// Two Tarvik stations over a channel that loses, repeats and delays frames:
// everything sent arrives, once, in order, and both ends close the link.
#include <gtest/gtest.h>
#include <unistd.h>

#include "air.h"

namespace tarvik::test {
namespace {

struct LossyCase {
  const char* name;
  AirParams air;
  std::size_t bytes;
  LinkParams link{};
};

// A 1200 bit/s radio channel as a KISS TNC meets it, with the radio
// channel defaults the program ships (WINDOW 7, PACLEN 256, T1 10, T2 1500,
// TXDELAY 300, TXTAIL 20, PERSIST 25, SLOTTIME 100).
LossyCase OnTheAir(const char* name, double loss, int dropEvery, unsigned seed, std::size_t bytes) {
  LossyCase c{name, {}, bytes, {}};
  c.link.window = 7;
  c.link.paclen = 256;
  c.link.t1 = 10;
  c.link.t2 = 1500;
  c.air.halfDuplex = true;
  c.air.loss = loss;
  c.air.dropEvery = dropEvery;
  c.air.txDelayMs = c.link.txdelay;
  c.air.txTailMs = c.link.txtail;
  c.air.persist = c.link.persist;
  c.air.slotTimeMs = c.link.slottime;
  c.air.seed = seed;
  return c;
}

class LossyLinkTest : public ::testing::TestWithParam<LossyCase> {
 protected:
  void TearDown() override {
    a.Stop();
    b.Stop();
  }
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  Station a, b;
};

TEST_P(LossyLinkTest, BulkBothWaysArrivesCompleteAndTheLinkEndsCleanly) {
  const LossyCase& c = GetParam();
  const auto base = std::filesystem::temp_directory_path() /
                    ("tvk_lossy_" + std::to_string(::getpid()) + "_" + c.name);
  const std::string fromA = RandomBytes(c.bytes, 11), fromB = RandomBytes(c.bytes, 22);
  const LinkParams& p = c.link;
  a.Start(tk, base / "a", "DL1AAA", p);
  b.Start(tk, base / "b", "DL1BBB", p);
  // The accepting station sends its bulk as soon as the connection is there.
  b.onChannel = [&fromB](Station& s) {
    s.owner()->SendData(std::span(reinterpret_cast<const std::uint8_t*>(fromB.data()), fromB.size()));
  };
  Air air(tk, c.air);
  air.Attach(0, *a.app);
  air.Attach(1, *b.app);
  ASSERT_TRUE(air.RunUntil([&] { return a.main() && b.main(); }, 2000));

  ax25::ConnectRequest request;
  request.remote = *ax25::ParseCall("DL1BBB");
  request.own = *ax25::ParseCall("DL1AAA");
  ASSERT_TRUE(channels::OpenOutgoingChannel(*a.app, request).has_value());
  a.owner()->SendData(std::span(reinterpret_cast<const std::uint8_t*>(fromA.data()), fromA.size()));

  const bool done = air.RunUntil(
      [&] { return a.received.size() >= c.bytes && b.received.size() >= c.bytes; },
      6LL * 3600 * 1000);
  EXPECT_TRUE(done) << "A got " << a.received.size() << ", B got " << b.received.size();
  EXPECT_TRUE(a.received == fromB) << "A received " << a.received.size() << " bytes";
  EXPECT_TRUE(b.received == fromA) << "B received " << b.received.size() << " bytes";
  EXPECT_FALSE(a.ended);
  EXPECT_FALSE(b.ended);

  // A has all it wanted; its orderly disconnect ends both sides.
  a.owner()->Disconnect(false);
  EXPECT_TRUE(air.RunUntil([&] { return a.ended && b.ended; }, 600'000));
  air.RunUntil([] { return false; }, 2000);
  for (Station* s : {&a, &b}) {
    const auto* kept = dynamic_cast<channels::ChannelWindow*>(s->owner());
    EXPECT_TRUE(!s->owner() || (kept && kept->ended() && kept->link() == ui::kNoWindow));
    for (const ax25::ChannelSlot& slot : s->main()->channels().slots) EXPECT_FALSE(slot.inUse());
  }
  EXPECT_TRUE(a.statuses.back() == ax25::LinkStatus::Disconnected ||
              a.statuses.back() == ax25::LinkStatus::Refused);
  std::printf("[ %s ] %lld frames sent, %lld lost, %lld duplicated, %lld of %lld transmissions lost, "
              "%.0f s simulated\n",
              c.name, air.framesSent(), air.framesLost(), air.framesDuplicated(), air.transmissionsLost(),
              air.transmissions(), air.nowMs() / 1000.0);
}

INSTANTIATE_TEST_SUITE_P(
    Channels, LossyLinkTest,
    ::testing::Values(
        LossyCase{"Clean", AirParams{0, 0, 5, 5, false, 1200, 300, 1}, 20'000},
        LossyCase{"Loss20Duplicates5Delays", AirParams{0.20, 0.05, 5, 400, false, 1200, 300, 7},
                  200'000},
        LossyCase{"Loss20OtherSeed", AirParams{0.20, 0.05, 5, 400, false, 1200, 300, 1234},
                  200'000},
        // Both stations send at once over one half-duplex channel.
        OnTheAir("HalfDuplexClean", 0, 0, 3, 10'000),
        OnTheAir("HalfDuplexLoss10", 0.10, 0, 5, 10'000),
        OnTheAir("HalfDuplexEveryThirdLost", 0, 3, 9, 10'000)),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace tarvik::test
