// The station database among 1,000 and 10,000 stations: a lookup as a
// connect makes it (the database object lives as long as the station), the
// same lookup as a plain walk of the data file for comparison, and one
// change of a record.
//
// Argument: the number of stations.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "store/station_db.h"

namespace tarvik::store {
namespace {

namespace fs = std::filesystem;

std::string CallOf(int i) {
  char call[16];
  std::snprintf(call, sizeof call, "DL%04dX", i);
  return call;
}

void Put32(std::string& b, std::size_t at, std::int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xff);
}

// Writes a database of n stations the way the program lays it out: the
// keys of the calls DL0000X ... in order, one record each.
fs::path MakeDatabase(int n) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_dbbench_" + std::to_string(::getpid()) + "_" + std::to_string(n));
  fs::create_directories(dir);
  std::string index(static_cast<std::size_t>(kNodeSize) * static_cast<std::size_t>(n + 1), '\0');
  std::string data;
  Put32(index, 0, kNoNode);
  Put32(index, 4, n + 1);
  Put32(index, 8, n > 0 ? kNodeSize : kNoNode);
  Put32(index, 12, n > 0 ? kNodeSize * n : kNoNode);
  index[16] = static_cast<char>(kStationRecordSize & 0xff);
  index[17] = static_cast<char>(kStationRecordSize >> 8);
  index[18] = 1;
  for (int i = 1; i <= n; ++i) {
    const std::size_t at = static_cast<std::size_t>(kNodeSize * i);
    Put32(index, at, i < n ? kNodeSize * (i + 1) : kNoNode);
    Put32(index, at + 4, i > 1 ? kNodeSize * (i - 1) : kNoNode);
    const std::string key = FoldCall(CallOf(i - 1));
    std::memcpy(index.data() + at + 8, key.data(), key.size());
    StationRecord r;
    r.station = key;
    r.name = "Operator " + std::to_string(i);
    data += r.Encode();
  }
  std::ofstream(dir / "USER.IDX", std::ios::binary) << index;
  std::ofstream(dir / "USER.DAT", std::ios::binary) << data;
  return dir;
}

void BM_Lookup(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = MakeDatabase(n);
  StationDatabase db(dir.string() + "/");
  int i = 0;
  for (auto _ : state) {
    StationEntry entry;
    if (db.Lookup(CallOf((i++ * 7919) % n), entry) != kRecordFound) state.SkipWithError("not found");
    benchmark::DoNotOptimize(entry);
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_Lookup)->Arg(1000)->Arg(10000);

// What a lookup costs at least without the index: reading the data file
// and comparing the key of every record.
void BM_LinearWalkOfTheDataFile(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = MakeDatabase(n);
  int i = 0;
  for (auto _ : state) {
    const std::string key = FoldCall(CallOf((i++ * 7919) % n));
    std::ifstream in(dir / "USER.DAT", std::ios::binary);
    std::string record(kStationRecordSize, '\0');
    bool found = false;
    while (!found && in.read(record.data(), kStationRecordSize)) found = std::strcmp(record.c_str(), key.c_str()) == 0;
    if (!found) state.SkipWithError("not found");
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_LinearWalkOfTheDataFile)->Arg(1000)->Arg(10000);

// One change: the last connect of a station (what every connect writes).
void BM_UpdateOneRecord(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = MakeDatabase(n);
  StationDatabase db(dir.string() + "/");
  int i = 0;
  for (auto _ : state) {
    StationEntry entry;
    db.Lookup(CallOf((i * 7919) % n), entry);
    entry.record.lastConnect = std::to_string(i++);
    if (db.Update(entry.position, entry.record) != kRecordFound) state.SkipWithError("not written");
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_UpdateOneRecord)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvik::store
