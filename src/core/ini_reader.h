#pragma once
// The literal reader of INI-style files. Its quirks are part of the file
// format that stations rely on, so it is deliberately not a general INI
// parser:
// - lines longer than 127 characters are read as several lines;
// - a section is found by the first header line (first character "[") that
//   contains the wanted text anywhere, case-sensitively;
// - a key is the text before the first "=", compared literally and in full
//   ("T1 =300" does not define T1);
// - a value runs up to the first "#" or the line end, loses trailing blanks,
//   tabs, CR and LF, keeps leading blanks and is cut to the field's capacity;
// - a key search starts where the previous one stopped and wraps around to the
//   section start once, so keys may stand in any order and reading them in
//   file order costs one pass; of duplicate keys the one met first from the
//   current position wins.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::core {

// Longest piece of a line read at once; longer lines arrive as several.
inline constexpr std::size_t kIniLineChunk = 127;

// Splits text into lines the way the reader sees them: each piece keeps its
// line end and holds at most kIniLineChunk characters. Joining the pieces
// gives the text back unchanged.
std::vector<std::string> SplitIniLines(std::string_view text);

// Reads a whole file; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// True for a line that starts a section.
inline bool IsIniHeader(std::string_view line) { return !line.empty() && line.front() == '['; }

// The key of a key line (text before the first "="), or nothing without "=".
std::optional<std::string_view> IniLineKey(std::string_view line);

// The value of a key line as described above, cut to `capacity` characters.
std::string IniLineValue(std::string_view line, std::size_t capacity);

class IniReader {
 public:
  explicit IniReader(std::string_view text);
  // Nothing when the file cannot be opened.
  static std::optional<IniReader> Open(const std::filesystem::path& path);

  // Locates the first header line containing `name` and makes the line after
  // it both the section start and the current position. On failure the
  // reader has no current section and key reads find nothing.
  bool FindSection(std::string_view name);
  bool HasSection() const { return sectionStart_.has_value(); }

  // The wrap-around key search. On success the current position moves behind
  // the key's line; on failure it stays where the search began.
  std::optional<std::string> ReadKey(std::string_view key, std::size_t capacity);
  // Missing keys give an empty text and 0.
  std::string ReadText(std::string_view key, std::size_t capacity);
  std::int16_t ReadInt16(std::string_view key);

  // The lines of the current section: from its start up to the next header
  // line or the end of the file, each with its line end.
  std::span<const std::string> SectionLines() const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  bool atSectionEnd(std::size_t pos) const;

  std::vector<std::string> lines_;
  std::optional<std::size_t> sectionStart_;
  std::size_t pos_ = 0;
};

}  // namespace tarvik::core
