// Frames to KISS frame bytes and back: exact bytes, every drop rule, and
// round trips through encoder and decoder.

#include "ax25/frame_codec.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace tarvik::ax25 {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, const AddressBytes& a) { out.insert(out.end(), a.begin(), a.end()); }

// A KISS frame assembled by hand: command byte, addresses, control, rest.
Bytes Frame(std::uint8_t command, const std::vector<AddressRecord>& addresses,
            std::uint8_t control, const Bytes& rest = {}) {
  Bytes out{command};
  for (const auto& a : addresses) Append(out, EncodeAddress(a));
  out.push_back(control);
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

const AddressRecord kDest{"DB0XYZ", 0, true, false};
const AddressRecord kSrc{"DL1ABC", 7, false, true};
const AddressRecord kSrcMore{"DL1ABC", 7, false, false};  // digipeaters follow

TEST(EncodeFrame, ExactBytesOfAUiFrameViaADigipeater) {
  ViaList via;
  via[0] = {"WIDE1", 1};
  const Bytes text = {'h', 'i'};
  const FrameRecord f = BuildFrame(0, 1, false, AddressRecord{"TARVK", 0}, AddressRecord{"DL1ABC", 7},
                                   via, FrameType::UI, CrPf::Command, kPidNoLayer3, 0, 0, text);
  const auto raw = EncodeFrame(f);
  ASSERT_TRUE(raw);
  const Bytes expected = {
      0x10,                                                  // radio channel 1, data
      'T' << 1, 'A' << 1, 'R' << 1, 'V' << 1, 'K' << 1, 0x40, 0xE0,   // C/R 1
      'D' << 1, 'L' << 1, '1' << 1, 'A' << 1, 'B' << 1, 'C' << 1, 0x6E,  // C/R 0, more follow
      'W' << 1, 'I' << 1, 'D' << 1, 'E' << 1, '1' << 1, 0x40, 0x63,   // end of the field
      0x03, 0xF0, 'h', 'i'};
  EXPECT_EQ(Bytes(raw->bytes().begin(), raw->bytes().end()), expected);
  EXPECT_EQ(raw->owner, ui::kNoWindow);
}

TEST(EncodeFrame, PidOnlyAfterIAndUiControlBytes) {
  for (FrameType t : {FrameType::I, FrameType::UI, FrameType::RR, FrameType::SABM, FrameType::FRMR}) {
    const FrameRecord f = BuildFrame(0, 0, false, kDest, kSrc, ViaList{}, t, CrPf::CommandPoll,
                                     0xF0, 1, 2, {});
    const auto raw = EncodeFrame(f);
    ASSERT_TRUE(raw);
    const bool pid = t == FrameType::I || t == FrameType::UI;
    EXPECT_EQ(raw->length, pid ? 17 : 16) << static_cast<int>(t);
  }
}

TEST(EncodeFrame, RefusesFramesBeyondTheBufferCapacity) {
  ViaList via;
  for (std::size_t i = 0; i < kMaxVia; ++i) via[i] = {"DIGI" + std::to_string(i), 0};
  // 1 + 10 addresses of 7 + control + PID = 73 header bytes; 545 info bytes fill the buffer.
  const Bytes fits(545, 0x41);
  const Bytes tooLong(546, 0x41);
  const auto full = EncodeFrame(
      BuildFrame(0, 0, false, kDest, kSrc, via, FrameType::I, CrPf::Command, 0xF0, 0, 0, fits));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->length, 618);
  EXPECT_FALSE(EncodeFrame(
      BuildFrame(0, 0, false, kDest, kSrc, via, FrameType::I, CrPf::Command, 0xF0, 0, 0, tooLong)));
  // More than a record holds is refused as a whole, never cut to what fits.
  for (const std::size_t n : {619u, 5000u}) {
    const FrameRecord f = BuildFrame(0, 0, false, kDest, kSrc, ViaList{}, FrameType::UI,
                                     CrPf::Command, 0xF0, 0, 0, Bytes(n, 0x41));
    EXPECT_FALSE(EncodeFrame(f)) << n;
    EXPECT_NE(f.info, Bytes{}) << n;
  }
}

