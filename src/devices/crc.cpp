#include "devices/crc.h"

#include <array>

namespace tarvik::devices {

namespace {

constexpr std::array<std::uint16_t, 256> MakeSmackTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

// Entry i is 0x0F87 combined (XOR) with one base value per bit set in i. The
// base values are the reflected CCITT table's entries for single bits, but the
// register is shifted left; the mix is what FlexNet TNCs compute, so it is
// kept exactly.
constexpr std::array<std::uint16_t, 256> MakeFlexnetTable() {
  constexpr std::array<std::uint16_t, 8> base = {0x1189, 0x2312, 0x4624, 0x8C48,
                                                 0x1081, 0x2102, 0x4204, 0x8408};
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t v = 0x0F87;
    for (unsigned k = 0; k < 8; ++k) {
      if (i & (1u << k)) v ^= base[k];
    }
    table[i] = v;
  }
  return table;
}

constexpr auto kSmackTable = MakeSmackTable();
constexpr auto kFlexnetTable = MakeFlexnetTable();

}  // namespace

std::uint16_t SmackCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kSmackTable[(crc ^ b) & 0xFF]);
  }
  return crc;
}

std::uint16_t FlexnetCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>(((crc << 8) & 0xFFFF) ^ kFlexnetTable[((crc >> 8) ^ b) & 0xFF]);
  }
  return crc;
}

std::uint16_t FlexnetTableEntry(std::uint8_t i) { return kFlexnetTable[i]; }

}  // namespace tarvik::devices
