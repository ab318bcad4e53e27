#include "channels/charset.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace tarvik::channels {

namespace {

using ByteTable = std::array<std::uint8_t, 256>;

// The IBM PC tables cover bytes 0x80..0xFF; below 0x80 both sides are ASCII.
using HighTable = std::array<std::uint8_t, 128>;

// Line (IBM PC) to screen (Windows-1252). Characters the screen set lacks,
// such as box drawing and shading, become the nearest ASCII stand-in or a
// blank.
constexpr HighTable kIbmReceived = {
    // 0x80
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xD5, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    // 0x90
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xF8, 0xA3, 0xD8, 0xD7, 0x20,
    // 0xA0
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0xAE, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    // 0xB0
    0x20, 0x20, 0x20, 0x7C, 0x23, 0xC1, 0xC2, 0xC0, 0xA9, 0x2B, 0x7C, 0x2B, 0x2B, 0xA2, 0xA5, 0x2B,
    // 0xC0
    0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2B, 0xE3, 0xC3, 0x23, 0x2B, 0x2B, 0x2B, 0x2B, 0x2D, 0x2B, 0xA4,
    // 0xD0
    0xF0, 0xD0, 0xCA, 0xCB, 0xC8, 0xB9, 0xCD, 0xCE, 0xCF, 0x2B, 0x2B, 0x20, 0x1A, 0x7C, 0xCC, 0x20,
    // 0xE0
    0xD3, 0xDF, 0xD4, 0xD2, 0xF5, 0xD5, 0xB5, 0xDE, 0xF5, 0xDA, 0xDB, 0xD9, 0xFD, 0xDD, 0xAD, 0x92,
    // 0xF0
    0x96, 0xB1, 0x3D, 0xBE, 0xB6, 0xA7, 0xF7, 0x20, 0x95, 0xA8, 0xB7, 0xB9, 0xB3, 0xB2, 0x20, 0x20,
};

// Screen (Windows-1252) to line (IBM PC). Not the inverse of kIbmReceived:
// each table is only ever used in its own direction.
constexpr HighTable kIbmSent = {
    // 0x80
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    // 0x90
    0x20, 0xEF, 0xEF, 0x22, 0x22, 0xF8, 0xF0, 0xF0, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    // 0xA0
    0x20, 0xAD, 0xBD, 0x9C, 0xCF, 0xBE, 0x7C, 0xF5, 0xF9, 0xB8, 0xA6, 0xAE, 0xAA, 0xEE, 0xA9, 0x2D,
    // 0xB0
    0xF8, 0xF1, 0xFD, 0xFC, 0x27, 0xE6, 0xF4, 0xFA, 0x2E, 0xD5, 0xA7, 0xAF, 0xAC, 0xAB, 0xF3, 0xA8,
    // 0xC0
    0xC1, 0xB5, 0xB6, 0xC7, 0x8E, 0x8F, 0x92, 0x80, 0xD4, 0x90, 0xD2, 0xD3, 0xDE, 0xD6, 0xD7, 0xD8,
    // 0xD0
    0xD1, 0xA5, 0xE3, 0xE0, 0xE2, 0xE5, 0x99, 0x9E, 0x9D, 0xEB, 0xE9, 0xEA, 0x9A, 0xED, 0xE7, 0xE1,
    // 0xE0
    0x85, 0xA0, 0x83, 0xC6, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    // 0xF0
    0xD0, 0xA4, 0x95, 0xA2, 0x93, 0xE4, 0x94, 0xF6, 0x9B, 0x97, 0xA3, 0x96, 0x81, 0xEC, 0xE8, 0x98,
};

// The 7-bit German set puts the umlauts and sharp s where ASCII has
// brackets, braces, bar, backslash and tilde.
struct GermanPair {
  std::uint8_t line;
  std::uint8_t screen;
};
constexpr std::array<GermanPair, 7> kGerman = {{
    {0x5B, 0xC4},  // [ Ä
    {0x5C, 0xD6},  // \ Ö
    {0x5D, 0xDC},  // ] Ü
    {0x7B, 0xE4},  // { ä
    {0x7C, 0xF6},  // | ö
    {0x7D, 0xFC},  // } ü
    {0x7E, 0xDF},  // ~ ß
}};

constexpr std::uint8_t kBlank = 0x20;

ByteTable Identity() {
  ByteTable t{};
  for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
  return t;
}

ByteTable WithHigh(const HighTable& high) {
  ByteTable t = Identity();
  std::copy(high.begin(), high.end(), t.begin() + 0x80);
  return t;
}

ByteTable GermanReceived() {
  ByteTable t = Identity();
  for (int b = 0x80; b < 256; ++b) t[static_cast<std::size_t>(b)] = kBlank;
  for (const GermanPair& p : kGerman) t[p.line] = p.screen;
  return t;
}

ByteTable GermanSent() {
  ByteTable t = Identity();
  for (int b = 0x80; b < 256; ++b) t[static_cast<std::size_t>(b)] = kBlank;
  for (const GermanPair& p : kGerman) t[p.screen] = p.line;
  return t;
}

ByteTable UsBoth() {
  ByteTable t = Identity();
  for (int b = 0x80; b < 256; ++b) t[static_cast<std::size_t>(b)] = kBlank;
  return t;
}

// The OEM conversion: code page 437 (the character set of DOS terminals) to
// and from Windows-1252, one byte at a time through iconv. A byte whose
// character the other code page lacks (box drawing, shading, the curly
// quotes ...) takes the IBM PC table's entry for the same direction, so
// such text looks as it does in mode 2 instead of disappearing. When iconv
// cannot convert between the two at all, the IBM PC tables are used whole.
ByteTable OemTable(const char* to, const char* from, const HighTable& fallback) {
  ByteTable t = WithHigh(fallback);
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return t;
  for (int b = 0x80; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[8] = {};
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r != static_cast<std::size_t>(-1) && inLeft == 0 && sizeof out - outLeft == 1)
      t[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(out[0]);
  }
  iconv_close(cd);
  return t;
}

struct Tables {
  std::array<ByteTable, kCharsetModeCount> received;
  std::array<ByteTable, kCharsetModeCount> sent;
};

// Built once on first use and never changed afterwards.
const Tables& AllTables() {
  static const Tables tables = [] {
    Tables t;
    t.received = {GermanReceived(), UsBoth(), WithHigh(kIbmReceived),
                  OemTable("WINDOWS-1252", "CP437", kIbmReceived), Identity()};
    t.sent = {GermanSent(), UsBoth(), WithHigh(kIbmSent),
              OemTable("CP437", "WINDOWS-1252", kIbmSent), Identity()};
    return t;
  }();
  return tables;
}

void Apply(std::span<char> text, const ByteTable& table) {
  const std::size_t n = std::min(text.size(), kConvertLimit);
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == '\0') break;
    text[i] = static_cast<char>(table[static_cast<std::uint8_t>(text[i])]);
  }
}

