#pragma once
// KISS framing of outgoing frames, and the parameter frames that configure a
// TNC's radio channels.
//
// A frame for the TNC is the KISS command byte (radio channel in the high
// nibble, command in the low nibble) followed by the AX.25 frame, as a
// RawFrameBuffer carries it. On the line every frame stands between two FEND
// bytes, with FEND and FESC inside escaped. SMACK and RMNC TNCs also take a
// checksum after data frames, flagged in the command byte (bit 7 for SMACK,
// bit 5 for RMNC; on an RMNC port bit 5 is no longer part of the radio
// channel, so only radio channels 0 and 1 are told apart there).
//
// Everything here is pure: bytes in, bytes out. The port windows write the
// results to the serial line or the TCP connection, one write per frame.

#include <cstdint>
#include <span>
#include <vector>

#include "ax25/frame.h"

namespace tarvik::devices {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;

inline constexpr std::uint8_t kSmackFlag = 0x80;
inline constexpr std::uint8_t kRmncFlag = 0x20;
inline constexpr std::uint8_t kLeaveKissByte = 0xFF;

// The framing a port speaks, with the port table's protocol codes.
enum class KissProtocol : int { Kiss = 1, Smack = 2, Rmnc = 4 };

// KISS command numbers (low nibble of the command byte).
enum class KissCommand : std::uint8_t {
  Data = 0,
  TxDelay = 1,
  Persistence = 2,
  SlotTime = 3,
  TxTail = 4,
  FullDuplex = 5,
};

// Plain KISS: FEND, the bytes with FEND as FESC TFEND and FESC as FESC TFESC,
// FEND.
std::vector<std::uint8_t> EncodeKiss(std::span<const std::uint8_t> frame);

// SMACK: a data frame (low nibble 0) gets bit 7 in its command byte and the
// CRC-16 over command byte and frame, low byte first, escaped like the rest.
// Any other frame goes out as plain KISS.
std::vector<std::uint8_t> EncodeSmack(std::span<const std::uint8_t> frame);

// RMNC: as SMACK with bit 5 as flag and the FlexNet CRC, high byte first.
std::vector<std::uint8_t> EncodeRmnc(std::span<const std::uint8_t> frame);

// The encoder of a port's protocol.
std::vector<std::uint8_t> EncodeFor(KissProtocol protocol, std::span<const std::uint8_t> frame);

inline std::vector<std::uint8_t> EncodeKiss(const ax25::RawFrameBuffer& b) { return EncodeKiss(b.bytes()); }
inline std::vector<std::uint8_t> EncodeSmack(const ax25::RawFrameBuffer& b) { return EncodeSmack(b.bytes()); }
inline std::vector<std::uint8_t> EncodeRmnc(const ax25::RawFrameBuffer& b) { return EncodeRmnc(b.bytes()); }

// Parameter numbers of a single parameter request (user event 954).
enum class KissParameter : int {
  TxDelay = 0,     // milliseconds, sent in units of 10 ms
  TxTail = 1,      // milliseconds, sent in units of 10 ms
  Persist = 2,     // percent, sent as 0..255
  SlotTime = 3,    // milliseconds, sent in units of 10 ms
  FullDuplex = 4,  // sent as it is
  LeaveKiss = 5,   // the single byte 0xFF: the TNC leaves KISS mode
};

// One parameter frame as it goes on the line, always plain KISS whatever the
// port's protocol (no flag, no checksum): FEND, command byte radioChannel·16 +
// command, value byte, FEND; for LeaveKiss FEND 0xFF FEND. Values are divided
// with truncation toward zero and only their low 8 bits are sent. Empty for
// parameter numbers other than 0..5.
std::vector<std::uint8_t> EncodeKissParameter(int radioChannel, int parameter, int value);

// What the TNC needs to know of one radio channel.
struct KissChannelSettings {
  int window = 0;  // 0: the radio channel is not configured
  int txdelay = 0;
  int txtail = 0;
  int persist = 0;
  int slottime = 0;
};

// The parameter frames for one radio channel, or for every radio channel
// 0..7 when radioChannel is -1: for each configured channel (window above 0)
// TXDELAY, TXTAIL, PERSIST and SLOTTIME, in this order. channels[k] describes
// radio channel k; channels beyond the span count as not configured. Each
// element is one frame for one write.
std::vector<std::vector<std::uint8_t>> EncodeKissParameters(
    std::span<const KissChannelSettings> channels, int radioChannel);

// FEND 0xFF FEND: the TNC leaves KISS mode.
std::vector<std::uint8_t> EncodeLeaveKiss();

}  // namespace tarvik::devices
