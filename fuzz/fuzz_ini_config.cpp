// The configuration file is edited by hand: whatever it holds, loading it and
// reading every setting must neither crash nor overrun a capacity.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/tvk_fuzz_ini_" + std::to_string(::getpid()) + ".INI";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  tarvik::core::Configuration config;
  if (!config.LoadConfiguration(path)) return 0;
  for (int n = 0; n < 50; ++n) {
    const std::string s = config.GetSetting(n);
    if (s.size() > 200) __builtin_trap();
  }
  for (int port = -1; port <= 16; ++port)
    for (int ch = -1; ch <= 8; ++ch) (void)config.GetChannelParams(port, ch);
  for (int list = 0; list < 21; ++list) (void)config.GetConfigList(list);
  (void)config.ReadRunPrograms();

  tarvik::core::IniReader reader(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (reader.FindSection("[P"))
    for (const char* key : {"TITLE", "DEVICE", "WINDOW", "T1"}) (void)reader.ReadText(key, 63);
  return 0;
}
