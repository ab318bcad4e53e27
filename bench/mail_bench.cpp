// The mail store with 1,000 and 10,000 messages: opening the mail list as
// its window does (the directory read and the display file written), and
// one change of a message's status (the directory rewritten whole).
//
// Argument: the number of messages.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/atomic_file.h"
#include "store/mail_store.h"

namespace tarvik::store {
namespace {

namespace fs = std::filesystem;

fs::path MakeStore(int n) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_mailbench_" + std::to_string(::getpid()) + "_" + std::to_string(n));
  fs::create_directories(dir);
  std::string directory;
  for (int i = 0; i < n; ++i) {
    MailEntry e{1 + i % 5, i, "07.03.2026 12:05", "DL" + std::to_string(i) + "X @ DB0ABC.#BAY.DEU.EU",
                "DB0ABC", "Subject of message number " + std::to_string(i)};
    directory += FormatMailLine(e);
  }
  std::ofstream(dir / "MAIL.DAT", std::ios::binary) << directory;
  return dir;
}

void BM_OpenMailList(benchmark::State& state) {
  const fs::path dir = MakeStore(static_cast<int>(state.range(0)));
  MailStore mail(dir.string() + "/");
  const std::string display = (dir / "00000001.$$$").string();
  for (auto _ : state) {
    std::string contents;
    for (const MailEntry& e : mail.Entries())
      if (e.status != kMailIncomplete) contents += MailListLine(e) + "\n";
    benchmark::DoNotOptimize(core::WriteFileAtomically(display, contents));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  fs::remove_all(dir);
}
BENCHMARK(BM_OpenMailList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The directory alone, without the display file.
void BM_ReadDirectory(benchmark::State& state) {
  const fs::path dir = MakeStore(static_cast<int>(state.range(0)));
  MailStore mail(dir.string() + "/");
  for (auto _ : state) benchmark::DoNotOptimize(mail.Entries());
  state.SetItemsProcessed(state.iterations() * state.range(0));
  fs::remove_all(dir);
}
BENCHMARK(BM_ReadDirectory)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ChangeStatus(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = MakeStore(n);
  MailStore mail(dir.string() + "/");
  int status = kMailRead;
  for (auto _ : state) {
    status = status == kMailRead ? kMailNew : kMailRead;
    benchmark::DoNotOptimize(mail.SetStatus(n / 2, status));
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_ChangeStatus)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvik::store
