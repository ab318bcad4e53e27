#include "devices/kiss_deframer.h"

#include <algorithm>
#include <cstring>

#include "devices/crc.h"

namespace tarvik::devices {

namespace {

constexpr std::size_t kChecksumBytes = 2;

}  // namespace

std::optional<std::size_t> CheckKissFrame(ReceiveChecks checks, std::span<std::uint8_t> frame) {
  if (frame.empty() || checks == ReceiveChecks::None) return frame.size();
  const std::uint8_t command = frame[0];
  std::uint8_t flag = 0;
  if ((command & 0x8F) == 0x80) {
    flag = kSmackFlag;
  } else if (checks == ReceiveChecks::SmackAndFlexnet && (command & 0x2F) == 0x20) {
    flag = kRmncFlag;
  } else {
    return frame.size();  // plain KISS, also on checksumming ports
  }
  // Decided: a flagged frame needs a command byte besides its checksum; a
  // shorter one cannot be intact.
  if (frame.size() < 1 + kChecksumBytes) return std::nullopt;
  const bool intact = flag == kSmackFlag ? SmackCrc(frame) == kSmackGood
                                         : FlexnetCrc(frame) == kFlexnetGood;
  if (!intact) return std::nullopt;
  frame[0] = static_cast<std::uint8_t>(command & ~flag);
  return frame.size() - kChecksumBytes;
}

std::optional<std::span<const std::uint8_t>> KissDeframer::push(std::uint8_t byte) {
  if (byte == kFend) {
    // Any FEND ends an escape: FESC may only precede TFEND or TFESC.
    escape_ = false;
    if (count_ < 2) {
      // A frame starts. Decided: a single byte collected before this FEND is
      // a fragment, not the start of the next frame, and is dropped.
      count_ = 0;
      inFrame_ = true;
      return std::nullopt;
    }
    // The FEND that closes a frame also opens the next one, so a TNC that
    // shares one FEND between two frames loses nothing.
    const std::size_t collected = count_;
    count_ = 0;
    inFrame_ = true;
    const auto length = CheckKissFrame(checks_, std::span<std::uint8_t>(buffer_.data(), collected));
    if (!length) return std::nullopt;
    return std::span<const std::uint8_t>(buffer_.data(), *length);
  }
  if (!inFrame_) return std::nullopt;
  if (byte == kFesc) {
    escape_ = true;
    return std::nullopt;
  }
  if (escape_) {
    escape_ = false;
    if (byte == kTfend) {
      byte = kFend;
    } else if (byte == kTfesc) {
      byte = kFesc;
    }
  }
  buffer_[count_++] = byte;
  if (count_ >= kLimit) drop();  // overlong: wait for the next FEND
  return std::nullopt;
}

std::size_t KissDeframer::skipOrTake(const std::uint8_t* p, const std::uint8_t* end) {
  const auto available = static_cast<std::size_t>(end - p);
  if (!inFrame_) {
    const void* fend = std::memchr(p, kFend, available);
    return fend ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(fend) - p) : available;
  }
  if (escape_) return 0;
  // Stops one byte short of the limit: the byte that reaches it goes
  // through push(), which drops the frame.
  std::size_t i = std::min(available, kLimit - 1 - count_);
  if (const void* fend = std::memchr(p, kFend, i)) i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(fend) - p);
  if (const void* fesc = std::memchr(p, kFesc, i)) i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(fesc) - p);
  std::memcpy(buffer_.data() + count_, p, i);
  count_ += i;
  return i;
}

void KissDeframer::reset() {
  drop();
  escape_ = false;
}

void KissDeframer::drop() {
  count_ = 0;
  inFrame_ = false;
}

}  // namespace tarvik::devices
