// Throughput of the receive path (KISS deframer, checksum check, frame
// decoder) and of the transmit path (frame encoder, KISS framing with
// checksum) over a mix of frames like a busy channel carries: I frames of
// 0 to 256 information bytes, acknowledgements, UI beacons, some via
// digipeaters. The argument is the port protocol (1 KISS, 2 SMACK, 4 RMNC).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ax25/frame_codec.h"
#include "devices/kiss.h"
#include "devices/kiss_deframer.h"

namespace {

using namespace tarvik;

std::vector<ax25::FrameRecord> FrameMix() {
  std::mt19937 rng(2024);
  std::vector<ax25::FrameRecord> frames;
  const ax25::AddressRecord dest{"DB0XYZ", 0}, src{"DL1ABC", 7};
  for (int n = 0; n < 256; ++n) {
    ax25::ViaList via;
    const int viaCount = n % 4 == 3 ? 2 : 0;
    for (int i = 0; i < viaCount; ++i) via[i] = {"DB0DG" + std::to_string(i), 1};
    std::vector<std::uint8_t> info;
    ax25::FrameType type = ax25::FrameType::RR;
    switch (n % 8) {
      case 0: case 1: case 2: case 4:
        type = ax25::FrameType::I;
        info.resize(rng() % 257);
        break;
      case 5:
        type = ax25::FrameType::UI;
        info.resize(40 + rng() % 40);
        break;
      default:
        break;
    }
    for (auto& b : info) b = static_cast<std::uint8_t>(rng());  // includes bytes to escape
    frames.push_back(ax25::BuildFrame(0, n % 2, false, dest, src, via, type, ax25::CrPf::Command,
                                      ax25::kPidNoLayer3, n, n + 1, info));
  }
  return frames;
}

void BM_DeframeDecode(benchmark::State& state) {
  const auto protocol = static_cast<devices::KissProtocol>(state.range(0));
  const auto frames = FrameMix();
  std::vector<std::uint8_t> stream;
  for (const auto& f : frames) {
    const auto raw = ax25::EncodeFrame(f);
    const auto wire = devices::EncodeFor(protocol, raw->bytes());
    stream.insert(stream.end(), wire.begin(), wire.end());
  }
  std::int64_t decoded = 0;
  for (auto _ : state) {
    devices::KissDeframer deframer(devices::SerialChecks(protocol));
    // Reads of at most 255 bytes, as the serial reader hands them over.
    for (std::size_t at = 0; at < stream.size(); at += 255) {
      const std::size_t n = std::min<std::size_t>(255, stream.size() - at);
      deframer.feed(std::span(stream).subspan(at, n), [&](std::span<const std::uint8_t> frame) {
        auto record = ax25::DecodeFrame(0, frame);
        decoded += record.has_value();
        benchmark::DoNotOptimize(record);
      });
    }
  }
  if (decoded != static_cast<std::int64_t>(frames.size()) * state.iterations()) {
    state.SkipWithError("frames lost");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}

void BM_Encode(benchmark::State& state) {
  const auto protocol = static_cast<devices::KissProtocol>(state.range(0));
  const auto frames = FrameMix();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (const auto& f : frames) {
      const auto raw = ax25::EncodeFrame(f);
      auto wire = devices::EncodeFor(protocol, raw->bytes());
      bytes += static_cast<std::int64_t>(wire.size());
      benchmark::DoNotOptimize(wire.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames.size()));
  state.SetBytesProcessed(bytes);
}

BENCHMARK(BM_DeframeDecode)->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_Encode)->Arg(1)->Arg(2)->Arg(4);

}  // namespace
