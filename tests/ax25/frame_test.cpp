// Frame records: control bytes, frame types and building frames to send.

#include "ax25/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvik::ax25 {
namespace {

struct ControlCase {
  FrameType type;
  CrPf crpf;
  int nr;
  int ns;
  std::uint8_t control;
};

TEST(ControlByte, TableOfPatterns) {
  const std::vector<ControlCase> cases = {
      {FrameType::I, CrPf::CommandPoll, 3, 5, 0x7A},
      {FrameType::I, CrPf::Command, 0, 0, 0x00},
      {FrameType::I, CrPf::Command, 7, 7, 0xEE},
      {FrameType::I, CrPf::Command, 9, 10, 0x24},  // modulo 8
      {FrameType::RR, CrPf::Response, 2, 0, 0x41},
      {FrameType::RR, CrPf::CommandPoll, 2, 0, 0x51},
      {FrameType::RNR, CrPf::Response, 7, 0, 0xE5},
      {FrameType::REJ, CrPf::ResponseFinal, 1, 0, 0x39},
      {FrameType::SABM, CrPf::CommandPoll, 0, 0, 0x3F},
      {FrameType::SABM, CrPf::Command, 5, 5, 0x2F},  // sequence numbers do not reach U frames
      {FrameType::DISC, CrPf::CommandPoll, 0, 0, 0x53},
      {FrameType::DM, CrPf::ResponseFinal, 0, 0, 0x1F},
      {FrameType::DM, CrPf::Response, 0, 0, 0x0F},
      {FrameType::UA, CrPf::ResponseFinal, 0, 0, 0x73},
      {FrameType::FRMR, CrPf::Response, 0, 0, 0x87},
      {FrameType::UI, CrPf::Command, 0, 0, 0x03},
      {FrameType::UI, CrPf::None, 0, 0, 0x03},
      {FrameType::UI, CrPf::OldVersion, 0, 0, 0x03},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    EXPECT_EQ(ControlByte(c.type, c.crpf, c.nr, c.ns), c.control);
  }
}

TEST(TypeOfControl, EveryBuiltPatternReadsBackAsItsType) {
  const FrameType types[] = {FrameType::I,    FrameType::RR,   FrameType::RNR, FrameType::REJ,
                             FrameType::SABM, FrameType::DISC, FrameType::DM,  FrameType::UA,
                             FrameType::FRMR, FrameType::UI,   FrameType::SIll, FrameType::UIll};
  for (FrameType t : types) {
    for (CrPf crpf : {CrPf::Command, CrPf::CommandPoll}) {
      for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(TypeOfControl(ControlByte(t, crpf, n, 7 - n)), t) << static_cast<int>(t);
      }
    }
  }
}

TEST(TypeOfControl, UnknownPatterns) {
  EXPECT_EQ(TypeOfControl(0x0D), FrameType::SIll);
  EXPECT_EQ(TypeOfControl(0xFD), FrameType::SIll);
  EXPECT_EQ(TypeOfControl(0xAF), FrameType::UIll);  // XID is not handled
  EXPECT_EQ(TypeOfControl(0xE3), FrameType::UIll);  // TEST is not handled
  EXPECT_EQ(TypeOfControl(0x13), FrameType::UI);    // UI with P
  // Every byte has exactly one type; I frames are all even bytes.
  for (int c = 0; c < 256; ++c) {
    const FrameType t = TypeOfControl(static_cast<std::uint8_t>(c));
    EXPECT_EQ(t == FrameType::I, c % 2 == 0) << c;
  }
}

TEST(HasPid, IAndUiOnly) {
  EXPECT_TRUE(HasPid(0x00));
  EXPECT_TRUE(HasPid(0x7A));
  EXPECT_TRUE(HasPid(0x03));
  EXPECT_TRUE(HasPid(0x13));
  EXPECT_FALSE(HasPid(0x01));
  EXPECT_FALSE(HasPid(0x3F));
  EXPECT_FALSE(HasPid(0x87));
}

class BuildFrameTest : public ::testing::Test {
 protected:
  AddressRecord dest{"DB0XYZ", 0, true, true};  // bits set on purpose: BuildFrame owns them
  AddressRecord src{"DL1ABC", 7, false, true};
};

