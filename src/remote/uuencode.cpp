#include "remote/uuencode.h"

#include <array>
#include <cstdio>

namespace tarvik::remote {

namespace {

constexpr std::size_t kNameLimit = 127;
constexpr std::size_t kChecksumLimit = 11;

constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

char Encode6(unsigned value) {
  value &= 63;
  return static_cast<char>(value == 0 ? ' ' : value + 32);  // 0 as a blank, the way this program sends it
}

unsigned Decode6(char c) { return (static_cast<unsigned>(static_cast<unsigned char>(c)) - 32) & 63; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::uint16_t UuCrc(std::string_view bytes, std::uint16_t crc) {
  for (const char c : bytes)
    crc = static_cast<std::uint16_t>(kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF] ^ (crc >> 8));
  return crc;
}

std::string UuEncodeLine(std::span<const std::uint8_t> bytes) {
  const std::size_t n = std::min(bytes.size(), kUuLineBytes);
  std::string line;
  line.reserve(1 + (n + 2) / 3 * 4);
  line += Encode6(static_cast<unsigned>(n));
  for (std::size_t i = 0; i < n; i += 3) {
    const unsigned b0 = bytes[i];
    const unsigned b1 = i + 1 < n ? bytes[i + 1] : 0;
    const unsigned b2 = i + 2 < n ? bytes[i + 2] : 0;
    line += Encode6(b0 >> 2);
    line += Encode6(((b0 << 4) | (b1 >> 4)) & 63);
    line += Encode6(((b1 << 2) | (b2 >> 6)) & 63);
    line += Encode6(b2 & 63);
  }
  return line;
}

std::vector<std::uint8_t> UuDecodeLine(std::string_view line) {
  std::vector<std::uint8_t> out;
  if (line.empty()) return out;
  const std::size_t n = std::min<std::size_t>(Decode6(line[0]), kUuLineBytes);
  out.reserve(n);
  const auto at = [&](std::size_t i) { return i < line.size() ? Decode6(line[i]) : 0u; };
  for (std::size_t pos = 1; out.size() < n; pos += 4) {
    const unsigned c0 = at(pos), c1 = at(pos + 1), c2 = at(pos + 2), c3 = at(pos + 3);
    const std::uint8_t group[3] = {static_cast<std::uint8_t>((c0 << 2) | (c1 >> 4)),
                                   static_cast<std::uint8_t>((c1 << 4) | (c2 >> 2)),
                                   static_cast<std::uint8_t>((c2 << 6) | c3)};
    for (const std::uint8_t b : group)
      if (out.size() < n) out.push_back(b);
  }
  return out;
}

std::optional<std::string> UuBeginName(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (line.substr(i, 5) != "begin") return std::nullopt;
  i += 5;
  const std::size_t blanks = i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == blanks) return std::nullopt;
  const std::size_t digits = i;
  while (i < line.size() && line[i] >= '0' && line[i] <= '7') ++i;
  if (i == digits) return std::nullopt;
  const std::size_t blanks2 = i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == blanks2) return std::nullopt;
  std::string_view name = line.substr(i);
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || IsBlank(name.back()))) name.remove_suffix(1);
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

bool UuIsEndLine(std::string_view line) {
  if (line.substr(0, 3) != "end") return false;
  return line.size() == 3 || line[3] == ' ' || line[3] == '[' || line[3] == '\n' || line[3] == '\t';
}

std::string UuEndChecksum(std::string_view line) {
  const std::size_t open = line.find('[');
  if (open == std::string_view::npos) return {};
  std::string_view rest = line.substr(open + 1);
  rest = rest.substr(0, rest.find(']'));
  return std::string(rest.substr(0, kChecksumLimit));
}

std::string UuChecksumText(std::uint16_t crc) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(crc));
  return text;
}

std::optional<std::string> ReceivedFileName(std::string_view name) {
  const std::size_t cut = name.find_last_of("/\\");
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  if (name.empty() || name.size() > kNameLimit || name == "." || name == "..") return std::nullopt;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return std::nullopt;
  }
  return std::string(name);
}

}  // namespace tarvik::remote
