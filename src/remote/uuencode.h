#pragma once
// Uuencoded files on a channel: the line codec, the checksum of the end
// line, and the receiver's reading of begin, data and end lines.
//
// A file travels as "begin 0666 NAME", data lines of at most 45 bytes
// (a length character, then four characters for every three bytes, each
// 6-bit value plus 32, 0 sent as a blank) and "end [%04x]": the CRC-16/ARC
// (reflected 0xA001, initial 0) over the begin line, every data line and
// the three characters "end", each without its line end. A receiver that
// finds no checksum in the end line accepts the file without one (GNU
// uuencode writes none).
//
// Lines from the air are read strictly, so that chat is never taken for a
// file and no data line ends a file by chance: a begin line is "begin",
// blanks, the octal mode, blanks and a name (leading blanks allowed); an
// end line starts with "end" followed by nothing, a blank or "[". Every
// other line of a reception is a data line; whatever its characters, it
// gives at most 45 bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

inline constexpr std::size_t kUuLineBytes = 45;

// CRC-16/ARC register after `bytes`, starting from `crc`.
std::uint16_t UuCrc(std::string_view bytes, std::uint16_t crc = 0);

// One data line (without line end) for up to 45 bytes. A short last group
// is filled with zero bytes.
std::string UuEncodeLine(std::span<const std::uint8_t> bytes);

// The bytes of a data line: the length character says how many (at most
// 45), the groups of four characters give them; missing characters count
// as blanks.
std::vector<std::uint8_t> UuDecodeLine(std::string_view line);

// The file name of a begin line, or nothing when the line is no begin line.
std::optional<std::string> UuBeginName(std::string_view line);

// True when the line ends a reception.
bool UuIsEndLine(std::string_view line);

// The checksum text of an end line (between "[" and "]", at most 11
// characters); empty when it carries none.
std::string UuEndChecksum(std::string_view line);

// "%04x" of a checksum.
std::string UuChecksumText(std::uint16_t crc);

// The last part of a received name ("/" and "\" both separate), or
// nothing when no usable name is left.
std::optional<std::string> ReceivedFileName(std::string_view name);

}  // namespace tarvik::remote
