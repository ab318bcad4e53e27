#pragma once
// Two whole stations for the file transfers: A runs the remote service with
// files in its public directory; B is connected to it; both have a save
// directory, and each knows the other at level 5 (so that the operator's
// own "!//..." lines run on either side). Helpers for files, the external
// programs the interop tests use, and the windows of a station.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "channels/air.h"
#include "channels/terminal_fixture.h"
#include "remote/remote_service.h"
#include "store/station_db.h"
#include "ui/cnx_file.h"

namespace tarvik::remote::test {

namespace fs = std::filesystem;
using channels::ChannelWindow;

inline std::string RandomData(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// A program on the PATH, or empty.
inline std::string Program(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const fs::path candidate = fs::path(dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

class TransferFixture : public tarvik::test::TerminalFixture {
 protected:
  // With `lossy` set, both stations talk over that simulated air instead:
  // with the plain link rules, or with `shipped` the default rules and the
  // values of a radio channel at 1200 bit/s as shipped ([TCPCHAN]).
  void Connect(const tarvik::test::AirParams* lossy = nullptr, bool shipped = false) {
    stationIni = [](const std::string& d) {
      return "SAVEPATH=" + d + "save/\nPUBPATH=" + d +
             "pub/\n7P_GO= go_7+.\n7P_STOP= stop_7+.\nGO_TEXT= go_text.\nSTOP_TEXT= stop_text.\n";
    };
    a = &AddStation("DA1AAA", true);
    b = &AddStation("DB2BBB", true);
    for (tarvik::test::Terminal* t : {a, b}) {
      for (const char* sub : {"pub", "save", "cnf"}) fs::create_directories(t->dir / sub);
      for (const int number : {1150, 1160}) InstallDescription(*t, number);
      for (int l = 1; l <= 5; ++l)
        t->app->config().SetLevelRecord(l, (t->dir / "pub").string() + "/", "111111111111111111111111");
    }
    Know(*a, "DB2BBB");
    Know(*b, "DA1AAA");
    if (lossy) {
      air = std::make_unique<tarvik::test::Air>(tk, *lossy);
      int side = 0;
      for (tarvik::test::Terminal* t : {a, b}) {
        air->Attach(side++, *t->app);
        core::ChannelParams& p = t->app->config().Ports()[0].channels[0];
        if (shipped) {
          p.window = 7, p.paclen = 256, p.t1 = 10, p.t2 = 1500, p.t3 = 180, p.retry = 10, p.linkRules = 0;
          p.baud = 1200, p.txdelay = lossy->txDelayMs, p.txtail = lossy->txTailMs, p.persist = lossy->persist;
          p.slottime = lossy->slotTimeMs;
        } else {
          // A full-duplex channel without airtime: the plain link rules.
          p.window = 7, p.paclen = 256, p.t1 = 2, p.t2 = 200, p.t3 = 180, p.retry = 10, p.linkRules = 1;
        }
      }
      const auto slot = channels::OpenOutgoingChannel(*b->app, a->call);
      ASSERT_TRUE(slot.has_value());
      ASSERT_TRUE(Wait([&] { return Connected(b->channel(*slot)) && a->channel(0); }));
      chB = b->channel(*slot);
    } else {
      chB = ConnectPair(*b, *a);
    }
    ASSERT_NE(chB, nullptr);
    chA = a->channel(0);
    ASSERT_NE(chA, nullptr);
    chA->setObserver({[this](std::span<const std::uint8_t> bytes) { atA.append(bytes.begin(), bytes.end()); }, {}, {}});
    chB->setObserver({[this](std::span<const std::uint8_t> bytes) { atB.append(bytes.begin(), bytes.end()); }, {}, {}});
    ASSERT_TRUE(Wait([this] { return !atB.empty(); }));  // A's (empty) welcome and prompt
    RunRemoteLine(*chA, "//p off", Origin::Local);
    Wait([] { return false; }, 2000);
    atA.clear();
    atB.clear();
  }

  static void InstallDescription(tarvik::test::Terminal& t, int number) {
    const std::string name = ui::DescriptionFileName(number);
    std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream(t.dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
  }

  // `call` at level 5 in the station database of `t`.
  static void Know(tarvik::test::Terminal& t, const std::string& call) {
    store::StationDatabase db((t.dir / "log").string() + "/");
    store::StationEntry entry;
    entry.record.station = call;
    ASSERT_EQ(db.Insert(entry.record, entry.position), 0);
    entry.record.level = 5;
    ASSERT_EQ(db.Update(entry.position, entry.record), store::kRecordFound);
  }

  // B sends a line to A.
  void FromB(const std::string& line) { chB->SendText(line + "\r"); }

  bool Wait(const std::function<bool()>& done, long long ms = 600'000) {
    return air ? air->RunUntil(done, ms) : ether.RunUntil(done, ms);
  }

  static bool Has(const std::string& received, const std::string& text) {
    return received.find(text) != std::string::npos;
  }
  // What B saw last, for a failure's message.
  std::string TailAtB() const {
    return (air ? std::to_string(air->nowMs() / 1000) + " s simulated; " : std::string()) +
           atB.substr(atB.size() > 300 ? atB.size() - 300 : 0);
  }

  // A file of `size` bytes each way with XMODEM, each end started by its
  // remote command: first from A's public directory to B's save directory,
  // then from B's to A's. Each step may take `limit` ms.
  void XmodemEachWay(std::size_t size, unsigned seed, long long limit) {
    const std::string down = RandomData(size, seed), up = RandomData(size, seed + 1);
    WriteFile(a->dir / "pub" / "down.bin", down);
    WriteFile(b->dir / "pub" / "up.bin", up);

    FromB("//sx down.bin");
    ASSERT_TRUE(Wait([&] { return Has(atB, "Sending File down.bin with XMODEM protocol !\r"); }, limit));
    ASSERT_TRUE(RunRemoteLine(*chB, "//rx down.bin", Origin::Local));
    const std::string downPath = (a->dir / "pub" / "down.bin").string();
    ASSERT_TRUE(Wait([&] { return Has(atB, "Finished sending " + downPath + " with XMODEM protocol !\r"); }, limit))
        << TailAtB();
    EXPECT_EQ(ReadFile(b->dir / "save" / "down.bin"), down);
    EXPECT_TRUE(PaneHas(chB, {"Finished receiving " + (b->dir / "save" / "down.bin").string() +
                                  " with XMODEM protocol !",
                              ui::kBlue}));

    FromB("");
    FromB("//rx up.bin");
    ASSERT_TRUE(Wait([&] { return Has(atB, "Receiving File up.bin with XMODEM protocol !\r"); }, limit));
    ASSERT_TRUE(RunRemoteLine(*chB, "//sx up.bin", Origin::Local));
    const std::string upPath = (a->dir / "save" / "up.bin").string();
    ASSERT_TRUE(Wait([&] { return Has(atB, "Finished receiving " + upPath + " with XMODEM protocol !\r"); }, limit))
        << TailAtB();
    EXPECT_EQ(ReadFile(upPath), up);
  }

  tarvik::test::Terminal* a = nullptr;
  tarvik::test::Terminal* b = nullptr;
  ChannelWindow* chA = nullptr;
  ChannelWindow* chB = nullptr;
  std::string atA, atB;  // what each side received
  std::unique_ptr<tarvik::test::Air> air;
};

}  // namespace tarvik::remote::test
