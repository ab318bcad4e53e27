#pragma once
// How frame records travel between the port drivers and the rest of the
// program, as user events.
//
// Receiving: a port's KISS receiver hands every checked KISS frame to
// DecodeReceivedFrame, which builds a FrameRecord and posts it as user event
// 800 to the task window (thread-safe: serial ports decode on their reader
// thread). Sending: any sender hands a FrameRecord to SendFrame (user event
// 810 to the task window); the task window calls EncodeAndSend, which encodes
// the record and delivers the bytes as user event 811 with a RawFrameBuffer to
// the window of the frame's port.
//
// Ownership: records travel as the owned record of a ui::Event. What the
// receiver of an event does not take is freed with the event. A frame that a
// link keeps for retransmission (`keep`) stays with its link: the link sends
// a copy each time, so no transmit or receive path ever frees a kept frame.

#include <cstdint>
#include <memory>
#include <span>

#include "ax25/frame.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::core {
class App;
}

namespace tarvik::ax25 {

inline constexpr int kEvtFrameReceived = 800;  // to the task window: a FrameRecord
inline constexpr int kEvtTransparentData = 801;  // to a port or link window: a RawFrameBuffer
inline constexpr int kEvtFrameSend = 810;      // to the task window: a FrameRecord
inline constexpr int kEvtFrameBytes = 811;     // to a port window: a RawFrameBuffer

// Decodes one received KISS frame (command byte first) of a port and posts
// the record as user event 800 to the task window. Safe on any thread and on
// any bytes; frames the decoder rejects are dropped silently. True when a
// record was posted.
bool DecodeReceivedFrame(ui::Toolkit& toolkit, ui::WindowId taskWindow, int port,
                         std::span<const std::uint8_t> bytes);

// Encodes a frame for its port and delivers the bytes synchronously as user
// event 811 to ports[frame.port].portWindow. sendCount counts the attempt even
// when the port is closed (the link layer sees every try). Nothing is
// delivered for a port without window, a port number outside the table or a
// frame too large for a RawFrameBuffer. True when the bytes were delivered.
bool EncodeAndSend(core::App& app, FrameRecord& frame);

// The task window's part of user event 810: EncodeAndSend of the event's
// FrameRecord (nothing when the event carries none). Suits
// CoreHooks::encodeAndSend.
void EncodeAndSendEvent(core::App& app, ui::Event& event);

// The one way to transmit a frame: user event 810 with the record to the task
// window, delivered synchronously. A link that keeps a frame for
// retransmission passes a copy; the record sent here is freed once the task
// window and the monitor have seen it.
void SendFrame(core::App& app, FrameRecord frame);
void SendFrame(core::App& app, std::unique_ptr<FrameRecord> frame);

}  // namespace tarvik::ax25
