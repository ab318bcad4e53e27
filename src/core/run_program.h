#pragma once
// Starting external programs, sounds and help without a shell.

#include <functional>
#include <string>
#include <vector>

namespace tarvik::core {

// Splits a command line into words at blanks; double quotes group a word.
std::vector<std::string> SplitCommandLine(const std::string& line);

// What RunProgram needs from the rest of the program.
struct RunContext {
  std::string iniPath;                                   // replaces "%ini"
  std::function<std::string(const std::string&)> expandMacros;  // text macros of a window, if any
  std::function<void(int number, const std::string& text)> message;  // kind 4 / notice messages
};

// Starts the program named by the command text: the text is cut at the first
// ";" (at most 127 characters are the command line), "%ini" and the window's
// text macros are expanded when a window is given (`ctx.expandMacros` set),
// and the program starts in its own directory. A program named without a
// directory is looked up in PATH and runs in the current directory, after
// message 1024. Returns true when it started; a failure shows message 1025.
bool RunProgram(const RunContext& ctx, const std::string& commandText);

// Spawns a program with arguments, not waiting for it; the child's directory
// is `directory` when not empty. Returns the pid, or -1.
int SpawnDetached(const std::vector<std::string>& argv, const std::string& directory = {});

// Plays a wave file asynchronously through aplay or paplay when one is
// installed; a missing file or player plays nothing.
void PlaySound(const std::string& file);

// Opens a help file (an HTML page or any file the desktop can show) with the
// desktop's opener, xdg-open. The help is one page: the context (a window
// number, 0 for the index) does not change which file opens.
enum class HelpResult { Opened, NoFile, NoOpener };
HelpResult ShowHelp(const std::string& helpFile, int context);

}  // namespace tarvik::core
