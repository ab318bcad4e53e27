// Whole stations built as the program builds them (app::BuildStation): the
// channel parts meet on one channel, share its file sender and capture, and
// learn the station's facts from the database at the right moment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "channels/terminal_fixture.h"
#include "core/text.h"
#include "store/station_db.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
constexpr const char* kAllAccess = "111111111111111111111111";

class WholeStation : public TerminalFixture {
 protected:
  // A whole station with a public directory that every level up from 1 may
  // use completely, and the questions the tests meet.
  Terminal& Station(const std::string& call) {
    Terminal& t = AddStation(call, true);
    fs::create_directories(t.dir / "pub");
    fs::create_directories(t.dir / "script");
    const std::string home = (t.dir / "pub").string() + "/";
    core::Configuration& config = t.app->config();
    config.SetSetting(core::kSettingPubPath, home);
    for (int l = 1; l <= 5; ++l) config.SetLevelRecord(l, home, kAllAccess);
    std::ofstream(t.dir / "TARVIK.MSG", std::ios::app)
        << "2 2 %s: capture to %s runs. Stop?\n28 1 Script %s is running.\n1026 2 %s exists. Append?\n";
    return t;
  }
  store::StationDatabase Db(const Terminal& t) { return store::StationDatabase((t.dir / "log").string() + "/"); }
  std::optional<store::StationRecord> Record(const Terminal& t, const std::string& call) {
    store::StationDatabase db = Db(t);
    store::StationEntry entry;
    if (db.Lookup(call, entry) != store::kRecordFound) return std::nullopt;
    return entry.record;
  }
  void PutRecord(const Terminal& t, store::StationRecord record) {
    store::StationDatabase db = Db(t);
    std::int32_t position = 0;
    ASSERT_EQ(db.Insert(std::move(record), position), 0);
  }
  // A station known to `t` at `level`.
  void PutLevel(const Terminal& t, const std::string& call, int level) {
    store::StationRecord record;
    record.station = call;
    record.level = static_cast<std::int16_t>(level);
    PutRecord(t, std::move(record));
  }
  // What `ch` receives, collected.
  void Collect(ChannelWindow* ch) {
    ch->setObserver({.data = [this](std::span<const std::uint8_t> bytes) {
      received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }});
  }
  bool Received(const std::string& text) const { return received.find(text) != std::string::npos; }
  std::string BigFile(Terminal& t, const std::string& name, const std::string& tag, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += tag + " line " + std::to_string(i) + " of a file long enough for blocks\n";
    std::ofstream(t.dir / "pub" / name, std::ios::binary) << text;
    return (t.dir / "pub" / name).string();
  }

  std::string received;
};

TEST_F(WholeStation, EveryConnectionNotesTheStationInTheDatabase) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  Terminal& c = AddStation("DC3CCC");
  // Accepted: B connects to A. The record is there from the first moment.
  ASSERT_TRUE(ConnectPair(b, a));
  const auto accepted = Record(a, "DB2BBB");
  ASSERT_TRUE(accepted.has_value());
  EXPECT_EQ(accepted->lastConnect, core::DateTimeText(tk.localTime()));
  // Outgoing: A connects to C.
  ASSERT_TRUE(ConnectPair(a, c));
  const auto outgoing = Record(a, "DC3CCC");
  ASSERT_TRUE(outgoing.has_value());
  EXPECT_FALSE(outgoing->lastConnect.empty());
}

TEST_F(WholeStation, AFirstTimeVisitorGetsHelpButNoFiles) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  a.app->config().SetLevelRecord(1, (a.dir / "pub").string() + "/", "000000001000000000000000");
  std::ofstream(a.dir / "cnf" / "HELP.TXT") << "Commands for visitors\n";
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  Collect(cb);
  ether.Run(5000);  // the welcome (and prompt) first
  received.clear();
  cb->SendText("//h\r");
  EXPECT_TRUE(ether.RunUntil([&] { return Received("Commands for visitors\r"); })) << received;
  received.clear();
  cb->SendText("//d\r");
  EXPECT_TRUE(ether.RunUntil([&] { return Received("Sorry, no access: //d"); })) << received;
  EXPECT_EQ(Record(a, "DB2BBB")->level, 1);
}

