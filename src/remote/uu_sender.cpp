#include "remote/uu_sender.h"

#include "remote/uuencode.h"

namespace tarvik::remote {

namespace {

// One data line: a length character, 60 characters, a carriage return.
constexpr std::size_t kLineSize = 1 + 60 + 1;

class UuEncoder final : public channels::FileEncoder {
 public:
  std::string Begin(const std::string& path) override {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string line = "begin 0666 " + (slash == std::string::npos ? path : path.substr(slash + 1));
    crc_ = UuCrc(line);
    return line + "\r";
  }

  std::string Block(std::FILE* file, std::size_t limit) override {
    std::string block;
    std::uint8_t buffer[kUuLineBytes];
    while (file && block.size() + kLineSize <= limit) {
      const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
      if (n == 0) break;
      const std::string line = UuEncodeLine({buffer, n});
      crc_ = UuCrc(line, crc_);
      block += line;
      block += '\r';
      if (n < sizeof buffer) break;
    }
    return block;
  }

  std::string End() override { return "end [" + UuChecksumText(UuCrc("end", crc_)) + "]\r"; }

 private:
  std::uint16_t crc_ = 0;
};

}  // namespace

std::shared_ptr<channels::FileEncoder> UuencodeEncoder() { return std::make_shared<UuEncoder>(); }

}  // namespace tarvik::remote
