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
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvik::ax25 {

// The call text of an address, held in the record itself: building,
// copying and freeing a record never allocates (every received frame
// carries up to ten addresses). It holds up to kCapacity characters; a
// longer text is cut there (calls from the air have at most six, typed ones
// at most seven). It reads as a std::string_view.
class CallText {
 public:
  static constexpr std::size_t kCapacity = 15;
  using Storage = std::array<char, kCapacity + 1>;

  constexpr CallText() = default;
  CallText(std::string_view text) { assign(text.data(), text.size()); }  // NOLINT: a text
  CallText(const char* text) : CallText(std::string_view(text)) {}      // NOLINT: a text
  CallText(const std::string& text) : CallText(std::string_view(text)) {}  // NOLINT: a text

  void assign(const char* data, std::size_t n) {
    const std::size_t used = n < kCapacity ? n : kCapacity;
    if (used > 0) std::memcpy(text_.data(), data, used);
    text_[used] = '\0';
    size_ = static_cast<std::uint8_t>(used);
  }
  // The first n of eight characters packed in a word, the first character
  // in the lowest byte (a call as it comes off the air, with its padding).
  void assignWord(std::uint64_t chars, std::size_t n) {
    static_assert(kCapacity >= 8);
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(text_.data(), &chars, 8);
    } else {
      for (std::size_t i = 0; i < 8; ++i) text_[i] = static_cast<char>(chars >> (8 * i));
    }
    const std::size_t used = n < 8 ? n : 8;
    text_[used] = '\0';
    size_ = static_cast<std::uint8_t>(used);
  }
  void push_back(char c) {
    if (size_ == kCapacity) return;
    text_[size_++] = c;
    text_[size_] = '\0';
  }
  void clear() { assign("", 0); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* data() const { return text_.data(); }
  const char* c_str() const { return text_.data(); }
  char operator[](std::size_t i) const { return text_[i]; }
  const char* begin() const { return text_.data(); }
  const char* end() const { return text_.data() + size_; }
  std::string_view view() const { return {text_.data(), size_}; }
  operator std::string_view() const { return view(); }  // NOLINT: reads as a text
  std::string str() const { return std::string(view()); }
  operator std::string() const { return str(); }  // NOLINT: reads as a text

  friend bool operator==(const CallText& a, const CallText& b) { return a.view() == b.view(); }
  friend bool operator==(const CallText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const CallText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const CallText& a, const char* b) { return a.view() == b; }

 private:
  Storage text_{};
  std::uint8_t size_ = 0;
};

std::ostream& operator<<(std::ostream& out, const CallText& call);

struct AddressRecord {
  // Most characters a call text holds. Only the first six reach the air.
  static constexpr std::size_t kCallCapacity = 7;

  CallText call;      // upper-case letters and digits; empty = "no address"
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
// The same into a record that exists (the receive path decodes straight
// into the record it posts, for up to ten addresses a frame).
inline constexpr std::uint8_t kShiftedBlankOnAir = 0x40;  // ' ' << 1, pads short calls
inline constexpr std::size_t kCallBytes = 6;               // call characters on the air
inline void DecodeAddressInto(std::span<const std::uint8_t, kAddressBytes> bytes, AddressRecord& address) {
  // All six bytes are shifted; the call ends at the first padding byte.
  // Decided: a byte that shifts to NUL ends the call, as it ends a call
  // text; a frame whose call starts with one has an empty call.
  //
  // Every received frame carries up to ten addresses, so the six bytes are
  // taken as one word: two more padding bytes above them, each byte shifted
  // at once, and the first byte that ends the call found by its bit pattern.
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, bytes.data(), kCallBytes);
  } else {
    for (std::size_t i = 0; i < kCallBytes; ++i) word |= std::uint64_t{bytes[i]} << (8 * i);
  }
  word |= std::uint64_t{kShiftedBlankOnAir} << 48 | std::uint64_t{kShiftedBlankOnAir} << 56;
  // High bit set in each byte that is zero (exact for the lowest such byte).
  const auto zeroBytes = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighs; };
  const std::uint64_t ends =
      zeroBytes(word ^ (kOnes * kShiftedBlankOnAir)) | zeroBytes(word & (kOnes * 0xFE));
  const auto n = static_cast<std::size_t>(std::countr_zero(ends)) / 8;
  address.call.assignWord((word >> 1) & (kOnes * 0x7F), n < kCallBytes ? n : kCallBytes);
  const std::uint8_t ssidByte = bytes[6];
  address.ssid = (ssidByte & 0x1E) / 2;
  address.cbit = (ssidByte & 0x80) != 0;
  address.last = (ssidByte & 0x01) != 0;
}

}  // namespace tarvik::ax25
