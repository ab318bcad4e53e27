// The remote command service between two whole stations: B is connected to
// A, whose channel runs the service; what B receives is what A replied.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "channels/terminal_fixture.h"
#include "remote/remote_service.h"
#include "store/station_db.h"

namespace tarvik::remote {
namespace {

namespace fs = std::filesystem;
using channels::ChannelWindow;

constexpr const char* kAllAccess = "111111111111111111111111";

class RemoteTest : public test::TerminalFixture {
 protected:
  // A with files and texts, B connected to it; waits for A's welcome.
  void Connect() {
    a = &AddStation("DA1AAA", true);
    const fs::path d = a->dir;
    for (const char* sub : {"pub/sub", "save", "cnf"}) fs::create_directories(d / sub);
    std::ofstream(d / "pub" / "a.txt") << "alpha\n";
    std::ofstream(d / "pub" / "b.txt") << "bravo\n";
    std::ofstream(d / "pub" / "sub" / "c.txt") << "charlie\n";
    std::ofstream(d / "secret.txt") << "top secret\n";
    fs::create_symlink(d / "secret.txt", d / "pub" / "link.txt");
    std::ofstream(d / "cnf" / "HELP.TXT") << "help one\nhelp two\n";
    std::ofstream(d / "cnf" / "DIR.TXT") << "about dir\n";
    std::ofstream(d / "cnf" / "INFO.TXT") << "info text\n";
    std::ofstream(d / "cnf" / "WELCOME.TXT") << "welcome to A\n";
    std::ofstream(d / "cnf" / "GOODBYE.TXT") << "73 from A\n";
    std::string big;
    for (int i = 0; i < 40; ++i) big += "line " + std::to_string(i) + " of a file long enough for several blocks\n";
    std::ofstream(d / "pub" / "big.txt") << big;
    home = (d / "pub").string() + "/";
    core::Configuration& config = a->app->config();
    config.SetSetting(19, home);
    for (int l = 1; l <= 5; ++l) config.SetLevelRecord(l, home, kAllAccess);
    config.SetLevelRecord(2, home, "000000001000000000000000");  // A, H, I, V only
    SetStation(level, digi);  // B's record in A's station database
    b = &AddStation("DB2BBB");
    chB = ConnectPair(*b, *a);
    ASSERT_NE(chB, nullptr);
    chA = a->channel(0);
    ASSERT_NE(chA, nullptr);
    chB->setObserver({[this](std::span<const std::uint8_t> bytes) { received.append(bytes.begin(), bytes.end()); },
                      {}, {}});
    ASSERT_TRUE(ether.RunUntil([this] { return received.find("welcome to A\r") != std::string::npos; }));
    received.clear();
    // The replies of the table come without the prompt.
    RunRemoteLine(*chA, "//p off", Origin::Local);
  }

  // B sends a line; what A sends back until `until` has arrived.
  std::string Ask(const std::string& line, const std::string& until) {
    received.clear();
    chB->SendText(line + "\r");
    EXPECT_TRUE(ether.RunUntil([&] { return received.find(until) != std::string::npos; })) << line << ": " << received;
    ether.Run(1500);  // anything that follows the awaited text
    return received;
  }
  // B sends a line and nothing comes back.
  std::string Silent(const std::string& line) {
    received.clear();
    chB->SendText(line + "\r");
    ether.Run(3000);
    return received;
  }

  // B's access level and DIGI mark in A's station database (its record is
  // made when missing).
  void SetStation(int newLevel, bool newDigi) {
    store::StationDatabase db((a->dir / "log").string() + "/");
    store::StationEntry entry;
    if (db.Lookup("DB2BBB", entry) != store::kRecordFound) {
      entry.record.station = "DB2BBB";
      ASSERT_EQ(db.Insert(entry.record, entry.position), 0);
    }
    entry.record.level = static_cast<std::int16_t>(newLevel);
    entry.record.digi = newDigi;
    ASSERT_EQ(db.Update(entry.position, entry.record), store::kRecordFound);
  }

