// The uuencode receiver on arbitrary received lines: begin lines with any
// name, data lines of any length and bytes, end lines with any checksum.
// No line may crash it or make it write outside its save directory.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_transfer_dir.h"
#include "remote/uu_receiver.h"
#include "remote/uuencode.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzTransferDir dir("tvk_fuzz_uu");
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  int temps = 0;
  {
    remote::UuReceiver receiver;
    std::size_t start = 0;
    while (start <= input.size()) {
      const std::size_t end = std::min(input.find('\r', start), input.size());
      const std::string_view line = input.substr(start, end - start);
      receiver.Line(line, dir.save, dir.save, [&] { return dir.tmp + std::to_string(++temps); });
      (void)remote::UuDecodeLine(line);
      start = end + 1;
    }
  }  // a reception left open is abandoned
  dir.CheckAndClear();
  return 0;
}
