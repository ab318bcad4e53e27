#include "core/startup_options.h"

namespace tarvik::core {

namespace {
constexpr std::size_t kMaxIniPath = 127;
}

StartupOptions ParseArguments(const std::vector<std::string>& args,
                              const std::string& programPath) {
  StartupOptions o;
  std::string iniPath;
  for (const std::string& a : args) {
    if (a.empty()) continue;
    if (a[0] == '-' || a[0] == '/') {
      // A leading "/" also starts absolute paths on this system: an argument
      // that names an existing-looking path without any switch word is the
      // INI path.
      bool any = false;
      auto has = [&](const char* word) {
        bool found = a.find(word) != std::string::npos;
        any = any || found;
        return found;
      };
      if (has("NOMDI")) o.frameMode = false;
      if (has("CTL3D")) o.ctl3d = true;
      if (has("NOGUI")) o.noGui = true;
      if (has("DBGF")) {
        o.debugFile = true;
        o.debugFileName = "tarvik.dbg";
      }
      if (has("DBGX")) o.debugFileName = "tarvik.dbg";
      if (auto p = a.find("DRIVER="); p != std::string::npos) {
        any = true;
        o.driverSocket = a.substr(p + 7);
      }
      if (any || a[0] == '-') continue;
    }
    iniPath = a;
  }
  if (iniPath.empty()) {
    auto slash = programPath.rfind('/');
    iniPath = (slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1)) +
              "TARVIK.INI";
  }
  if (iniPath.size() > kMaxIniPath) iniPath.resize(kMaxIniPath);
  o.iniPath = iniPath;
  return o;
}

}  // namespace tarvik::core
