#pragma once
// The command line: switch words and the path of the INI file.

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
  std::string driverSocket; // DRIVER=<path>: local socket of the UI driver
};

// Examines the arguments after the program name. An argument that begins
// with "-" or "/" is a switch argument and every switch word found anywhere in
// it takes effect ("/DBGF/NOMDI" carries two); any other argument is the INI
// path, the last one winning. Without one, the INI path is the directory of
// the program file followed by "TARVIK.INI".
StartupOptions ParseArguments(const std::vector<std::string>& args, const std::string& programPath);

}  // namespace tarvik::core
