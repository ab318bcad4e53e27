// Bulk transfer between two Tarvik stations over a simulated half-duplex
// 1200 bit/s channel with airtime (TXDELAY 300 ms, PACLEN 256, WINDOW 7):
// payload bytes per second of simulated time, with and without loss, for a
// few T1/T2 settings. The wall-clock time of an iteration is the CPU cost of
// running both complete link stacks for the whole transfer.
//
// Arguments: loss in percent, T2 in ms, T1 in s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "channels/air.h"

namespace tarvik::test {
namespace {

constexpr std::size_t kPayload = 30'000;

void BM_HalfDuplex1200(benchmark::State& state) {
  const double loss = static_cast<double>(state.range(0)) / 100.0;
  LinkParams p;
  p.window = 7;
  p.paclen = 256;
  p.t2 = static_cast<int>(state.range(1));
  p.t1 = static_cast<int>(state.range(2));
  p.retry = 10;
  double bytesPerSecond = 0, frames = 0, seconds = 0;
  unsigned seed = 1;
  for (auto _ : state) {
    ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
    Station a, b;
    const auto base = std::filesystem::temp_directory_path() /
                      ("tvk_bench_" + std::to_string(::getpid()));
    a.Start(tk, base / "a", "DL1AAA", p);
    b.Start(tk, base / "b", "DL1BBB", p);
    AirParams air;
    air.loss = loss;
    air.halfDuplex = true;
    air.bitsPerSecond = 1200;
    air.txDelayMs = 300;
    air.seed = seed++;
    Air channel(tk, air);
    channel.Attach(0, *a.app);
    channel.Attach(1, *b.app);
    channel.RunUntil([&] { return a.main() && b.main(); }, 2000);
    ax25::ConnectRequest request;
    request.remote = *ax25::ParseCall("DL1BBB");
    request.own = *ax25::ParseCall("DL1AAA");
    channels::OpenOutgoingChannel(*a.app, request);
    channel.RunUntil([&] { return a.owner() && a.owner()->sessionState() == channels::SessionState::Connected; },
                     600'000);
    const std::string payload = RandomBytes(kPayload, 5);
    const long long start = channel.nowMs();
    const long long framesBefore = channel.framesSent();
    a.owner()->SendData(std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
    const bool done = channel.RunUntil([&] { return b.received.size() >= kPayload; }, 4 * 3600 * 1000LL);
    if (!done || b.received != payload) state.SkipWithError("transfer incomplete");
    const double s = static_cast<double>(channel.nowMs() - start) / 1000.0;
    seconds += s;
    bytesPerSecond += static_cast<double>(kPayload) / s;
    frames += static_cast<double>(channel.framesSent() - framesBefore);
    a.Stop();
    b.Stop();
    std::filesystem::remove_all(base);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["payload_Bps"] = bytesPerSecond / n;
  state.counters["sim_seconds"] = seconds / n;
  state.counters["frames"] = frames / n;
}

BENCHMARK(BM_HalfDuplex1200)
    ->ArgNames({"loss%", "T2ms", "T1s"})
    ->Args({0, 1000, 20})
    ->Args({0, 2000, 20})
    ->Args({0, 3000, 20})
    ->Args({5, 1000, 20})
    ->Args({5, 2000, 20})
    ->Args({5, 3000, 20})
    ->Args({5, 2000, 30})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace tarvik::test
