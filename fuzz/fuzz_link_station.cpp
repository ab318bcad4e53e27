// Hostile traffic against a whole station: routing, channel slots and links
// must never crash, leak or lose track of a held frame, whatever arrives.

#include <cstdlib>
#include <cstdio>
#include <unistd.h>

#include "link_station_driver.h"

namespace {
std::filesystem::path g_ini;  // the INI file written once per process
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_ini = tarvik::fuzz::WriteHostileStationIni(std::filesystem::temp_directory_path() /
                                               ("tvk_fuzz_link_" + std::to_string(::getpid())));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarvik::fuzz::HostileStation station(g_ini);
  std::span<const std::uint8_t> in(data, size);
  while (station.Step(in)) {
    const std::string broken = station.Check();
    if (!broken.empty()) {
      std::fprintf(stderr, "%s\n", broken.c_str());
      std::abort();
    }
  }
  return 0;
}