TEST(DecodeFrame, ShortFramesAreDropped) {
  const Bytes sabm = Frame(0x00, {kDest, kSrc}, 0x3F);
  ASSERT_EQ(sabm.size(), 16u);
  EXPECT_FALSE(DecodeFrame(0, std::span(sabm).first(15)));
  EXPECT_FALSE(DecodeFrame(0, Bytes{}));
  const auto f = DecodeFrame(0, sabm);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, FrameType::SABM);
  EXPECT_EQ(f->crpf, CrPf::CommandPoll);
}

TEST(DecodeFrame, CommandByteTable) {
  struct Case {
    std::uint8_t command;
    bool delivered;
    int radioChannel;
  };
  const std::vector<Case> cases = {
      {0x00, true, 0}, {0x10, true, 1}, {0x40, true, 4},
      {0x50, false, 0},  // radio channel 5
      {0x01, false, 0},  // TXDELAY, not data
      {0x0F, false, 0},
      {0x80, false, 0},  // a signed byte: radio channel -8
      {0xF0, false, 0},  // -1
      {0xF8, false, 0},  // radio channel 0 but command 8
      {0xFF, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const auto f = DecodeFrame(5, Frame(c.command, {kDest, kSrc}, 0x3F));
    ASSERT_EQ(f.has_value(), c.delivered);
    if (!f) continue;
    EXPECT_EQ(f->radioChannel, c.radioChannel);
    EXPECT_EQ(f->kissCommand, 0);
    EXPECT_EQ(f->port, 5);
  }
}

TEST(DecodeFrame, EmptyCallsAreDropped) {
  EXPECT_FALSE(DecodeFrame(0, Frame(0x00, {AddressRecord{"", 0, true}, kSrc}, 0x3F)));
  EXPECT_FALSE(DecodeFrame(0, Frame(0x00, {kDest, AddressRecord{"", 3, false, true}}, 0x3F)));
  // An empty digipeater would end the via list early and hide the rest of the path.
  EXPECT_FALSE(DecodeFrame(0, Frame(0x00, {kDest, kSrcMore, AddressRecord{"", 0, false, false},
                                           AddressRecord{"DB0BBB", 0, false, true}},
                                    0x3F)));
  // A call that shifts to NUL in its first byte is empty too.
  Bytes nul = Frame(0x00, {kDest, kSrc}, 0x3F);
  nul[8] = 0x01;
  EXPECT_FALSE(DecodeFrame(0, nul));
}

TEST(DecodeFrame, CrPfFromTheTwoCrBitsAndPollFinal) {
  struct Case {
    bool destC, srcC;
    std::uint8_t control;
    CrPf crpf;
  };
  const std::vector<Case> cases = {
      {false, true, 0x01, CrPf::Response},    {true, false, 0x01, CrPf::Command},
      {true, false, 0x11, CrPf::CommandPoll}, {false, true, 0x11, CrPf::ResponseFinal},
      {true, true, 0x11, CrPf::OldVersion},   {false, false, 0x01, CrPf::OldVersion},
  };
  for (const auto& c : cases) {
    const auto f = DecodeFrame(0, Frame(0x00, {AddressRecord{"DB0XYZ", 0, c.destC},
                                               AddressRecord{"DL1ABC", 0, c.srcC, true}},
                                        c.control));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->crpf, c.crpf) << c.destC << c.srcC << int(c.control);
  }
}

TEST(DecodeFrame, ControlByteTable) {
  struct Case {
    std::uint8_t control;
    FrameType type;
    int nr, ns;
  };
  const std::vector<Case> cases = {
      {0x7A, FrameType::I, 3, 5},     {0xEE, FrameType::I, 7, 7},    {0x41, FrameType::RR, 2, 0},
      {0xF5, FrameType::RNR, 7, 0},   {0x29, FrameType::REJ, 1, 0},  {0x6D, FrameType::SIll, 3, 0},
      {0x3F, FrameType::SABM, 0, 0},  {0x53, FrameType::DISC, 0, 0}, {0x0F, FrameType::DM, 0, 0},
      {0x73, FrameType::UA, 0, 0},    {0x97, FrameType::FRMR, 0, 0}, {0x13, FrameType::UI, 0, 0},
      {0xAF, FrameType::UIll, 0, 0},
  };
  for (const auto& c : cases) {
    const auto f = DecodeFrame(0, Frame(0x00, {kDest, kSrc}, c.control, {0xF0, 'x'}));
    ASSERT_TRUE(f);
    SCOPED_TRACE(c.control);
    EXPECT_EQ(f->control, c.control);
    EXPECT_EQ(f->type, c.type);
    EXPECT_EQ(f->nr, c.nr);
    EXPECT_EQ(f->ns, c.ns);
    // The byte after the control byte is the PID only for I and UI frames.
    const bool pid = c.type == FrameType::I || c.type == FrameType::UI;
    EXPECT_EQ(f->pid, pid ? 0xF0 : 0);
    EXPECT_EQ(f->info, pid ? Bytes{'x'} : (Bytes{0xF0, 'x'}));
  }
}

