#include "remote/uu_receiver.h"

#include <filesystem>

#include "remote/transfer_files.h"
#include "remote/uuencode.h"

namespace tarvik::remote {

namespace fs = std::filesystem;

UuEvent UuReceiver::Line(std::string_view line, const std::string& saveDir, const std::string& bound,
                         const std::function<std::string()>& tempPath) {
  if (!receiving()) {
    const auto name = UuBeginName(line);
    if (!name) return {};
    return begin(line, *name, saveDir, bound, tempPath);
  }
  if (UuIsEndLine(line)) return finish(line);
  crc_ = UuCrc(line, crc_);
  std::string_view data = line;
  while (!data.empty() && data.back() == '\n') data.remove_suffix(1);
  const std::vector<std::uint8_t> bytes = UuDecodeLine(data);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) writeFailed_ = true;
  bytes_ += bytes.size();
  UuEvent event;
  event.kind = UuEvent::Kind::Data;
  event.bytes = bytes_;
  event.target = target_;
  return event;
}

UuEvent UuReceiver::begin(std::string_view line, const std::string& name, const std::string& saveDir,
                          const std::string& bound, const std::function<std::string()>& tempPath) {
  UuEvent event;
  event.kind = UuEvent::Kind::CannotOpen;
  const auto target = ReceivedPath(bound, saveDir, name);
  std::error_code ec;
  if (!target || fs::is_directory(*target, ec)) {
    event.text = "Can't open " + saveDir + ShownName(name);
    return event;
  }
  const std::string temporary = tempPath();
  file_.reset(std::fopen(temporary.c_str(), "wb"));
  if (!file_) {
    event.text = "Can't open " + temporary;
    return event;
  }
  crc_ = UuCrc(line);
  target_ = *target;
  temporary_ = temporary;
  bytes_ = 0;
  writeFailed_ = false;
  event.kind = UuEvent::Kind::Started;
  event.text = "Save binary file to " + target_;
  event.target = target_;
  return event;
}

UuEvent UuReceiver::finish(std::string_view line) {
  crc_ = UuCrc("end", crc_);
  const std::string expected = UuEndChecksum(line);
  const std::string computed = UuChecksumText(crc_);
  const bool flushed = std::fflush(file_.get()) == 0 && !writeFailed_;
  file_.reset();
  UuEvent event;
  event.target = target_;
  event.bytes = bytes_;
  if (!expected.empty() && expected != computed) {
    event.kind = UuEvent::Kind::Bad;
    event.text = "Binary file " + target_ + " is NOT ok (" + ShownName(expected) + "!=" + computed + ")";
  } else if (!flushed || !CopyIntoPlace(temporary_, target_)) {
    event.kind = UuEvent::Kind::CopyFailed;
    event.text = temporary_ + " -> " + target_;
  } else {
    event.kind = UuEvent::Kind::Good;
    event.text = "Binary file " + target_ + (expected.empty() ? " is ok without CRC" : " is ok");
  }
  std::error_code ec;
  fs::remove(temporary_, ec);
  temporary_.clear();
  return event;
}

void UuReceiver::Abandon() {
  if (!file_) return;
  file_.reset();
  std::error_code ec;
  fs::remove(temporary_, ec);
  temporary_.clear();
}

}  // namespace tarvik::remote