  test::Terminal* a = nullptr;
  test::Terminal* b = nullptr;
  ChannelWindow* chA = nullptr;
  ChannelWindow* chB = nullptr;
  std::string received, home;
  int level = 1;
  bool digi = false;
};

TEST_F(RemoteTest, CommandLinesAndTheirReplies) {
  Connect();
  const struct {
    std::string line;
    std::string reply;  // exactly what B receives
  } table[] = {
      {"//a", std::string(kAllAccess) + "\r"},
      {"//access", std::string(kAllAccess) + "\r"},
      {"//e hello there|cut here", "hello there\r"},
      {"//xyz", "Unknown command: //xyz\r"},
      {"//pw", home + "\r"},
      {"//ps", "\r"},  // this station has no SAVEPATH
      {"//bi on", "Automatic binary reception is on\r"},
      {"//BI OFF", "Automatic binary reception is off\r"},
      {"//h", "help one\rhelp two\r"},
      {"//help dir", "about dir\r"},
      {"//h nosuch", "No help about 'nosuch' available\n"},
      {"//h ../secret", "No help about '../secr' available\n"},  // topics are cut to 7 characters
      {"//i", "info text\r"},
      {"//g a.txt", "alpha\r"},
      {"//get sub\\c.txt", "charlie\r"},
      {"//g nothere.txt", "File not found: " + home + "nothere.txt\r"},
      {"//g [ab].txt", "File not found: " + home + "[ab].txt\r"},
      {"//d \\etc", "Only below " + home + "\r"},
      {"//d *.zip", "No files found: " + home + "*.zip\r"},
      {"//re remark of A", "remark of A\r"},
      {"//m a subject", "Enter your message, end it with NNNN on a line of its own\r"},
      {"NNNN", "mail is ok\r"},
      {"//n Joe", "Name stored: Joe\r"},  // into the station database
      {"//rx file", "Could not open file !\r"},  // this station has no SAVEPATH
      {"//gb a.txt", "begin 0666 a.txt\r&86QP:&$*\rend [32c3]\r"},
      {"//c x", "Unknown command: //c x\r"},
      {"//c 5:DB0ABC", "Port 5 does not exist: //c 5:DB0ABC\r"},
      {"//c x:DB0ABC", "Port x does not exist: //c x:DB0ABC\r"},
      {"//c 0:3:DB0ABC", "Radio channel 3 not in use: //c 0:3:DB0ABC\r"},
      {"//c DB0ABCDEFG", "Invalid call DB0ABCDEFG in: //c DB0ABCDEFG\r"},
      {"//c DB0ABC D!GI", "Invalid call D!GI in: //c DB0ABC D!GI\r"},
      {"//ca", "No capture running\r"},
      {"//ca off", "No capture running\r"},
      {"//p on", "Prompt on\r\r"},  // the prompt (empty here) follows at once
      {"//p off", "Prompt off\r"},
  };
  for (const auto& c : table) {
    EXPECT_EQ(Ask(c.line, c.reply), c.reply) << c.line;
  }
  EXPECT_TRUE(chA->autobin() == false);
}

TEST_F(RemoteTest, WhatIsNoCommand) {
  Connect();
  for (const char* line : {"//", "// a", "/a", "hello //a"}) EXPECT_EQ(Silent(line), "") << line;
  EXPECT_EQ(Silent("//e"), "");  // an empty reply sends nothing without the prompt
}

TEST_F(RemoteTest, HostileNamesGetNothingFromOutside) {
  Connect();
  const std::string hostile[] = {
      "..",           "../secret.txt", "../../etc/passwd",       "\\..\\secret.txt", "sub/../../secret.txt",
      "/etc/passwd",  "\\etc\\passwd", "link.txt",               std::string(200, 'a'),
      "a.txt\x01",
  };
  for (const std::string& name : hostile) {
    const std::string reply = Ask("//g " + name, "File not found");
    EXPECT_EQ(reply.find("secret"), reply.find("secret.txt")) << name;  // the name may be echoed, never the file
    EXPECT_EQ(reply.find("top secret"), std::string::npos) << name;
    EXPECT_EQ(reply.find("root:"), std::string::npos) << name;
  }
  // Deleting and capturing are confined the same way.
  Ask("//de ../secret.txt", "Could not delete");
  Ask("//de link.txt", "Could not delete");
  EXPECT_TRUE(fs::exists(a->dir / "secret.txt"));
  EXPECT_TRUE(fs::is_symlink(a->dir / "pub" / "link.txt"));
  Ask("//ca ../escape.txt", "Cannot open capture file");
  EXPECT_FALSE(fs::exists(a->dir / "escape.txt"));
  // A listing never shows what a symlink leads to outside.
  const std::string listing = Ask("//d", "File(s)");
  EXPECT_NE(listing.find(" a.txt\r"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("link.txt"), std::string::npos) << listing;
}

TEST_F(RemoteTest, DirectoriesStayBelowHome) {
  Connect();
  EXPECT_EQ(Ask("//cd sub", "\r"), home + "sub/\r");
  EXPECT_EQ(Ask("//g c.txt", "charlie"), "charlie\r");
  EXPECT_EQ(Ask("//cd ..", "\r"), home + "\r");
  // One more level up leaves HOME: refused, the directory stays.
  EXPECT_EQ(Ask("//cd ..", "\r"), "Invalid directory: " + a->dir.string() + "/\r");
  EXPECT_EQ(Ask("//pw", "\r"), home + "\r");
  EXPECT_EQ(Ask("//cd /etc", "\r"), "Invalid directory: " + home + "etc/\r");
  EXPECT_EQ(Ask("//cd nothere", "\r"), "Invalid directory: " + home + "nothere/\r");
  EXPECT_EQ(Ask("//cd \\sub", "\r"), home + "sub/\r");  // "\" starts at HOME
  EXPECT_EQ(Ask("//cd \\", "\r"), home + "\r");
  // Without a SAVEPATH the save directory reaches nothing at all.
  EXPECT_EQ(Ask("//sc ..", "\r"), "Invalid directory: ..\r");
  EXPECT_EQ(Ask("//sc \\tmp", "\r"), "Invalid directory: tmp/\r");
  EXPECT_EQ(Ask("//sde *.txt", "\r"), "Could not delete *.txt\r");
  EXPECT_EQ(Ask("//sd", "\r"), "No files found: *.*\r");
}

TEST_F(RemoteTest, ListingAndPatterns) {
  Connect();
  const std::string listing = Ask("//DIRECTORY *.TXT", "File(s)");
  EXPECT_EQ(Ask("//D *.TXT", "File(s)"), listing);  // the rest of the command word does not matter
  EXPECT_EQ(listing.rfind(" Directory of " + home + "*.TXT\r\r", 0), 0u) << listing;
  for (const char* name : {" a.txt\r", " b.txt\r", " big.txt\r"}) EXPECT_NE(listing.find(name), std::string::npos) << name;
  EXPECT_NE(listing.find("                 3 File(s)"), std::string::npos) << listing;
  // A pattern fetches every matching file, one after the other.
  EXPECT_EQ(Ask("//g ?.txt", "bravo\r"), "alpha\rbravo\r");
  // Deleting by pattern and by name.
  std::ofstream(a->dir / "pub" / "x1.tmp") << "1";
  std::ofstream(a->dir / "pub" / "x2.tmp") << "2";
  EXPECT_EQ(Ask("//de *.tmp", "deleted"), home + "*.tmp deleted\r");
  EXPECT_FALSE(fs::exists(a->dir / "pub" / "x1.tmp"));
  EXPECT_FALSE(fs::exists(a->dir / "pub" / "x2.tmp"));
  EXPECT_EQ(Ask("//de *.tmp", "Could not"), "Could not delete " + home + "*.tmp\r");
  EXPECT_EQ(Ask("//delete b.txt", "deleted"), home + "b.txt deleted\r");
  EXPECT_FALSE(fs::exists(a->dir / "pub" / "b.txt"));
  EXPECT_EQ(Ask("//de sub", "Could not"), "Could not delete " + home + "sub\r");  // never a directory
  EXPECT_TRUE(fs::exists(a->dir / "pub" / "sub"));
}

TEST_F(RemoteTest, AccessLevelsGateCommands) {
  level = 2;  // A, H, I and V only
  Connect();
  EXPECT_EQ(Ask("//a", "\r"), "000000001000000000000000\r");
  EXPECT_EQ(Ask("//i", "\r"), "info text\r");
  for (const char* line : {"//d", "//g a.txt", "//cd sub", "//e x", "//re x", "//r ls", "//ex"})
    EXPECT_EQ(Ask(line, "\r"), std::string("Sorry, no access: ") + line + "\r") << line;
  // Commands outside the switch string answer as always.
  EXPECT_EQ(Ask("//xyz", "\r"), "Unknown command: //xyz\r");
  // The operator's own "!" lines pass the test, except for ending the program.
  RunRemoteLine(*chA, "//e local", Origin::Local);
  EXPECT_TRUE(PaneHas(chA, {"local", ui::kBlue}));
  RunRemoteLine(*chA, "//ex", Origin::Local);
  EXPECT_TRUE(PaneHas(chA, {"Sorry, no access: //ex", ui::kBlue}));
  ether.Run(8000);
  EXPECT_TRUE(Connected(chB));
}

TEST_F(RemoteTest, LevelZeroAndDigipeatersTakeNoCommands) {
  Connect();
  SetStation(0, false);
  EXPECT_EQ(Silent("//a"), "");
  EXPECT_FALSE(RunRemoteLine(*chA, "//a", Origin::Local));
  SetStation(3, true);
  EXPECT_EQ(Silent("//a"), "");
  SetStation(3, false);
  EXPECT_EQ(Ask("//a", "\r"), std::string(kAllAccess) + "\r");
}

TEST_F(RemoteTest, AtMostTwoCommandsOfOneBlockRun) {
  Connect();
  received.clear();
  chB->SendText("//e one\r//e two\r//e three\r");
  ASSERT_TRUE(ether.RunUntil([&] { return received.find("two\r") != std::string::npos; }));
  ether.Run(3000);
  EXPECT_EQ(received, "one\rtwo\r");
  // The next block counts again.
  EXPECT_EQ(Ask("//e four", "four\r"), "four\r");
}

TEST_F(RemoteTest, RemoteSwitchOffLeavesOnlyQuitAndItsKin) {
  Connect();
  chA->Command(channels::kChRemote);
  ASSERT_FALSE(chA->remoteOn());
  EXPECT_EQ(Silent("//a"), "");
  EXPECT_EQ(Ask("//bi", "\r"), "Automatic binary reception is off\r");  // second letter I still answers
}

TEST_F(RemoteTest, CommandWhileSendingWaitsForTheFile) {
  Connect();
  const std::string last = "line 39 of a file long enough for several blocks\r";
  received.clear();
  chB->SendText("//g big.txt\r");
  ASSERT_TRUE(ether.RunUntil([&] { return received.find("line 2 ") != std::string::npos; }));
  ASSERT_EQ(received.find(last), std::string::npos) << "the file must still be going out";
  chB->SendText("//a\r");
  ASSERT_TRUE(ether.RunUntil([&] { return received.find(kAllAccess) != std::string::npos; }));
  EXPECT_NE(received.find(last + kAllAccess + "\r"), std::string::npos) << received;

  // ES stops the file and drops the command that waited for it.
  received.clear();
  chB->SendText("//g big.txt\r");
  ASSERT_TRUE(ether.RunUntil([&] { return received.find("line 2 ") != std::string::npos; }));
  chB->SendText("//a\r");
  ether.Run(100);
  chB->SendText("//es\r");
  ether.Run(20000);
  EXPECT_EQ(received.find(last), std::string::npos) << received;
  EXPECT_EQ(received.find(kAllAccess), std::string::npos) << received;
  EXPECT_EQ(Ask("//e again", "again\r"), "again\r");
}

TEST_F(RemoteTest, PromptModeEndsEveryReply) {
  Connect();
  a->app->config().SetSetting(20, "A>");
  EXPECT_EQ(Ask("//p on", "A>"), "Prompt on\r\rA>");
  EXPECT_EQ(Ask("//e x", "A>"), "x\r\rA>");
  EXPECT_EQ(Ask("//e", "A>"), "\rA>");  // an empty reply is the prompt alone
  EXPECT_EQ(Ask("//g a.txt", "A>"), "alpha\r\rA>");  // after a file
}

TEST_F(RemoteTest, QuitSaysGoodbyeAndDisconnects) {
  Connect();
  Ask("//re from the test", "\r");
  received.clear();
  chB->SendText("//q\r");
  ASSERT_TRUE(ether.RunUntil([&] { return a->openChannels() == 0 && b->openChannels() == 0; }));
  EXPECT_EQ(received, "73 from A\r");
  // A's connection log keeps the remark.
  EXPECT_NE(a->logFile().find("from the test"), std::string::npos) << a->logFile();
}

TEST_F(RemoteTest, GatewayConnectsThroughToAThirdStation) {
  Connect();
  test::Terminal& c = AddStation("DC3CCC");
  const std::string reply = Ask("//connect dc3ccc", "*** connected to DC3CCC\r");
  EXPECT_EQ(reply, "Link setup to DC3CCC...\r*** connected to DC3CCC\r");
  ASSERT_EQ(c.openChannels(), 1);
  ChannelWindow* chC = c.channel(0);
  ASSERT_NE(chC, nullptr);
  EXPECT_EQ(chC->remoteText(), "DB2BBB-15");  // B's call, SSID mirrored
  // What B types now reaches C through A.
  received.clear();
  chB->SendText("hello C\r");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(chC, {"hello C", ui::kBlack}); }));
}

