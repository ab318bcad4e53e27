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

#include <algorithm>
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

// The shipped station in a directory of its own, its port 0 reaching a
// listener of the test (a port that is down would refuse the connect), the
// program on a fresh Xvfb display with the UI driver on a socket.
class XStation {
 public:
  // Empty when something needed is missing (the test then skips).
  std::string Missing() const {
    if (!onPath("Xvfb") || !onPath("xdotool")) return "Xvfb or xdotool is not installed";
    if (!fs::exists(program_) || !fs::exists(cnf_)) return "the program is not built";
    return "";
  }

  // Starts Xvfb and the program with `switches`; false when either fails.
  bool Start(const std::string& tag, const std::vector<std::string>& switches) {
    dir_ = fs::temp_directory_path() / ("tvk_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::copy(fs::path(TARVIK_SOURCE_DIR) / "data", dir_, fs::copy_options::recursive);
    fs::create_directories(dir_ / "cnf");
    for (const auto& e : fs::directory_iterator(cnf_))
      fs::copy_file(e.path(), dir_ / "cnf" / e.path().filename(), fs::copy_options::overwrite_existing);
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 4) != 0) return false;
    socklen_t len = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    {
      std::ifstream in(dir_ / "TARVIK.INI");
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
      // No service library is installed here: its notice would stand in
      // front of every window.
      ini = std::regex_replace(ini, std::regex("\nSRV-[0-9]+=[^\n]*"), "");
      ini = std::regex_replace(ini, std::regex("DEVICE=127\\.0\\.0\\.1;8101"),
                               "DEVICE=127.0.0.1;" + std::to_string(ntohs(a.sin_port)));
      std::ofstream(dir_ / "TARVIK.INI") << ini;
    }

