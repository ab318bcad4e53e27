// The logbook of 1,000 and 10,000 connections: opening it as the logbook
// window does (the display file made from the log, the list control
// created on it and its first page drawn), going to its last page, sorting
// it by the start column, and logging one more connection.
//
// Argument: the number of logbook lines.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "store/logbook.h"
#include "ui/list_control.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

std::string LogLine(int i) {
  char start[32], line[160];
  std::snprintf(start, sizeof start, "%02d.%02d.%04d %02d:%02d", i % 28 + 1, i / 28 % 12 + 1, 1990 + i / 336,
                i % 24, i % 60);
  std::snprintf(line, sizeof line, "%-12.12s Ch %1.1s,%-12.12s  %-16.16s - %-16.16s %-32.32s\n",
                ("DL" + std::to_string(i)).c_str(), "1", "438.300", start, "12:00", "remark");
  return line;
}

struct Logbook {
  explicit Logbook(int n) {
    dir = fs::temp_directory_path() / ("tvk_logbench_" + std::to_string(::getpid()) + "_" + std::to_string(n));
    fs::create_directories(dir);
    std::string text;
    for (int i = 0; i < n; ++i) text += LogLine(i);
    std::ofstream(dir / "DL1ZZZ.log", std::ios::binary) << text;
  }
  ~Logbook() { fs::remove_all(dir); }
  std::string prefix() const { return dir.string() + "/"; }
  fs::path dir;
};

struct Shown {
  Shown(ui::HeadlessToolkit& tk, const Logbook& log) : tk(tk) {
    form = tk.create(ui::WindowSpec{ui::WindowKind::Document, "LOGBUCH", "", {0, 0, 380, 640}}, std::make_unique<Form>());
    store::WriteLogbookDisplay(log.prefix() + "DL1ZZZ.log", log.prefix() + "L0000001.$$$");
    ui::ListOptions o;
    o.control = 6;
    o.form = 1170;
    o.columns = {4, 100, 240, 370, 490};
    o.header = "Call|Channel|Start|End|Remark";
    o.sort = true;
    o.tmpPath = log.prefix();
    list = ui::ListControl::Create(tk, form, {56, 4, 376, 636}, std::move(o));
    control().AttachFile(log.prefix() + "L0000001.$$$");
    tk.flushUpdates();
  }
  ~Shown() { tk.destroy(form); }
  ui::ListControl& control() { return *tk.findAs<ui::ListControl>(list); }
  struct Form : ui::Window {
    void onEvent(ui::Event&) override {}
  };
  ui::HeadlessToolkit& tk;
  ui::WindowId form = ui::kNoWindow, list = ui::kNoWindow;
};

void BM_OpenLogbook(benchmark::State& state) {
  const Logbook log(static_cast<int>(state.range(0)));
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  for (auto _ : state) {
    Shown shown(tk, log);
    benchmark::DoNotOptimize(shown.control().VisibleRows());
  }
}
BENCHMARK(BM_OpenLogbook)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LastPage(benchmark::State& state) {
  const Logbook log(static_cast<int>(state.range(0)));
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  Shown shown(tk, log);
  for (auto _ : state) {
    tk.operatorKey(shown.list, ui::kKeyEnd);
    tk.operatorKey(shown.list, ui::kKeyHome);
    tk.flushUpdates();
  }
}
BENCHMARK(BM_LastPage)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_SortByStart(benchmark::State& state) {
  const Logbook log(static_cast<int>(state.range(0)));
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  Shown shown(tk, log);
  for (auto _ : state)
    if (!shown.control().SortBy(2)) state.SkipWithError("not sorted");
}
BENCHMARK(BM_SortByStart)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_LogOneConnection(benchmark::State& state) {
  const Logbook log(static_cast<int>(state.range(0)));
  const std::string path = log.prefix() + "DL1ZZZ.log";
  for (auto _ : state)
    if (!store::AppendLogbookLine(path, LogLine(1))) state.SkipWithError("not written");
}
BENCHMARK(BM_LogOneConnection)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvik
