#include "core/ini_reader.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "core/number.h"

namespace tarvik::core {

std::vector<std::string> SplitIniLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t len = text.find('\n');
    len = (len == std::string_view::npos) ? text.size() : len + 1;
    if (len > kIniLineChunk) len = kIniLineChunk;
    lines.emplace_back(text.substr(0, len));
    text.remove_prefix(len);
  }
  return lines;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return text;
}

std::optional<std::string_view> IniLineKey(std::string_view line) {
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return line.substr(0, eq);
}

std::string IniLineValue(std::string_view line, std::size_t capacity) {
  auto eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view value = line.substr(eq + 1);
  value = value.substr(0, value.find('#'));
  auto trim = [&value] {
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' ||
                              value.back() == '\r' || value.back() == '\n')) {
      value.remove_suffix(1);
    }
  };
  trim();
  if (value.size() > capacity) value = value.substr(0, capacity);
  trim();  // the cut may have ended on a blank
  return std::string(value);
}

IniReader::IniReader(std::string_view text) : lines_(SplitIniLines(text)) {}

std::optional<IniReader> IniReader::Open(const std::filesystem::path& path) {
  auto text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  return IniReader(*text);
}

bool IniReader::FindSection(std::string_view name) {
  sectionStart_.reset();
  pos_ = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (IsIniHeader(lines_[i]) && lines_[i].find(name) != std::string::npos) {
      sectionStart_ = i + 1;
      pos_ = i + 1;
      return true;
    }
  }
  return false;
}

bool IniReader::atSectionEnd(std::size_t pos) const {
  return pos >= lines_.size() || IsIniHeader(lines_[pos]);
}

std::optional<std::string> IniReader::ReadKey(std::string_view key, std::size_t capacity) {
  if (!sectionStart_) return std::nullopt;
  const std::size_t start = *sectionStart_;
  if (atSectionEnd(start)) return std::nullopt;  // a section without lines
  // Standing on the next header or the end of the file is the same as
  // standing at the section start: the search would jump there first.
  if (atSectionEnd(pos_) || pos_ < start) pos_ = start;
  const std::size_t begin = pos_;
  std::size_t pos = begin;
  do {
    if (auto k = IniLineKey(lines_[pos]); k && *k == key) {
      pos_ = pos + 1;
      return IniLineValue(lines_[pos], capacity);
    }
    ++pos;
    if (atSectionEnd(pos)) pos = start;
  } while (pos != begin);
  return std::nullopt;
}

std::string IniReader::ReadText(std::string_view key, std::size_t capacity) {
  return ReadKey(key, capacity).value_or(std::string());
}

std::int16_t IniReader::ReadInt16(std::string_view key) {
  // Numbers never need more than a line's worth of text.
  auto v = ReadKey(key, kIniLineChunk);
  return v ? ParseInt16(*v) : std::int16_t{0};
}

std::span<const std::string> IniReader::SectionLines() const {
  if (!sectionStart_) return {};
  std::size_t end = *sectionStart_;
  while (!atSectionEnd(end)) ++end;
  return std::span<const std::string>(lines_).subspan(*sectionStart_, end - *sectionStart_);
}

}  // namespace tarvik::core
