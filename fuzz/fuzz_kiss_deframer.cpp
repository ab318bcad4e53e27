// The receive path of a KISS port on arbitrary bytes: deframer (with the
// checks chosen by the first input byte) fed in chunks, then the frame
// decoder on every frame it delivers.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "ax25/frame_codec.h"
#include "devices/kiss_deframer.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const devices::ReceiveChecks checks[] = {devices::ReceiveChecks::None, devices::ReceiveChecks::Smack,
                                           devices::ReceiveChecks::SmackAndFlexnet};
  devices::KissDeframer deframer(checks[data[0] % 3]);
  // Chunk sizes 1..256 vary where the reader's reads split the stream.
  const std::size_t chunk = 1 + data[1];
  std::span<const std::uint8_t> stream(data + 2, size - 2);

  auto onFrame = [](std::span<const std::uint8_t> frame) {
    if (frame.empty() || frame.size() >= devices::KissDeframer::kLimit) std::abort();
    if (auto record = ax25::DecodeFrame(0, frame)) {
      // Whatever was received can be sent again (digipeating does so).
      if (!ax25::EncodeFrame(*record)) std::abort();
    }
  };
  while (!stream.empty()) {
    const std::size_t n = stream.size() < chunk ? stream.size() : chunk;
    deframer.feed(stream.first(n), onFrame);
    stream = stream.subspan(n);
    if (deframer.count() >= devices::KissDeframer::kLimit) std::abort();
  }
  return 0;
}