TEST_F(BuildFrameTest, IFrameWithDigipeaters) {
  ViaList via;
  via[0] = {"DB0AAA", 1, true, true};
  via[1] = {"DB0BBB", 0, true, false};
  via[3] = {"STALE", 0};  // beyond the end of the list
  const std::vector<std::uint8_t> text = {'h', 'i', '\r'};
  const FrameRecord f =
      BuildFrame(2, 1, true, dest, src, via, FrameType::I, CrPf::CommandPoll, 0xF0, 3, 5, text);

  EXPECT_EQ(f.port, 2);
  EXPECT_EQ(f.radioChannel, 1);
  EXPECT_TRUE(f.keep);
  EXPECT_EQ(f.kissCommand, 0);
  EXPECT_EQ(f.sendCount, 0);
  EXPECT_FALSE(f.dama);
  EXPECT_EQ(f.type, FrameType::I);
  EXPECT_EQ(f.crpf, CrPf::CommandPoll);
  EXPECT_EQ(f.control, 0x7A);
  EXPECT_EQ(f.pid, 0xF0);
  EXPECT_EQ(f.nr, 3);
  EXPECT_EQ(f.ns, 5);
  EXPECT_EQ(f.info, text);
  EXPECT_EQ(f.infoLength(), 3);

  // A command: destination C/R 1, source 0. Only the last address ends the field.
  EXPECT_EQ(f.destination, (AddressRecord{"DB0XYZ", 0, true, false}));
  EXPECT_EQ(f.source, (AddressRecord{"DL1ABC", 7, false, false}));
  EXPECT_EQ(f.via[0], (AddressRecord{"DB0AAA", 1, false, false}));
  EXPECT_EQ(f.via[1], (AddressRecord{"DB0BBB", 0, false, true}));
  EXPECT_EQ(ViaCount(f.via), 2u);
  EXPECT_TRUE(f.via[3].empty());
}

TEST_F(BuildFrameTest, ResponseWithoutDigipeaters) {
  const FrameRecord f = BuildFrame(0, 0, false, dest, src, ViaList{}, FrameType::UA,
                                   CrPf::ResponseFinal, 0xF0, 0, 0, {});
  EXPECT_EQ(f.control, 0x73);
  EXPECT_EQ(f.pid, 0);  // no PID outside I and UI
  EXPECT_FALSE(f.destination.cbit);
  EXPECT_TRUE(f.source.cbit);
  EXPECT_FALSE(f.destination.last);
  EXPECT_TRUE(f.source.last);
  EXPECT_EQ(f.infoLength(), 0);
  EXPECT_TRUE(f.info.empty());
}

TEST_F(BuildFrameTest, UnchosenCrPfIsAResponseWithoutFinal) {
  const FrameRecord f =
      BuildFrame(0, 0, false, dest, src, ViaList{}, FrameType::SABM, CrPf::None, 0xF0, 0, 0, {});
  EXPECT_EQ(f.control, 0x2F);
  EXPECT_FALSE(f.destination.cbit);
  EXPECT_TRUE(f.source.cbit);
}

TEST_F(BuildFrameTest, SequenceNumbersOnlyWhereTheTypeHasThem) {
  const FrameRecord rr =
      BuildFrame(0, 0, false, dest, src, ViaList{}, FrameType::RR, CrPf::Response, 0xF0, 10, 4, {});
  EXPECT_EQ(rr.nr, 2);
  EXPECT_EQ(rr.ns, 0);
  EXPECT_EQ(rr.control, 0x41);
  const FrameRecord ui =
      BuildFrame(0, 0, false, dest, src, ViaList{}, FrameType::UI, CrPf::Command, 0xCF, 3, 4, {});
  EXPECT_EQ(ui.nr, 0);
  EXPECT_EQ(ui.ns, 0);
  EXPECT_EQ(ui.pid, 0xCF);
}

TEST(RawFrameBuffer, AssignRefusesWhatDoesNotFitAndBytesClamp) {
  RawFrameBuffer b;
  std::vector<std::uint8_t> big(RawFrameBuffer::kCapacity + 1, 0x55);
  EXPECT_FALSE(b.assign(big));
  EXPECT_EQ(b.length, 0);
  big.pop_back();
  EXPECT_TRUE(b.assign(big));
  EXPECT_EQ(b.bytes().size(), RawFrameBuffer::kCapacity);
  b.length = 5000;  // damaged length
  EXPECT_EQ(b.bytes().size(), RawFrameBuffer::kCapacity);
  b.length = -3;
  EXPECT_TRUE(b.bytes().empty());
}

TEST(FrameRecord, TravelsWithAnEvent) {
  auto f = std::make_unique<FrameRecord>();
  f->port = 3;
  ui::Event e = ui::Event::user(800, 0, std::move(f));
  ASSERT_NE(e.as<FrameRecord>(), nullptr);
  EXPECT_EQ(e.as<RawFrameBuffer>(), nullptr);
  EXPECT_EQ(e.take<FrameRecord>()->port, 3);
}

}  // namespace
}  // namespace tarvik::ax25
