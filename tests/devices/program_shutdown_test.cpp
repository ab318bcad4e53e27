// The real program, as an unattended station whose port 0 is a TNC on a
// pseudo-terminal: SIGTERM ends it in order, and the TNC receives the whole
// DEINI text, the part after a delay included, before the line closes.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devices/pty_tnc.h"

extern char** environ;

namespace tarvik::devices {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class ProgramShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tnc.ok());
    dir = fs::temp_directory_path() / ("tvk_shutdown_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove_all(dir);
  }

  bool Start(const std::string& ini) {
    std::ofstream(dir / "TARVIK.INI") << ini;
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/src/tarvik";
    std::vector<std::string> args{exe, "-NOGUI", (dir / "TARVIK.INI").string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    const int rc = ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  // What the TNC receives until `want` bytes are there (a bound against
  // hanging only).
  std::string Receive(std::size_t want) {
    std::string got;
    const auto bound = Clock::now() + std::chrono::seconds(20);
    while (got.size() < want && Clock::now() < bound) {
      const auto bytes = tnc.read(want - got.size(), 100);
      got.append(bytes.begin(), bytes.end());
    }
    return got;
  }

  // What the TNC receives until the program has ended; its exit code, -1
  // when it did not end normally within a generous bound.
  std::string ReceiveUntilExit(int& exitCode) {
    std::string got;
    exitCode = -1;
    const auto bound = Clock::now() + std::chrono::seconds(40);
    while (pid > 0 && Clock::now() < bound) {
      const auto bytes = tnc.read(SIZE_MAX, 100);
      got.append(bytes.begin(), bytes.end());
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    const auto rest = tnc.read(SIZE_MAX, 100);  // written just before the end
    got.append(rest.begin(), rest.end());
    return got;
  }

  testing::PtyTnc tnc;
  fs::path dir;
  pid_t pid = -1;
};

TEST_F(ProgramShutdownTest, SigtermDeliversTheWholeDeiniTextToTheTnc) {
  const std::string d = dir.string() + "/";
  ASSERT_TRUE(Start("[TARVIK]\nMYCALL=N0CALL-1\nTMPPATH=" + d + "tmp/\nLOGPATH=" + d +
                    "log/\nSAVEPATH=" + d + "save/\nMESSAGEFILE=" + std::string(TARVIK_SOURCE_DIR) +
                    "/data/TARVIK.MSG\n"
                    "[P0]\nTITLE=TNC\nDEVICE=" + tnc.path() + ":9600,n,8,1\nPROTOCOL=KISS\nDEVTYPE=TNC\n"
                    "[P0INI]\nKISS ON\n"
                    "[P0DEINI]\nAAA\n<DELAY>2\nBBB\n"));
  ASSERT_EQ(Receive(7), "KISS ON") << "the port opened with its INI text";
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int exitCode = -1;
  const std::string heard = ReceiveUntilExit(exitCode);
  EXPECT_EQ(exitCode, 0);
  const std::size_t at = heard.find("AAA");
  ASSERT_NE(at, std::string::npos) << heard;
  EXPECT_EQ(heard.substr(at), "AAABBB");
}

}  // namespace
}  // namespace tarvik::devices
