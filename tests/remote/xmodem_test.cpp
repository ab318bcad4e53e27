// The XMODEM engine: against itself (both check modes, duplicates, the
// size rules, time-outs and the checksum fallback), against lrzsz's sx and
// rx as child processes through pipes, and RX/SX between two whole
// stations.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <deque>

#include "remote/transfer_fixture.h"
#include "remote/xmodem.h"

namespace tarvik::remote::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class XmodemFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_xm_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string path(const std::string& name) { return (dir / name).string(); }
  fs::path dir;
};

// An engine whose packets are collected.
struct Side {
  std::deque<Bytes> out;
  std::optional<XmodemEnd> end;
  XmodemEngine engine{[this](std::span<const std::uint8_t> b) { out.emplace_back(b.begin(), b.end()); },
                      [this](XmodemEnd e) { end = e; }};
};

// Moves every packet across until both have ended (or `limit` exchanges).
void Exchange(Side& s, Side& r, int limit = 100'000) {
  for (int i = 0; i < limit && (s.engine.active() || r.engine.active()); ++i) {
    if (!r.out.empty()) {
      s.engine.Data(r.out.front());
      r.out.pop_front();
    } else if (!s.out.empty()) {
      r.engine.Data(s.out.front());
      s.out.pop_front();
    } else {
      s.engine.Tick();
      r.engine.Tick();
    }
  }
}

TEST_F(XmodemFiles, EngineToEngineInBothCheckModes) {
  for (const bool crc : {true, false}) {
    for (const std::size_t size : {0u, 1u, 130u, 1024u, 5000u}) {
      const std::string data = RandomData(size, static_cast<unsigned>(size) + crc);
      WriteFile(path("src"), data);
      Side s, r;
      ASSERT_TRUE(s.engine.StartSend(path("src")));
      ASSERT_TRUE(r.engine.StartReceive(path("dst")));
      r.engine.Request();
      if (!crc) {
        // A sender that only knows checksums does not hear "C": after three
        // the receiver asks with NAK.
        for (int t = 0; t < 15; ++t) r.engine.Tick();
        while (!r.out.empty() && r.out.front() == Bytes{kCrcRequest}) r.out.pop_front();
        ASSERT_EQ(r.out, std::deque<Bytes>{{kNak}});
      }
      Exchange(s, r);
      EXPECT_EQ(s.end, XmodemEnd::Finished) << size << " crc " << crc;
      EXPECT_EQ(r.end, XmodemEnd::Finished) << size;
      EXPECT_EQ(s.engine.crcMode(), crc);
      // The last block is filled with zero bytes.
      const std::string got = ReadFile(path("dst"));
      ASSERT_EQ(got.size(), (size + 127) / 128 * 128) << size;
      EXPECT_EQ(got.substr(0, size), data);
      EXPECT_EQ(got.find_first_not_of('\0', size), std::string::npos);
    }
  }
}

