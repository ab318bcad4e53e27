// The real program, started as the operator starts it: temporary files a
// killed writer left behind are gone after the start (and nothing else),
// and UI-driver clients that hang up before their answer never end it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& pred) {
  for (int i = 0; i < 400; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(25ms);
  }
  return false;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_prog_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    for (const char* sub : {"log", "tmp/POS", "pub", "save"}) fs::create_directories(dir / sub);
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=DA1AAA\nMYNAME=A\nFLAGS=0000000000\nSAVEPATH=save/\n"
                                      << "LOGPATH=log/\nTMPPATH=tmp/\nCNFPATH=" << TARVIK_BINARY_DIR
                                      << "/station-cnf/\nPUBPATH=pub/\nMESSAGEFILE=" << TARVIK_SOURCE_DIR
                                      << "/data/TARVIK.MSG\n";
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove_all(dir);
  }

  bool Start() {
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/src/tarvik";
    std::vector<std::string> args{exe, "-NOGUI", "-DRIVER=" + Socket(), (dir / "TARVIK.INI").string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 && WaitFor([&] { return fs::exists(Socket()) && Ask("windows") == "OK"; });
  }
  bool Running() { return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0; }

  std::string Socket() const { return (dir / "driver.sock").string(); }
  int Dial() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = Socket();
    std::copy(path.begin(), path.end(), a.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
  // One request; the last line of the answer.
  std::string Ask(const std::string& request) const {
    const int fd = Dial();
    if (fd < 0) return "ERR connect";
    const std::string line = request + "\n";
    std::string got, last;
    if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
      char buf[4096];
      for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
        got.append(buf, static_cast<std::size_t>(n));
        std::size_t nl;
        while ((nl = got.find('\n')) != std::string::npos) {
          last = got.substr(0, nl);
          got.erase(0, nl + 1);
        }
        if (last.rfind("OK", 0) == 0 || last.rfind("ERR", 0) == 0) break;
      }
    }
    ::close(fd);
    return last;
  }

  fs::path dir;
  pid_t pid = -1;
};

TEST_F(Program, StaleTemporaryFilesGoAtStartAndNothingElse) {
  const std::vector<fs::path> stale{dir / "log" / "USER.DAT.a1B2c3", dir / "log" / "USER.IDX.Zz9yX8",
                                    dir / "tmp" / "POS" / "1010.POS.q7W3e1", dir / "tmp" / "POS" / "0000.POS.AAAAAA",
                                    dir / "log" / "N0CALL.log.Xy12Ab", dir / "log" / "20261210.lar.Qq9Zz0"};
  const std::vector<fs::path> kept{dir / "log" / "USER.DAT.a1B2",       // not the temporary pattern
                                   dir / "log" / "OTHER.DAT.a1B2c3",    // not the database's
                                   dir / "tmp" / "POS" / "1010.POS",    // the position itself
                                   dir / "log" / "N0CALL.log.old",      // not the temporary pattern
                                   dir / "tmp" / "POS" / "notes.txt.a1B2c3", dir / "pub" / "USER.DAT.a1B2c3"};
  for (const auto& p : stale) std::ofstream(p) << std::string(4096, 'x');
  for (const auto& p : kept) std::ofstream(p) << "keep";
  ASSERT_TRUE(Start());
  for (const auto& p : stale) EXPECT_FALSE(fs::exists(p)) << p;
  for (const auto& p : kept) EXPECT_TRUE(fs::exists(p)) << p;
}

TEST_F(Program, DriverClientsThatHangUpEarlyNeverEndTheProgram) {
  ASSERT_TRUE(Start());
  for (int i = 0; i < 20; ++i) {
    const int fd = Dial();
    ASSERT_GE(fd, 0);
    // A request with a long answer, and gone before it comes.
    const std::string line = "help\nwindows\nhelp\n";
    ASSERT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }
  EXPECT_EQ(Ask("windows"), "OK");
  EXPECT_TRUE(Running());
}

}  // namespace