TEST_F(RemoteTest, CaptureOfTheStationsText) {
  Connect();
  const std::string path = home + "cap.txt";
  EXPECT_EQ(Ask("//ca cap.txt", "\r"), "Capturing to " + path + "\r");
  EXPECT_TRUE(chA->toolkit().checked(chA->id(), *chA->toolkit().controlByName(chA->id(), "RCV")));
  EXPECT_EQ(Ask("//ca", "\r"), "Capturing to " + path + "\r");
  chB->SendText("words to keep\r");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(chA, {"words to keep", ui::kBlack}); }));
  EXPECT_EQ(Ask("//ca OFF", "\r"), "Capture to " + path + " closed\r");
  std::ifstream in(path);
  const std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(kept.find("words to keep"), std::string::npos) << kept;
  EXPECT_EQ(Ask("//ca off", "\r"), "No capture running\r");
  EXPECT_TRUE(Dialogs().empty());  // nothing asked the operator
}

TEST_F(RemoteTest, LinkStatisticsAndConnectionList) {
  Connect();
  const fs::path tmp = a->app->config().GetSetting(5);
  const auto files = [&] {
    std::error_code ec;
    return std::distance(fs::directory_iterator(tmp, ec), fs::directory_iterator());
  };
  const auto before = files();
  // The report of A's link to B: B's SABM was received and answered by UA.
  const std::string report = Ask("//st", "Bytes\rresend");
  EXPECT_EQ(report.rfind("Connection\rDB2BBB <-> DA1AAA\r", 0), 0u) << report;
  EXPECT_NE(report.find("Packet Statistik\rTyp    rvc   snd        Typ    rcv   snd\r"), std::string::npos) << report;
  EXPECT_NE(report.find("RNR      0     0       SABM      1     0\r"), std::string::npos) << report;
  EXPECT_NE(report.find("REJ      0     0       UA        0     1\r"), std::string::npos) << report;
  // The pairs A heard: B talking to A.
  const std::string list = Ask("//mo", ":");
  EXPECT_TRUE(std::regex_match(list, std::regex(R"(0:0 DB2BBB     to DA1AAA      \d\d\.\d\d\.\d{4} \d\d:\d\d\r)")))
      << list;
  EXPECT_EQ(files(), before);  // both texts were deleted once sent
}

