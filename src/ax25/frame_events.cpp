#include "ax25/frame_events.h"

#include "ax25/frame_codec.h"
#include "core/app.h"

namespace tarvik::ax25 {

bool DecodeReceivedFrame(ui::Toolkit& toolkit, ui::WindowId taskWindow, int port,
                         std::span<const std::uint8_t> bytes) {
  // Every field a decoded record has is set by its initialisers or the
  // decoder; the room for information bytes need not be cleared first.
  auto frame = std::make_unique_for_overwrite<FrameRecord>();
  if (!DecodeFrameInto(port, bytes, *frame)) return false;
  toolkit.post(taskWindow, ui::Event::user(kEvtFrameReceived, 0, std::move(frame)));
  return true;
}

bool EncodeAndSend(core::App& app, FrameRecord& frame) {
  ++frame.sendCount;
  const core::PortRecord* port = app.ports().Find(frame.port);
  if (port == nullptr || port->portWindow == ui::kNoWindow) return false;
  std::optional<RawFrameBuffer> bytes = EncodeFrame(frame);
  if (!bytes) return false;
  app.toolkit().sendUser(port->portWindow, kEvtFrameBytes, 0,
                         std::make_unique<RawFrameBuffer>(*bytes));
  return true;
}

void EncodeAndSendEvent(core::App& app, ui::Event& event) {
  if (auto* frame = event.as<FrameRecord>()) EncodeAndSend(app, *frame);
}

void SendFrame(core::App& app, FrameRecord frame) {
  SendFrame(app, std::make_unique<FrameRecord>(std::move(frame)));
}

void SendFrame(core::App& app, std::unique_ptr<FrameRecord> frame) {
  if (!frame) return;
  app.toolkit().sendUser(app.taskWindow, kEvtFrameSend, 0, std::move(frame));
}

}  // namespace tarvik::ax25