TEST_F(WholeStation, TheStationFormOfAChannelConnectsToTheStation) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  Do("press " + Win(ca->id()) + " STATION");
  const std::vector<ui::WindowId> forms = a.forms->windowsOf(1070);
  ASSERT_EQ(forms.size(), 1u);
  Do("press " + Win(forms.front()) + " CONNECT");
  // A second connection to the station, under the next own SSID.
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 2 && Connected(a.channel(1)); }));
  EXPECT_EQ(a.channel(1)->remoteText(), "DB2BBB");
  EXPECT_TRUE(Connected(ca));
}

// The second variants of the toolbox's entries, as the operator chooses
// them on a whole station: "New station..." opens the station form
// (1070) instead of the list, "Connect to my second BBS" connects along
// MY2BBSPATH.
TEST_F(WholeStation, SecondVariantsOfTheToolboxEntries) {
  stationIni = [](const std::string& d) {
    // The toolbox's description, for the menu.
    std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / "M1040.txt");
    std::stringstream text;
    text << in.rdbuf();
    const std::string name = ui::DescriptionFileName(1040);
    std::ofstream(d + "cnf/" + name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    return std::string("MYBBSPATH=DB0NIX\nMY2BBSPATH=DB2BBB\n");
  };
  Terminal& a = Station("DA1AAA");
  stationIni = {};
  Terminal& b = AddStation("DB2BBB");
  const std::string M = Win(a.app->mainWindow);
  Do("menu " + M + " Windows/New station...");
  ASSERT_EQ(a.forms->windowsOf(1070).size(), 1u);
  EXPECT_TRUE(a.forms->windowsOf(1060).empty());
  EXPECT_EQ(Do("get " + Win(a.forms->windowsOf(1070).front()) + " STATION").back(), "OK");

  Do("menu " + M + " File/Connect to my second BBS");
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 1 && Connected(a.channel(0)); }));
  EXPECT_EQ(a.channel(0)->remoteText(), "DB2BBB");
  EXPECT_EQ(b.opened.size(), 1u);
}

TEST_F(WholeStation, NameAndPreviousConnectOfTheDatabaseInScriptMacros) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  store::StationRecord bob;
  bob.station = "DB2BBB";
  bob.name = "Bob";
  bob.lastConnect = "24.12.2025 18:00";
  PutRecord(a, bob);
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  Collect(b.channel(0));
  const std::string script = (a.dir / "script" / "greet.scr").string();
  std::ofstream(script) << "send Hello %YOURNAME%, last seen %LASTCON%\n";
  tk.queueFileDialogAnswer(script);
  Do("press " + Win(ca->id()) + " EXEC");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("\r"); })) << received;
  EXPECT_EQ(received, "Hello Bob, last seen 24.12.2025 18:00\r");
  // The record itself now holds this connection.
  EXPECT_EQ(Record(a, "DB2BBB")->lastConnect, core::DateTimeText(tk.localTime()));
}

TEST_F(WholeStation, OneFileAtATimeOnTheChannelsFileSender) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  PutLevel(a, "DB2BBB", 1);
  BigFile(a, "big.txt", "big", 60);
  const std::string own = BigFile(a, "own.txt", "own", 12);
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  ChannelWindow* ca = a.channel(0);
  Collect(cb);
  ASSERT_TRUE(ether.RunUntil([&] { return Received("\r"); }));  // the welcome (or the prompt)
  received.clear();

  // B fetches a long file; while it goes out the operator's SND stops it
  // (one file at a time), and a second SND sends the operator's file.
  cb->SendText("//g big.txt\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("big line 0 "); }));
  EXPECT_TRUE(ca->fileSender().sending());
  Do("press " + Win(ca->id()) + " SND");
  EXPECT_FALSE(ca->fileSender().sending());
  tk.queueFileDialogAnswer(own);
  Do("press " + Win(ca->id()) + " SND");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("own line 11 "); })) << received;
  ether.Run(3000);
  const std::size_t firstOwn = received.find("own line 0 ");
  EXPECT_EQ(received.find("big line", firstOwn), std::string::npos) << "the files interleaved: " << received;
  EXPECT_FALSE(Received("big line 59 "));
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(Received("own line " + std::to_string(i) + " ")) << i;

  // A station's command while the operator's file goes out waits for it.
  received.clear();
  tk.queueFileDialogAnswer(own);
  Do("press " + Win(ca->id()) + " SND");
  cb->SendText("//e after the file\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("after the file"); })) << received;
  EXPECT_LT(received.find("own line 11 "), received.find("after the file"));
}

