// Two real Tarvik programs, each an unattended station without a display,
// joined by KISS over TCP on loopback: one connects to the other by call
// through its connect dialog, both operators type (through the UI driver's
// socket), the called operator disconnects, and both programs end in order
// on SIGTERM. Nothing inside the programs is stood in for.

#include <gtest/gtest.h>
#include <netinet/in.h>
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

int FreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// One program on a station directory of its own, with its operator on the
// UI driver socket.
class Station {
 public:
  Station(const fs::path& dir, const std::string& ini) : dir_(dir) {
    fs::create_directories(dir);
    std::ofstream(dir / "TARVIK.INI") << ini;
  }
  ~Station() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool Start() {
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/src/tarvik";
    const std::string driver = "-DRIVER=" + (dir_ / "driver.sock").string();
    const std::string ini = (dir_ / "TARVIK.INI").string();
    std::vector<std::string> args{exe, "-NOGUI", driver, ini};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    return WaitFor([&] { return fs::exists(dir_ / "driver.sock") && Ask("windows").back() == "OK"; });
  }

  // Sends one driver request; the reply lines, the last being "OK…" or "ERR…".
  std::vector<std::string> Ask(const std::string& request) const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = (dir_ / "driver.sock").string();
    if (path.size() >= sizeof a.sun_path) return {"ERR path"};
    std::copy(path.begin(), path.end(), a.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd);
      return {"ERR connect"};
    }
    const std::string line = request + "\n";
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      ::close(fd);
      return {"ERR write"};
    }
    std::string got;
    std::vector<std::string> lines;
    char buf[4096];
    while (true) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      bool done = false;
      while ((nl = got.find('\n')) != std::string::npos) {
        lines.push_back(got.substr(0, nl));
        got.erase(0, nl + 1);
        if (lines.back().rfind("OK", 0) == 0 || lines.back().rfind("ERR", 0) == 0) done = true;
      }
      if (done) break;
    }
    ::close(fd);
    if (lines.empty()) lines.push_back("ERR no reply");
    return lines;
  }

  // The driver's name of the newest window whose "windows" line contains `text`.
  std::string Window(const std::string& text) const {
    std::string found;
    for (const std::string& l : Ask("windows"))
      if (l.find(text) != std::string::npos) found = l.substr(2, l.find(' ', 2) - 2);
    return found;
  }

  bool Shows(const std::string& window, const std::string& line) const {
    for (const std::string& l : Ask("lines " + window + " LISTE"))
      if (l == "= " + line) return true;
    return false;
  }

  // Sends SIGTERM; the exit code of an orderly end, or -1.
  int Terminate() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }

  static bool WaitFor(const std::function<bool()>& pred) {
    for (int i = 0; i < 300; ++i) {
      if (pred()) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

std::string StationIni(const std::string& call, int serverPort, const std::string& port0) {
  const std::string src = TARVIK_SOURCE_DIR;
  const std::string cnf = std::string(TARVIK_BINARY_DIR) + "/station-cnf/";
  std::string ini = "[TARVIK]\nMYNAME=Operator of " + call + "\nMYCALL=" + call +
                    "\nFLAGS=0000000000\nCHRSET=UNTRANS\nTCP/IP=Yes\nPORT=" +
                    std::to_string(serverPort) +
                    "\nSAVEPATH=save/\nLOGPATH=log/\nTMPPATH=tmp/\nCNFPATH=" + cnf +
                    "\nPUBPATH=pub/\nMESSAGEFILE=" + src + "/data/TARVIK.MSG\n";
  const std::string channel =
      "WINDOW=7\nPACLEN=256\nT1=10\nT2=300\nT2DAMA=300\nT3=180\nRETRY=10\nL2F=10\n"
      "TXDELAY=0\nTXTAIL=0\nPERSIST=255\nSLOTTIME=0\n";
  ini += "[TCPCHAN]\nTITLE=TCP\n" + channel;
  if (!port0.empty())
    ini += "[P0]\nTITLE=Loopback\nDEVICE=" + port0 +
           "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n[P0CHAN0]\nTITLE=Lo\nQRG=0\n" + channel;
  return ini;
}

// Presses yes in the open message dialog, whichever way it is shown.
bool AnswerYes(const Station& s) {
  return Station::WaitFor([&] {
    const std::string dialog = s.Window(" 1620 ");
    if (!dialog.empty()) return s.Ask("press " + dialog + " JA").back() == "OK";
    return s.Ask("answer 1").back() == "OK answered";
  });
}

TEST(TwoPrograms, ConnectTalkAndDisconnectOverKissTcp) {
  const fs::path root = fs::temp_directory_path() / ("tvk_two_" + std::to_string(::getpid()));
  fs::remove_all(root);
  const int portB = FreeTcpPort(), portA = FreeTcpPort();
  {
    Station b(root / "b", StationIni("N0NBR-1", portB, ""));
    Station a(root / "a", StationIni("N0CALL-1", portA, "127.0.0.1;" + std::to_string(portB)));
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(a.Start());

    // A's operator connects to B by call through the connect dialog.
    ASSERT_TRUE(Station::WaitFor([&] { return a.Ask("menu MAIN File/Connect...").back() == "OK"; }));
    ASSERT_TRUE(Station::WaitFor([&] { return !a.Window(" 1030 ").empty(); }));
    EXPECT_EQ(a.Ask("set 1030 STATION N0NBR-1").back(), "OK");
    EXPECT_EQ(a.Ask("press 1030 OK").back(), "OK");
    ASSERT_TRUE(Station::WaitFor([&] { return !a.Window("<-> N0NBR-1").empty(); }));
    ASSERT_TRUE(Station::WaitFor([&] { return !b.Window("<-> N0CALL-1").empty(); }));
    const std::string wa = a.Window("<-> N0NBR-1"), wb = b.Window("<-> N0CALL-1");

    // Both operators type; each line arrives on the other side.
    EXPECT_EQ(a.Ask("type " + wa + " INPUT Hello from A{ENTER}").back(), "OK");
    ASSERT_TRUE(Station::WaitFor([&] { return b.Shows(wb, "Hello from A"); }));
    EXPECT_EQ(b.Ask("type " + wb + " INPUT Hello back from B{ENTER}").back(), "OK");
    ASSERT_TRUE(Station::WaitFor([&] { return a.Shows(wa, "Hello back from B"); }));

    // B's operator closes the channel and confirms: both channels end, and
    // their windows keep the conversation until the operators close them.
    EXPECT_EQ(b.Ask("press " + wb + " EXIT").back(), "OK");
    ASSERT_TRUE(AnswerYes(b));
    EXPECT_TRUE(Station::WaitFor([&] { return b.Shows(wb, "*** disconnected"); }));
    EXPECT_TRUE(Station::WaitFor([&] { return a.Shows(wa, "*** disconnected"); }));
    EXPECT_TRUE(a.Shows(wa, "Hello back from B"));
    EXPECT_EQ(a.Ask("get MAIN CHAN1").back(), "OK 1 free");
    EXPECT_EQ(b.Ask("press " + wb + " EXIT").back(), "OK");
    EXPECT_EQ(a.Ask("press " + wa + " EXIT").back(), "OK");
    EXPECT_TRUE(Station::WaitFor([&] { return b.Window(" CHANNEL ").empty(); }));
    EXPECT_TRUE(Station::WaitFor([&] { return a.Window(" CHANNEL ").empty(); }));

    EXPECT_EQ(a.Terminate(), 0);
    EXPECT_EQ(b.Terminate(), 0);
  }
  fs::remove_all(root);
}

}  // namespace
