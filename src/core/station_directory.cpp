#include "core/station_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace tarvik::core {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxIniPath = 127;
constexpr int kExitBadStart = 2;

bool set(const char* value) { return value && *value; }

void tell(const std::string& line) { std::fprintf(stderr, "tarvik: %s\n", line.c_str()); }

}  // namespace

std::string UserStationDirectory(const EnvLookup& env) {
  if (const char* data = env("XDG_DATA_HOME"); set(data) && data[0] == '/')
    return std::string(data) + "/tarvik";
  if (const char* home = env("HOME"); set(home)) return std::string(home) + "/.local/share/tarvik";
  return {};
}

std::string ShippedStationDirectory(const std::string& programPath) {
  const fs::path bin = fs::path(programPath).parent_path();
  return (bin.parent_path() / "share" / "tarvik").string();
}

std::string MakeStationDirectory(const std::string& shipped, const std::string& directory) {
  std::error_code ec;
  if (fs::is_regular_file(fs::path(directory) / "TARVIK.INI", ec)) return {};
  fs::create_directories(directory, ec);
  if (ec) return directory + ": " + ec.message();
  fs::copy(shipped, directory, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
  if (ec) return directory + ": " + ec.message();
  return {};
}

std::optional<int> PrepareStart(StartupOptions& options, const std::string& programPath,
                                const EnvLookup& env) {
  if (options.showHelp) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.showVersion) {
    std::fputs(VersionLine().c_str(), stdout);
    return 0;
  }
  // Without an INI path: the file beside the program when there is one, else
  // the user's station, made from the shipped one on the first start.
  const std::string shipped = ShippedStationDirectory(programPath);
  const std::string user = UserStationDirectory(env);
  std::error_code ec;
  if (!options.iniGiven && !IniPathProblem(options.iniPath).empty() && !user.empty() &&
      (fs::is_regular_file(fs::path(user) / "TARVIK.INI", ec) ||
       fs::is_regular_file(fs::path(shipped) / "TARVIK.INI", ec))) {
    if (const std::string problem = MakeStationDirectory(shipped, user); !problem.empty()) {
      tell("cannot make the station directory " + problem);
      return kExitBadStart;
    }
    if (::chdir(user.c_str()) != 0) {
      tell("cannot enter the station directory " + user + ": " + std::strerror(errno));
      return kExitBadStart;
    }
    const std::string ini = user + "/TARVIK.INI";
    options.iniPath = ini.size() <= kMaxIniPath ? ini : "TARVIK.INI";
  }
  if (const std::string problem = IniPathProblem(options.iniPath); !problem.empty()) {
    tell("cannot read the configuration file " + options.iniPath + ": " + problem);
    return kExitBadStart;
  }
  if (!options.noGui && !HaveDisplay(env)) {
    tell("no display; use -NOGUI");
    return kExitBadStart;
  }
  return std::nullopt;
}

}  // namespace tarvik::core
