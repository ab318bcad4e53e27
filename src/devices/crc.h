#pragma once
// The two checksums that protect KISS frames on the serial line.
//
// SMACK TNCs append a CRC-16 (reflected polynomial 0xA001, initial value 0,
// no final inversion: CRC-16/ARC), low byte first; a frame is intact when the
// same CRC over the frame with its two checksum bytes is 0.
//
// RMNC/FlexNet TNCs append the FlexNet CRC, high byte first; a frame is intact
// when the register after the frame and its two checksum bytes is 0x7070.
// Both are table driven; the tables are computed at compile time.

#include <cstdint>
#include <span>

namespace tarvik::devices {

inline constexpr std::uint16_t kSmackInit = 0x0000;
inline constexpr std::uint16_t kSmackGood = 0x0000;
inline constexpr std::uint16_t kFlexnetInit = 0xFFFF;
inline constexpr std::uint16_t kFlexnetGood = 0x7070;

// CRC-16/ARC register after the bytes, starting from crc.
std::uint16_t SmackCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc = kSmackInit);

// FlexNet register after the bytes, starting from crc.
std::uint16_t FlexnetCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc = kFlexnetInit);

// Entry i of the FlexNet table (for checks of the table itself).
std::uint16_t FlexnetTableEntry(std::uint8_t i);

}  // namespace tarvik::devices
