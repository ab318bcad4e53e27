#pragma once
// The AX.25 frame in memory, and the unit of bytes exchanged with ports.
//
// Every frame received from or sent to a KISS-family port is one FrameRecord:
// the KISS header fields (port, radio channel, command), the address field
// (destination, source, up to eight digipeaters), the control byte and what it
// means (type, N(R), N(S), command/response and poll/final), the PID and the
// information bytes. A RawFrameBuffer carries the same frame as bytes (KISS
// command byte followed by the AX.25 frame) to and from a port window, or
// plain user data on a transparent link.
//
// Only AX.25 version 2 with modulo-8 sequence numbers exists here: no extended
// control field, no SREJ, no XID or TEST.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ax25/address.h"
#include "ax25/info_bytes.h"
#include "ui/toolkit/event.h"

namespace tarvik::ax25 {

// Frame types with their fixed codes. The two *Ill types only arise from
// received frames whose control byte fits no known pattern.
enum class FrameType : std::int16_t {
  None = 0,  // a record not yet built or decoded
  I = 1,
  RR = 2,
  RNR = 3,
  REJ = 4,
  SABM = 5,
  DISC = 6,
  DM = 7,
  UA = 8,
  FRMR = 9,
  UI = 10,
  SIll = 90,  // supervisory pattern with bits 2-3 = 11
  UIll = 91,  // any other unnumbered pattern
};

// Command/response (from the C/R bits of destination and source) combined
// with poll/final (bit 4 of the control byte).
enum class CrPf : std::int16_t {
  None = 0,           // not chosen; BuildFrame treats it as Response
  Response = 1,       // destination C/R 0, source 1, F clear
  Command = 2,        // destination 1, source 0, P clear
  CommandPoll = 3,    // destination 1, source 0, P set
  ResponseFinal = 4,  // destination 0, source 1, F set
  OldVersion = 9,     // both C/R bits equal (AX.25 version 1); P/F not looked at
};

inline constexpr std::uint8_t kPollFinal = 0x10;
inline constexpr std::uint8_t kPidNoLayer3 = 0xF0;  // the PID of every frame built here
inline constexpr std::size_t kMaxInfoLength = 516;  // longer received fields are dropped

struct FrameRecord final : ui::Payload {
  // Records come and go once per frame; freed ones are kept for the next
  // (see frame.cpp).
  static void* operator new(std::size_t size);
  static void operator delete(void* record, std::size_t size) noexcept;

  // Set while the link layer holds the record for retransmission: the
  // transmit and receive paths then never free it, only its holder does.
  bool keep = false;
  // Times the record was encoded for transmission (counted by the sender,
  // see EncodeFrame).
  int sendCount = 0;
  int port = 0;          // index into the port table
  int radioChannel = 0;  // high nibble of the KISS command byte
  int kissCommand = 0;   // low nibble; 0 (data frame) for every frame here
  std::uint8_t control = 0;
  std::uint8_t pid = 0;  // I and UI frames only, else 0
  // The sender is a DAMA master: its source SSID byte masked with 0x60 is
  // 0x40. Never set in frames the program builds.
  bool dama = false;
  FrameType type = FrameType::None;
  CrPf crpf = CrPf::None;
  int nr = 0;  // N(R) of I and S frames
  int ns = 0;  // N(S) of I frames
  AddressRecord source;
  AddressRecord destination;
  ViaList via;
  InfoBytes info;  // information bytes, empty when none

  // Number of information bytes, 0 when there are none.
  int infoLength() const { return static_cast<int>(info.size()); }
};

// Bytes handed to and from a port window.
struct RawFrameBuffer : ui::Payload {
  static constexpr std::size_t kCapacity = 618;

  // The link window that sent it or is to receive it; none for frames from
  // the encoder.
  ui::WindowId owner = ui::kNoWindow;
  int length = 0;  // bytes used in data
  std::array<std::uint8_t, kCapacity> data{};

  // The used bytes. A length outside 0..kCapacity is clamped, so a damaged
  // length can never reach beyond the buffer.
  std::span<const std::uint8_t> bytes() const;

  // Replaces the contents; false (and nothing changed) when they do not fit.
  bool assign(std::span<const std::uint8_t> bytes);
};

// The control byte of a frame type: N(R)·32 + N(S)·2 for I, N(R)·32 + 1, 5,
// 9 for RR, RNR, REJ, the fixed patterns of the U frames; P/F set for
// CommandPoll and ResponseFinal. nr and ns are taken modulo 8. S-ILL gives
// N(R)·32 + 0x0D and U-ILL 0xEF (+P/F): patterns no station answers with
// anything but FRMR, so a test tool can send them.
// Every information field a port can carry fits a record.
static_assert(InfoBytes::kCapacity >= RawFrameBuffer::kCapacity);

std::uint8_t ControlByte(FrameType type, CrPf crpf, int nr, int ns);

// The type a control byte stands for: bit 0 clear I; bits 0-1 = 01 RR, RNR,
// REJ or S-ILL by bits 2-3; bits 0-1 = 11 the U frame of the byte without
// P/F, U-ILL for unknown patterns.
FrameType TypeOfControl(std::uint8_t control);

// True when a PID byte follows the control byte: I frames and UI frames.
bool HasPid(std::uint8_t control);

// A new frame record: addresses copied with the H and end bits set for
// sending (digipeaters unrepeated, the end bit on the last address), the C/R
// bits from crpf (Command and CommandPoll are commands, everything else a
// response), the control byte from the type, the PID kept for I and UI only,
// N(R) kept for I and S frames and N(S) for I frames (modulo 8), the info
// bytes copied.
FrameRecord BuildFrame(int port, int radioChannel, bool keep, const AddressRecord& destination,
                       const AddressRecord& source, const ViaList& via, FrameType type, CrPf crpf,
                       std::uint8_t pid, int nr, int ns, std::span<const std::uint8_t> info);

}  // namespace tarvik::ax25
