// Received text against a whole station's channel: lines, partial lines,
// any bytes, and many "//" commands at every access level. Nothing may
// crash, block, or change anything outside the public directory.
//
// Input: one byte for the level (0 to 3), then blocks, each led by one
// byte: 0 is a heartbeat tick; otherwise the low 7 bits are the length of
// the block's bytes that follow, and with the high bit set they are sent
// as a command line ("//" before, CR after).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "remote_station_driver.h"

namespace {
std::unique_ptr<tarvik::fuzz::RemoteStationFiles> g_files;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every connection writes the station database (synced to disk): in
  // memory when the machine has a memory file system.
  std::error_code ec;
  const std::filesystem::path base =
      std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
  g_files = std::make_unique<tarvik::fuzz::RemoteStationFiles>(base / ("tvk_fuzz_remote_" + std::to_string(::getpid())));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  g_files->Prepare(data[0] & 3);
  {
    tarvik::fuzz::RemoteStation station(g_files->ini());
    std::size_t at = 1;
    while (at < size) {
      const std::uint8_t head = data[at++];
      if (head == 0) {
        station.Tick();
        continue;
      }
      const std::size_t length = std::min<std::size_t>(head & 0x7f, size - at);
      std::vector<std::uint8_t> block;
      if (head & 0x80) block = {'/', '/'};
      block.insert(block.end(), data + at, data + at + length);
      if (head & 0x80) block.push_back('\r');
      at += length;
      station.Received(block);
    }
  }
  if (const std::string changed = g_files->Changed(); !changed.empty()) {
    std::fprintf(stderr, "%s\n", changed.c_str());
    std::abort();
  }
  return 0;
}
