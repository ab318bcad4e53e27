// The real program as a new user meets it: its command line, the reasons it
// refuses to start, and an installed program making the user's station on
// its first start. Each test starts the built (or installed) executable.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kBuiltProgram = std::string(TARVIK_BINARY_DIR) + "/src/tarvik";

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitFor(const std::function<bool()>& pred) {
  for (int i = 0; i < 300; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// One run of a program with its own environment (nothing inherited but
// PATH), standard output and error in files.
class Program {
 public:
  Program(const fs::path& dir, std::vector<std::string> args, std::vector<std::string> env) : dir_(dir) {
    fs::create_directories(dir);
    if (const char* path = std::getenv("PATH"); path && !HasVar(env, "PATH")) env.push_back(std::string("PATH=") + path);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // The exit code once the program has ended by itself (-1: it did not).
  int Exit() {
    int status = 0;
    const bool ended = WaitFor([&] { return pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Terminate() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    return Exit();
  }
  std::string Out() const { return ReadFile(dir_ / "stdout.txt"); }
  std::string Err() const { return ReadFile(dir_ / "stderr.txt"); }

  // One UI driver request on the socket at `path`; the reply lines.
  static std::vector<std::string> Ask(const fs::path& path, const std::string& request) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string p = path.string();
    if (p.size() >= sizeof a.sun_path) return {"ERR path"};
    std::copy(p.begin(), p.end(), a.sun_path);
    std::vector<std::string> lines;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      const std::string line = request + "\n";
      if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        std::string got;
        char buf[4096];
        bool done = false;
        while (!done) {
          const ssize_t n = ::read(fd, buf, sizeof buf);
          if (n <= 0) break;
          got.append(buf, static_cast<std::size_t>(n));
          for (std::size_t nl; (nl = got.find('\n')) != std::string::npos; got.erase(0, nl + 1)) {
            lines.push_back(got.substr(0, nl));
            if (lines.back().rfind("OK", 0) == 0 || lines.back().rfind("ERR", 0) == 0) done = true;
          }
        }
      }
    }
    ::close(fd);
    if (lines.empty()) lines.push_back("ERR no reply");
    return lines;
  }

 private:
  static bool HasVar(const std::vector<std::string>& env, const std::string& name) {
    for (const auto& e : env)
      if (e.rfind(name + "=", 0) == 0) return true;
    return false;
  }
  fs::path dir_;
  pid_t pid_ = -1;
};

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("tvk_cmd_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "station");
    std::ofstream(root / "station/TARVIK.INI")
        << "[TARVIK]\nMYCALL=N0CALL-1\nFLAGS=0000000000\nTCP/IP=No\nTMPPATH=tmp/\nMESSAGEFILE="
        << TARVIK_SOURCE_DIR << "/data/TARVIK.MSG\n";
  }
  void TearDown() override { fs::remove_all(root); }
  fs::path root;
};

// --help, -h and --version answer on standard output and end at once, even
// without a display or a configuration file.
TEST_F(CommandLine, HelpAndVersionPrintAndEnd) {
  struct Case {
    const char* arg;
    const char* shows;
  };
  for (const Case& c : {Case{"--help", "Usage: tarvik [switches]"}, Case{"-h", "-NOGUI"},
                        Case{"--version", "tarvik "}}) {
    Program run(root / "run", {kBuiltProgram, c.arg}, {});
    EXPECT_EQ(run.Exit(), 0) << c.arg;
    EXPECT_NE(run.Out().find(c.shows), std::string::npos) << c.arg << ": " << run.Out();
    EXPECT_EQ(run.Err(), "") << c.arg;
  }
  Program version(root / "run", {kBuiltProgram, "--version"}, {});
  ASSERT_EQ(version.Exit(), 0);
  // The real release and build day, not the texts other stations see.
  EXPECT_NE(version.Out().find(" (built 20"), std::string::npos) << version.Out();
  EXPECT_EQ(version.Out().find("1997"), std::string::npos) << version.Out();
}

// A configuration that cannot be read, and a graphical start without a
// display, end with code 2 and one line on standard error saying why.
TEST_F(CommandLine, RefusesToStartWithOneLineSayingWhy) {
  const std::string ini = (root / "station/TARVIK.INI").string();
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"-NOGUI", (root / "none.ini").string()}, (root / "none.ini").string() + ": No such file or directory"},
      {{"-NOGUI", (root / "station").string()}, "is a directory"},
      {{ini}, "no display; use -NOGUI"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{kBuiltProgram};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Program run(root / "run", args, {"HOME=" + root.string()});  // no DISPLAY, no WAYLAND_DISPLAY
    EXPECT_EQ(run.Exit(), 2) << c.says;
    const std::string err = run.Err();
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

// `cmake --install` puts the program, the shipped station, the desktop entry,
// the icon and the systemd user unit under the prefix; the installed program,
// started without an INI path, makes the user's station under
// XDG_DATA_HOME on its first start and keeps using it. Its help button tells
// where the help is when no opener is installed.
TEST_F(CommandLine, InstalledProgramMakesTheUserStationOnFirstStart) {
  const fs::path prefix = root / "prefix";
  const std::string install = "cmake --install '" + std::string(TARVIK_BINARY_DIR) + "' --prefix '" +
                              prefix.string() + "' > '" + (root / "install.log").string() + "' 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << ReadFile(root / "install.log");
  for (const char* file : {"bin/tarvik", "share/tarvik/TARVIK.INI", "share/tarvik/TARVIK.MSG",
                           "share/tarvik/cnf/M1010.CNX", "share/tarvik/cnf/M1620.CNX", "share/tarvik/cnf/HELP.TXT",
                           "share/tarvik/help/index.html", "share/applications/tarvik.desktop",
                           "share/icons/hicolor/scalable/apps/tarvik.svg", "lib/systemd/user/tarvik.service"})
    EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
  EXPECT_NE(ReadFile(prefix / "lib/systemd/user/tarvik.service").find("ExecStart=" + (prefix / "bin/tarvik").string() + " -NOGUI"),
            std::string::npos);
  EXPECT_NE(ReadFile(prefix / "share/applications/tarvik.desktop").find("Exec=tarvik"), std::string::npos);

  const fs::path data = root / "xdg";
  const fs::path station = data / "tarvik";
  const fs::path sock = root / "driver.sock";
  const std::vector<std::string> env{"XDG_DATA_HOME=" + data.string(), "HOME=" + root.string(),
                                     "PATH=/nonexistent"};  // no xdg-open to be found
  {
    Program run(root / "elsewhere", {(prefix / "bin/tarvik").string(), "-NOGUI", "-DRIVER=" + sock.string()}, env);
    ASSERT_TRUE(WaitFor([&] { return Program::Ask(sock, "windows").back() == "OK"; })) << run.Err();
    EXPECT_TRUE(fs::is_regular_file(station / "TARVIK.INI"));
    EXPECT_TRUE(fs::is_regular_file(station / "cnf/M1040.CNX"));
    // Relative paths of the station count from its directory.
    EXPECT_TRUE(fs::is_directory(station / "tmp"));
    EXPECT_FALSE(fs::exists(root / "elsewhere/tmp"));

    std::string toolbox;
    ASSERT_TRUE(WaitFor([&] {
      for (const std::string& l : Program::Ask(sock, "windows"))
        if (l.find(" 1040 ") != std::string::npos) toolbox = l.substr(2, l.find(' ', 2) - 2);
      return !toolbox.empty();
    }));
    EXPECT_EQ(Program::Ask(sock, "press " + toolbox + " SYSHILFE").back(), "OK");
    // The notice is the message dialog 1610; its lines name the file.
    std::string shown;
    EXPECT_TRUE(WaitFor([&] {
      shown.clear();
      for (const std::string& l : Program::Ask(sock, "windows")) {
        if (l.find(" 1610 ") == std::string::npos) continue;
        const std::string dialog = l.substr(2, l.find(' ', 2) - 2);
        for (const char* line : {"ZEILE1", "ZEILE2", "ZEILE3"}) shown += Program::Ask(sock, "get " + dialog + " " + line).back() + "|";
      }
      return shown.find("web browser") != std::string::npos;
    })) << shown;
    EXPECT_NE(shown.find("OK " + (station / "help/index.html").string() + "|"), std::string::npos) << shown;
    EXPECT_EQ(run.Terminate(), 0);
  }
  // The second start keeps the operator's own station.
  std::ofstream(station / "TARVIK.INI", std::ios::app) << "# the operator's own line\n";
  {
    Program run(root / "elsewhere", {(prefix / "bin/tarvik").string(), "-NOGUI", "-DRIVER=" + sock.string()}, env);
    ASSERT_TRUE(WaitFor([&] { return Program::Ask(sock, "windows").back() == "OK"; })) << run.Err();
    EXPECT_EQ(run.Terminate(), 0);
  }
  EXPECT_NE(ReadFile(station / "TARVIK.INI").find("# the operator's own line"), std::string::npos);
}

}  // namespace
