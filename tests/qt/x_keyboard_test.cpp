// The whole program on a real X server (Xvfb), typed at by real X events
// (xdotool): the window system's focus handling is in play here, which the
// offscreen platform leaves out. The UI driver opens the channel and reads
// what arrived. Skipped when Xvfb, xdotool or the program is missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <netinet/in.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool onPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A child process, ended (TERM, then KILL) when the object goes.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::vector<std::string>& env, const fs::path& dir) {
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> all(env);
    for (char** e = environ; *e; ++e) all.emplace_back(*e);
    for (const auto& e : all) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "out.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string cwd = fs::current_path().string();
    fs::current_path(dir);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid_ = -1;
};

// Waits for a condition, up to a deadline (never a fixed pause).
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(20)) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return done();
}

// One request to the UI driver; the reply lines up to OK or ERR.
std::vector<std::string> ask(const fs::path& socketPath, const std::string& request) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  std::vector<std::string> lines;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return lines;
  }
  const std::string line = request + "\n";
  if (::write(fd, line.data(), line.size()) < 0) {
    ::close(fd);
    return lines;
  }
  std::string buffer;
  char chunk[512];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    buffer.append(chunk, static_cast<std::size_t>(n));
    std::size_t at;
    bool end = false;
    while ((at = buffer.find('\n')) != std::string::npos) {
      lines.push_back(buffer.substr(0, at));
      buffer.erase(0, at + 1);
      if (lines.back().rfind("OK", 0) == 0 || lines.back().rfind("ERR", 0) == 0 ||
          lines.back().rfind("= OK", 0) == 0 || lines.back().rfind("= ERR", 0) == 0)
        end = true;
    }
    if (end) break;
  }
  ::close(fd);
  return lines;
}

// The final line of a reply without its "= " lead: "OK ..." or "ERR ...".
std::string last(const std::vector<std::string>& reply) {
  if (reply.empty()) return "";
  const std::string& l = reply.back();
  return l.rfind("= ", 0) == 0 ? l.substr(2) : l;
}

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}

// The shipped station on its own X server, with the UI driver on a socket.
class RealX : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path program = fs::path(TARVIK_BINARY_DIR) / "src" / "tarvik";
    const fs::path cnf = fs::path(TARVIK_BINARY_DIR) / "station-cnf";
    if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool is not installed";
    if (!fs::exists(program) || !fs::exists(cnf)) GTEST_SKIP() << "the program is not built";

    // A station of its own: the shipped one, its port 0 reaching a listener
    // of this test (a port that is down would refuse the connect).
    dir = fs::temp_directory_path() / ("tvk_xkeys_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(fs::path(TARVIK_SOURCE_DIR) / "data", dir, fs::copy_options::recursive);
    fs::create_directories(dir / "cnf");
    for (const auto& e : fs::directory_iterator(cnf))
      fs::copy_file(e.path(), dir / "cnf" / e.path().filename(), fs::copy_options::overwrite_existing);
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    {
      std::ifstream in(dir / "TARVIK.INI");
      std::stringstream s;
      s << in.rdbuf();
      std::string ini = s.str();
      // TCP/IP stays on (port 0 is a TCP/IP link); the station's own server
      // listens on a free port of its own.
      const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in free{};
      free.sin_family = AF_INET;
      free.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::bind(probe, reinterpret_cast<sockaddr*>(&free), sizeof free);
      socklen_t freeLen = sizeof free;
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&free), &freeLen);
      ::close(probe);
      ini = std::regex_replace(ini, std::regex("PORT=8100"), "PORT=" + std::to_string(ntohs(free.sin_port)));
      ini = std::regex_replace(ini, std::regex("DEVICE=127\\.0\\.0\\.1;8101"),
                               "DEVICE=127.0.0.1;" + std::to_string(ntohs(a.sin_port)));
      std::ofstream(dir / "TARVIK.INI") << ini;
    }

    int display = 90 + ::getpid() % 100;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(display))) ++display;
    name = ":" + std::to_string(display);
    xvfb = std::make_unique<Child>(
        std::vector<std::string>{run("command -v Xvfb | tr -d '\\n'"), name, "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"},
        std::vector<std::string>{}, dir);
    ASSERT_TRUE(waitFor([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(display)); }));

    socketPath = dir / "driver.sock";
    tarvik = std::make_unique<Child>(
        std::vector<std::string>{program.string(), "-NOMDI", "-DRIVER=" + socketPath.string(), "TARVIK.INI"},
        std::vector<std::string>{"DISPLAY=" + name, "QT_QPA_PLATFORM=xcb"}, dir);
    ASSERT_TRUE(waitFor([&] { return last(ask(socketPath, "windows")).rfind("OK", 0) == 0; }))
        << "the program did not start";
  }
  void TearDown() override {
    tarvik.reset();
    xvfb.reset();
    if (listener >= 0) ::close(listener);
    if (!dir.empty()) fs::remove_all(dir);
  }
  std::string Ask(const std::string& request) { return last(ask(socketPath, request)); }
  bool Ok(const std::string& request) { return Ask(request).rfind("OK", 0) == 0; }

  fs::path dir, socketPath;
  int listener = -1;
  std::string name;  // the X display
  std::unique_ptr<Child> xvfb, tarvik;
};