TEST_F(XmodemFiles, PacketsOfTheSender) {
  // 1024 bytes are 8 blocks; the next refill finds nothing and EOT follows.
  WriteFile(path("k"), RandomData(1024, 5));
  Side s;
  ASSERT_TRUE(s.engine.StartSend(path("k")));
  const std::uint8_t c = kCrcRequest, ack = kAck;
  s.engine.Data({&c, 1});
  for (int block = 1; block <= 8; ++block) {
    ASSERT_EQ(s.out.size(), 1u);
    const Bytes& p = s.out.front();
    ASSERT_EQ(p.size(), 133u);
    EXPECT_EQ(p[0], kSoh);
    EXPECT_EQ(p[1], block);
    EXPECT_EQ(p[2], 255 - block);
    const std::uint16_t crc = XmodemCrc(std::span(p).subspan(3, 128));
    EXPECT_EQ(p[131], crc >> 8);
    EXPECT_EQ(p[132], crc & 0xFF);
    s.out.clear();
    s.engine.Data({&ack, 1});
  }
  ASSERT_EQ(s.out.size(), 1u);
  EXPECT_EQ(s.out.front(), Bytes{kEot});
  EXPECT_EQ(s.engine.bytes(), 1024u);
  s.engine.Data({&ack, 1});
  EXPECT_EQ(s.end, XmodemEnd::Finished);
  // CRC-16/XMODEM of "123456789" is 0x31c3.
  const std::string check = "123456789";
  EXPECT_EQ(XmodemCrc({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0x31c3);
}

Bytes Packet(std::uint8_t start, std::uint8_t number, const Bytes& data, bool crc) {
  Bytes p{start, number, static_cast<std::uint8_t>(255 - number)};
  p.insert(p.end(), data.begin(), data.end());
  if (crc) {
    const std::uint16_t v = XmodemCrc(data);
    p.push_back(static_cast<std::uint8_t>(v >> 8));
    p.push_back(static_cast<std::uint8_t>(v));
  } else {
    unsigned sum = 0;
    for (auto b : data) sum += b;
    p.push_back(static_cast<std::uint8_t>(sum));
  }
  return p;
}

TEST_F(XmodemFiles, ReceiverTakesWhatSendersDo) {
  Side r;
  ASSERT_TRUE(r.engine.StartReceive(path("in")));
  r.engine.Request();
  EXPECT_EQ(r.out.back(), Bytes{kCrcRequest});
  const Bytes first(1024, 0x11), second(128, 0x22);
  // A 1024-byte block (STX) split over three pieces.
  const Bytes p1 = Packet(kStx, 1, first, true);
  r.engine.Data(std::span(p1).first(1));
  r.engine.Data(std::span(p1).subspan(1, 500));
  r.engine.Data(std::span(p1).subspan(501));
  EXPECT_EQ(r.out.back(), Bytes{kAck});
  // The same block again (the sender missed the ACK): acknowledged, not
  // stored twice; the next block shares a piece with it.
  Bytes both = p1;
  const Bytes p2 = Packet(kSoh, 2, second, true);
  both.insert(both.end(), p2.begin(), p2.end());
  r.out.clear();
  r.engine.Data(both);
  EXPECT_EQ(r.out, (std::deque<Bytes>{{kAck}, {kAck}}));
  // A damaged block is refused; a block from the future too.
  Bytes bad = Packet(kSoh, 3, second, true);
  bad[10] ^= 1;
  r.out.clear();
  r.engine.Data(bad);
  r.engine.Data(Packet(kSoh, 9, second, true));
  EXPECT_EQ(r.out, (std::deque<Bytes>{{kNak}, {kNak}}));
  const std::uint8_t eot = kEot;
  r.engine.Data({&eot, 1});
  EXPECT_EQ(r.end, XmodemEnd::Finished);
  std::string expected(first.begin(), first.end());
  expected.append(second.begin(), second.end());
  EXPECT_EQ(ReadFile(path("in")), expected);
}

TEST_F(XmodemFiles, TimeOutsAndTheChecksumFallback) {
  // A sender that never hears a start: "Timeout" after 60 seconds.
  WriteFile(path("f"), "x");
  Side s;
  ASSERT_TRUE(s.engine.StartSend(path("f")));
  for (int i = 0; i < 60; ++i) s.engine.Tick();
  EXPECT_FALSE(s.end.has_value());
  s.engine.Tick();
  EXPECT_EQ(s.end, XmodemEnd::Timeout);

  // Started, a silent receiver gets the block again every 20 seconds; the
  // tenth silence ends it.
  Side t;
  ASSERT_TRUE(t.engine.StartSend(path("f")));
  const std::uint8_t c = kCrcRequest;
  t.engine.Data({&c, 1});
  t.out.clear();
  for (int i = 0; i < 9 * 21; ++i) t.engine.Tick();
  EXPECT_EQ(t.out.size(), 9u);
  EXPECT_FALSE(t.end.has_value());
  for (int i = 0; i < 21; ++i) t.engine.Tick();
  EXPECT_EQ(t.end, XmodemEnd::Timeout);

  // A receiver asks with "C" three times, then with NAK, and takes
  // checksum blocks from then on.
  Side r;
  ASSERT_TRUE(r.engine.StartReceive(path("g")));
  r.engine.Request();
  for (int i = 0; i < 20; ++i) r.engine.Tick();
  ASSERT_EQ(r.out.size(), 5u);
  EXPECT_EQ(r.out[0], Bytes{kCrcRequest});
  EXPECT_EQ(r.out[2], Bytes{kCrcRequest});
  EXPECT_EQ(r.out[3], Bytes{kNak});
  r.out.clear();
  r.engine.Data(Packet(kSoh, 1, Bytes(128, 7), false));
  EXPECT_EQ(r.out.back(), Bytes{kAck});
  // Once blocks flow, it asks again only when the block's time-out has
  // run: an early NAK would bring a copy of a block still on its way.
  r.out.clear();
  for (int i = 0; i < 20; ++i) r.engine.Tick();
  EXPECT_TRUE(r.out.empty());
  r.engine.Tick();
  EXPECT_EQ(r.out, std::deque<Bytes>{{kNak}});
  // CAN breaks it off; the engine tells "Break".
  const std::uint8_t can = kCan;
  r.engine.Data({&can, 1});
  EXPECT_EQ(r.end, XmodemEnd::Break);
}

// --- lrzsz ----------------------------------------------------------------------

// A child process whose standard input and output are pipes.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const fs::path& cwd) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(127);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Child() {
    if (to_ >= 0) ::close(to_);
    if (from_ >= 0) ::close(from_);
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void Write(std::span<const std::uint8_t> bytes) {
    if (to_ >= 0 && !bytes.empty()) (void)!::write(to_, bytes.data(), bytes.size());
  }
  // Bytes available within `ms`; empty when none (or the child closed).
  Bytes Read(int ms) {
    pollfd p{from_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return {};
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(from_, buffer, sizeof buffer);
    if (n <= 0) return {};
    return Bytes(buffer, buffer + n);
  }
  // The exit status once the child has ended, within `ms`.
  std::optional<int> Wait(int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(10'000);
    }
    return std::nullopt;
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  bool exited_ = false;
};

// Runs the engine against the child until the engine has ended; the
// heartbeat ticks once per real second.
std::optional<XmodemEnd> Bridge(XmodemEngine& engine, std::optional<XmodemEnd>& end, Child& child) {
  auto lastTick = std::chrono::steady_clock::now();
  const auto deadline = lastTick + std::chrono::seconds(60);
  while (!end && std::chrono::steady_clock::now() < deadline) {
    const Bytes got = child.Read(50);
    if (!got.empty()) engine.Data(got);
    if (std::chrono::steady_clock::now() - lastTick >= std::chrono::seconds(1)) {
      lastTick += std::chrono::seconds(1);
      engine.Tick();
    }
  }
  return end;
}

TEST_F(XmodemFiles, LrzszSendsToUs) {
  const std::string sx = Program("sx");
  if (sx.empty()) GTEST_SKIP() << "lrzsz not installed";
  // CRC with 128- and 1024-byte blocks; a checksum-only sender is what the
  // fallback covers (the engine test above).
  for (const bool k : {false, true}) {
    const std::string data = RandomData(40'000, k ? 9 : 8);  // not a multiple of 128
    WriteFile(path("from_sx.bin"), data);
    std::optional<XmodemEnd> end;
    std::unique_ptr<Child> child;
    XmodemEngine engine([&](std::span<const std::uint8_t> b) { child->Write(b); },
                        [&](XmodemEnd e) { end = e; });
    std::vector<std::string> argv{sx, "-q"};
    if (k) argv.push_back("-k");
    argv.push_back("from_sx.bin");
    child = std::make_unique<Child>(argv, dir);
    ASSERT_TRUE(child->started());
    ASSERT_TRUE(engine.StartReceive(path("got.bin")));
    engine.Request();
    EXPECT_EQ(Bridge(engine, end, *child), XmodemEnd::Finished) << "1k " << k;
    EXPECT_EQ(child->Wait(5000), 0);
    const std::string got = ReadFile(path("got.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_EQ(got.substr(0, data.size()), data) << "1k " << k;
    // sx fills the last block with ^Z.
    EXPECT_EQ(got.find_first_not_of('\x1a', data.size()), std::string::npos);
  }
}

TEST_F(XmodemFiles, WeSendToLrzsz) {
  const std::string rx = Program("rx");
  if (rx.empty()) GTEST_SKIP() << "lrzsz not installed";
  // rx asks with NAK (checksum) by default, with "C" given -c.
  for (const bool crc : {false, true}) {
    const std::string data = RandomData(30'000, crc ? 21 : 20);
    WriteFile(path("ours.bin"), data);
    std::optional<XmodemEnd> end;
    std::unique_ptr<Child> child;
    XmodemEngine engine([&](std::span<const std::uint8_t> b) { child->Write(b); },
                        [&](XmodemEnd e) { end = e; });
    std::vector<std::string> argv{rx, "-q"};
    if (crc) argv.push_back("-c");
    argv.push_back("to_rx.bin");
    child = std::make_unique<Child>(argv, dir);
    ASSERT_TRUE(child->started());
    ASSERT_TRUE(engine.StartSend(path("ours.bin")));
    EXPECT_EQ(Bridge(engine, end, *child), XmodemEnd::Finished) << "crc " << crc;
    EXPECT_EQ(engine.crcMode(), crc);
    EXPECT_EQ(child->Wait(5000), 0);
    const std::string got = ReadFile(path("to_rx.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_EQ(got.substr(0, data.size()), data) << "crc " << crc;
  }
}

class XmodemStations : public TransferFixture {};

TEST_F(XmodemStations, BothWaysBetweenTwoStationsAndABrokenReception) {
  Connect();
  // B fetches a file of A's with //SX and receives it with its own RX.
  const std::string data = RandomData(128 * 40, 31);
  WriteFile(a->dir / "pub" / "prog.bin", data);
  FromB("//sx prog.bin");
  ASSERT_TRUE(Wait([&] { return atB.find("Sending File prog.bin with XMODEM protocol !\r") != std::string::npos; }))
      << atB;
  ASSERT_TRUE(RunRemoteLine(*chB, "//rx prog.bin", Origin::Local));
  const fs::path atBSave = b->dir / "save" / "prog.bin";
  ASSERT_TRUE(Wait([&] { return atB.find("Finished sending") != std::string::npos; })) << atB;
  EXPECT_NE(atB.find("Finished sending " + (a->dir / "pub" / "prog.bin").string() + " with XMODEM protocol !\r"),
            std::string::npos);
  EXPECT_EQ(ReadFile(atBSave), data);
  EXPECT_FALSE(fs::exists(atBSave.string() + ".part"));
  EXPECT_FALSE(chA->diverted());
  EXPECT_FALSE(chB->diverted());

  // B sends one of its own to A: //RX at A, SX locally at B.
  const std::string up = RandomData(128 * 25, 32);
  WriteFile(b->dir / "pub" / "up.bin", up);
  atB.clear();
  FromB("//rx up.bin");
  ASSERT_TRUE(Wait([&] { return atB.find("Receiving File up.bin with XMODEM protocol !\r") != std::string::npos; }));
  ASSERT_TRUE(RunRemoteLine(*chB, "//sx up.bin", Origin::Local));
  const fs::path atASave = a->dir / "save" / "up.bin";
  ASSERT_TRUE(Wait([&] { return atB.find("Finished receiving " + atASave.string()) != std::string::npos; })) << atB;
  EXPECT_EQ(ReadFile(atASave), up);

  // A broken reception: the file of that name stays as it was, the part
  // received so far is kept beside it, marked.
  WriteFile(atASave, "the old file");
  atB.clear();
  FromB("//rx up.bin");
  ASSERT_TRUE(Wait([&] { return atB.find("Receiving File") != std::string::npos; }));
  ASSERT_TRUE(RunRemoteLine(*chB, "//sx up.bin", Origin::Local));
  ASSERT_TRUE(Wait([&] { return fs::exists(atASave.string() + ".part") && fs::file_size(atASave.string() + ".part") >= 256; }));
  chB->SendData(std::vector<std::uint8_t>{kCan, kCan});
  ASSERT_TRUE(Wait([&] { return atB.find("Break receiving " + atASave.string()) != std::string::npos; })) << atB;
  EXPECT_EQ(ReadFile(atASave), "the old file");
  EXPECT_TRUE(fs::exists(atASave.string() + ".part"));
  // B's sender learns it by its time-out (shown at B only); names that lead
  // out of the save directory are refused.
  ASSERT_TRUE(Wait([&] { return !chB->diverted(); }));
  EXPECT_TRUE(PaneHas(chB, {"Timeout sending " + (b->dir / "pub" / "up.bin").string() + " with XMODEM protocol !",
                            ui::kBlue}));
  atB.clear();
  FromB("");  // ends the line of the packet that was on its way when A broke off
  FromB("//rx ../../x.bin");
  ASSERT_TRUE(Wait([&] { return atB.find("Could not open") != std::string::npos; })) << atB;
}

}  // namespace
}  // namespace tarvik::remote::test
