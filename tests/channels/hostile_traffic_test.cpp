// Seeded hostile traffic against a whole station (the fuzzer's driver): no
// crash, and routing table and links stay consistent after every step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "../../fuzz/link_station_driver.h"

namespace tarvik::test {
namespace {

TEST(HostileTrafficTest, StationStaysConsistent) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tvk_hostile_" + std::to_string(::getpid()));
  const auto ini = fuzz::WriteHostileStationIni(dir);
  long linkSteps = 0;  // steps times links in use: the traffic must reach links
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(3000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    fuzz::HostileStation station(ini);
    std::span<const std::uint8_t> in(bytes);
    int step = 0;
    while (station.Step(in)) {
      ++step;
      const std::string broken = station.Check();
      ASSERT_EQ(broken, "") << "seed " << seed << " step " << step;
      linkSteps += station.SlotsInUse();
    }
  }
  EXPECT_GT(linkSteps, 40L * 1000);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::test