TEST_F(RealX, TextTypedAfterClickingTheReceivePaneLandsInOrderInTheInputLine) {
  // The operator opens a channel: Connect, a call, OK.
  ASSERT_TRUE(waitFor([&] { return last(ask(socketPath, "press TOOLBOX CONNECT")).rfind("OK", 0) == 0 ||
                                   last(ask(socketPath, "press 1040 CONNECT")).rfind("OK", 0) == 0; }));
  ASSERT_TRUE(waitFor([&] { return last(ask(socketPath, "set 1030 STATION N0XYZ")).rfind("OK", 0) == 0; }));
  ASSERT_EQ(last(ask(socketPath, "press 1030 OK")).substr(0, 2), "OK");
  // The channel window at a known place (no window manager: no frame).
  ASSERT_TRUE(waitFor([&] { return last(ask(socketPath, "place 1010 100 100 540 748")).rfind("OK", 0) == 0; }));
  ASSERT_TRUE(waitFor([&] { return last(ask(socketPath, "get 1010 INPUT")) == "OK"; }));

  const std::string xdo = "DISPLAY=" + name + " xdotool ";
  // A click into the receive pane, then typing as the keyboard does.
  run(xdo + "mousemove 300 400 click 1");
  run(xdo + "type --delay 40 'hello world, typed without clicking'");
  const std::string want = "OK hello world, typed without clicking";
  EXPECT_TRUE(waitFor([&] { return last(ask(socketPath, "get 1010 INPUT")) == want; }))
      << last(ask(socketPath, "get 1010 INPUT"));
}

// A list window (the mail list) on the real window system: a click puts the
// keyboard focus into its list control, and the arrow keys move the
// selection there (not to a button): Up runs to the first line and stops,
// Down moves on. REPLY then answers the message the keys chose.
TEST_F(RealX, ArrowKeysMoveTheSelectionOfAListWindow) {
  {
    fs::create_directories(dir / "log");
    std::ofstream dat(dir / "log" / "MAIL.DAT", std::ios::binary);
    for (int n = 0; n < 60; ++n)
      dat << "1\t" << n << "\t01.03.2026 09:00\tN0CALL" << std::string(34, ' ') << "\tDL" << 100 + n << "X\tNo " << n
          << "\n";
  }
  ASSERT_TRUE(waitFor([&] { return Ok("press TOOLBOX MAIL") || Ok("press 1040 MAIL"); }));
  ASSERT_TRUE(waitFor([&] { return Ok("place 1120 100 100 800 700"); }));
  ASSERT_TRUE(waitFor([&] { return Ask("lines 1120 LISTE") == "OK 60"; })) << Ask("lines 1120 LISTE");
  EXPECT_NE(Ask("state 1120 REPLY").find("enabled=0"), std::string::npos);

  const std::string xdo = "DISPLAY=" + name + " xdotool ";
  // A click on some line in the middle of the list.
  run(xdo + "mousemove 300 400 click 1");
  ASSERT_TRUE(waitFor([&] { return Ask("state 1120 REPLY").find("enabled=1") != std::string::npos; }));
  run(xdo + "key --delay 15 --repeat 70 Up");
  // Reply (Alt+P) comes after the keys, through the same window system.
  run(xdo + "key --delay 40 Down Down alt+p");
  ASSERT_TRUE(waitFor([&] { return Ask("get 1290 TO").rfind("OK ", 0) == 0; })) << Ask("get 1290 TO");
  EXPECT_EQ(Ask("get 1290 TO"), "OK DL102X");
  EXPECT_EQ(Ask("get 1290 SUBJECT"), "OK Re:No 2");
}

}  // namespace
