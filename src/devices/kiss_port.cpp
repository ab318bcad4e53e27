#include "devices/kiss_port.h"

#include "ax25/frame_events.h"

namespace tarvik::devices {

int KissReceiver::feed(std::span<const std::uint8_t> bytes) {
  int posted = 0;
  deframer_.feed(bytes, [this, &posted](std::span<const std::uint8_t> frame) {
    if (ax25::DecodeReceivedFrame(toolkit_, taskWindow_, port_, frame)) ++posted;
  });
  return posted;
}

std::vector<std::uint8_t> KissTransmitBytes(KissProtocol protocol, const ax25::RawFrameBuffer& buffer) {
  return EncodeFor(protocol, buffer.bytes());
}

std::vector<std::uint8_t> KissTransmitBytes(KissProtocol protocol, const ui::Event& event) {
  const auto* buffer = event.as<ax25::RawFrameBuffer>();
  if (buffer == nullptr) return {};
  return KissTransmitBytes(protocol, *buffer);
}

}  // namespace tarvik::devices
