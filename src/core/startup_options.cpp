#include "core/startup_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/identification.h"

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
    if (a == "--help" || a == "-h") {
      o.showHelp = true;
      continue;
    }
    if (a == "--version") {
      o.showVersion = true;
      continue;
    }
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
  o.iniGiven = !iniPath.empty();
  if (iniPath.empty()) {
    auto slash = programPath.rfind('/');
    iniPath = (slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1)) +
              "TARVIK.INI";
  }
  if (iniPath.size() > kMaxIniPath) iniPath.resize(kMaxIniPath);
  o.iniPath = iniPath;
  return o;
}

std::string UsageText() {
  return "Usage: tarvik [switches] [path/to/TARVIK.INI]\n"
         "\n"
         "A terminal for amateur packet radio (AX.25 over KISS TNCs and KISS over TCP).\n"
         "Without a configuration file the station in the user's data directory\n"
         "($XDG_DATA_HOME/tarvik, made from the shipped station on first start) is used.\n"
         "\n"
         "Switches (one argument may carry several, e.g. -DBGF/NOMDI):\n"
         "  -NOGUI          an unattended station: nothing is drawn, everything else runs\n"
         "  -NOMDI          separate top-level windows instead of one frame window\n"
         "  -CTL3D          3-D controls\n"
         "  -DBGF           write the debug file tarvik.dbg\n"
         "  -DBGX           record the debug file name only\n"
         "  -DRIVER=<path>  accept UI driver requests on a local socket (\"-\": standard input)\n"
         "  -h, --help      show this text and end\n"
         "  --version       show the version and end\n"
         "\n"
         "Exit codes: 0 after a normal run, 2 when the configuration cannot be read\n"
         "or no display can be reached without -NOGUI.\n";
}

std::string VersionLine() { return "tarvik " + ProgramVersion() + " (built " + ProgramBuildDate() + ")\n"; }

std::string IniPathProblem(const std::string& iniPath) {
  struct stat st{};
  if (::stat(iniPath.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory, not a configuration file";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if (::access(iniPath.c_str(), R_OK) != 0) return std::strerror(errno);
  return {};
}

bool HaveDisplay(const EnvLookup& env) {
  auto set = [&env](const char* name) {
    const char* v = env(name);
    return v && *v;
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY")) return true;
  // A platform that draws by itself (offscreen, vnc, eglfs, ...) needs no
  // session; xcb and wayland do.
  if (!set("QT_QPA_PLATFORM")) return false;
  const std::string platform = env("QT_QPA_PLATFORM");
  return platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0;
}

}  // namespace tarvik::core
