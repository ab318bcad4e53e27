#pragma once
// Frame records to bytes and back, without any transport.
//
// The bytes are those a KISS-family port exchanges: the KISS command byte
// (radio channel in the high nibble, command in the low nibble) followed by
// the AX.25 frame (destination, source, digipeaters, control, PID, info).
// Framing with FEND and checksums belongs to the port drivers; delivering the
// results (posting received frames, handing encoded ones to a port window)
// belongs to the task window. Both functions are pure and safe on any input.

#include <cstdint>
#include <optional>
#include <span>

#include "ax25/frame.h"

namespace tarvik::ax25 {

// Shortest frame worth decoding: KISS command byte, two addresses, control.
inline constexpr std::size_t kMinFrameBytes = 1 + 2 * kAddressBytes + 1;

// Encodes a frame for transmission: command byte radioChannel·16 +
// kissCommand, destination, source, the digipeaters up to the first empty
// one, control, the PID for I and UI frames, the information bytes. Address
// bits (C/R, H, end) are sent as the record holds them. The owner of the
// result is none.
//
// sendCount is not touched: the sender counts the transmission
// (++frame.sendCount) when it actually hands the bytes to a port, so that an
// encoding that is never sent is not counted.
//
// Empty when the frame does not fit a RawFrameBuffer (information fields
// longer than 545 bytes with eight digipeaters); frames built from received
// ones or by the link layer (at most 516 information bytes) always fit.
std::optional<RawFrameBuffer> EncodeFrame(const FrameRecord& frame);

// Decodes one received KISS frame (command byte first) into a record for the
// given port. Empty when the frame is to be dropped:
// - shorter than kMinFrameBytes;
// - the command byte, taken as a signed byte divided by 16, gives a radio
//   channel outside 0..4, or its low nibble is not 0 (not a data frame);
// - the destination, source or a digipeater call is empty;
// - the digipeater addresses announced by the end bits, or the control byte
//   after them, run past the end of the frame.
// An information field longer than kMaxInfoLength is dropped but the frame is
// still delivered (infoLength 0). An I or UI frame that ends right after its
// control byte is delivered with PID 0 and no information.
std::optional<FrameRecord> DecodeFrame(int port, std::span<const std::uint8_t> bytes);
// The same into a fresh record the caller provides (the receive path decodes
// straight into the record it posts); false, and the record unspecified,
// when the frame is dropped.
bool DecodeFrameInto(int port, std::span<const std::uint8_t> bytes, FrameRecord& frame);

}  // namespace tarvik::ax25