TEST(FillReply, ConversionsTakeTheTextsInOrder) {
  const struct {
    const char* format;
    std::initializer_list<std::string_view> texts;
    const char* filled;
  } cases[] = {
      {"Port %d does not exist: %s", {"7", "//c 7:X"}, "Port 7 does not exist: //c 7:X"},
      {"%-10s|%5.2d|", {"a", "b"}, "a|b|"},
      {"100%% %s", {"sure"}, "100% sure"},
      {"%s %s %s", {"only"}, "only  "},  // missing texts are empty, never read beyond
      {"%n%p %", {"x"}, "%n%p %"},        // no other conversion does anything
      {"plain", {}, "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(FillReply(c.format, c.texts), c.filled) << c.format;
}

TEST_F(RemoteTest, TheOtherOperatorTypesACommand) {
  Connect();
  received.clear();
  Do("type " + Win(chB->id()) + " INPUT //help{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return received.find("help two\r") != std::string::npos; }));
  EXPECT_TRUE(PaneHas(chB, {"help one", ui::kBlack}));
  EXPECT_TRUE(PaneHas(chB, {"help two", ui::kBlack}));
  EXPECT_TRUE(PaneHas(chA, {"//help", ui::kBlack}));
  EXPECT_TRUE(PaneHas(chA, {"help one", ui::kRed}));
}

}  // namespace
}  // namespace tarvik::remote
