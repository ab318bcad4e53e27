// Bulk transfer between two Tarvik stations over a simulated half-duplex
// 1200 bit/s radio channel, as a KISS TNC meets it: p-persistence and slot
// time, TXDELAY and TXTAIL from the radio channel's settings, whole
// transmissions lost, collisions when both stations key up at once.
//
// The link parameters are the shipped defaults: the [TCPCHAN] section of the
// INI file in data/ (WINDOW, PACLEN, T1, T2, T3, RETRY and the KISS
// parameters). Counters per transfer of 30000 bytes from A to B:
//   payload_Bps   payload bytes per second of simulated time
//   I_frames      I frames A handed to its TNC (resent ones included)
//   frames        all frames both stations handed to their TNCs
//   tx, tx_lost   transmissions keyed up, and lost ones
//   done          share of iterations whose transfer completed (in 4 hours)
// The wall-clock time of an iteration is the CPU cost of running both
// complete link stacks.
//
// Arguments: loss of transmissions in percent; every n-th transmission lost
// (0: none); link rules (0 adapted to the air, 1 the plain rules).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "channels/air.h"
#include "core/ini_reader.h"

namespace tarvik::test {
namespace {

constexpr std::size_t kPayload = 30'000;

LinkParams ShippedDefaults() {
  LinkParams p;
  auto ini = core::IniReader::Open(std::filesystem::path(TARVIK_DATA_DIR) / "TARVIK.INI");
  if (!ini || !ini->FindSection("[TCPCHAN]")) return p;
  p.window = ini->ReadInt16("WINDOW");
  p.paclen = ini->ReadInt16("PACLEN");
  p.t1 = ini->ReadInt16("T1");
  p.t2 = ini->ReadInt16("T2");
  p.t3 = ini->ReadInt16("T3");
  p.retry = ini->ReadInt16("RETRY");
  p.txdelay = ini->ReadInt16("TXDELAY");
  p.txtail = ini->ReadInt16("TXTAIL");
  p.persist = ini->ReadInt16("PERSIST");
  p.slottime = ini->ReadInt16("SLOTTIME");
  return p;
}

void BM_Air1200(benchmark::State& state) {
  LinkParams p = ShippedDefaults();
  p.extra = "BAUD=1200\nLINKRULES=" + std::to_string(state.range(2)) + "\n";
  double bytesPerSecond = 0, iFrames = 0, frames = 0, tx = 0, txLost = 0, done = 0;
  unsigned seed = 1;
  for (auto _ : state) {
    ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
    Station a, b;
    const auto base = std::filesystem::temp_directory_path() /
                      ("tvk_bench_" + std::to_string(::getpid()));
    a.Start(tk, base / "a", "DL1AAA", p);
    b.Start(tk, base / "b", "DL1BBB", p);
    AirParams air;
    air.halfDuplex = true;
    air.loss = static_cast<double>(state.range(0)) / 100.0;
    air.dropEvery = static_cast<int>(state.range(1));
    air.bitsPerSecond = 1200;
    air.txDelayMs = p.txdelay;
    air.txTailMs = p.txtail;
    air.persist = p.persist;
    air.slotTimeMs = p.slottime;
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
    const long long framesBefore = channel.framesSent(), iBefore = channel.iFrames(0);
    const long long txBefore = channel.transmissions(), lostBefore = channel.transmissionsLost();
    if (a.owner())
      a.owner()->SendData(std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
    const bool complete =
        channel.RunUntil([&] { return b.received.size() >= kPayload || a.ended; }, 4 * 3600 * 1000LL) &&
        b.received == payload;
    const double s = static_cast<double>(channel.nowMs() - start) / 1000.0;
    // An incomplete transfer counts with what arrived.
    bytesPerSecond += static_cast<double>(b.received.size()) / s;
    done += complete ? 1 : 0;
    frames += static_cast<double>(channel.framesSent() - framesBefore);
    iFrames += static_cast<double>(channel.iFrames(0) - iBefore);
    tx += static_cast<double>(channel.transmissions() - txBefore);
    txLost += static_cast<double>(channel.transmissionsLost() - lostBefore);
    a.Stop();
    b.Stop();
    std::filesystem::remove_all(base);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["payload_Bps"] = bytesPerSecond / n;
  state.counters["I_frames"] = iFrames / n;
  state.counters["frames"] = frames / n;
  state.counters["tx"] = tx / n;
  state.counters["tx_lost"] = txLost / n;
  state.counters["done"] = done / n;
}

BENCHMARK(BM_Air1200)
    ->ArgNames({"loss%", "dropEvery", "plain"})
    ->Args({0, 0, 0})
    ->Args({5, 0, 0})
    ->Args({10, 0, 0})
    ->Args({0, 3, 0})
    ->Args({0, 0, 1})
    ->Args({5, 0, 1})
    ->Args({0, 3, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace tarvik::test
