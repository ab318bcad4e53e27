// Bytes the program writes to a KISS TNC: escaping, checksummed variants and
// parameter frames.

#include "devices/kiss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "devices/crc.h"

namespace tarvik::devices {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(EncodeKiss, EscapesFendAndFesc) {
  EXPECT_EQ(EncodeKiss(Bytes{0x00, 0xC0, 0x41, 0xDB, 0xDC, 0xDD}),
            (Bytes{0xC0, 0x00, 0xDB, 0xDC, 0x41, 0xDB, 0xDD, 0xDC, 0xDD, 0xC0}));
  EXPECT_EQ(EncodeKiss(Bytes{}), (Bytes{0xC0, 0xC0}));
}

TEST(EncodeKiss, TakesTheRawFrameBufferLength) {
  ax25::RawFrameBuffer b;
  b.data.fill(0x55);
  b.length = 3;
  EXPECT_EQ(EncodeKiss(b), (Bytes{0xC0, 0x55, 0x55, 0x55, 0xC0}));
}

TEST(EncodeSmack, DataFrameGetsFlagAndCrcLowByteFirst) {
  const Bytes frame = {0x10, 'A', 'B'};
  const std::uint16_t crc = SmackCrc(Bytes{0x90, 'A', 'B'});
  EXPECT_EQ(EncodeSmack(frame), (Bytes{0xC0, 0x90, 'A', 'B', static_cast<std::uint8_t>(crc & 0xFF),
                                       static_cast<std::uint8_t>(crc >> 8), 0xC0}));
}

TEST(EncodeRmnc, DataFrameGetsFlagAndCrcHighByteFirst) {
  const Bytes frame = {0x00, 'A', 'B'};
  const std::uint16_t crc = FlexnetCrc(Bytes{0x20, 'A', 'B'});
  EXPECT_EQ(EncodeRmnc(frame), (Bytes{0xC0, 0x20, 'A', 'B', static_cast<std::uint8_t>(crc >> 8),
                                      static_cast<std::uint8_t>(crc & 0xFF), 0xC0}));
}

TEST(EncodeChecksummed, ChecksumBytesAreEscapedToo) {
  // Find a payload whose checksum contains a FEND, then check it is escaped.
  for (int variant = 0; variant < 2; ++variant) {
    bool found = false;
    for (int x = 0; x < 65536 && !found; ++x) {
      const Bytes frame = {0x00, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8)};
      const Bytes flagged = {static_cast<std::uint8_t>(variant == 0 ? 0x80 : 0x20), frame[1], frame[2]};
      const std::uint16_t crc = variant == 0 ? SmackCrc(flagged) : FlexnetCrc(flagged);
      if ((crc & 0xFF) != 0xC0 && (crc >> 8) != 0xC0) continue;
      found = true;
      const Bytes out = variant == 0 ? EncodeSmack(frame) : EncodeRmnc(frame);
      // Only the two delimiters may be FENDs.
      EXPECT_EQ(std::count(out.begin(), out.end(), 0xC0), 2);
      EXPECT_EQ(out.front(), 0xC0);
      EXPECT_EQ(out.back(), 0xC0);
    }
    EXPECT_TRUE(found);
  }
}

TEST(EncodeChecksummed, NonDataFramesGoOutAsPlainKiss) {
  const Bytes parameter = {0x11, 0x1E};
  EXPECT_EQ(EncodeSmack(parameter), EncodeKiss(parameter));
  EXPECT_EQ(EncodeRmnc(parameter), EncodeKiss(parameter));
  EXPECT_EQ(EncodeSmack(Bytes{}), EncodeKiss(Bytes{}));
  EXPECT_EQ(EncodeFor(KissProtocol::Kiss, Bytes{0x00, 1}), EncodeKiss(Bytes{0x00, 1}));
  EXPECT_EQ(EncodeFor(KissProtocol::Smack, Bytes{0x00, 1}), EncodeSmack(Bytes{0x00, 1}));
  EXPECT_EQ(EncodeFor(KissProtocol::Rmnc, Bytes{0x00, 1}), EncodeRmnc(Bytes{0x00, 1}));
}

struct ParameterCase {
  int channel, parameter, value;
  Bytes wire;
};

TEST(EncodeKissParameter, TableOfParameterFrames) {
  const std::vector<ParameterCase> cases = {
      {1, 0, 300, {0xC0, 0x11, 0x1E, 0xC0}},  // TXDELAY 300 ms in units of 10 ms
      {0, 2, 25, {0xC0, 0x02, 0x3F, 0xC0}},   // PERSIST 25 % = 25·255/100 = 63
      {0, 2, 100, {0xC0, 0x02, 0xFF, 0xC0}},
      {2, 1, 55, {0xC0, 0x24, 0x05, 0xC0}},   // TXTAIL, truncated
      {7, 3, 100, {0xC0, 0x73, 0x0A, 0xC0}},  // SLOTTIME
      {0, 4, 1, {0xC0, 0x05, 0x01, 0xC0}},    // full duplex as it is
      {3, 5, 0, {0xC0, 0xFF, 0xC0}},          // leave KISS: the single byte 0xFF
      {0, 0, 2560, {0xC0, 0x01, 0x00, 0xC0}},  // only the low 8 bits
      {0, 0, 1920, {0xC0, 0x01, 0xDB, 0xDC, 0xC0}},  // 192 is a FEND: escaped
      {0, 0, -15, {0xC0, 0x01, 0xFF, 0xC0}},  // -15/10 truncates to -1
      {12, 0, 100, {0xC0, 0xC1, 0x0A, 0xC0}},  // radio channel 12: escaping does not touch 0xC1
      {0, 6, 100, {}},                        // no such parameter
      {0, -1, 100, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.channel << "/" << c.parameter << "/" << c.value);
    EXPECT_EQ(EncodeKissParameter(c.channel, c.parameter, c.value), c.wire);
  }
}

TEST(EncodeKissParameters, ConfiguredChannelsInOrder) {
  std::array<KissChannelSettings, 8> channels{};
  channels[0] = {2, 300, 50, 25, 100};
  channels[3] = {7, 150, 20, 100, 50};
  channels[5] = {0, 999, 999, 99, 999};  // WINDOW 0: not configured
  const std::vector<Bytes> all = EncodeKissParameters(channels, -1);
  const std::vector<Bytes> expected = {
      {0xC0, 0x01, 30, 0xC0}, {0xC0, 0x04, 5, 0xC0}, {0xC0, 0x02, 63, 0xC0}, {0xC0, 0x03, 10, 0xC0},
      {0xC0, 0x31, 15, 0xC0}, {0xC0, 0x34, 2, 0xC0}, {0xC0, 0x32, 255, 0xC0}, {0xC0, 0x33, 5, 0xC0},
  };
  EXPECT_EQ(all, expected);

  const std::vector<Bytes> three = EncodeKissParameters(channels, 3);
  EXPECT_EQ(three, std::vector<Bytes>(expected.begin() + 4, expected.end()));
  EXPECT_TRUE(EncodeKissParameters(channels, 5).empty());
  EXPECT_TRUE(EncodeKissParameters(channels, 8).empty());
  EXPECT_TRUE(EncodeKissParameters(channels, -2).empty());
}

TEST(EncodeLeaveKiss, FendFfFend) { EXPECT_EQ(EncodeLeaveKiss(), (Bytes{0xC0, 0xFF, 0xC0})); }

}  // namespace
}  // namespace tarvik::devices
