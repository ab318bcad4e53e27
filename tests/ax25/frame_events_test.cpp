// Frame records as events between the port drivers and the task window.
#include <gtest/gtest.h>

#include "ax25/frame_codec.h"
#include "ax25/frame_events.h"
#include "core/app.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ax25 {
namespace {

struct Sink : ui::Window {
  std::vector<std::pair<int, std::vector<std::uint8_t>>> buffers;
  std::vector<FrameRecord> frames;
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    if (auto* b = e.as<RawFrameBuffer>()) buffers.emplace_back(e.id, std::vector<std::uint8_t>(b->bytes().begin(), b->bytes().end()));
    if (auto* f = e.as<FrameRecord>()) frames.push_back(*f);
  }
};

FrameRecord sabm(int port) {
  return BuildFrame(port, 1, false, *ParseCall("DB0ABC"), *ParseCall("N0CALL-1"), ViaList{},
                    FrameType::SABM, CrPf::CommandPoll, 0, 0, 0, {});
}

TEST(FrameEvents, EncodeAndSendDeliversToThePortWindowOnly) {
  ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
  core::App app(tk, core::StartupOptions{});
  const ui::WindowId w = tk.create(ui::WindowSpec{}, std::make_unique<Sink>());
  auto* port = tk.findAs<Sink>(w);
  app.ports()[2].portWindow = w;

  FrameRecord frame = sabm(2);
  EXPECT_TRUE(EncodeAndSend(app, frame));
  ASSERT_EQ(port->buffers.size(), 1u);
  EXPECT_EQ(port->buffers[0].first, kEvtFrameBytes);
  const auto expected = EncodeFrame(frame);
  EXPECT_EQ(port->buffers[0].second,
            std::vector<std::uint8_t>(expected->bytes().begin(), expected->bytes().end()));
  EXPECT_EQ(port->buffers[0].second[0], 0x10);  // radio channel 1

  // Closed ports and ports outside the table get nothing; every try counts.
  frame.port = 3;
  EXPECT_FALSE(EncodeAndSend(app, frame));
  frame.port = 16;
  EXPECT_FALSE(EncodeAndSend(app, frame));
  frame.port = -1;
  EXPECT_FALSE(EncodeAndSend(app, frame));
  EXPECT_EQ(frame.sendCount, 4);
  EXPECT_EQ(port->buffers.size(), 1u);
}

TEST(FrameEvents, ReceivedFramesArePostedAndSentFramesGoToTheTaskWindow) {
  ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
  core::App app(tk, core::StartupOptions{});
  const ui::WindowId task = tk.create(ui::WindowSpec{}, std::make_unique<Sink>());
  auto* sink = tk.findAs<Sink>(task);
  app.taskWindow = task;

  const auto bytes = EncodeFrame(sabm(0));
  EXPECT_TRUE(DecodeReceivedFrame(tk, task, 5, bytes->bytes()));
  EXPECT_FALSE(DecodeReceivedFrame(tk, task, 5, bytes->bytes().first(15)));  // too short
  EXPECT_TRUE(sink->frames.empty()) << "delivered by the main loop, not on the reader thread";
  tk.pump();
  ASSERT_EQ(sink->frames.size(), 1u);
  EXPECT_EQ(sink->frames[0].port, 5);
  EXPECT_EQ(sink->frames[0].type, FrameType::SABM);

  FrameRecord kept = sabm(0);
  kept.keep = true;
  SendFrame(app, kept);  // a kept frame stays with its holder; a copy travels
  ASSERT_EQ(sink->frames.size(), 2u);
  EXPECT_EQ(sink->frames[1].destination.call, kept.destination.call);
}

}  // namespace
}  // namespace tarvik::ax25
