// The shared KISS receive path: chunks of any size in, decoded frames posted.
#include <gtest/gtest.h>

#include "ax25/frame_codec.h"
#include "ax25/frame_events.h"
#include "devices/kiss_port.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::devices {
namespace {

struct Task : ui::Window {
  std::vector<ax25::FrameRecord> frames;
  void onEvent(ui::Event& e) override {
    if (auto* f = e.as<ax25::FrameRecord>(); f && e.id == ax25::kEvtFrameReceived) frames.push_back(*f);
  }
};

TEST(KissReceiver, FramesAcrossChunksAndDamagedOnesDropped) {
  ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
  const ui::WindowId task = tk.create(ui::WindowSpec{}, std::make_unique<Task>());
  auto* t = tk.findAs<Task>(task);
  const auto frame = ax25::EncodeFrame(ax25::BuildFrame(
      7, 0, false, *ax25::ParseCall("CQ"), *ax25::ParseCall("N0CALL"), ax25::ViaList{},
      ax25::FrameType::UI, ax25::CrPf::Command, 0xF0, 0, 0, std::vector<std::uint8_t>{0xC0, 0xDB}));

  KissReceiver rx(tk, task, 7, ReceiveChecks::Smack);
  std::vector<std::uint8_t> stream = EncodeKiss(*frame);
  std::vector<std::uint8_t> bad = EncodeSmack(*frame);
  bad[bad.size() - 2] ^= 0x40;
  stream.insert(stream.end(), bad.begin(), bad.end());
  const auto good = EncodeSmack(*frame);
  stream.insert(stream.end(), good.begin(), good.end());
  int posted = 0;
  for (std::uint8_t b : stream) posted += rx.feed(std::span(&b, 1));  // byte by byte
  EXPECT_EQ(posted, 2);
  tk.pump();
  ASSERT_EQ(t->frames.size(), 2u);
  EXPECT_EQ(t->frames[1].info, (std::vector<std::uint8_t>{0xC0, 0xDB}));
  EXPECT_EQ(t->frames[1].port, 7);

  // Over TCP/IP no checksum is looked at: the flagged frame is taken as it
  // is, and its command byte 0x80 makes it no data frame.
  KissReceiver tcp(tk, task, 7, ReceiveChecks::None);
  EXPECT_EQ(tcp.feed(good), 0);
  EXPECT_EQ(tcp.feed(EncodeKiss(*frame)), 1);
  EXPECT_EQ(KissTransmitBytes(KissProtocol::Rmnc, *frame), EncodeRmnc(*frame));
}

}  // namespace
}  // namespace tarvik::devices