TEST(DecodeFrame, DamaMasterFromSourceSsidByte) {
  Bytes frame = Frame(0x00, {kDest, kSrc}, 0x3F);
  frame[14] = 0x4F;  // bit 6 set, bit 5 clear, end of the address field
  auto f = DecodeFrame(0, frame);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->dama);
  EXPECT_EQ(f->source.ssid, 7);
  frame[14] = 0x6F;
  f = DecodeFrame(0, frame);
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->dama);
  // 0x4E (end bit clear) is the DAMA mark as well; a digipeater must then follow.
  frame[14] = 0x4E;
  Bytes withDigi(frame.begin(), frame.begin() + 15);
  Append(withDigi, EncodeAddress({"DB0AAA", 0, false, true}));
  withDigi.push_back(0x3F);
  f = DecodeFrame(0, withDigi);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->dama);
}

TEST(DecodeFrame, DigipeatersWithHBits) {
  const AddressRecord d1{"DB0AAA", 1, true, false}, d2{"DB0BBB", 0, false, true};
  const auto f = DecodeFrame(0, Frame(0x00, {kDest, kSrcMore, d1, d2}, 0x03, {0xF0, 'a'}));
  ASSERT_TRUE(f);
  EXPECT_EQ(ViaCount(f->via), 2u);
  EXPECT_EQ(f->via[0], d1);  // repeated
  EXPECT_EQ(f->via[1], d2);  // not yet
  EXPECT_EQ(f->type, FrameType::UI);
  EXPECT_EQ(f->info, Bytes{'a'});
}

TEST(DecodeFrame, AddressFieldEndsAfterEightDigipeaters) {
  std::vector<AddressRecord> addresses = {kDest, kSrcMore};
  for (int i = 0; i < 8; ++i) addresses.push_back({"DIGI" + std::to_string(i), i, false, false});
  // No end bit anywhere: the byte after the eighth digipeater is the control byte.
  const auto f = DecodeFrame(0, Frame(0x00, addresses, 0x03, {0xF0, 'z'}));
  ASSERT_TRUE(f);
  EXPECT_EQ(ViaCount(f->via), 8u);
  EXPECT_EQ(f->via[7].call, "DIGI7");
  EXPECT_EQ(f->type, FrameType::UI);
  EXPECT_EQ(f->info, Bytes{'z'});
}

TEST(DecodeFrame, AddressFieldRunningPastTheEndIsDropped) {
  // The source announces a digipeater, but the frame ends inside it or right
  // after it, with no control byte.
  Bytes frame = Frame(0x00, {kDest, kSrcMore}, 0x3F);
  EXPECT_FALSE(DecodeFrame(0, frame));
  frame.pop_back();
  Append(frame, EncodeAddress({"DB0AAA", 0, false, true}));
  EXPECT_FALSE(DecodeFrame(0, frame));
  frame.push_back(0x3F);
  EXPECT_TRUE(DecodeFrame(0, frame));
}

TEST(DecodeFrame, IFrameEndingAtItsControlByte) {
  const auto f = DecodeFrame(0, Frame(0x00, {kDest, kSrc}, 0x7A));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, FrameType::I);
  EXPECT_EQ(f->pid, 0);
  EXPECT_EQ(f->infoLength(), 0);
}

