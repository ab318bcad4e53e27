// The KISS receiver: byte streams from a TNC in, frames out.

#include "devices/kiss_deframer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "devices/crc.h"
#include "devices/kiss.h"

namespace tarvik::devices {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// All frames the deframer delivers for the stream, fed in chunks of the given size.
std::vector<Bytes> Receive(KissDeframer& d, const Bytes& stream, std::size_t chunk = 0) {
  std::vector<Bytes> frames;
  auto collect = [&](std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); };
  if (chunk == 0) chunk = stream.size() ? stream.size() : 1;
  for (std::size_t at = 0; at < stream.size(); at += chunk) {
    d.feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)), collect);
  }
  return frames;
}

std::vector<Bytes> Receive(ReceiveChecks checks, const Bytes& stream, std::size_t chunk = 0) {
  KissDeframer d(checks);
  return Receive(d, stream, chunk);
}

const Bytes kA = {0x00, 'A', 'a'};
const Bytes kB = {0x10, 'B', 'b', 'b'};

TEST(KissDeframer, FendOnBothSidesOfEveryFrame) {
  const Bytes stream = Concat({{0xC0}, kA, {0xC0, 0xC0}, kB, {0xC0}});
  for (std::size_t chunk : {0u, 1u, 2u, 5u}) {
    EXPECT_EQ(Receive(ReceiveChecks::None, stream, chunk), (std::vector<Bytes>{kA, kB})) << chunk;
  }
}

TEST(KissDeframer, ASharedFendClosesOneFrameAndOpensTheNext) {
  const Bytes stream = Concat({{0xC0}, kA, {0xC0}, kB, {0xC0}, kA, {0xC0}});
  for (std::size_t chunk : {0u, 1u, 3u}) {
    EXPECT_EQ(Receive(ReceiveChecks::None, stream, chunk), (std::vector<Bytes>{kA, kB, kA}))
        << chunk;
  }
}

TEST(KissDeframer, BytesOutsideFramesAreIgnored) {
  // Noise before the first FEND never becomes a frame; what follows the
  // last FEND is only a frame once another FEND closes it.
  const Bytes stream = Concat({{'n', 'o', 'i', 's', 'e', 0xDB}, {0xC0}, kA, {0xC0}, {'x', 'y'}});
  KissDeframer d;
  EXPECT_EQ(Receive(d, stream), std::vector<Bytes>{kA});
  EXPECT_TRUE(d.inFrame());
  EXPECT_EQ(d.count(), 2u);
}

TEST(KissDeframer, Unescaping) {
  const Bytes stream = {0xC0, 0x00, 0xDB, 0xDC, 0xDB, 0xDD, 0xDB, 0x41, 0xDB, 0xDB, 0xDD, 0xC0};
  // FESC TFEND is FEND, FESC TFESC is FESC, FESC before another byte leaves
  // it as it is, and FESC FESC is one pending escape.
  EXPECT_EQ(Receive(ReceiveChecks::None, stream), (std::vector<Bytes>{{0x00, 0xC0, 0xDB, 0x41, 0xDB}}));
}

TEST(KissDeframer, EscapeDoesNotOutliveAFrame) {
  // A frame ending in a lone FESC; the next frame starts with TFEND, which is
  // then an ordinary byte.
  const Bytes stream = {0xC0, 0x00, 0x41, 0xDB, 0xC0, 0xC0, 0xDC, 0x42, 0xC0};
  EXPECT_EQ(Receive(ReceiveChecks::None, stream), (std::vector<Bytes>{{0x00, 0x41}, {0xDC, 0x42}}));
}

TEST(KissDeframer, FewerThanTwoBytesAreNoFrame) {
  // C0 C0 and a single byte between FENDs deliver nothing; the single byte does
  // not stick to the front of the following frame.
  const Bytes stream = Concat({{0xC0, 0xC0, 0x00, 0xC0}, kA, {0xC0}});
  EXPECT_EQ(Receive(ReceiveChecks::None, stream), std::vector<Bytes>{kA});
}

