// 7PLUS and text capture on arbitrary received lines: start, stop and data
// lines with any words and names. No line may crash it or make it write
// outside its save directory.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_transfer_dir.h"
#include "remote/sevenplus.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzTransferDir dir("tvk_fuzz_7p");
  const remote::SevenPlusMarkers markers{" go_7+.", " stop_7+.", " go_text.", " stop_text."};
  int number = 0;
  const remote::SevenPlusCapture::Places places{dir.save, [&] { return std::to_string(++number); }};
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  {
    remote::SevenPlusCapture capture;
    std::size_t start = 0;
    while (start <= input.size()) {
      const std::size_t end = std::min(input.find('\r', start), input.size());
      const std::string_view line = input.substr(start, end - start);
      switch (const auto kind = remote::ClassifySevenPlusLine(line, markers)) {
        case remote::SevenPlusLine::StartPart:
        case remote::SevenPlusLine::StartText: capture.Start(line, kind, markers, places); break;
        case remote::SevenPlusLine::Stop:
          if (capture.open()) capture.Stop(line, places);
          break;
        case remote::SevenPlusLine::Other:
          if (capture.open()) capture.Data(line);
          break;
      }
      start = end + 1;
    }
  }
  dir.CheckAndClear();
  return 0;
}
