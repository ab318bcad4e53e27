#pragma once
// Where a station lives when the program is started without an INI path,
// and the checks made before any window exists.
//
// An installed program ships its default station in <prefix>/share/tarvik
// (beside <prefix>/bin/tarvik). On the first start without an INI path the
// user's station directory, $XDG_DATA_HOME/tarvik (~/.local/share/tarvik when
// XDG_DATA_HOME is not set), is made from it; later starts use what is there.

#include <optional>
#include <string>

#include "core/startup_options.h"

namespace tarvik::core {

// The user's station directory, without a trailing "/"; empty when neither
// XDG_DATA_HOME nor HOME is set.
std::string UserStationDirectory(const EnvLookup& env);

// The shipped station of an installed program: <bin>/../share/tarvik.
std::string ShippedStationDirectory(const std::string& programPath);

// Makes `directory` from `shipped` when it has no TARVIK.INI yet (files
// already there are kept). Empty on success, else the reason.
std::string MakeStationDirectory(const std::string& shipped, const std::string& directory);

// What happens before the toolkit starts: --help and --version print their
// text on standard output; without an INI path argument the user's station
// is used (made on first start, and it becomes the current directory, since
// relative paths in the INI file count from there); an INI path that cannot
// be read, or a missing display without NOGUI, is told in one line on
// standard error. Returns the exit code when the program is to end now.
std::optional<int> PrepareStart(StartupOptions& options, const std::string& programPath,
                                const EnvLookup& env);

}  // namespace tarvik::core
