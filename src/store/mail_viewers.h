#pragma once
// The external programs the mail windows start (the EDITOR of the
// configuration, given a file): which of them still run.
//
// The mail list keeps up to five viewers, one per message: reading a
// message whose viewer still runs starts no second one, and a sixth while
// five run is refused (the operator is told). The send window keeps its one
// editor the same way. A desktop gives no program a way to raise another
// program's window, so a running viewer stays where it is.

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace tarvik::store {

inline constexpr std::size_t kMailViewerLimit = 5;

// A started program, watched until it ends.
class RunningProgram {
 public:
  explicit RunningProgram(int pid);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;
  bool running() const;

 private:
  int pid_;
  int pidfd_ = -1;  // a handle that stays this process's when its pid is reused
};

// Starts `program` (a command line: program and arguments) with `file` as
// its last argument; the program is looked up in PATH when it names no
// directory. Nothing when it cannot be started.
std::unique_ptr<RunningProgram> StartWithFile(const std::string& program, const std::string& file);

class ProgramSet {
 public:
  explicit ProgramSet(std::size_t limit) : limit_(limit) {}
  enum class Start { Started, Running, Full, Failed };
  // Starts the program for `key` unless its program still runs (Running)
  // or `limit` programs run (Full).
  Start Open(int key, const std::string& program, const std::string& file);
  std::size_t running();

 private:
  void forgetEnded();
  std::size_t limit_;
  std::map<int, std::unique_ptr<RunningProgram>> programs_;
};

}  // namespace tarvik::store
