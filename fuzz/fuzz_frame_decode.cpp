// The frame decoder on arbitrary KISS frames: whatever it delivers must obey
// the record's invariants and encode again.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "ax25/frame_codec.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto frame = ax25::DecodeFrame(1, std::span<const std::uint8_t>(data, size));
  if (!frame) return 0;
  auto check = [](bool ok) {
    if (!ok) std::abort();
  };
  check(size >= ax25::kMinFrameBytes);
  check(frame->radioChannel >= 0 && frame->radioChannel <= 4 && frame->kissCommand == 0);
  check(!frame->destination.empty() && !frame->source.empty());
  check(frame->destination.call.size() <= 6 && frame->source.call.size() <= 6);
  check(frame->nr >= 0 && frame->nr < 8 && frame->ns >= 0 && frame->ns < 8);
  check(frame->destination.ssid < 16 && frame->source.ssid < 16);
  check(frame->infoLength() <= static_cast<int>(ax25::kMaxInfoLength));
  check(frame->infoLength() < static_cast<int>(size));
  check(frame->type == ax25::TypeOfControl(frame->control));

  const auto raw = ax25::EncodeFrame(*frame);
  check(raw.has_value());
  // The encoding of a decoded frame decodes again (it may differ in calls
  // with odd characters, but never fails on length or address field).
  const auto again = ax25::DecodeFrame(1, raw->bytes());
  if (again) check(again->type == frame->type && again->info == frame->info);
  return 0;
}