TEST_F(WholeStation, AScriptWaitsWhileTheFileItAskedForIsSent) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  PutLevel(a, "DB2BBB", 1);
  BigFile(a, "big.txt", "big", 40);
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  Collect(b.channel(0));
  const std::string script = (a.dir / "script" / "fetch.scr").string();
  std::ofstream(script) << ".//g big.txt\nsend after-G\n";
  tk.queueFileDialogAnswer(script);
  Do("press " + Win(ca->id()) + " EXEC");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("after-G"); })) << received;
  ASSERT_TRUE(Received("big line 39 "));
  EXPECT_LT(received.find("big line 39 "), received.find("after-G"));
}

TEST_F(WholeStation, CloseYesDeliversEverythingTypedBeforeTheDisconnect) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  ChannelWindow* cb = b.channel(0);
  Collect(cb);
  // Far more than the link's window holds: most of it is still queued
  // when the operator closes.
  std::vector<std::string> lines;
  for (int i = 0; i < 50; ++i) {
    lines.push_back("line " + std::to_string(i) + " " + std::string(70, static_cast<char>('a' + i % 26)));
    Do("type " + Win(ca->id()) + " INPUT " + lines.back() + "{ENTER}");
  }
  tk.queueDialogAnswer(core::kAnswerYes);
  Do("press " + Win(ca->id()) + " EXIT");
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0; }));
  for (const std::string& line : lines) EXPECT_TRUE(Received(line + "\r")) << line;
}

TEST_F(WholeStation, TheOperatorsCaptureAndAStationsCaptureAreOne) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  PutLevel(a, "DB2BBB", 1);
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  ChannelWindow* ca = a.channel(0);
  Collect(cb);
  ASSERT_TRUE(ether.RunUntil([&] { return Received("\r"); }));
  const auto ask = [&](const std::string& line, const std::string& until) {
    received.clear();
    cb->SendText(line + "\r");
    EXPECT_TRUE(ether.RunUntil([&] { return Received(until); })) << line << ": " << received;
    return received;
  };
  const std::string stationFile = (a.dir / "pub" / "cap.txt").string();
  EXPECT_NE(ask("//ca cap.txt", "Capturing").find(stationFile), std::string::npos);
  EXPECT_EQ(ca->captureOwner(), channels::CaptureOwner::Station);

  // The operator is asked before a station's capture ends; No keeps it.
  tk.queueDialogAnswer(core::kAnswerNo);
  Do("press " + Win(ca->id()) + " RCV");
  ether.Run(100);
  EXPECT_EQ(ca->capturePath(), stationFile);
  EXPECT_NE(ask("//ca", "\r").find("Capturing to " + stationFile), std::string::npos);
  // Yes ends it, and the station learns it when it asks.
  tk.queueDialogAnswer(core::kAnswerYes);
  Do("press " + Win(ca->id()) + " RCV");
  ether.Run(100);
  EXPECT_EQ(ca->capturePath(), "");
  EXPECT_NE(ask("//ca", "\r").find("No capture running"), std::string::npos);

  // The operator's capture is the operator's: a station can neither take
  // the pane over nor end it.
  const std::string own = (a.dir / "own.txt").string();
  tk.queueFileDialogAnswer(own);
  Do("press " + Win(ca->id()) + " RCV");
  ASSERT_EQ(ca->capturePath(), own);
  EXPECT_NE(ask("//ca other.txt", "\r").find("Cannot open capture file"), std::string::npos);
  EXPECT_NE(ask("//ca off", "\r").find("Capturing to " + own), std::string::npos);
  EXPECT_EQ(ca->capturePath(), own);
  EXPECT_EQ(ca->captureOwner(), channels::CaptureOwner::Operator);
}

}  // namespace
}  // namespace tarvik::test
