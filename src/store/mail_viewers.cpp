#include "store/mail_viewers.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/run_program.h"

namespace tarvik::store {

namespace {

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "";
  std::size_t start = 0;
  while (start <= all.size()) {
    const std::size_t end = all.find(':', start);
    const std::string dir = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

}  // namespace

RunningProgram::RunningProgram(int pid) : pid_(pid) {
#ifdef SYS_pidfd_open
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
}

RunningProgram::~RunningProgram() {
  if (pidfd_ >= 0) ::close(pidfd_);
}

bool RunningProgram::running() const {
  if (pidfd_ >= 0) {
    pollfd p{pidfd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;  // readable once the process has ended
  }
  // Without a process handle: the pid still names a process.
  return ::kill(pid_, 0) == 0 || errno == EPERM;
}

std::unique_ptr<RunningProgram> StartWithFile(const std::string& program, const std::string& file) {
  std::vector<std::string> words = core::SplitCommandLine(program);
  if (words.empty()) return nullptr;
  std::string directory;
  std::error_code ec;
  if (const auto slash = words[0].rfind('/'); slash != std::string::npos) {
    // The program starts in its own directory, so both paths are made whole.
    words[0] = std::filesystem::absolute(words[0], ec).string();
    directory = words[0].substr(0, words[0].rfind('/') + 1);
  } else {
    words[0] = FindInPath(words[0]);
  }
  if (words[0].empty() || ::access(words[0].c_str(), X_OK) != 0) return nullptr;
  words.push_back(std::filesystem::absolute(file, ec).string());
  const int pid = core::SpawnDetached(words, directory);
  if (pid <= 0) return nullptr;
  return std::make_unique<RunningProgram>(pid);
}

void ProgramSet::forgetEnded() {
  for (auto it = programs_.begin(); it != programs_.end();)
    it = it->second->running() ? std::next(it) : programs_.erase(it);
}

std::size_t ProgramSet::running() {
  forgetEnded();
  return programs_.size();
}

ProgramSet::Start ProgramSet::Open(int key, const std::string& program, const std::string& file) {
  forgetEnded();
  if (programs_.count(key)) return Start::Running;
  if (programs_.size() >= limit_) return Start::Full;
  auto started = StartWithFile(program, file);
  if (!started) return Start::Failed;
  programs_[key] = std::move(started);
  return Start::Started;
}

}  // namespace tarvik::store
