// The SMACK and FlexNet checksums against check values and their residues.

#include "devices/crc.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace tarvik::devices {
namespace {

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Bit by bit, straight from the definitions, without the tables.
std::uint16_t SmackReference(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint16_t FlexnetReference(std::span<const std::uint8_t> bytes) {
  const std::uint16_t base[8] = {0x1189, 0x2312, 0x4624, 0x8C48, 0x1081, 0x2102, 0x4204, 0x8408};
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : bytes) {
    const unsigned index = ((crc >> 8) ^ b) & 0xFF;
    std::uint16_t entry = 0x0F87;
    for (int k = 0; k < 8; ++k) {
      if (index & (1u << k)) entry ^= base[k];
    }
    crc = static_cast<std::uint16_t>(((crc << 8) & 0xFFFF) ^ entry);
  }
  return crc;
}

std::vector<std::vector<std::uint8_t>> RandomMessages() {
  std::mt19937 rng(4711);
  std::vector<std::vector<std::uint8_t>> messages;
  for (int n = 0; n < 200; ++n) {
    std::vector<std::uint8_t> m(1 + rng() % 300);
    for (auto& b : m) b = static_cast<std::uint8_t>(rng());
    messages.push_back(std::move(m));
  }
  return messages;
}

TEST(SmackCrc, CheckValueOfCrc16Arc) {
  EXPECT_EQ(SmackCrc(AsBytes("123456789")), 0xBB3D);
  EXPECT_EQ(SmackCrc({}), 0x0000);
}

TEST(FlexnetCrc, TableAndCheckValue) {
  EXPECT_EQ(FlexnetTableEntry(0), 0x0F87);
  EXPECT_EQ(FlexnetTableEntry(1), 0x1E0E);
  EXPECT_EQ(FlexnetTableEntry(2), 0x2C95);
  EXPECT_EQ(FlexnetTableEntry(3), 0x3D1C);
  // Computed independently (bit-wise reference above and a separate script).
  EXPECT_EQ(FlexnetCrc(AsBytes("123456789")), 0x9FB5);
  EXPECT_EQ(FlexnetReference(AsBytes("123456789")), 0x9FB5);
  EXPECT_EQ(FlexnetCrc({}), 0xFFFF);
}

TEST(Crc, TablesAgreeWithBitwiseDefinitions) {
  for (const auto& m : RandomMessages()) {
    EXPECT_EQ(SmackCrc(m), SmackReference(m));
    EXPECT_EQ(FlexnetCrc(m), FlexnetReference(m));
  }
}

TEST(Crc, ChecksumAppendedAsSentGivesTheGoodResidue) {
  for (auto m : RandomMessages()) {
    const std::uint16_t smack = SmackCrc(m);
    auto s = m;
    s.push_back(static_cast<std::uint8_t>(smack & 0xFF));  // low byte first
    s.push_back(static_cast<std::uint8_t>(smack >> 8));
    EXPECT_EQ(SmackCrc(s), kSmackGood);

    const std::uint16_t flex = FlexnetCrc(m);
    auto f = m;
    f.push_back(static_cast<std::uint8_t>(flex >> 8));  // high byte first
    f.push_back(static_cast<std::uint8_t>(flex & 0xFF));
    EXPECT_EQ(FlexnetCrc(f), kFlexnetGood);

    // A single changed bit is always caught.
    f[f.size() / 2] ^= 0x08;
    EXPECT_NE(FlexnetCrc(f), kFlexnetGood);
    s[s.size() / 2] ^= 0x08;
    EXPECT_NE(SmackCrc(s), kSmackGood);
  }
}

TEST(Crc, ContinuesAcrossChunks) {
  const auto whole = AsBytes("The quick brown fox");
  EXPECT_EQ(SmackCrc(whole.subspan(7), SmackCrc(whole.first(7))), SmackCrc(whole));
  EXPECT_EQ(FlexnetCrc(whole.subspan(7), FlexnetCrc(whole.first(7))), FlexnetCrc(whole));
}

}  // namespace
}  // namespace tarvik::devices
