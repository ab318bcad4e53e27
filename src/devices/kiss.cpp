#include "devices/kiss.h"

#include <array>

#include "devices/crc.h"

namespace tarvik::devices {

namespace {

void PutEscaped(std::vector<std::uint8_t>& out, std::uint8_t b) {
  if (b == kFend) {
    out.push_back(kFesc);
    out.push_back(kTfend);
  } else if (b == kFesc) {
    out.push_back(kFesc);
    out.push_back(kTfesc);
  } else {
    out.push_back(b);
  }
}

void PutEscaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) PutEscaped(out, b);
}

bool IsDataFrame(std::span<const std::uint8_t> frame) {
  return !frame.empty() && (frame[0] & 0x0F) == 0;
}

// Flagged command byte and the frame, escaped, without the closing FEND;
// returns the flagged command byte for the checksum.
std::uint8_t PutFlagged(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> frame,
                        std::uint8_t flag) {
  const auto command = static_cast<std::uint8_t>(frame[0] | flag);
  out.reserve(2 * frame.size() + 6);
  out.push_back(kFend);
  PutEscaped(out, command);
  PutEscaped(out, frame.subspan(1));
  return command;
}

}  // namespace

std::vector<std::uint8_t> EncodeKiss(std::span<const std::uint8_t> frame) {
  std::vector<std::uint8_t> out;
  out.reserve(frame.size() + frame.size() / 8 + 2);
  out.push_back(kFend);
  PutEscaped(out, frame);
  out.push_back(kFend);
  return out;
}

std::vector<std::uint8_t> EncodeSmack(std::span<const std::uint8_t> frame) {
  if (!IsDataFrame(frame)) return EncodeKiss(frame);
  std::vector<std::uint8_t> out;
  const std::uint8_t command = PutFlagged(out, frame, kSmackFlag);
  std::uint16_t crc = SmackCrc(std::span<const std::uint8_t>(&command, 1));
  crc = SmackCrc(frame.subspan(1), crc);
  PutEscaped(out, static_cast<std::uint8_t>(crc & 0xFF));
  PutEscaped(out, static_cast<std::uint8_t>(crc >> 8));
  out.push_back(kFend);
  return out;
}

std::vector<std::uint8_t> EncodeRmnc(std::span<const std::uint8_t> frame) {
  if (!IsDataFrame(frame)) return EncodeKiss(frame);
  std::vector<std::uint8_t> out;
  const std::uint8_t command = PutFlagged(out, frame, kRmncFlag);
  std::uint16_t crc = FlexnetCrc(std::span<const std::uint8_t>(&command, 1));
  crc = FlexnetCrc(frame.subspan(1), crc);
  PutEscaped(out, static_cast<std::uint8_t>(crc >> 8));
  PutEscaped(out, static_cast<std::uint8_t>(crc & 0xFF));
  out.push_back(kFend);
  return out;
}

std::vector<std::uint8_t> EncodeFor(KissProtocol protocol, std::span<const std::uint8_t> frame) {
  switch (protocol) {
    case KissProtocol::Smack: return EncodeSmack(frame);
    case KissProtocol::Rmnc: return EncodeRmnc(frame);
    case KissProtocol::Kiss: break;
  }
  return EncodeKiss(frame);
}

std::vector<std::uint8_t> EncodeKissParameter(int radioChannel, int parameter, int value) {
  const long long v = value;  // the PERSIST product must not overflow
  long long sent = 0;
  KissCommand command{};
  switch (static_cast<KissParameter>(parameter)) {
    case KissParameter::TxDelay: command = KissCommand::TxDelay; sent = v / 10; break;
    case KissParameter::TxTail: command = KissCommand::TxTail; sent = v / 10; break;
    case KissParameter::Persist: command = KissCommand::Persistence; sent = v * 255 / 100; break;
    case KissParameter::SlotTime: command = KissCommand::SlotTime; sent = v / 10; break;
    case KissParameter::FullDuplex: command = KissCommand::FullDuplex; sent = v; break;
    case KissParameter::LeaveKiss: return EncodeLeaveKiss();
    default: return {};
  }
  const std::array<std::uint8_t, 2> frame = {
      static_cast<std::uint8_t>(radioChannel * 16 + static_cast<int>(command)),
      static_cast<std::uint8_t>(sent & 0xFF)};
  return EncodeKiss(frame);
}

std::vector<std::vector<std::uint8_t>> EncodeKissParameters(
    std::span<const KissChannelSettings> channels, int radioChannel) {
  std::vector<std::vector<std::uint8_t>> frames;
  auto addChannel = [&](int c) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) return;
    const KissChannelSettings& s = channels[static_cast<std::size_t>(c)];
    if (s.window <= 0) return;
    frames.push_back(EncodeKissParameter(c, static_cast<int>(KissParameter::TxDelay), s.txdelay));
    frames.push_back(EncodeKissParameter(c, static_cast<int>(KissParameter::TxTail), s.txtail));
    frames.push_back(EncodeKissParameter(c, static_cast<int>(KissParameter::Persist), s.persist));
    frames.push_back(EncodeKissParameter(c, static_cast<int>(KissParameter::SlotTime), s.slottime));
  };
  if (radioChannel == -1) {
    for (int c = 0; c < 8; ++c) addChannel(c);
  } else {
    addChannel(radioChannel);
  }
  return frames;
}

std::vector<std::uint8_t> EncodeLeaveKiss() {
  const std::array<std::uint8_t, 1> frame = {kLeaveKissByte};
  return EncodeKiss(frame);
}

}  // namespace tarvik::devices
