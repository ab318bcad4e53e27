// The station database files (USER.IDX and USER.DAT of LOGPATH) are read
// as they are found: damaged or hostile contents are reported, never a
// crash, and never a read beyond what the files hold.
//
// Input: two bytes give the index file's length, the index file follows,
// the rest is the data file.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/station_db.h"

namespace {
std::filesystem::path g_dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = std::filesystem::temp_directory_path() / ("tvk_fuzz_db_" + std::to_string(::getpid()));
  std::filesystem::create_directories(g_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::store;
  if (size < 2) return 0;
  const std::size_t indexLength = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
  const char* bytes = reinterpret_cast<const char*>(data + 2);
  std::ofstream(g_dir / "USER.IDX", std::ios::binary | std::ios::trunc).write(bytes, static_cast<std::streamsize>(indexLength));
  std::ofstream(g_dir / "USER.DAT", std::ios::binary | std::ios::trunc)
      .write(bytes + indexLength, static_cast<std::streamsize>(size - 2 - indexLength));
  StationDatabase db(g_dir.string() + "/");
  StationEntry entry;
  db.Lookup("DB2BBB-3", entry);
  db.Lookup("DL1ABC", entry);
  std::vector<StationEntry> all;
  db.List(all);
  StationRecord record;
  for (std::int32_t position : {0, 1, 454, -1}) db.ReadAt(position, record);
  record.station = "DK0ZZZ";
  record.name = "fuzz";
  std::int32_t position = 0;
  if (db.Insert(record, position) == 0) {
    db.Update(position, record);
    db.Lookup("DK0ZZZ", entry);
    db.Remove(position);
  }
  return 0;
}
