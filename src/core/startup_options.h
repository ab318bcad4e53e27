#pragma once
// The command line: switch words and the path of the INI file.

#include <functional>
#include <string>
#include <vector>

namespace tarvik::core {

struct StartupOptions {
  bool frameMode = true;    // NOMDI turns it off: separate top-level windows
  bool ctl3d = false;       // CTL3D
  bool noGui = false;       // NOGUI: an unattended station on the headless backend
  bool debugFile = false;   // DBGF: "tarvik.dbg" is created and held open
  std::string debugFileName;  // set by DBGF and DBGX
  std::string iniPath;      // at most 127 characters
  bool iniGiven = false;    // the INI path came from the command line
  std::string driverSocket; // DRIVER=<path>: local socket of the UI driver
  bool showHelp = false;    // --help or -h: print the usage and end
  bool showVersion = false; // --version: print the version and end
};

// Examines the arguments after the program name. An argument that begins
// with "-" or "/" is a switch argument and every switch word found anywhere in
// it takes effect ("/DBGF/NOMDI" carries two); any other argument is the INI
// path, the last one winning. Without one, the INI path is the directory of
// the program file followed by "TARVIK.INI". "--help", "-h" and "--version"
// are whole arguments of their own.
StartupOptions ParseArguments(const std::vector<std::string>& args, const std::string& programPath);

// The usage text of --help and the line of --version.
std::string UsageText();
std::string VersionLine();

// Why the INI path cannot be the configuration file ("No such file or
// directory", "is a directory", ...), or an empty text when it can be read.
std::string IniPathProblem(const std::string& iniPath);

// True when a graphical session can be reached: DISPLAY or WAYLAND_DISPLAY
// is set, or QT_QPA_PLATFORM names a platform that needs no session
// (offscreen, vnc, ...).
using EnvLookup = std::function<const char*(const char*)>;
bool HaveDisplay(const EnvLookup& env);

}  // namespace tarvik::core
