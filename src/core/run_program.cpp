#include "core/run_program.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace tarvik::core {

namespace {

constexpr std::size_t kMaxCommandLine = 127;

bool fileExists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Finds a program in PATH; empty when none is there.
std::string findInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string all(path);
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find(':', start);
    std::string dir = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string cur;
  bool inQuotes = false, have = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (have) words.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) words.push_back(cur);
  return words;
}

int SpawnDetached(const std::vector<std::string>& argv, const std::string& directory) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  // Nobody waits for a started program; a small thread reaps it when it ends
  // so that no zombie stays behind.
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return pid;
}

bool RunProgram(const RunContext& ctx, const std::string& commandText) {
  auto message = [&](int n, const std::string& t) {
    if (ctx.message) ctx.message(n, t);
  };
  if (commandText.empty()) {
    message(1025, "");
    return false;
  }
  std::string line = commandText.substr(0, commandText.find(';'));
  if (line.size() > kMaxCommandLine) line.resize(kMaxCommandLine);
  if (ctx.expandMacros && line.find('%') != std::string::npos) {
    replaceAll(line, "%ini", ctx.iniPath);
    line = ctx.expandMacros(line);
  }
  std::vector<std::string> words = SplitCommandLine(line);
  if (words.empty()) {
    message(1025, line);
    return false;
  }
  std::string directory;
  std::string program = words[0];
  if (auto slash = program.rfind('/'); slash != std::string::npos) {
    directory = program.substr(0, slash + 1);
  } else {
    message(1024, line);
    program = findInPath(program);
  }
  if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
    message(1025, line);
    return false;
  }
  // The child gets an absolute program path, since it starts in its own
  // directory.
  if (!directory.empty() && program[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) program = std::string(cwd) + "/" + program;
  }
  words[0] = program;
  if (SpawnDetached(words, directory) < 0) {
    message(1025, line);
    return false;
  }
  return true;
}

void PlaySound(const std::string& file) {
  if (file.empty() || !fileExists(file)) return;
  for (const char* player : {"paplay", "aplay"}) {
    std::string p = findInPath(player);
    if (p.empty()) continue;
    std::vector<std::string> argv{p};
    if (std::string(player) == "aplay") argv.push_back("-q");
    argv.push_back(file);
    SpawnDetached(argv);
    return;
  }
}

HelpResult ShowHelp(const std::string& helpFile, int) {
  if (helpFile.empty() || !fileExists(helpFile)) return HelpResult::NoFile;
  const std::string opener = findInPath("xdg-open");
  if (opener.empty()) return HelpResult::NoOpener;
  // The opener runs elsewhere: it gets the file's absolute path.
  std::string target = helpFile;
  if (target[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) target = std::string(cwd) + "/" + target;
  }
  return SpawnDetached({opener, target}) < 0 ? HelpResult::NoOpener : HelpResult::Opened;
}

}  // namespace tarvik::core
