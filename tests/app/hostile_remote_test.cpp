// A hostile station against a whole station's remote service, at levels 0
// to 3: parent paths, absolute names, backslashes, links leading out
// (dangling, in the last place and in directories), FIFOs and devices,
// control bytes and NUL, overlong names, a capture fetched while it runs,
// a capture over an existing file. For every command: the reply is the
// expected text, nothing outside the public directory changes (compared
// byte for byte), and the station still answers its operator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "channels/terminal_fixture.h"
#include "remote/remote_service.h"
#include "store/station_db.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
using namespace std::chrono_literals;

// The ACCESS strings of the levels: 1 a visitor (A, H, I, V), 2 all but
// deleting (and without EX and R, which end or start programs), 3 all but
// EX and R.
constexpr const char* kVisitor = "000000001000000000000000";
constexpr const char* kNoDelete = "011111011111111111111110";
constexpr const char* kAll = "011111111111111111111110";

// Whatever is under `root` except the station's own working directories
// (the public directory, the database and temporary files): the content of
// every file, the target of every link, the kind of everything else.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path rel = fs::relative(it->path(), root);
    const std::string first = rel.begin()->string();
    if (first == "pub" || first == "log" || first == "tmp") {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      continue;
    }
    const fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      out[rel.string()] = "-> " + fs::read_symlink(it->path()).string();
    } else if (fs::is_regular_file(status)) {
      std::ifstream in(it->path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      out[rel.string()] = "file " + text.str();
    } else {
      out[rel.string()] = fs::is_directory(status) ? "dir" : "other";
    }
  }
  return out;
}

// Ends a freeze instead of hanging the test: when a command has not come
// back after a long while, every FIFO in the directory is opened at both
// ends (never blocking), which releases an open() stuck on it, and the
// freeze is noted.
class Watchdog {
 public:
  explicit Watchdog(fs::path dir) : dir_(std::move(dir)), thread_([this] { watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
    for (const int fd : held_) ::close(fd);
  }
  void Step() { ++steps_; }
  bool froze() const { return froze_; }

 private:
  void watch() {
    std::unique_lock lock(mutex_);
    long seen = -1;
    while (!done_) {
      if (wake_.wait_for(lock, 15s, [this] { return done_; })) return;
      const long now = steps_;
      if (now != seen) {
        seen = now;
        continue;
      }
      froze_ = true;
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(dir_, ec); !ec && it != fs::recursive_directory_iterator();
           it.increment(ec))
        if (fs::is_fifo(it->symlink_status())) held_.push_back(::open(it->path().c_str(), O_RDWR | O_NONBLOCK));
    }
  }
  fs::path dir_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::atomic<long> steps_{0};
  std::atomic<bool> froze_{false};
  std::vector<int> held_;
  std::thread thread_;
};