TEST(KissDeframer, LengthLimit) {
  Bytes longest(KissDeframer::kLimit - 1, 0x55);  // 515 bytes, command byte included
  longest[0] = 0x00;
  Bytes overlong = longest;
  overlong.push_back(0x55);  // 516
  EXPECT_EQ(Receive(ReceiveChecks::None, Concat({{0xC0}, longest, {0xC0}})), std::vector<Bytes>{longest});
  EXPECT_TRUE(Receive(ReceiveChecks::None, Concat({{0xC0}, overlong, {0xC0}})).empty());
}

TEST(KissDeframer, OverlongFrameIsDroppedAndTheNextFendStartsAFrame) {
  const Bytes big(600, 0x41);
  const Bytes stream = Concat({{0xC0}, big, {0xC0}, kA, {0xC0}, {0xC0}, kB, {0xC0}});
  // The FEND closing the overlong frame opens the next one.
  EXPECT_EQ(Receive(ReceiveChecks::None, stream), (std::vector<Bytes>{kA, kB}));
}

TEST(KissDeframer, EscapedBytesCountOnceTowardsTheLimit) {
  Bytes frame(KissDeframer::kLimit - 1, 0xC0);  // every byte a FEND, escaped on the line
  frame[0] = 0x00;
  EXPECT_EQ(Receive(ReceiveChecks::None, EncodeKiss(frame)), std::vector<Bytes>{frame});
}

TEST(KissDeframer, EverySerialFramingRoundTrips) {
  std::mt19937 rng(99);
  for (KissProtocol protocol : {KissProtocol::Kiss, KissProtocol::Smack, KissProtocol::Rmnc}) {
    Bytes stream;
    std::vector<Bytes> sent;
    for (int n = 0; n < 50; ++n) {
      Bytes frame(2 + rng() % 300);
      for (auto& b : frame) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0xC0 + rng() % 32 : rng());
      // Radio channels 0 and 1 only, as an RMNC port can tell no others apart.
      frame[0] = static_cast<std::uint8_t>((rng() % 2) << 4);
      sent.push_back(frame);
      const Bytes wire = EncodeFor(protocol, frame);
      stream.insert(stream.end(), wire.begin(), wire.end());
    }
    for (std::size_t chunk : {1u, 7u, 255u}) {
      EXPECT_EQ(Receive(SerialChecks(protocol), stream, chunk), sent) << static_cast<int>(protocol);
    }
  }
}

TEST(KissDeframer, SmackFrameOnAnyKissFamilyPort) {
  const Bytes frame = {0x00, 'h', 'e', 'l', 'l', 'o'};
  Bytes good = EncodeSmack(frame);
  EXPECT_EQ(good[1], 0x80);
  // Good checksum: delivered with command byte 0x00 and two bytes shorter.
  EXPECT_EQ(Receive(ReceiveChecks::Smack, good), std::vector<Bytes>{frame});
  EXPECT_EQ(Receive(ReceiveChecks::SmackAndFlexnet, good), std::vector<Bytes>{frame});
  // Bad checksum: discarded silently.
  Bytes bad = good;
  bad[3] ^= 0x01;
  EXPECT_TRUE(Receive(ReceiveChecks::Smack, bad).empty());
  EXPECT_TRUE(Receive(ReceiveChecks::SmackAndFlexnet, bad).empty());
  // KISS over TCP knows no checksums: taken as it stands.
  const std::uint16_t crc = SmackCrc(Bytes{0x80, 'h', 'e', 'l', 'l', 'o'});
  const Bytes raw = {0x80, 'h', 'e', 'l', 'l', 'o', static_cast<std::uint8_t>(crc & 0xFF),
                     static_cast<std::uint8_t>(crc >> 8)};
  EXPECT_EQ(Receive(ReceiveChecks::None, bad).size(), 1u);
  EXPECT_EQ(Receive(ReceiveChecks::None, good), std::vector<Bytes>{raw});
}