TEST(DecodeFrame, OversizedInformationIsDroppedButTheFrameDelivered) {
  for (std::size_t n : {1u, 256u, 516u, 517u, 600u}) {
    Bytes rest{0xF0};
    rest.resize(1 + n, 0x42);
    const auto f = DecodeFrame(0, Frame(0x00, {kDest, kSrc}, 0x00, rest));
    ASSERT_TRUE(f) << n;
    EXPECT_EQ(f->infoLength(), n <= kMaxInfoLength ? static_cast<int>(n) : 0) << n;
    EXPECT_EQ(f->type, FrameType::I);
  }
}

// Round trips: what the program builds and sends reads back as the same frame.
struct RoundTrip {
  FrameType type;
  CrPf crpf;
  int viaCount;
  int repeated;  // digipeaters with the H bit set, as after digipeating
  std::size_t infoLength;
};

void PrintTo(const RoundTrip& p, std::ostream* os) {
  *os << "type " << static_cast<int>(p.type) << ", crpf " << static_cast<int>(p.crpf) << ", "
      << p.viaCount << " via (" << p.repeated << " repeated), " << p.infoLength << " info bytes";
}

class FrameRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(FrameRoundTrip, EncodeThenDecodeGivesTheSameRecord) {
  const RoundTrip& p = GetParam();
  ViaList via;
  for (int i = 0; i < p.viaCount; ++i) via[i] = {"DIGI" + std::to_string(i), i % 16};
  Bytes info(p.infoLength);
  for (std::size_t i = 0; i < info.size(); ++i) info[i] = static_cast<std::uint8_t>(i * 7);
  FrameRecord sent = BuildFrame(3, 4, false, AddressRecord{"DB0XYZ", 15}, AddressRecord{"DL1ABC", 1},
                                via, p.type, p.crpf, kPidNoLayer3, 6, 3, info);
  for (int i = 0; i < p.repeated; ++i) sent.via[i].cbit = true;

  const auto raw = EncodeFrame(sent);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->data[0], 0x40);
  const auto got = DecodeFrame(3, raw->bytes());
  ASSERT_TRUE(got);
  EXPECT_EQ(got->port, 3);
  EXPECT_EQ(got->radioChannel, 4);
  EXPECT_EQ(got->kissCommand, 0);
  EXPECT_FALSE(got->dama);
  EXPECT_EQ(got->type, sent.type);
  EXPECT_EQ(got->crpf, sent.crpf);
  EXPECT_EQ(got->control, sent.control);
  EXPECT_EQ(got->pid, sent.pid);
  EXPECT_EQ(got->nr, sent.nr);
  EXPECT_EQ(got->ns, sent.ns);
  EXPECT_EQ(got->destination, sent.destination);
  EXPECT_EQ(got->source, sent.source);
  EXPECT_EQ(got->via, sent.via);
  EXPECT_EQ(got->info, sent.info);

  // And the decoded record encodes to the same bytes (a digipeated frame is
  // re-sent this way).
  const auto again = EncodeFrame(*got);
  ASSERT_TRUE(again);
  EXPECT_TRUE(std::ranges::equal(again->bytes(), raw->bytes()));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameRoundTrip,
    ::testing::Values(RoundTrip{FrameType::SABM, CrPf::CommandPoll, 0, 0, 0},
                      RoundTrip{FrameType::UA, CrPf::ResponseFinal, 1, 1, 0},
                      RoundTrip{FrameType::DISC, CrPf::Command, 2, 0, 0},
                      RoundTrip{FrameType::DM, CrPf::Response, 0, 0, 0},
                      RoundTrip{FrameType::RR, CrPf::CommandPoll, 3, 2, 0},
                      RoundTrip{FrameType::RNR, CrPf::Response, 0, 0, 0},
                      RoundTrip{FrameType::REJ, CrPf::ResponseFinal, 8, 8, 0},
                      RoundTrip{FrameType::FRMR, CrPf::Response, 0, 0, 3},
                      RoundTrip{FrameType::I, CrPf::Command, 0, 0, 1},
                      RoundTrip{FrameType::I, CrPf::CommandPoll, 2, 1, 256},
                      RoundTrip{FrameType::I, CrPf::Command, 8, 3, 516},
                      RoundTrip{FrameType::UI, CrPf::Command, 1, 0, 80},
                      RoundTrip{FrameType::UI, CrPf::ResponseFinal, 8, 0, 0}));

}  // namespace
}  // namespace tarvik::ax25
