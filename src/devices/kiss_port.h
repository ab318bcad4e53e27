#pragma once
// The KISS side of a port window, shared by serial TNC ports and KISS over
// TCP/IP.
//
// Receiving: a port owns one KissReceiver. Received bytes, in chunks of any
// size, go through the port's KISS deframer (with the checks of its protocol:
// SMACK and FlexNet on serial ports, none over TCP/IP); every frame that
// passes is decoded and posted as user event 800 to the task window. The
// receiver only posts, so it may run on a serial port's reader thread; one
// receiver is used by one thread at a time.
//
// Sending: user event 811 carries a RawFrameBuffer (KISS command byte and
// AX.25 frame); KissTransmitBytes gives what the port writes for it, in one
// write, framed in the port's protocol.

#include <cstdint>
#include <span>
#include <vector>

#include "ax25/frame.h"
#include "devices/kiss.h"
#include "devices/kiss_deframer.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::devices {

class KissReceiver {
 public:
  // Frames of `port` are posted to `taskWindow` through the toolkit's
  // thread-safe post.
  KissReceiver(ui::Toolkit& toolkit, ui::WindowId taskWindow, int port, ReceiveChecks checks)
      : toolkit_(toolkit), taskWindow_(taskWindow), port_(port), deframer_(checks) {}

  // Takes received bytes; returns the number of frames posted.
  int feed(std::span<const std::uint8_t> bytes);

  // Forgets a partly received frame (the line was re-initialised).
  void reset() { deframer_.reset(); }

  int port() const { return port_; }

 private:
  ui::Toolkit& toolkit_;
  ui::WindowId taskWindow_;
  int port_;
  KissDeframer deframer_;
};

// The bytes a KISS-family port writes for one RawFrameBuffer: FEND-framed in
// the port's protocol (plain KISS, SMACK or RMNC).
std::vector<std::uint8_t> KissTransmitBytes(KissProtocol protocol, const ax25::RawFrameBuffer& buffer);

// The same for user event 811: empty when the event carries no
// RawFrameBuffer. The buffer itself stays with the event and is freed with
// it.
std::vector<std::uint8_t> KissTransmitBytes(KissProtocol protocol, const ui::Event& event);

}  // namespace tarvik::devices