bool ValidMode(int mode) { return mode >= 0 && mode < kCharsetModeCount; }

constexpr std::array<std::string_view, kCharsetModeCount> kModeNames = {
    "7BITGR", "7BITUS", "8BITIBM", "8BITOEM", "UNTRANS"};

}  // namespace

void ConvertReceived(std::span<char> text, int mode) {
  if (ValidMode(mode)) Apply(text, AllTables().received[static_cast<std::size_t>(mode)]);
}

void ConvertReceived(std::string& text, int mode) { ConvertReceived(std::span<char>(text), mode); }

void ConvertSent(std::span<char> text, int mode) {
  if (ValidMode(mode)) Apply(text, AllTables().sent[static_cast<std::size_t>(mode)]);
}

void ConvertSent(std::string& text, int mode) { ConvertSent(std::span<char>(text), mode); }

std::string_view CharsetModeName(int mode) {
  return ValidMode(mode) ? kModeNames[static_cast<std::size_t>(mode)] : std::string_view{};
}

std::optional<int> CharsetModeByName(std::string_view name) {
  for (int m = 0; m < kCharsetModeCount; ++m)
    if (kModeNames[static_cast<std::size_t>(m)] == name) return m;
  return std::nullopt;
}

int InitialCharsetMode(std::string_view chrsetSetting) {
  return CharsetModeByName(chrsetSetting).value_or(static_cast<int>(CharsetMode::German7));
}

}  // namespace tarvik::channels
