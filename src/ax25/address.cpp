#include "ax25/address.h"

#include <charconv>
#include <ostream>

namespace tarvik::ax25 {

namespace {


bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::ostream& operator<<(std::ostream& out, const CallText& call) { return out << call.view(); }

std::size_t ViaCount(const ViaList& via) {
  std::size_t n = 0;
  while (n < via.size() && !via[n].empty()) ++n;
  return n;
}

std::optional<AddressRecord> ParseCall(std::string_view text) {
  AddressRecord address;
  std::size_t pos = 0;
  // A text ends at its end or at an embedded NUL, as typed texts do.
  auto at = [&](std::size_t i) -> char { return i < text.size() ? text[i] : '\0'; };

  while (address.call.size() < AddressRecord::kCallCapacity) {
    char c = at(pos);
    if (c == '\0' || c == '-') break;
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (!(c >= 'A' && c <= 'Z') && !IsDigit(c)) {
      return std::nullopt;
    }
    address.call.push_back(c);
    ++pos;
  }
  // Decided: a call text longer than seven characters is cut after the
  // seventh, as the seven-character record cannot hold more; only a "-" right
  // after the call introduces an SSID.
  if (at(pos) == '-') {
    ++pos;
    if (!IsDigit(at(pos))) return std::nullopt;
    int ssid = at(pos) - '0';
    ++pos;
    if (at(pos) != '\0') {
      if (!IsDigit(at(pos))) return std::nullopt;
      ssid = ssid * 10 + (at(pos) - '0');
    }
    if (ssid >= 16) return std::nullopt;
    address.ssid = ssid;
  }
  return address;
}

void FormatCall(const AddressRecord& address, std::string& out) {
  out += address.call;
  if (address.ssid != 0) {
    // Written for every monitored frame: no temporary text.
    char text[16] = {'-'};
    const auto result = std::to_chars(text + 1, text + sizeof text, address.ssid);
    out.append(text, result.ptr);
  }
}

std::string FormatCall(const AddressRecord& address) {
  std::string out;
  FormatCall(address, out);
  return out;
}

bool SameAddress(const AddressRecord& a, const AddressRecord& b) {
  return a.ssid == b.ssid && a.call == b.call;
}

ViaList ReversePath(const ViaList& via) {
  ViaList reversed;
  const std::size_t n = ViaCount(via);
  for (std::size_t i = 0; i < n; ++i) reversed[i] = via[n - 1 - i];
  return reversed;
}

AddressBytes EncodeAddress(const AddressRecord& address) {
  AddressBytes bytes;
  for (std::size_t i = 0; i < kCallBytes; ++i) {
    bytes[i] = i < address.call.size()
                   ? static_cast<std::uint8_t>(static_cast<unsigned char>(address.call[i]) << 1)
                   : kShiftedBlankOnAir;
  }
  // Bits 5 and 6 of the SSID byte are reserved and always sent as 1.
  bytes[6] = static_cast<std::uint8_t>(0x60 + (address.ssid & 0x0F) * 2 +
                                       (address.cbit ? 0x80 : 0) + (address.last ? 0x01 : 0));
  return bytes;
}

AddressRecord DecodeAddress(std::span<const std::uint8_t, kAddressBytes> bytes) {
  AddressRecord address;
  DecodeAddressInto(bytes, address);
  return address;
}

}  // namespace tarvik::ax25
