// Small texts the station reads from its files and its start: the frame's
// window-position file, the command line, TNC initialisation texts, and the
// monitor's formatting of whatever frame a port decodes.
//
// Input: the first byte picks the reader, the rest is its text.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ax25/frame_codec.h"
#include "ax25/monitor_format.h"
#include "core/frame_position.h"
#include "core/startup_options.h"
#include "devices/init_text.h"

namespace {
std::filesystem::path g_tmp;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_tmp = std::filesystem::temp_directory_path() / ("tvk_fuzz_texts_" + std::to_string(::getpid()));
  std::filesystem::create_directories(g_tmp / "POS");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik;
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0: {
      std::ofstream(core::FramePositionFile(g_tmp.string() + "/"), std::ios::binary | std::ios::trunc) << text;
      const ui::Rect r = core::ReadFramePosition(g_tmp.string() + "/");
      (void)r;
      break;
    }
    case 1: {
      std::vector<std::string> args;
      std::size_t at = 0;
      while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        args.emplace_back(text.substr(at, end - at));
        at = end + 1;
      }
      const core::StartupOptions options = core::ParseArguments(args, "/opt/tarvik/tarvik");
      (void)core::IniPathProblem(options.iniPath);
      break;
    }
    case 2:
      for (const std::string& line : devices::SplitInitText(text)) {
        const devices::InitLine parsed = devices::ParseInitLine(line);
        (void)parsed;
        (void)devices::ConvertInitLine(line);
      }
      break;
    case 3:
      if (const auto frame = ax25::DecodeFrame(0, {data + 1, size - 1})) {
        for (const bool noBin : {false, true}) (void)ax25::MonitorLines(*frame, noBin);
        (void)ax25::MonitorHeader(*frame);
      }
      break;
  }
  return 0;
}