    int display = 90 + ::getpid() % 100;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(display))) ++display;
    display_ = ":" + std::to_string(display);
    xvfb_ = std::make_unique<Child>(
        std::vector<std::string>{run("command -v Xvfb | tr -d '\\n'"), display_, "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"},
        std::vector<std::string>{}, dir_);
    if (!waitFor([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(display)); })) return false;
    socket_ = dir_ / "driver.sock";
    std::vector<std::string> args{program_.string()};
    args.insert(args.end(), switches.begin(), switches.end());
    args.push_back("-DRIVER=" + socket_.string());
    args.push_back("TARVIK.INI");
    tarvik_ = std::make_unique<Child>(args, std::vector<std::string>{"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb"},
                                      dir_);
    return waitFor([&] { return last(ask(socket_, "windows")).rfind("OK", 0) == 0; });
  }

  ~XStation() {
    tarvik_.reset();
    xvfb_.reset();
    if (listener_ >= 0) ::close(listener_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // The driver's last reply line.
  std::string Ask(const std::string& request) const { return last(ask(socket_, request)); }
  std::vector<std::string> AskAll(const std::string& request) const { return ask(socket_, request); }
  bool AskUntilOk(const std::string& request) const {
    return waitFor([&] { return Ask(request).rfind("OK", 0) == 0; });
  }
  // The station's directory.
  const fs::path& Dir() const { return dir_; }
  // xdotool on the display.
  void X(const std::string& arguments) const { run("DISPLAY=" + display_ + " xdotool " + arguments); }

  // Opens a channel to `call` through the toolbox's Connect and the connect
  // dialog; its window id ("#n"), empty when it did not open.
  std::string Connect(const std::string& call) const {
    const auto before = ChannelWindows();
    if (!AskUntilOk("press 1040 CONNECT")) return "";
    if (!AskUntilOk("set 1030 STATION " + call)) return "";
    if (Ask("press 1030 OK").rfind("OK", 0) != 0) return "";
    std::string opened;
    waitFor([&] {
      for (const std::string& w : ChannelWindows())
        if (std::find(before.begin(), before.end(), w) == before.end()) opened = w;
      return !opened.empty();
    });
    return opened;
  }
  std::vector<std::string> ChannelWindows() const {
    std::vector<std::string> out;
    for (const std::string& l : AskAll("windows"))
      if (l.find(" CHANNEL 1010 ") != std::string::npos) out.push_back(l.substr(2, l.find(' ', 2) - 2));
    return out;
  }

 private:
  fs::path program_ = fs::path(TARVIK_BINARY_DIR) / "src" / "tarvik";
  fs::path cnf_ = fs::path(TARVIK_BINARY_DIR) / "station-cnf";
  fs::path dir_, socket_;
  int listener_ = -1;
  std::string display_;
  std::unique_ptr<Child> xvfb_, tarvik_;
};

TEST(RealXKeyboard, TextTypedAfterClickingTheReceivePaneLandsInOrderInTheInputLine) {
  XStation station;
  if (const std::string missing = station.Missing(); !missing.empty()) GTEST_SKIP() << missing;
  ASSERT_TRUE(station.Start("xkeys", {"-NOMDI"})) << "the program did not start";

  // The operator opens a channel: Connect, a call, OK.
  ASSERT_TRUE(waitFor([&] { return station.Ask("press TOOLBOX CONNECT").rfind("OK", 0) == 0 ||
                                   station.Ask("press 1040 CONNECT").rfind("OK", 0) == 0; }));
  ASSERT_TRUE(station.AskUntilOk("set 1030 STATION N0XYZ"));
  ASSERT_EQ(station.Ask("press 1030 OK").substr(0, 2), "OK");
  // The channel window at a known place (no window manager: no frame).
  ASSERT_TRUE(station.AskUntilOk("place 1010 100 100 540 748"));
  ASSERT_TRUE(waitFor([&] { return station.Ask("get 1010 INPUT") == "OK"; }));

  // A click into the receive pane, then typing as the keyboard does.
  station.X("mousemove 300 400 click 1");
  station.X("type --delay 40 'hello world, typed without clicking'");
  const std::string want = "OK hello world, typed without clicking";
  EXPECT_TRUE(waitFor([&] { return station.Ask("get 1010 INPUT") == want; })) << station.Ask("get 1010 INPUT");
}

// Alt+1 .. Alt+8 bring a channel up with its input line focused, so that
// what the operator types next goes there: in separate windows and in the
// frame.
TEST(RealXKeyboard, AltAndAChannelNumberSwitchesWhereTypingGoes) {
  for (const bool frame : {false, true}) {
    SCOPED_TRACE(frame ? "frame" : "-NOMDI");
    XStation station;
    if (const std::string missing = station.Missing(); !missing.empty()) GTEST_SKIP() << missing;
    ASSERT_TRUE(station.Start(frame ? "xalt_mdi" : "xalt", frame ? std::vector<std::string>{}
                                                                 : std::vector<std::string>{"-NOMDI"}))
        << "the program did not start";
    const std::string one = station.Connect("N0XYZ");
    ASSERT_FALSE(one.empty());
    const std::string two = station.Connect("N0ABC");
    ASSERT_FALSE(two.empty());
    EXPECT_EQ(station.Ask("get 1040 CHAN1"), "OK 1 N0XYZ connecting");
    EXPECT_EQ(station.Ask("get 1040 CHAN2"), "OK 2 N0ABC connecting");

    // Without a window manager nothing gives the frame the keyboard: the
    // operator's click on its title would.
    if (frame) station.X("search --onlyvisible --classname tarvik windowfocus --sync");
    station.X("key alt+1");
    ASSERT_TRUE(waitFor([&] { return station.Ask("active") == "OK " + one; })) << station.Ask("active");
    station.X("type --delay 40 'to one'");
    EXPECT_TRUE(waitFor([&] { return station.Ask("get " + one + " INPUT") == "OK to one"; }))
        << station.Ask("get " + one + " INPUT");
    station.X("key alt+2");
    ASSERT_TRUE(waitFor([&] { return station.Ask("active") == "OK " + two; })) << station.Ask("active");
    station.X("type --delay 40 'to two'");
    EXPECT_TRUE(waitFor([&] { return station.Ask("get " + two + " INPUT") == "OK to two"; }))
        << station.Ask("get " + two + " INPUT");
    EXPECT_EQ(station.Ask("get " + one + " INPUT"), "OK to one");
  }
}

// A list window (the mail list) on the real window system: a click puts the
// keyboard focus into its list control, and the arrow keys move the
// selection there (not to a button): Up runs to the first line and stops,
// Down moves on. REPLY then answers the message the keys chose.
TEST(RealXKeyboard, ArrowKeysMoveTheSelectionOfAListWindow) {
  XStation station;
  if (const std::string missing = station.Missing(); !missing.empty()) GTEST_SKIP() << missing;
  ASSERT_TRUE(station.Start("xlist", {"-NOMDI"})) << "the program did not start";
  {
    fs::create_directories(station.Dir() / "log");
    std::ofstream dat(station.Dir() / "log" / "MAIL.DAT", std::ios::binary);
    for (int n = 0; n < 60; ++n)
      dat << "1\t" << n << "\t01.03.2026 09:00\tN0CALL" << std::string(34, ' ') << "\tDL" << 100 + n << "X\tNo " << n
          << "\n";
  }
  ASSERT_TRUE(waitFor([&] {
    return station.Ask("press TOOLBOX MAIL").rfind("OK", 0) == 0 || station.Ask("press 1040 MAIL").rfind("OK", 0) == 0;
  }));
  ASSERT_TRUE(station.AskUntilOk("place 1120 100 100 800 700"));
  ASSERT_TRUE(waitFor([&] { return station.Ask("lines 1120 LISTE") == "OK 60"; })) << station.Ask("lines 1120 LISTE");
  EXPECT_NE(station.Ask("state 1120 REPLY").find("enabled=0"), std::string::npos);

  // A click on some line in the middle of the list.
  station.X("mousemove 300 400 click 1");
  ASSERT_TRUE(waitFor([&] { return station.Ask("state 1120 REPLY").find("enabled=1") != std::string::npos; }));
  station.X("key --delay 15 --repeat 70 Up");
  // Reply (Alt+P) comes after the keys, through the same window system.
  station.X("key --delay 40 Down Down alt+p");
  ASSERT_TRUE(waitFor([&] { return station.Ask("get 1290 TO").rfind("OK ", 0) == 0; })) << station.Ask("get 1290 TO");
  EXPECT_EQ(station.Ask("get 1290 TO"), "OK DL102X");
  EXPECT_EQ(station.Ask("get 1290 SUBJECT"), "OK Re:No 2");
}

}  // namespace
