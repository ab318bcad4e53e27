#pragma once
// The KISS receiver: turns the byte stream from a TNC (or a KISS-over-TCP
// peer) into frames, in chunks of any size.
//
// A frame is what stands between two FEND bytes, unescaped. The FEND that
// closes a frame also opens the next one, so TNCs that send FEND before and
// after every frame and TNCs that share one FEND between two frames are both
// understood completely. At most 515 bytes (command byte included) are
// collected; a longer frame is dropped and the receiver waits for the next
// FEND. Frames of fewer than 2 bytes are not frames.
// Checksummed frames (SMACK, RMNC) are checked and returned without their
// flag and checksum; every receive error is silent.
//
// One deframer belongs to one port and is used by one thread at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "devices/kiss.h"

namespace tarvik::devices {

// Which checksums the receiver honours.
enum class ReceiveChecks {
  None,             // KISS over TCP: every frame is taken as it is
  Smack,            // serial KISS and SMACK ports: frames flagged with bit 7
  SmackAndFlexnet,  // serial RMNC ports: bit 7 as above, else bit 5
};

// The checks of a serial port of the given protocol.
constexpr ReceiveChecks SerialChecks(KissProtocol protocol) {
  return protocol == KissProtocol::Rmnc ? ReceiveChecks::SmackAndFlexnet : ReceiveChecks::Smack;
}

// Checks a complete frame in place. A data frame flagged for SMACK (command
// byte & 0x8F == 0x80) must pass the CRC-16 check; on an RMNC port a frame
// flagged with bit 5 (command byte & 0x2F == 0x20) must pass the FlexNet
// check. A frame that passes loses its flag (in frame[0]) and its two checksum
// bytes; any other frame is taken unchanged. Returns the length of the frame
// to deliver, or nothing when it is to be dropped.
std::optional<std::size_t> CheckKissFrame(ReceiveChecks checks, std::span<std::uint8_t> frame);

class KissDeframer {
 public:
  // A stored byte that brings the count to this drops the frame.
  static constexpr std::size_t kLimit = 516;

  explicit KissDeframer(ReceiveChecks checks = ReceiveChecks::None) : checks_(checks) {}

  // Takes one received byte. Returns the frame it completes, if that frame
  // passes its checks: command byte first, valid until the next call.
  std::optional<std::span<const std::uint8_t>> push(std::uint8_t byte);

  // Takes a chunk of received bytes and calls onFrame(span) for every
  // complete frame in it. The same as push() for every byte, but the bytes
  // between the special ones are taken as a run.
  template <class OnFrame>
  void feed(std::span<const std::uint8_t> bytes, OnFrame&& onFrame) {
    const std::uint8_t* p = bytes.data();
    const std::uint8_t* const end = p + bytes.size();
    while (p != end) {
      p += skipOrTake(p, end);
      if (p == end) break;
      if (auto frame = push(*p++)) onFrame(*frame);
    }
  }

  // Back to the state after creation: outside a frame, nothing collected.
  void reset();

  bool inFrame() const { return inFrame_; }
  std::size_t count() const { return count_; }

 private:
  void drop();
  // The bytes from p on that push() would only store (inside a frame, no
  // escape pending, no FEND or FESC, within the limit) or ignore (outside a
  // frame, up to the next FEND): stored or passed over at once. Returns how
  // many were taken.
  std::size_t skipOrTake(const std::uint8_t* p, const std::uint8_t* end);

  ReceiveChecks checks_;
  std::array<std::uint8_t, kLimit> buffer_{};
  std::size_t count_ = 0;
  bool inFrame_ = false;
  bool escape_ = false;
};

}  // namespace tarvik::devices