TEST(KissDeframer, Bit5IsAFlexnetFlagOnlyOnRmncPorts) {
  const Bytes channel2 = {0x20, 'd', 'a', 't', 'a'};
  const Bytes wire = EncodeKiss(channel2);
  // Radio channel 2 on KISS and SMACK ports.
  EXPECT_EQ(Receive(ReceiveChecks::Smack, wire), std::vector<Bytes>{channel2});
  // On an RMNC port the FlexNet check applies and fails.
  EXPECT_TRUE(Receive(ReceiveChecks::SmackAndFlexnet, wire).empty());

  const Bytes frame = {0x00, 'd', 'a', 't', 'a'};
  Bytes rmnc = EncodeRmnc(frame);
  EXPECT_EQ(Receive(ReceiveChecks::SmackAndFlexnet, rmnc), std::vector<Bytes>{frame});
  rmnc[2] ^= 0x40;
  EXPECT_TRUE(Receive(ReceiveChecks::SmackAndFlexnet, rmnc).empty());
}

TEST(CheckKissFrame, FlaggedFramesTooShortForAChecksumAreDropped) {
  Bytes two = {0x80, 0x00};
  EXPECT_FALSE(CheckKissFrame(ReceiveChecks::Smack, two));
  Bytes rmncTwo = {0x20, 0x00};
  EXPECT_FALSE(CheckKissFrame(ReceiveChecks::SmackAndFlexnet, rmncTwo));
  // A flagged frame holding nothing but its command byte and checksum passes.
  const std::uint16_t crc = SmackCrc(Bytes{0x80});
  Bytes three = {0x80, static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)};
  EXPECT_EQ(CheckKissFrame(ReceiveChecks::Smack, three), 1u);
  EXPECT_EQ(three[0], 0x00);
}

TEST(CheckKissFrame, NonDataCommandWithBit7IsNotSmack) {
  Bytes frame = {0x81, 1, 2, 3};  // low nibble 1: not a SMACK data frame
  EXPECT_EQ(CheckKissFrame(ReceiveChecks::Smack, frame), 4u);
  EXPECT_EQ(frame[0], 0x81);
}

TEST(KissDeframer, ResetForgetsAPartialFrame) {
  KissDeframer d;
  EXPECT_TRUE(Receive(d, {0xC0, 0x00, 0x41, 0x42}).empty());
  EXPECT_TRUE(d.inFrame());
  d.reset();
  EXPECT_TRUE(Receive(d, {0x43, 0xC0}).empty());
  EXPECT_EQ(Receive(d, Concat({kA, {0xC0}})), std::vector<Bytes>{kA});
}

// Chunks are taken as runs of bytes; what comes out must be what the byte
// by byte receiver gives, for streams dense in FEND, FESC, escapes and
// overlong frames, cut into chunks of every size.
TEST(KissDeframer, ChunksGiveWhatSingleBytesGive) {
  std::mt19937 rnd(7);
  const std::uint8_t special[] = {kFend, kFesc, kTfend, kTfesc};
  for (int round = 0; round < 200; ++round) {
    Bytes stream(static_cast<std::size_t>(rnd() % 3000));
    const unsigned density = 1 + rnd() % 400;  // one special byte in so many
    for (auto& b : stream)
      b = rnd() % density == 0 ? special[rnd() % 4] : static_cast<std::uint8_t>(rnd());
    const ReceiveChecks checks = round % 3 == 0 ? ReceiveChecks::Smack : ReceiveChecks::None;
    KissDeframer single(checks);
    std::vector<Bytes> expected;
    for (std::uint8_t b : stream)
      if (auto f = single.push(b)) expected.emplace_back(f->begin(), f->end());
    const std::size_t chunk = 1 + rnd() % 700;
    KissDeframer chunked(checks);
    ASSERT_EQ(Receive(chunked, stream, chunk), expected) << "round " << round << ", chunk " << chunk;
    EXPECT_EQ(chunked.count(), single.count());
    EXPECT_EQ(chunked.inFrame(), single.inFrame());
  }
}

}  // namespace
}  // namespace tarvik::devices