class HostileRemote : public TerminalFixture, public ::testing::WithParamInterface<int> {
 protected:
  // Station A with a public directory full of traps and a directory
  // outside it with canaries; B connected to A at `level`.
  void Connect(int level) {
    a = &AddStation("DA1AAA", true);
    const fs::path d = a->dir;
    const fs::path pub = d / "pub";
    const fs::path out = d / "outside";
    for (const fs::path& p : {pub / "sub", pub / "fifosub", out}) fs::create_directories(p);
    std::ofstream(pub / "a.txt") << "alpha\n";
    std::ofstream(pub / "README.TXT") << "read me\n";
    std::ofstream(out / "canary.txt") << "canary\n";
    std::ofstream(out / "probe.txt") << "probe target\n";
    fs::create_symlink(out / "created.txt", pub / "dangle");             // dangling, absolute
    fs::create_symlink("../outside/created2.txt", pub / "dangle_rel");  // dangling, relative
    fs::create_symlink(out / "canary.txt", pub / "outlink.txt");
    fs::create_directory_symlink(out, pub / "outdir");
    fs::create_symlink(out / "probe.txt", pub / "sub" / "$.$");  // the CD probe's name, leading out
    fs::create_symlink("/dev/zero", pub / "zero");
    fs::create_symlink(pub / "a.txt", pub / "inlink.txt");  // inside: usable
    ASSERT_EQ(::mkfifo((pub / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((pub / "fifosub" / "$.$").c_str(), 0644), 0);
    home = pub.string() + "/";
    core::Configuration& config = a->app->config();
    config.SetSetting(core::kSettingPubPath, home);
    for (int l = 1; l <= 5; ++l) config.SetLevelRecord(l, home, kAll);
    config.SetLevelRecord(1, home, kVisitor);
    config.SetLevelRecord(2, home, kNoDelete);
    {
      store::StationDatabase db((d / "log").string() + "/");
      store::StationRecord record;
      record.station = "DB2BBB";
      record.level = static_cast<std::int16_t>(level);
      std::int32_t position = 0;
      ASSERT_EQ(db.Insert(std::move(record), position), 0);
    }
    b = &AddStation("DB2BBB");
    chB = ConnectPair(*b, *a);
    ASSERT_NE(chB, nullptr);
    chA = a->channel(0);
    ASSERT_NE(chA, nullptr);
    chB->setObserver({[this](std::span<const std::uint8_t> bytes) { received.append(bytes.begin(), bytes.end()); },
                      {}, {}});
    ether.Run(5000);  // the welcome and its prompt
    // The replies come without the prompt.
    if (level > 0) remote::RunRemoteLine(*chA, "//p off", remote::Origin::Local);
    received.clear();
    canaries = Snapshot(d);
  }

  // B sends a line; what comes back, once `expected` has had its time.
  std::string Ask(const std::string& line, const std::string& expected) {
    received.clear();
    chB->SendText(line + "\r");
    if (expected.empty()) {
      ether.Run(3000);
    } else {
      ether.RunUntil([&] { return received.size() >= expected.size(); }, 20'000);
      ether.Run(500);  // anything that would follow
    }
    return received;
  }

  std::string PubFile(const std::string& name) {
    std::ifstream in(a->dir / "pub" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::Terminal* a = nullptr;
  test::Terminal* b = nullptr;
  ChannelWindow* chA = nullptr;
  ChannelWindow* chB = nullptr;
  std::string received, home;
  std::map<std::string, std::string> canaries;
};

struct Case {
  std::string line;
  std::string reply;  // exactly what B receives; "" for nothing at all
};

TEST_P(HostileRemote, NothingOutsideChangesAndEveryReplyIsTheExpectedOne) {
  const int level = GetParam();
  Connect(level);
  ASSERT_FALSE(HasFailure());
  Watchdog watchdog(a->dir);
  const std::string long300(300, 'x');
  const std::string cut(127, 'x');  // names are cut to 127 characters
  const auto noAccess = [](const std::string& line) { return "Sorry, no access: " + line + "\r"; };
  const auto notFound = [&](const std::string& name) { return "File not found: " + home + name + "\r"; };
  const auto caErr = [&](const std::string& name) { return "Cannot open capture file " + home + name + "\r"; };
  const auto caExists = [&](const std::string& name) {
    return "Capture file " + home + name + " exists; no right to replace it\r";
  };
  const auto notDeleted = [&](const std::string& name) { return "Could not delete " + home + name + "\r"; };
  const std::string up = a->dir.string() + "/";

  std::vector<Case> table;
  if (level == 0) {
    // No commands at all: the lines are text.
    table = {{"//g ../outside/canary.txt", ""}, {"//ca dangle", ""}, {"//cd sub", ""}, {"//ca fifo", ""},
             {"//de README.TXT", ""}};
  } else if (level == 1) {
    table = {
        {"//g ../outside/canary.txt", noAccess("//g ../outside/canary.txt")},
        {"//ca dangle", noAccess("//ca dangle")},
        {"//ca fifo", noAccess("//ca fifo")},
        {"//cd sub", noAccess("//cd sub")},
        {"//de README.TXT", noAccess("//de README.TXT")},
        {"//h ../../outside/canary", "No help about '../../o' available\n"},
        {"//h /dev/zero", "No help about '/dev/ze' available\n"},
    };
  } else {
    table = {
        // Reading: nothing from outside, no device, no FIFO.
        {"//g ../outside/canary.txt", notFound("../outside/canary.txt")},
        {"//g /etc/passwd", notFound("/etc/passwd")},
        {"//g \\..\\outside\\canary.txt", notFound("\\..\\outside\\canary.txt")},
        {"//g outlink.txt", notFound("outlink.txt")},
        {"//g outdir/canary.txt", notFound("outdir/canary.txt")},
        {"//g sub/$.$", notFound("sub/$.$")},
        {"//g zero", notFound("zero")},
        {"//g fifo", notFound("fifo")},
        {"//g fifosub/$.$", notFound("fifosub/$.$")},
        {"//g dangle", notFound("dangle")},
        {"//g " + long300, notFound(cut)},
        {"//g a\x01.txt", notFound("a\x01.txt")},
        {std::string("//g a.txt\0../x", 14), notFound("a.txt../x")},  // the NUL never reaches a line
        {"//g inlink.txt", "alpha\r"},  // a link inside stays usable
        // Capturing: never through a link leading out, never into a FIFO,
        // a directory or a device.
        {"//ca dangle", caErr("dangle")},
        {"//ca dangle_rel", caErr("dangle_rel")},
        {"//ca outdir/new.txt", caErr("outdir/new.txt")},
        {"//ca outlink.txt", caErr("outlink.txt")},
        {"//ca ../outside/new.txt", caErr("../outside/new.txt")},
        {"//ca fifo", caErr("fifo")},
        {"//ca fifosub/$.$", caErr("fifosub/$.$")},
        {"//ca zero", caErr("zero")},
        {"//ca sub", caErr("sub")},
        {"//ca " + long300, "Capturing to " + home + cut + "\r"},  // cut to a name inside
        {"//ca off", "Capture to " + home + cut + " closed\r"},
        {"//ca a\x1b.txt", caErr("a\x1b.txt")},
        // A capture is never sent while it runs.
        {"//ca loop.txt", "Capturing to " + home + "loop.txt\r"},
        {"//g loop.txt", home + "loop.txt is being captured; it cannot be sent now\r"},
        {"//g loop.t?t", home + "loop.t?t is being captured; it cannot be sent now\r"},
        {"//ca off", "Capture to " + home + "loop.txt closed\r"},
        // Directories: the probe never follows its name out or opens a FIFO.
        {"//cd outdir", "Invalid directory: " + home + "outdir/\r"},
        {"//cd ..", "Invalid directory: " + up + "\r"},
        {"//cd /", home + "\r"},
        {"//cd fifosub", home + "fifosub/\r"},
        {"//cd \\", home + "\r"},
        {"//cd sub", home + "sub/\r"},
        {"//cd \\", home + "\r"},
        {"//d ../outside", "Only below " + home + "\r"},
        {"//d outdir/*", "No files found: " + home + "outdir/*\r"},
        // Stored texts lose their control bytes.
        {"//n Evil\x07\x1b[2JName", "Name stored: Evil[2JName\r"},
    };
    if (level == 2) {
      // Without the delete right nothing existing is replaced.
      table.push_back({"//ca README.TXT", caExists("README.TXT")});
      table.push_back({"//ca inlink.txt", caExists("inlink.txt")});
      table.push_back({"//de README.TXT", noAccess("//de README.TXT")});
    } else {
      table.push_back({"//ca README.TXT", "Capturing to " + home + "README.TXT\r"});
      table.push_back({"//ca off", "Capture to " + home + "README.TXT closed\r"});
      table.push_back({"//de outlink.txt", notDeleted("outlink.txt")});
      table.push_back({"//de sub/$.$", notDeleted("sub/$.$")});
      table.push_back({"//de ../outside/canary.txt", notDeleted("../outside/canary.txt")});
      table.push_back({"//de fifo", notDeleted("fifo")});
      table.push_back({"//de outdir/*", notDeleted("outdir/*")});
      table.push_back({"//de *", home + "* deleted\r"});
    }
  }

  for (const Case& c : table) {
    watchdog.Step();
    EXPECT_EQ(Ask(c.line, c.reply), c.reply) << "level " << level << ": " << c.line;
    EXPECT_EQ(Snapshot(a->dir), canaries) << "level " << level << ": " << c.line;
    // The operator's side still answers.
    EXPECT_EQ(driver.execute("windows").back(), "OK") << c.line;
    ASSERT_FALSE(watchdog.froze()) << "level " << level << ": " << c.line;
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(a->dir / "outside" / "created.txt")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(a->dir / "outside" / "created2.txt")));
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(a->dir / "pub" / "fifo")));
  if (level < 3) {
    EXPECT_EQ(PubFile("README.TXT"), "read me\n");
    EXPECT_EQ(PubFile("a.txt"), "alpha\n");
  }
  if (level >= 2) {
    store::StationDatabase db((a->dir / "log").string() + "/");
    store::StationEntry entry;
    ASSERT_EQ(db.Lookup("DB2BBB", entry), store::kRecordFound);
    EXPECT_EQ(entry.record.name, "Evil[2JName");
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, HostileRemote, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& p) { return "Level" + std::to_string(p.param); });

// The count of two commands holds per data block the link hands to the
// channel: commands in frames that arrive together are each answered.
TEST_F(HostileRemote, EveryReceivedFrameIsABlockOfItsOwn) {
  Connect(3);
  ASSERT_FALSE(HasFailure());
  // PACLEN is 128: each line fills one frame, and a window of four frames
  // arrives at once.
  std::string lines;
  constexpr int kCommands = 12;
  for (int i = 0; i < kCommands; ++i) {
    std::string line = "//e tag" + std::to_string(100 + i) + " ";
    line += std::string(127 - line.size(), '.');
    lines += line + "\r";
  }
  received.clear();
  chB->SendText(lines);
  ASSERT_TRUE(ether.RunUntil([&] { return received.find("tag" + std::to_string(100 + kCommands - 1)) != std::string::npos; },
                             60'000))
      << received;
  for (int i = 0; i < kCommands; ++i)
    EXPECT_NE(received.find("tag" + std::to_string(100 + i)), std::string::npos) << i << ": " << received;
  // Three commands in one frame: the third is dropped.
  received.clear();
  chB->SendText("//e one\r//e two\r//e three\r");
  ether.Run(5000);
  EXPECT_EQ(received, "one\rtwo\r");
}

}  // namespace
}  // namespace tarvik::test
