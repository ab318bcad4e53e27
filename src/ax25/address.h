#pragma once
// AX.25 addresses: the in-memory address record, its text form ("DL1ABC-7")
// and its seven-byte form on the air.
//
// An address is a call sign of up to six characters on the air (seven in the
// record, as typed by the operator) and an SSID 0..15. The SSID byte carries
// two more bits whose meaning depends on the address's position: for the
// destination and the source it is the command/response bit, for a
// digipeater the H bit ("has been repeated"); and bit 0 marks the final
// address of the address field.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvik::ax25 {

struct AddressRecord {
  // Most characters a call text holds. Only the first six reach the air.
  static constexpr std::size_t kCallCapacity = 7;

  std::string call;   // upper-case letters and digits; empty = "no address"
  int ssid = 0;       // 0..15
  bool cbit = false;  // command/response bit, or the H bit of a digipeater
  bool last = false;  // final address of the address field

  bool empty() const { return call.empty(); }
  friend bool operator==(const AddressRecord&, const AddressRecord&) = default;
};

// Digipeaters in on-air order. The list ends at the first empty entry or after
// all eight.
inline constexpr std::size_t kMaxVia = 8;
using ViaList = std::array<AddressRecord, kMaxVia>;

// Number of used entries of a digipeater list (up to the first empty one).
std::size_t ViaCount(const ViaList& via);

// Call sign text to address: letters are folded to upper case, an optional
// "-" and one or two digits give the SSID (characters after two digits are
// ignored). Fails on any other character, on "-" without a digit and on an
// SSID above 15. An empty text gives an empty call. cbit and last are 0.
std::optional<AddressRecord> ParseCall(std::string_view text);

// Appends the call and, unless the SSID is 0, "-" and the SSID in decimal.
void FormatCall(const AddressRecord& address, std::string& out);
std::string FormatCall(const AddressRecord& address);

// Same station: equal SSIDs and equal call texts (case-sensitive). The
// command/response, H and end bits do not matter.
bool SameAddress(const AddressRecord& a, const AddressRecord& b);

// The used entries of a digipeater list in reverse order, the rest empty:
// the way back to the sender of a received frame. The entries are copied as
// they are, H and end bits included (BuildFrame resets them).
ViaList ReversePath(const ViaList& via);

// Seven bytes of one address on the air.
inline constexpr std::size_t kAddressBytes = 7;
using AddressBytes = std::array<std::uint8_t, kAddressBytes>;

// Each call character shifted left by one, padded with shifted blanks to six
// characters (a seventh character has no place on the air), then the SSID
// byte 0x60 + ssid·2 (+0x80 for cbit, +0x01 for last).
AddressBytes EncodeAddress(const AddressRecord& address);

// The reverse: up to six characters shifted right, ending early at a padding
// byte (0x40) or at a byte that would give a NUL character; ssid, cbit and
// last from the SSID byte.
AddressRecord DecodeAddress(std::span<const std::uint8_t, kAddressBytes> bytes);

}  // namespace tarvik::ax25
