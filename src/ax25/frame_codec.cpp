#include "ax25/frame_codec.h"

#include <algorithm>

namespace tarvik::ax25 {

namespace {

// Command/response and poll/final as seen by the receiver. Equal C/R bits are
// what version 1 stations send; their P/F bit is not interpreted.
CrPf CrPfOf(bool destinationC, bool sourceC, bool pollFinal) {
  if (destinationC == sourceC) return CrPf::OldVersion;
  if (destinationC) return pollFinal ? CrPf::CommandPoll : CrPf::Command;
  return pollFinal ? CrPf::ResponseFinal : CrPf::Response;
}

// Appends bytes to the buffer; false once they no longer fit.
class Writer {
 public:
  explicit Writer(RawFrameBuffer& buffer) : buffer_(buffer) {}
  bool put(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > RawFrameBuffer::kCapacity - used_) return false;
    std::copy(bytes.begin(), bytes.end(), buffer_.data.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ += bytes.size();
    return true;
  }
  bool put(std::uint8_t byte) { return put(std::span<const std::uint8_t>(&byte, 1)); }
  std::size_t used() const { return used_; }

 private:
  RawFrameBuffer& buffer_;
  std::size_t used_ = 0;
};

}  // namespace

std::optional<RawFrameBuffer> EncodeFrame(const FrameRecord& frame) {
  RawFrameBuffer buffer;
  Writer out(buffer);
  out.put(static_cast<std::uint8_t>(frame.radioChannel * 16 + frame.kissCommand));
  out.put(EncodeAddress(frame.destination));
  out.put(EncodeAddress(frame.source));
  const std::size_t viaCount = ViaCount(frame.via);
  for (std::size_t i = 0; i < viaCount; ++i) out.put(EncodeAddress(frame.via[i]));
  out.put(frame.control);
  if (HasPid(frame.control)) out.put(frame.pid);
  // The header (at most 73 bytes) always fits; only the information can not.
  if (frame.info.overlong() || !out.put(frame.info)) return std::nullopt;
  buffer.length = static_cast<int>(out.used());
  return buffer;
}

std::optional<FrameRecord> DecodeFrame(int port, std::span<const std::uint8_t> bytes) {
  std::optional<FrameRecord> frame(std::in_place);
  if (!DecodeFrameInto(port, bytes, *frame)) return std::nullopt;
  return frame;
}

bool DecodeFrameInto(int port, std::span<const std::uint8_t> bytes, FrameRecord& frame) {
  if (bytes.size() < kMinFrameBytes) return false;

  frame.port = port;
  // The command byte is a signed char to the receiver: bytes 0x80..0xFF give
  // negative radio channels (or channel 0 with a non-zero command) and drop.
  const auto command = static_cast<std::int8_t>(bytes[0]);
  frame.radioChannel = command / 16;
  frame.kissCommand = bytes[0] & 0x0F;
  if (frame.radioChannel < 0 || frame.radioChannel > 4 || frame.kissCommand != 0) {
    return false;
  }

  std::size_t pos = 1;
  auto addressAt = [&](std::size_t at, AddressRecord& address) {
    DecodeAddressInto(bytes.subspan(at).first<kAddressBytes>(), address);
  };
  addressAt(pos, frame.destination);
  pos += kAddressBytes;
  frame.dama = (bytes[pos + 6] & 0x60) == 0x40;
  addressAt(pos, frame.source);
  pos += kAddressBytes;
  if (frame.destination.empty() || frame.source.empty()) return false;

  // Digipeaters follow while the previous address does not end the field;
  // after eight the field ends whatever the end bit says.
  bool ended = frame.source.last;
  for (std::size_t i = 0; !ended && i < kMaxVia; ++i) {
    if (bytes.size() - pos < kAddressBytes + 1) return false;  // address and control
    addressAt(pos, frame.via[i]);
    pos += kAddressBytes;
    // Decided: a digipeater without a call is dropped like an empty source.
    // A digipeater list ends at its first empty entry, so the record could
    // not show the digipeaters after it, and routing would take a frame
    // still on its way as one at its destination.
    if (frame.via[i].empty()) return false;
    ended = frame.via[i].last;
  }

  frame.control = bytes[pos++];
  const bool pollFinal = (frame.control & kPollFinal) != 0;
  frame.crpf = CrPfOf(frame.destination.cbit, frame.source.cbit, pollFinal);
  frame.type = TypeOfControl(frame.control);
  if (frame.type == FrameType::I) {
    frame.nr = frame.control >> 5;
    frame.ns = (frame.control >> 1) & 7;
  } else if ((frame.control & 0x03) == 0x01) {
    frame.nr = frame.control >> 5;
  }
  if (HasPid(frame.control) && pos < bytes.size()) frame.pid = bytes[pos++];

  const std::size_t infoLength = bytes.size() - std::min(pos, bytes.size());
  if (infoLength > 0 && infoLength <= kMaxInfoLength) {
    frame.info.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
  }
  return true;
}

}  // namespace tarvik::ax25
