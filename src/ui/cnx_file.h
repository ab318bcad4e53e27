#pragma once
// The stored form of a window description: "M%04d.CNX" in the configuration
// directory holds the description text uuencoded, and the text ends with a
// checksum line "[//%x]" over everything before it. The checksum only warns
// the operator of a hand-edited or damaged file; it never stops a window from
// being built.
//
// Reading is tolerant on purpose: any bytes decode to some text and never
// past the input, because a broken description must not take the program
// down.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::ui {

// Description files are read in lines of at most 79 characters, description
// texts in lines of at most 127 (each counting its line end); a longer line
// goes on as the next line.
inline constexpr std::size_t kCnxLineLength = 79;
inline constexpr std::size_t kDescriptionLineLength = 127;

// Splits text into lines the way a fixed-buffer line reader sees them: each
// piece ends after "\n" or after `maxLength` characters, whichever is first.
std::vector<std::string_view> SplitReaderLines(std::string_view text, std::size_t maxLength);

// Decodes uuencoded lines: a line containing "begin" is skipped; a count of 0
// or a line starting with "end" ends the text. Characters missing from a
// short line count as 0.
std::string DecodeCnx(std::string_view file);

// Encodes text as "begin 644 <name>", lines of 45 bytes, "`" and "end".
std::string EncodeCnx(std::string_view text, std::string_view name);

// The checksum of a description: "2.10" then every byte before the "[//"
// line, each sign-extended, folded into 16 bits.
std::uint16_t DescriptionChecksum(std::string_view textBeforeChecksumLine);

// Where the checksum line starts (the first reader line containing "[//"),
// or text.size() when there is none.
std::size_t ChecksumLineOffset(std::string_view text);

// True when the text carries a "[//" line whose text up to "]" is "%x" of
// the checksum of everything before that line.
bool DescriptionChecksumOk(std::string_view text);

// The text with any checksum line and what follows it replaced by a fresh
// "[//%x]" line; a missing final line end is added first.
std::string SealDescription(std::string_view text);

}  // namespace tarvik::ui
