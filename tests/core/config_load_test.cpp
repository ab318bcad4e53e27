#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config_fixture.h"
#include "core/config.h"

namespace tarvik::core {
namespace {

using ConfigLoad = testing::StationDir;

std::vector<std::string> texts(const ConfigList* list) {
  std::vector<std::string> out;
  if (list) {
    for (const auto& e : *list) out.push_back(e.text);
  }
  return out;
}

TEST_F(ConfigLoad, MissingOrUnreadableFileFails) {
  Configuration config;
  EXPECT_FALSE(config.LoadConfiguration(dir / "NOPE.INI"));
  EXPECT_FALSE(config.LoadConfiguration(dir));  // a directory is no INI file
  EXPECT_EQ(config.GetSetting(10), "");
  EXPECT_EQ(config.GetSetting(17), "0000000000000000");
}

TEST_F(ConfigLoad, StationSettingsInAnyOrder) {
  write("TARVIK.INI",
        "; before any section\n"
        "[TARVIK]\n"
        "TMPPATH=/tmp/tvk/\n"
        "MYNAME=Hans Muster   # operator\n"
        "DEBUG=0123456789ABCDEF\n"
        "MYCALL=dl1abc-1,3,12\n"
        "RCALL=db0xyz-2 extra words\n"
        "FLAGS=000011\n"
        "TCP/IP=yes\n"
        "PORT=8001\n"
        "SAVEPATH=/save/\n"
        "LOGPATH=/log/\n"
        "CNFPATH=/cnf/\n"
        "PUBPATH=/pub/\n"
        "EXPPATH=/exp/\n"
        "MESSAGEFILE=/cnf/TARVIK.MSG\n"
        "PROMPT=  =>\n"
        "7P_GO= go_7+.\n"
        "7P_STOP= stop_7+.\n"
        "GO_TEXT=#\n"
        "EDITOR=vi\n"
        "BACKGROUND=back.bmp\n"
        "WELCOME=welcome.bmp\n"
        "HELPFILE=tarvik.hlp\n"
        "AUTOSTOP=JA\n"
        "ICONDLL=icons.so\n"
        "DEBUG-SRV=srv\n"
        "MYBBSPATH=DB0ABC\n"
        "MY2BBSPATH=DB0DEF via DB0GHI\n"
        "CHRSET=IBM\n"
        "[P0]\nMYNAME=not me\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "0123456789A"},  {1, "Hans Muster"}, {2, "DL1ABC-1"},  {3, "/save/"},
      {4, "/log/"},        {5, "/tmp/tvk/"},   {6, "/cnf/"},     {9, dir.string() + "/"},
      {10, ini()},         {11, "/cnf/TARVIK.MSG"}, {12, "vi"},   {13, "DB0ABC"},
      {14, "000011"},      {15, "IBM"},        {16, "16"},       {17, "0101000000001000"},
      {18, "back.bmp"},    {19, "/pub/"},      {20, "  =>"},     {21, " go_7+."},
      {22, " stop_7+."},   {23, "welcome.bmp"}, {24, "icons.so"}, {25, "J"},
      {26, "tarvik.hlp"},  {27, "srv"},        {28, "28"},       {29, "DB0XYZ"},
      {30, "DB0DEF via DB0GHI"}, {38, "y"},    {39, "8001"},     {40, "40"},
      {41, "41"},          {42, "/exp/"},      {99, "99"},       {-3, "-3"},
  };
  for (const auto& [number, text] : expected) EXPECT_EQ(config.GetSetting(number), text) << number;
  EXPECT_EQ(config.Record().baseCall, "DL1ABC");
  EXPECT_EQ(config.Record().defaultSsid, 1);
  EXPECT_TRUE(config.TcpIpSwitchedOn());
}

TEST_F(ConfigLoad, MissingStationSectionLeavesEmptySettings) {
  write("TARVIK.INI", "[OTHER]\nMYCALL=DL1ABC\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_EQ(config.GetSetting(2), "");
  EXPECT_EQ(config.GetSetting(17), "0000000000000000");
  EXPECT_EQ(config.GetSetting(9), dir.string() + "/");
  EXPECT_FALSE(config.TcpIpSwitchedOn());
}

TEST_F(ConfigLoad, TemporaryNamesShareOneRunningNumber) {
  write("TARVIK.INI", "[TARVIK]\nTMPPATH=/tmp/t/\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  const std::string first = config.GetSetting(7);
  const std::string second = config.GetSetting(7);
  EXPECT_EQ(first, "/tmp/t/00000000.$$$");
  EXPECT_EQ(second, "/tmp/t/00000001.$$$");
  EXPECT_EQ(config.GetSetting(8), "00002");
  config.SetSetting(8, "41");
  EXPECT_EQ(config.GetSetting(8), "00041");
  EXPECT_EQ(config.GetSetting(7), "/tmp/t/00000042.$$$");
  // A new start begins at 0 again.
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_EQ(config.GetSetting(8), "00000");
}

TEST_F(ConfigLoad, SetSettingOnlyForItsNumbersAndCutsToCapacity) {
  write("TARVIK.INI", "[TARVIK]\nSAVEPATH=/save/\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  const std::set<int> settable = {0,  1,  2,  5,  9,  10, 11, 12, 13, 14, 15, 18, 19,
                                  20, 21, 22, 23, 24, 25, 26, 29, 30, 38, 39, 45, 50, 51, 52};
  for (int n = -1; n <= 53; ++n) {
    if (n == 7 || n == 8) continue;
    const std::string before = config.GetSetting(n);
    config.SetSetting(n, "v");
    if (settable.count(n)) {
      EXPECT_EQ(config.GetSetting(n), "v") << n;
    } else {
      EXPECT_EQ(config.GetSetting(n), before) << n;
    }
  }
  config.SetSetting(14, "0123456789ABCDEF");
  EXPECT_EQ(config.GetSetting(14), "0123456789A");
  config.SetSetting(38, "Yes");
  EXPECT_EQ(config.GetSetting(38), "Y");
  config.SetSetting(1, std::string(200, 'n'));
  EXPECT_EQ(config.GetSetting(1).size(), 79u);
}

TEST_F(ConfigLoad, MarkersMatchTextStarts) {
  write("TARVIK.INI", "[TARVIK]\n7P_GO= go_7+.\n7P_STOP= stop_7+.\nSTOP_TEXT=NNNN\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_TRUE(config.StartsWithMarker(21, " go_7+. 01 of 02 FILE.ZIP"));
  EXPECT_FALSE(config.StartsWithMarker(21, "go_7+. 01 of 02"));
  EXPECT_TRUE(config.StartsWithMarker(22, " stop_7+."));
  EXPECT_FALSE(config.StartsWithMarker(22, " stop_"));
  EXPECT_TRUE(config.StartsWithMarker(41, "NNNN"));
  EXPECT_TRUE(config.StartsWithMarker(40, "anything"));  // empty marker
  EXPECT_TRUE(config.StartsWithMarker(40, ""));
  EXPECT_FALSE(config.StartsWithMarker(20, "anything"));
  EXPECT_FALSE(config.StartsWithMarker(42, ""));
}

TEST_F(ConfigLoad, PortsTextBlocksAndRadioChannels) {
  std::string longLines = "[P2INI]\n";
  for (int i = 0; i < 10; ++i) longLines += std::string(50, static_cast<char>('a' + i)) + "\n";
  longLines += "END\n";
  write("TARVIK.INI",
        "[P0]\n"
        "TITLE=Radio 1 # my TNC\n"
        "DEVICE=COM1:9600,N,8,1;4096,4096\n"
        "PROTOCOL=KISS\n"
        "DEVTYPE=COM\n"
        "[P0INI]\n"
        "# comment only\n"
        "KISS ON  # switch\r\n"
        "RESTART\r\n"
        "X\n"
        "AB#\n"
        "\n"
        "ESC@K\n"
        "[P0DEINI]\n"
        "KISS OFF\n"
        "[P0CHAN0]\n"
        "TITLE=2m long channel name\n"
        "QRG=144.800 MHz band\n"
        "WINDOW=4\n"
        "PACLEN=236\n"
        "T1 =300\n"
        "T2=150\n"
        "T2DAMA=-5\n"
        "T3=180\n"
        "RETRY=10\n"
        "L2F=15\n"
        "TXDELAY=250\n"
        "TXTAIL=30\n"
        "PERSIST=63\n"
        "SLOTTIME=100\n"
        "[P0CHAN3]\n"
        "WINDOW=0\n"
        "PACLEN=128\n"
        "[P1]\n"
        "TITLE=TCP\nDEVICE=host;8001\nPROTOCOL=kiss\nDEVTYPE=TCPIP\n" +
            longLines +
            "[P2]\nDEVTYPE=SERIAL\nDEVICE=COM2\nPROTOCOL=RMNC\n"
            "[P5CHAN0]\nWINDOW=3\n"
            "[P10]\nTITLE=ten\n[P10CHAN7]\nWINDOW=7\n"
            "[TCPCHAN]\nWINDOW=2\nPACLEN=200\n"
            "[COMCHAN]\nWINDOW=5\n"
            "[ defaults DEFCHAN ]\nWINDOW=6\nT1=900\n");
  Configuration config;
  config.Ports()[4].portWindow = 77;  // a running driver keeps its window
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  const PortTable& ports = config.Ports();

  EXPECT_EQ(ports[0].title, "Radio 1");
  EXPECT_EQ(ports[0].device, "COM1:9600,N,8,1;4096,4096");
  EXPECT_EQ(ports[0].protocol, kProtocolKiss);
  EXPECT_EQ(ports[0].devType, kDevTypeCom);
  EXPECT_EQ(ports[0].iniText, "KISS ON  \r\nRESTART\r\nESC@K");
  EXPECT_EQ(ports[0].deiniText, "KISS OFF");

  const ChannelParams& c = ports[0].channels[0];
  EXPECT_EQ(c.title, "2m long cha");
  EXPECT_EQ(c.qrg, "144.800 MHz");
  EXPECT_EQ(c.window, 4);
  EXPECT_EQ(c.paclen, 236);
  EXPECT_EQ(c.t1, 0);  // "T1 =300" is a different key
  EXPECT_EQ(c.t2, 150);
  EXPECT_EQ(c.t2dama, -5);
  EXPECT_EQ(c.t3, 180);
  EXPECT_EQ(c.retry, 10);
  EXPECT_EQ(c.l2f, 15);
  EXPECT_EQ(c.txdelay, 250);
  EXPECT_EQ(c.txtail, 30);
  EXPECT_EQ(c.persist, 63);
  EXPECT_EQ(c.slottime, 100);
  EXPECT_FALSE(ports[0].channels[3].configured());
  EXPECT_EQ(ports[0].channels[3].paclen, 128);

  EXPECT_EQ(ports[1].protocol, kProtocolNone);  // names are case-sensitive
  EXPECT_EQ(ports[1].devType, kDevTypeTcpIp);
  // Seven 50-character lines and their separators fill 362 characters; the
  // eighth would pass 399 and is dropped, as are the later long ones, while a
  // short last line still fits.
  std::string expectedBlock;
  for (int i = 0; i < 7; ++i) {
    if (i) expectedBlock += "\r\n";
    expectedBlock += std::string(50, static_cast<char>('a' + i));
  }
  expectedBlock += "\r\nEND";
  EXPECT_EQ(ports[2].iniText, expectedBlock);
  EXPECT_LE(ports[2].iniText.size(), kIniTextCapacity);
  EXPECT_EQ(ports[2].devType, kDevTypeNone);  // kept, but never opened
  EXPECT_EQ(ports[2].device, "COM2");
  EXPECT_EQ(ports[2].protocol, kProtocolRmnc);

  EXPECT_EQ(ports[4].portWindow, 77u);
  EXPECT_EQ(ports[5].channels[0].window, 0);  // no [P5]: its channels are not read
  EXPECT_EQ(ports[10].title, "ten");
  EXPECT_EQ(ports[10].channels[7].window, 7);
  EXPECT_EQ(ports[1].channels[7].window, 0);

  EXPECT_EQ(config.TcpChannel().window, 2);
  EXPECT_EQ(config.ComChannel().window, 5);
  EXPECT_EQ(config.DefChannel().t1, 900);

  // Radio channel lookup falls back to TCPCHAN.
  EXPECT_EQ(&config.GetChannelParams(0, 0), &ports[0].channels[0]);
  EXPECT_EQ(&config.GetChannelParams(0, 3), &ports[0].channels[3]);
  EXPECT_EQ(&config.GetChannelParams(10, 7), &config.TcpChannel());  // its channel 0 is unset
  for (auto [port, channel] : {std::pair{-1, 0}, {16, 0}, {0, 8}, {0, -1}, {3, 0}}) {
    EXPECT_EQ(&config.GetChannelParams(port, channel), &config.TcpChannel())
        << port << "/" << channel;
  }
}

TEST_F(ConfigLoad, LevelRecords) {
  write("TARVIK.INI",
        "[LEVEL1]\nACCESS=0101\nHOME=/pub/\n"
        "[LEVEL5]\nHOME=" + std::string(150, 'h') + "\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  ASSERT_NE(config.GetLevelRecord(1), nullptr);
  EXPECT_EQ(*config.GetLevelRecord(1), (LevelRecord{"/pub/", "0101"}));
  EXPECT_EQ(*config.GetLevelRecord(0), LevelRecord{});
  EXPECT_EQ(config.GetLevelRecord(5)->home, std::string(122, 'h'));  // the rest is the next line piece
  EXPECT_EQ(config.GetLevelRecord(6), nullptr);
  EXPECT_EQ(config.GetLevelRecord(-1), nullptr);
}

TEST_F(ConfigLoad, StringListsAndMailboxNames) {
  write("cnf/WINMENU.CNF", "[OTHER]\nx=y\n[WINMENU]\nDatei=File\r\nHilfe=Help\n");
  write("TARVIK.INI",
        "[TARVIK]\nCNFPATH=" + dir.string() + "/cnf/\n"
        "[CONNECT]\n*** connected to\r\nx\n\nab\n# kept as it is\n"
        "[FAIL]\nBusy from\n"
        "[FROM]\nFrom:\n"
        "[BOX-1]\nNAME=DB0ABC BBS;more;x\nPROMPT=>\n"
        "[BOX-3]\nN=" + std::string(40, 'n') + "\n"
        "[BOX-4]\nno equals sign\n"
        "[BOX-10]\nNAME=ten;\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_EQ(texts(config.GetConfigList(1)), (std::vector<std::string>{"Datei=File", "Hilfe=Help"}));
  EXPECT_EQ(texts(config.GetConfigList(2)),
            (std::vector<std::string>{"*** connected to", "ab", "# kept as it is"}));
  EXPECT_EQ(texts(config.GetConfigList(3)), (std::vector<std::string>{"Busy from"}));
  EXPECT_EQ(texts(config.GetConfigList(4)), (std::vector<std::string>{"From:"}));
  EXPECT_EQ(texts(config.GetConfigList(11)),
            (std::vector<std::string>{"NAME=DB0ABC BBS;more;x", "PROMPT=>"}));
  EXPECT_TRUE(texts(config.GetConfigList(12)).empty());
  ASSERT_NE(config.GetConfigList(10), nullptr);
  EXPECT_EQ(*config.GetConfigList(10), (ConfigList{{"DB0ABC BBS", 1},
                                                   {std::string(32, 'n'), 3},
                                                   {"", 4}}));
  for (int n : {0, 5, 9, 20, -1}) EXPECT_EQ(config.GetConfigList(n), nullptr) << n;
}

TEST_F(ConfigLoad, WinmenuMissingLeavesListOneEmpty) {
  write("TARVIK.INI", "[TARVIK]\nCNFPATH=" + dir.string() + "/nowhere/\n[WINMENU]\nA=B\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  ASSERT_NE(config.GetConfigList(1), nullptr);
  EXPECT_TRUE(config.GetConfigList(1)->empty());
}

TEST_F(ConfigLoad, BitmapSlots) {
  write("bitmaps/a.bmp", "A");
  write("bitmaps/c.bmp", "C");
  write("TARVIK.INI",
        "[BITMAPS]\n"
        "c.bmp\n"       // no number, first line: slot 0
        "a.bmp 3\n"
        "b.bmp\n"       // slot 4: the file is missing
        "c.bmp\r\n"     // slot 5
        "x\n"           // too short, no slot used
        "a.bmp  49\n"
        "c.bmp\n"       // 50: outside the table
        "a.bmp 60\n"
        "a.bmp -2\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  const std::string bitmaps = dir.string() + "/bitmaps/";
  auto path = [&](int slot) {
    const BitmapEntry* e = config.GetBitmap(slot);
    return e ? e->path : std::string("-");
  };
  EXPECT_EQ(path(0), bitmaps + "c.bmp");
  EXPECT_EQ(path(3), bitmaps + "a.bmp");
  EXPECT_EQ(path(4), "-");
  EXPECT_EQ(path(5), bitmaps + "c.bmp");
  EXPECT_EQ(path(6), "-");
  EXPECT_EQ(path(49), bitmaps + "a.bmp");
  EXPECT_EQ(path(50), "-");
  EXPECT_EQ(path(-1), "-");
  EXPECT_EQ(path(1), "-");
}

TEST_F(ConfigLoad, RunProgramsAreReadAfreshUntilTheFirstGap) {
  write("TARVIK.INI", "[TARVIK]\nRUN-1=prog b;\nRUN-0=prog a;x\nRUN-3=prog d;\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_EQ(config.ReadRunPrograms(), (std::vector<std::string>{"prog a;x", "prog b;"}));
  write("TARVIK.INI", "[TARVIK]\nRUN-0=one;\nRUN-1=no separator\nRUN-2=three;\n");
  EXPECT_EQ(config.ReadRunPrograms(), (std::vector<std::string>{"one;"}));
  std::filesystem::remove(ini());
  EXPECT_TRUE(config.ReadRunPrograms().empty());
}

TEST_F(ConfigLoad, ReleaseDropsSettingsButKeepsPorts) {
  write("TARVIK.INI", "[TARVIK]\nMYNAME=x\n[LEVEL0]\nHOME=/\n[FAIL]\nbusy\n[P3]\nTITLE=p\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  config.ReleaseConfiguration();
  EXPECT_EQ(config.GetSetting(1), "");
  EXPECT_EQ(config.GetLevelRecord(0)->home, "");
  EXPECT_TRUE(config.GetConfigList(3)->empty());
  EXPECT_EQ(config.Ports()[3].title, "p");
}

TEST_F(ConfigLoad, BinaryJunkLoadsWithoutHarm) {
  std::string junk = "[TARVIK]\nMYCALL=";
  std::uint32_t seed = 99;
  for (int i = 0; i < 50000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    junk += static_cast<char>(seed >> 24);
    if (i % 301 == 0) junk += "\n[P1]\nTITLE=";
    if (i % 499 == 0) junk += "\n[BITMAPS]\n";
  }
  write("TARVIK.INI", junk);
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  EXPECT_LE(config.GetSetting(2).size(), 11u);
  EXPECT_EQ(config.GetSetting(17).size(), 16u);
  EXPECT_LE(config.Ports()[1].title.size(), kPortTitleCapacity);
}

}  // namespace
}  // namespace tarvik::core
