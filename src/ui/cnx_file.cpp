#include "ui/cnx_file.h"

#include <cstdio>

namespace tarvik::ui {

std::vector<std::string_view> SplitReaderLines(std::string_view text, std::size_t maxLength) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t len = 0;
    while (pos + len < text.size() && len < maxLength) {
      if (text[pos + len++] == '\n') break;
    }
    lines.push_back(text.substr(pos, len));
    pos += len;
  }
  return lines;
}

namespace {

int sixBits(std::string_view line, std::size_t i) {
  // Beyond the line end a character counts as a blank, which is 0.
  const int c = i < line.size() ? static_cast<unsigned char>(line[i]) : ' ';
  return (c - 32) & 63;
}

char encodeSix(int v) { return v == 0 ? '`' : static_cast<char>(v + 32); }

}  // namespace

std::string DecodeCnx(std::string_view file) {
  std::string out;
  for (std::string_view line : SplitReaderLines(file, kCnxLineLength)) {
    if (line.find("begin") != std::string_view::npos) continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 3) == "end") break;
    if (line.empty()) break;  // a count of 0
    const int count = sixBits(line, 0);
    if (count == 0) break;
    std::size_t i = 1;
    for (int written = 0; written < count; i += 4) {
      const int a = sixBits(line, i), b = sixBits(line, i + 1), c = sixBits(line, i + 2),
                d = sixBits(line, i + 3);
      const unsigned char bytes[3] = {static_cast<unsigned char>(a << 2 | b >> 4),
                                      static_cast<unsigned char>((b & 15) << 4 | c >> 2),
                                      static_cast<unsigned char>((c & 3) << 6 | d)};
      for (int k = 0; k < 3 && written < count; ++k, ++written) out += static_cast<char>(bytes[k]);
    }
  }
  return out;
}

std::string EncodeCnx(std::string_view text, std::string_view name) {
  std::string out = "begin 644 ";
  out.append(name);
  out += '\n';
  for (std::size_t pos = 0; pos < text.size(); pos += 45) {
    const std::string_view chunk = text.substr(pos, 45);
    out += encodeSix(static_cast<int>(chunk.size()));
    for (std::size_t i = 0; i < chunk.size(); i += 3) {
      auto byte = [&](std::size_t k) {
        return i + k < chunk.size() ? static_cast<unsigned char>(chunk[i + k]) : 0;
      };
      const int b0 = byte(0), b1 = byte(1), b2 = byte(2);
      out += encodeSix(b0 >> 2);
      out += encodeSix((b0 & 3) << 4 | b1 >> 4);
      out += encodeSix((b1 & 15) << 2 | b2 >> 6);
      out += encodeSix(b2 & 63);
    }
    out += '\n';
  }
  out += "`\nend\n";
  return out;
}

std::uint16_t DescriptionChecksum(std::string_view textBeforeChecksumLine) {
  std::uint16_t h = 0xFFFF;
  auto feed = [&h](std::string_view bytes) {
    for (char ch : bytes) {
      // The byte is sign-extended: characters above 127 set the high bits.
      const auto c = static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<signed char>(ch)));
      std::uint16_t t = c ^ static_cast<std::uint16_t>(h >> 1);
      if (h & 1) t |= 0x8000;
      h = t ^ 0x0414;
    }
  };
  feed("2.10");
  feed(textBeforeChecksumLine);
  return h;
}

std::size_t ChecksumLineOffset(std::string_view text) {
  std::size_t offset = 0;
  for (std::string_view line : SplitReaderLines(text, kDescriptionLineLength)) {
    if (line.find("[//") != std::string_view::npos) return offset;
    offset += line.size();
  }
  return text.size();
}

bool DescriptionChecksumOk(std::string_view text) {
  const std::size_t at = ChecksumLineOffset(text);
  if (at == text.size()) return false;
  std::string_view line = SplitReaderLines(text.substr(at), kDescriptionLineLength).front();
  line.remove_prefix(line.find("[//") + 3);
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  char expected[8];
  std::snprintf(expected, sizeof expected, "%x", DescriptionChecksum(text.substr(0, at)));
  return line.substr(0, close) == expected;
}

std::string SealDescription(std::string_view text) {
  std::string body(text.substr(0, ChecksumLineOffset(text)));
  if (!body.empty() && body.back() != '\n') body += '\n';
  char line[16];
  std::snprintf(line, sizeof line, "[//%x]\n", DescriptionChecksum(body));
  return body + line;
}

}  // namespace tarvik::ui
