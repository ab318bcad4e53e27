// A real KISS-over-TCP peer: Dire Wolf, with a null audio device, prints
// every frame it is given to transmit. Tarvik's outgoing TCP/IP port connects
// to it and sends frames whose every address and control bit Dire Wolf must
// decode as meant. Skipped where Dire Wolf is not installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "tcp_fixture.h"

extern char** environ;

namespace tarvik::testing {
namespace {

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string d; std::getline(dirs, d, ':');) {
    const fs::path candidate = fs::path(d) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// A free TCP port for the peer to listen on. Dire Wolf takes only ports
// below the range the system hands out by itself, so one is searched there.
std::uint16_t FreePort() {
  for (int i = 0; i < 2000; ++i) {
    const auto port = static_cast<std::uint16_t>(20000 + (::getpid() + i) % 10000);
    devices::Socket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::bind(probe.fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return port;
  }
  return 0;
}

// Dire Wolf running on a configuration of its own, its console in a file;
// stopped by its process id when the test ends.
class DireWolf {
 public:
  DireWolf(const std::string& program, const fs::path& dir, std::uint16_t kissPort)
      : console_(dir / "direwolf.out") {
    const fs::path conf = dir / "direwolf.conf";
    std::ofstream(conf) << "ADEVICE null null\nCHANNEL 0\nMYCALL N0CALL\nKISSPORT " << kissPort
                        << "\nAGWPORT 0\n";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, console_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string c = conf.string();
    std::vector<std::string> args{program, "-c", c, "-t", "0"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~DireWolf() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  DireWolf(const DireWolf&) = delete;
  DireWolf& operator=(const DireWolf&) = delete;

  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  std::string console() const {
    std::ifstream in(console_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  fs::path console_;
  pid_t pid_ = -1;
};

class DireWolfPeer : public TcpStation {};

TEST_F(DireWolfPeer, DecodesTheFramesTarvikSendsAsMeant) {
  const std::string program = FindInPath("direwolf");
  if (program.empty()) GTEST_SKIP() << "direwolf is not installed";
  const std::uint16_t kissPort = FreePort();
  ASSERT_NE(kissPort, 0);
  DireWolf direwolf(program, dir, kissPort);
  const std::string ready =
      "Ready to accept KISS TCP client application 0 on port " + std::to_string(kissPort);
  const auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (direwolf.running() && direwolf.console().find(ready) == std::string::npos &&
         std::chrono::steady_clock::now() < budget)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_NE(direwolf.console().find(ready), std::string::npos) << direwolf.console();

  writeIni("Yes", "0",
           "[P3]\nDEVICE=127.0.0.1;" + std::to_string(kissPort) +
               "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n");
  start();
  ASSERT_TRUE(pumpUntil([&] { return portState(3) == devices::kTcpConnected; }));

  // A UI frame that has passed its first digipeater (H bit set) but not the
  // second; a SABM with poll; an I frame with N(R) 3, N(S) 5; an RR response
  // with final.
  auto ui = MakeFrame(3, "APZTVK", "DL1ABC-3", {"DB0AA-7", "WIDE2-2"}, ax25::FrameType::UI,
                      ax25::CrPf::CommandPoll, 0, 0, Bytes{'H', 'e', 'l', 'l', 'o'});
  ui.via[0].cbit = true;
  const auto sabm = MakeFrame(3, "DL2XYZ-15", "DL1ABC-3", {}, ax25::FrameType::SABM,
                              ax25::CrPf::CommandPoll, 0, 0, {});
  const auto iframe = MakeFrame(3, "DL2XYZ-15", "DL1ABC-3", {}, ax25::FrameType::I,
                                ax25::CrPf::Command, 3, 5, Bytes{'i', 'n', 'f', 'o'});
  const auto rr = MakeFrame(3, "DL2XYZ-15", "DL1ABC-3", {}, ax25::FrameType::RR,
                            ax25::CrPf::ResponseFinal, 2, 0, {});
  for (const auto& f : {ui, sabm, iframe, rr}) ax25::SendFrame(*app, f);

  const std::string expected[] = {
      "] DL1ABC-3>APZTVK,DB0AA-7*,WIDE2-2:(UI cmd, p=1)Hello\n",
      "] DL1ABC-3>DL2XYZ-15:(SABM cmd, p=1)\n",
      "] DL1ABC-3>DL2XYZ-15:(I cmd, n(s)=5, n(r)=3, p=0, pid=0xf0)info\n",
      "] DL1ABC-3>DL2XYZ-15:(RR res, n(r)=2, f=1)\n",
  };
  auto allShown = [&] {
    const std::string console = direwolf.console();
    for (const auto& line : expected)
      if (console.find(line) == std::string::npos) return false;
    return true;
  };
  // Dire Wolf paces its "transmissions" at 1200 baud; it may take a while.
  const auto shown = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!allShown() && std::chrono::steady_clock::now() < shown) tk.pump(50);
  const std::string console = direwolf.console();
  for (const auto& line : expected) EXPECT_NE(console.find(line), std::string::npos) << line << console;
  EXPECT_TRUE(app->ports()[3].open());
  EXPECT_TRUE(tk.dialogLog().empty());
}

// Dire Wolf stopped and started again under a running station: the port is
// down meanwhile, comes back by itself, and frames reach the new Dire Wolf.
TEST_F(DireWolfPeer, RestartedDireWolfIsFoundAgain) {
  const std::string program = FindInPath("direwolf");
  if (program.empty()) GTEST_SKIP() << "direwolf is not installed";
  const std::uint16_t kissPort = FreePort();
  ASSERT_NE(kissPort, 0);
  const std::string ready =
      "Ready to accept KISS TCP client application 0 on port " + std::to_string(kissPort);
  auto startDireWolf = [&] {
    auto dw = std::make_unique<DireWolf>(program, dir, kissPort);
    const auto budget = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (dw->running() && dw->console().find(ready) == std::string::npos &&
           std::chrono::steady_clock::now() < budget)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(dw->console().find(ready), std::string::npos) << dw->console();
    return dw;
  };
  auto direwolf = startDireWolf();
  writeIni("Yes", "0",
           "[P3]\nTITLE=Dire Wolf\nDEVICE=127.0.0.1;" + std::to_string(kissPort) +
               "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n");
  start();
  ASSERT_TRUE(pumpUntil([&] { return portState(3) == devices::kTcpConnected; }));

  direwolf.reset();  // stopped
  ASSERT_TRUE(pumpUntil([&] { return app->ports()[3].state == core::PortState::Down; }));
  EXPECT_THAT(tk.statusField(0), ::testing::StartsWith("Port 3 (Dire Wolf) lost: "));
  direwolf = startDireWolf();
  // The port tries again after its pauses until Dire Wolf answers.
  for (int i = 0; i < 6 && app->ports()[3].state != core::PortState::Up; ++i) {
    if (auto* w = portWindow(3); w && w->retryPending()) tk.stepMs(w->retryPauseMs());
    pumpUntil([&] { return app->ports()[3].state == core::PortState::Up; });
  }
  ASSERT_EQ(app->ports()[3].state, core::PortState::Up);
  EXPECT_THAT(tk.statusField(0), ::testing::StartsWith("Port 3 (Dire Wolf) back after "));
  const auto ui = MakeFrame(3, "APZTVK", "DL1ABC-3", {}, ax25::FrameType::UI, ax25::CrPf::Command, 0, 0,
                            Bytes{'a', 'g', 'a', 'i', 'n'});
  ax25::SendFrame(*app, ui);
  const auto shown = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (direwolf->console().find("again") == std::string::npos && std::chrono::steady_clock::now() < shown)
    tk.pump(50);
  EXPECT_NE(direwolf->console().find("DL1ABC-3>APZTVK"), std::string::npos) << direwolf->console();
  EXPECT_NE(direwolf->console().find("again"), std::string::npos) << direwolf->console();
  EXPECT_EQ(tk.dialogLog().size(), 0u);
}

}  // namespace
}  // namespace tarvik::testing
