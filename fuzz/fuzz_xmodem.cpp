// The XMODEM engine's receive path on arbitrary data: the input is cut
// into pieces (their lengths from the input itself) between heartbeats, as
// a channel hands over received blocks.

#include <cstdint>
#include <span>

#include "fuzz_transfer_dir.h"
#include "remote/xmodem.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const FuzzTransferDir dir("tvk_fuzz_xm");
  if (size < 1) return 0;
  {
    std::size_t sent = 0;
    remote::XmodemEngine engine([&](std::span<const std::uint8_t> b) { sent += b.size(); },
                                [](remote::XmodemEnd) {});
    if (!engine.StartReceive(dir.save + "in.part")) return 0;
    engine.Request();
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    const std::size_t chunk = 1 + data[0] * 5;
    while (!rest.empty() && engine.active()) {
      const std::size_t n = std::min(chunk, rest.size());
      engine.Data(rest.first(n));
      rest = rest.subspan(n);
      if (n % 3 == 0) engine.Tick();
    }
    for (int i = 0; i < 70 && engine.active(); ++i) engine.Tick();
  }
  dir.CheckAndClear();
  return 0;
}
