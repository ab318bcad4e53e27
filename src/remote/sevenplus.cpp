#include "remote/sevenplus.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "remote/transfer_files.h"

namespace tarvik::remote {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNameLimit = 127;

bool StartsWith(std::string_view line, const std::string& marker) {
  return !marker.empty() && line.substr(0, marker.size()) == marker;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

long Number(std::string_view word) {
  long value = 0;
  std::from_chars(word.data(), word.data() + word.size(), value);
  return value;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

SevenPlusLine ClassifySevenPlusLine(std::string_view line, const SevenPlusMarkers& markers) {
  if (line.empty() || line[0] != ' ') return SevenPlusLine::Other;
  if (StartsWith(line, markers.go7p)) return SevenPlusLine::StartPart;
  if (StartsWith(line, markers.goText)) return SevenPlusLine::StartText;
  if (StartsWith(line, markers.stop7p) || StartsWith(line, markers.stopText)) return SevenPlusLine::Stop;
  return SevenPlusLine::Other;
}

SevenPlusHeader ParseSevenPlusStart(std::string_view line, std::string_view marker) {
  SevenPlusHeader header;
  const std::vector<std::string_view> words = Words(line.substr(std::min(marker.size(), line.size())));
  if (words.size() > 0) header.part = Number(words[0]);
  if (words.size() > 2) header.parts = Number(words[2]);
  if (words.size() > 3) header.name = std::string(words[3].substr(0, kNameLimit));
  if (words.size() > 4) header.length = Number(words[4]);
  if (header.parts <= 0) header.parts = 1;
  if (header.length < 0) header.length = 0;
  return header;
}

std::string SevenPlusStopName(std::string_view line) {
  const std::size_t open = line.find('(');
  if (open == std::string_view::npos) return {};
  std::string_view inner = line.substr(open + 1);
  inner = inner.substr(0, inner.find(')'));
  inner = inner.substr(0, inner.find('/'));
  return std::string(inner.substr(0, kNameLimit));
}

std::string FreeCorrectionName(const std::string& path) {
  if (path.size() < 3 || !Exists(path)) return path;
  const std::string end = path.substr(path.size() - 3);
  if (end != "ERR" && end != "err" && end != "COR" && end != "cor") return path;
  for (int n = 1; n <= 99; ++n) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02d", n);
    const std::string candidate = path.substr(0, path.size() - 2) + digits;
    if (!Exists(candidate)) return candidate;
  }
  return path;
}

SevenPlusCapture::Started SevenPlusCapture::Start(std::string_view line, SevenPlusLine kind,
                                                  const SevenPlusMarkers& markers, const Places& places) {
  Close();
  Started started;
  part_ = kind == SevenPlusLine::StartPart;
  bytes_ = 0;
  if (part_) {
    const SevenPlusHeader header = ParseSevenPlusStart(line, markers.go7p);
    target_ = places.savePath + places.runningNumber() + ".$$$";
    started.shownName = ShownName(header.name) + " (" + std::to_string(header.part) + "/" +
                        std::to_string(header.parts) + ")";
    // (length + 140 * parts) / parts, without the product: the numbers come
    // from the air and may be as large as a long holds.
    started.expected = static_cast<std::uintmax_t>(header.length) / static_cast<std::uintmax_t>(header.parts) + 140;
    bytes_ = line.size() + 2;
  } else {
    const std::vector<std::string_view> words = Words(line);
    const std::string_view name = words.size() > 1 ? words[1].substr(0, kNameLimit) : std::string_view();
    const auto path = ReceivedPath(places.savePath, places.savePath, name);
    started.shownName = ShownName(name);
    started.expected = 1;
    if (!path) return started;
    target_ = FreeCorrectionName(*path);
  }
  std::error_code ec;
  if (fs::is_directory(target_, ec)) return started;
  file_.reset(std::fopen(target_.c_str(), "w"));
  if (!file_) return started;
  write(line);
  started.ok = true;
  started.bytes = bytes_;
  return started;
}

void SevenPlusCapture::write(std::string_view line) {
  if (!file_) return;
  std::fwrite(line.data(), 1, line.size(), file_.get());
  std::fputc('\n', file_.get());
}

void SevenPlusCapture::Data(std::string_view line) {
  bytes_ += line.size() + 2;
  write(line);
}

SevenPlusCapture::Stopped SevenPlusCapture::Stop(std::string_view line, const Places& places) {
  bytes_ += line.size();
  write(line);
  Close();
  Stopped stopped;
  stopped.bytes = bytes_;
  stopped.name = target_;
  if (!part_) return stopped;
  const std::string finalName = SevenPlusStopName(line);
  stopped.name = ShownName(finalName);
  const auto path = ReceivedPath(places.savePath, places.savePath, finalName);
  std::error_code ec;
  if (!path || fs::is_directory(*path, ec) || !MoveIntoPlace(target_, *path)) {
    stopped.moveFailed = true;
    stopped.moveText = target_ + " -> " + places.savePath + ShownName(finalName);
    return stopped;
  }
  target_ = *path;
  return stopped;
}

}  // namespace tarvik::remote
