// The configuration windows as the operator uses them through the UI
// driver in a whole station: what each writes to TARVIK.INI (compared byte
// for byte with the file expected), to memory and to the password file, and
// the values they refuse.

#include <string>
#include <vector>

#include "config_form_fixture.h"
#include "devices/pty_tnc.h"
#include "ui/form.h"

namespace tarvik::test {
namespace {

// The station's file: comments, a key this program does not know, a level
// with a key of its own, a TNC port with its INI text and a TCP/IP port.
constexpr const char* kIni =
    "# Station for the configuration windows\n"
    "[TARVIK]\n"
    "MYCALL=DL1ABC-1,3\n"
    "MYNAME=Op  # the operator\n"
    "MYBBSPATH=DB0ABC\n"
    "FUTURE=a key this version does not know\n"
    "TCP/IP=No\n"
    "PORT=8100\n"
    "CNFPATH=@D@cnf/\n"
    "TMPPATH=@D@tmp/\n"
    "LOGPATH=@D@log/\n"
    "MESSAGEFILE=@M@\n"
    "\n"
    "# Visitors\n"
    "[LEVEL1]\n"
    "HOME=pub/\n"
    "ACCESS=000000001000000000000000\n"
    "NOTE=kept\n"
    "\n"
    "[LEVEL2]\n"
    "HOME=pub/\n"
    "ACCESS=000011011100101000000000\n"
    "\n"
    "# The TNC\n"
    "[P1]\n"
    "TITLE=Radio\n"
    "DEVICE=/dev/tnc:9600,n,8,1\n"
    "PROTOCOL=KISS\n"
    "DEVTYPE=TNC\n"
    "\n"
    "[P1INI]\n"
    "@K\n"
    "X 1\n"
    "\n"
    "[P1CHAN0]\n"
    "TITLE=2m\n"
    "QRG=144.800\n"
    "WINDOW=4\n"
    "PACLEN=128\n"
    "T1=10\n"
    "T2=1500\n"
    "T2DAMA=500\n"
    "T3=180\n"
    "RETRY=10\n"
    "L2F=15\n"
    "TXDELAY=300\n"
    "TXTAIL=20\n"
    "PERSIST=25\n"
    "SLOTTIME=100\n"
    "\n"
    "[P2]\n"
    "TITLE=Other\n"
    "DEVICE=127.0.0.1;8001\n"
    "PROTOCOL=KISS\n"
    "DEVTYPE=TCPIP\n"
    "\n"
    "[DEFCHAN]\n"
    "TITLE=New\n"
    "WINDOW=3\n"
    "PACLEN=200\n"
    "T1=5\n"
    "T2=100\n"
    "T3=60\n"
    "RETRY=5\n"
    "TXDELAY=250\n"
    "TXTAIL=10\n"
    "PERSIST=50\n"
    "SLOTTIME=50\n";

using ConfigForms = ConfigFormFixture;

TEST_F(ConfigForms, StationTcpIpAndAccessLevelsWrittenInPlace) {
  Start(kIni);
  // The toolbox's CONFIG entry opens the station window.
  Do("press MAIN CONFIG");
  ASSERT_TRUE(IsOpen(1240));
  EXPECT_EQ(Drive("get CONFIG MYCALL"), "OK DL1ABC");
  EXPECT_EQ(Drive("get CONFIG HOMEBOX"), "OK DB0ABC");
  EXPECT_NE(Drive("state CONFIG SSID3").find("checked=1"), std::string::npos);
  Do("set CONFIG MYCALL DL2XYZ");
  Do("press CONFIG SSID3");  // off
  Do("press CONFIG SSID5");  // on
  Do("set CONFIG HOMEBOX DB0XYZ");
  EXPECT_EQ(Drive("get CONFIG MYNAME"), "OK Op");
  Do("set CONFIG SAVEPATH /tmp/save2/");
  Do("set CONFIG EDITOR vi");

  // TCP/IP from the station window.
  Do("press CONFIG TCP");
  ASSERT_TRUE(IsOpen(1270));
  EXPECT_EQ(Drive("get TCPCONF PORT"), "OK 8100");
  EXPECT_NE(Drive("state TCPCONF PORT").find("enabled=0"), std::string::npos);
  Do("press TCPCONF TCP");
  Do("set TCPCONF PORT 8200");
  Do("press TCPCONF OK");
  EXPECT_FALSE(IsOpen(1270));
  EXPECT_EQ(app->config().GetSetting(core::kSettingTcpIp), "X");  // runs from the next start on

  // Access levels: level 0 starts empty; level 2's change is saved when the
  // operator switches away and says yes, level 3 (new) on OK.
  Do("press CONFIG ACCESS");
  ASSERT_TRUE(IsOpen(1260));
  EXPECT_NE(Drive("state ACCESS HOMEDIR").find("enabled=0"), std::string::npos);
  EXPECT_EQ(*app->config().GetLevelRecord(0), (core::LevelRecord{"", "000000000000000000000000"}));
  Do("press ACCESS L2");
  EXPECT_EQ(Drive("get ACCESS HOMEDIR"), "OK pub/");
  EXPECT_NE(Drive("state ACCESS C4").find("checked=1"), std::string::npos);
  Do("press ACCESS C0");
  Do("set ACCESS HOMEDIR pub/two/");
  Do("press ACCESS L3");
  ASSERT_EQ(OpenDialogs(), std::vector<std::string>{"Unsaved changes (changes)."});
  EXPECT_NE(Drive("state ACCESS L2").find("checked=1"), std::string::npos);  // not switched yet
  Do("answer 1");
  Do("press ACCESS L3");
  EXPECT_EQ(Drive("get ACCESS HOMEDIR"), "OK");
  Do("press ACCESS C23");
  Do("press ACCESS OK");
  EXPECT_FALSE(IsOpen(1260));
  EXPECT_EQ(*app->config().GetLevelRecord(2), (core::LevelRecord{"pub/two/", "100011011100101000000000"}));

  Do("press CONFIG OK");
  EXPECT_FALSE(IsOpen(1240));
  EXPECT_EQ(app->config().GetSetting(core::kSettingMyCall), "DL2XYZ-1");
  EXPECT_EQ(app->config().GetSetting(core::kSettingSsidMask), "0100010000000000");
  EXPECT_EQ(app->config().GetSetting(core::kSettingMyBbsPath), "DB0XYZ");
  EXPECT_EQ(app->config().GetSetting(core::kSettingEditor), "vi");

  const std::string expected =
      "# Station for the configuration windows\n"
      "[TARVIK]\n"
      "MYCALL=DL2XYZ-1,5\n"
      "MYNAME=Op  # the operator\n"
      "MYBBSPATH=DB0XYZ\n"
      "FUTURE=a key this version does not know\n"
      "TCP/IP=Yes\n"
      "PORT=8200\n"
      "CNFPATH=@D@cnf/\n"
      "TMPPATH=@D@tmp/\n"
      "LOGPATH=@D@log/\n"
      "MESSAGEFILE=@M@\n"
      "EDITOR=vi\n"
      "SAVEPATH=/tmp/save2/\n"
      "\n"
      "# Visitors\n"
      "[LEVEL1]\n"
      "HOME=pub/\n"
      "ACCESS=000000001000000000000000\n"
      "NOTE=kept\n"
      "\n"
      "[LEVEL2]\n"
      "HOME=pub/two/\n"
      "ACCESS=100011011100101000000000\n"
      "\n"
      "# The TNC\n"
      "[P1]\n"
      "TITLE=Radio\n"
      "DEVICE=/dev/tnc:9600,n,8,1\n"
      "PROTOCOL=KISS\n"
      "DEVTYPE=TNC\n"
      "\n"
      "[P1INI]\n"
      "@K\n"
      "X 1\n"
      "\n"
      "[P1CHAN0]\n"
      "TITLE=2m\n"
      "QRG=144.800\n"
      "WINDOW=4\n"
      "PACLEN=128\n"
      "T1=10\n"
      "T2=1500\n"
      "T2DAMA=500\n"
      "T3=180\n"
      "RETRY=10\n"
      "L2F=15\n"
      "TXDELAY=300\n"
      "TXTAIL=20\n"
      "PERSIST=25\n"
      "SLOTTIME=100\n"
      "\n"
      "[P2]\n"
      "TITLE=Other\n"
      "DEVICE=127.0.0.1;8001\n"
      "PROTOCOL=KISS\n"
      "DEVTYPE=TCPIP\n"
      "\n"
      "[DEFCHAN]\n"
      "TITLE=New\n"
      "WINDOW=3\n"
      "PACLEN=200\n"
      "T1=5\n"
      "T2=100\n"
      "T3=60\n"
      "RETRY=5\n"
      "TXDELAY=250\n"
      "TXTAIL=10\n"
      "PERSIST=50\n"
      "SLOTTIME=50\n"
      "\n"
      "[LEVEL3]\n"
      "HOME=\n"
      "ACCESS=000000000000000000000001\n";
  EXPECT_EQ(Ini(), Expand(expected));
}

TEST_F(ConfigForms, PortAndRadioChannelsSavedByTheManager) {
  // Each OK is followed by the manager's Save of the port.
  Start(kIni);
  // The connection manager opens both windows for port 1.
  ASSERT_NE(forms->OpenWindowById(managerWindow, config::kPortFormNumber, 1), ui::kNoWindow);
  EXPECT_EQ(Drive("get PORTCONF TITLE"), "OK Radio");
  EXPECT_EQ(Drive("get PORTCONF INI"), "OK @K\\nX 1");
  EXPECT_EQ(Drive("get PORTCONF CTITEL"), "OK Init text      ");
  Do("set PORTCONF TITLE Radio 2m");
  Do("set PORTCONF INI @K\\nX 2\\n");
  Do("set PORTCONF DEINI @E");
  Do("press PORTCONF OK");
  EXPECT_FALSE(IsOpen(1250));
  EXPECT_EQ(app->config().Ports()[1].iniText, "@K\r\nX 2");
  EXPECT_TRUE(app->config().Ports()[1].open());  // the running port keeps its window

  ASSERT_NE(forms->OpenWindowById(managerWindow, config::kChannelFormNumber, 1), ui::kNoWindow);
  EXPECT_NE(Drive("state CHANCONF C0").find("checked=1"), std::string::npos);
  EXPECT_EQ(Drive("get CHANCONF PACLEN"), "OK 128");
  Do("press CHANCONF C1");
  EXPECT_EQ(Drive("get CHANCONF WINDOW"), "OK 0");
  Do("press CHANCONF DEF");
  Do("set CHANCONF PERSIST 40");
  ASSERT_TRUE(portWindows.count(1));
  portWindows[1]->events.clear();
  Do("press CHANCONF OK");
  EXPECT_FALSE(IsOpen(1230));
  // The open TNC sends radio channel 1's KISS parameters at once.
  std::vector<std::intptr_t> kiss;
  for (const auto& [id, arg] : portWindows[1]->events)
    if (id == 953) kiss.push_back(arg);
  EXPECT_EQ(kiss, std::vector<std::intptr_t>{1});

  // Radio channel 0 cleared: not configured any more, so no KISS parameters
  // and no section in the file.
  ASSERT_NE(forms->OpenWindowById(managerWindow, config::kChannelFormNumber, 1), ui::kNoWindow);
  Do("press CHANCONF CLR");
  EXPECT_EQ(Drive("get CHANCONF TITLE"), "OK");
  EXPECT_EQ(Drive("get CHANCONF T1"), "OK 0");
  portWindows[1]->events.clear();
  Do("press CHANCONF OK");
  for (const auto& [id, arg] : portWindows[1]->events) EXPECT_NE(id, 953);
  EXPECT_EQ(changedPorts, (std::vector<int>{1, 1, 1}));

  const std::string expected =
      "# Station for the configuration windows\n"
      "[TARVIK]\n"
      "MYCALL=DL1ABC-1,3\n"
      "MYNAME=Op  # the operator\n"
      "MYBBSPATH=DB0ABC\n"
      "FUTURE=a key this version does not know\n"
      "TCP/IP=No\n"
      "PORT=8100\n"
      "CNFPATH=@D@cnf/\n"
      "TMPPATH=@D@tmp/\n"
      "LOGPATH=@D@log/\n"
      "MESSAGEFILE=@M@\n"
      "\n"
      "# Visitors\n"
      "[LEVEL1]\n"
      "HOME=pub/\n"
      "ACCESS=000000001000000000000000\n"
      "NOTE=kept\n"
      "\n"
      "[LEVEL2]\n"
      "HOME=pub/\n"
      "ACCESS=000011011100101000000000\n"
      "\n"
      "# The TNC\n"
      "[P2]\n"
      "TITLE=Other\n"
      "DEVICE=127.0.0.1;8001\n"
      "PROTOCOL=KISS\n"
      "DEVTYPE=TCPIP\n"
      "\n"
      "[DEFCHAN]\n"
      "TITLE=New\n"
      "WINDOW=3\n"
      "PACLEN=200\n"
      "T1=5\n"
      "T2=100\n"
      "T3=60\n"
      "RETRY=5\n"
      "TXDELAY=250\n"
      "TXTAIL=10\n"
      "PERSIST=50\n"
      "SLOTTIME=50\n"
      "[P1]\n"
      "TITLE=Radio 2m\n"
      "DEVICE=/dev/tnc:9600,n,8,1\n"
      "PROTOCOL=KISS\n"
      "DEVTYPE=TNC\n"
      "\n"
      "[P1INI]\n"
      "@K\n"
      "X 2\n"
      "\n"
      "[P1DEINI]\n"
      "@E\n"
      "\n"
      "[P1CHAN1]\n"
      "TITLE=New\n"
      "QRG=\n"
      "WINDOW=3\n"
      "PACLEN=200\n"
      "T1=5\n"
      "T2=100\n"
      "T2DAMA=0\n"
      "T3=60\n"
      "RETRY=5\n"
      "L2F=0\n"
      "TXDELAY=250\n"
      "TXTAIL=10\n"
      "PERSIST=40\n"
      "SLOTTIME=50\n";
  EXPECT_EQ(Ini(), Expand(expected));
}

// The bytes a TNC on a serial line gets when a radio channel's parameters
// change: radio channel 1's TXDELAY, TXTAIL, PERSIST and SLOTTIME frames
// (command bytes 11, 14, 12, 13), at once.
TEST_F(ConfigForms, OpenTncGetsTheChangedRadioChannelsKissParameters) {
  devices::testing::PtyTnc tnc;
  ASSERT_TRUE(tnc.ok());
  realPorts = true;
  std::string ini = kIni;
  ini.replace(ini.find("/dev/tnc"), 8, tnc.path());
  ini.replace(ini.find("@K\nX 1\n"), 8, "");
  Start(ini);
  std::vector<std::uint8_t> got;
  auto receive = [&](std::size_t n) {
    got.clear();
    return RunUntil([&] {
      const auto bytes = tnc.read(SIZE_MAX, 0);
      got.insert(got.end(), bytes.begin(), bytes.end());
      return got.size() >= n;
    });
  };
  // At the start: radio channel 0's parameters.
  ASSERT_TRUE(receive(16));
  EXPECT_EQ(got, (std::vector<std::uint8_t>{0xC0, 0x01, 30, 0xC0, 0xC0, 0x04, 2, 0xC0, 0xC0, 0x02, 63, 0xC0,
                                            0xC0, 0x03, 10, 0xC0}));

  ASSERT_NE(forms->OpenWindowById(managerWindow, config::kChannelFormNumber, 1), ui::kNoWindow);
  Do("press CHANCONF C1");
  Do("press CHANCONF DEF");
  Do("set CHANCONF PERSIST 40");
  Do("press CHANCONF OK");
  ASSERT_TRUE(receive(16));
  EXPECT_EQ(got, (std::vector<std::uint8_t>{0xC0, 0x11, 25, 0xC0, 0xC0, 0x14, 1, 0xC0, 0xC0, 0x12, 102, 0xC0,
                                            0xC0, 0x13, 5, 0xC0}));
}

TEST_F(ConfigForms, PasswordFileWrittenAskedAboutAndDeleted) {
  Start(kIni);
  std::ofstream(dir / "PWDTYP.DAT") << "Digit sum=0:\nLetters by position=1:\n";
  const fs::path file = dir / "log" / "DB0ABCc.PWD";
  auto open = [&] {
    return forms->OpenWindowWith(app->mainWindow, config::kPasswordFormNumber, ui::CallArgument("DB0ABC-2"));
  };
  ASSERT_NE(open(), ui::kNoWindow);
  EXPECT_EQ(Drive("get PWD PWDFILE"), "OK DB0ABC-2");
  Do("select PWD PWDTYP 1");
  Do("set PWD PASSWORD secret");
  Do("press PWD OK");
  EXPECT_FALSE(IsOpen(1330));
  EXPECT_EQ(ReadFile(file), "1\tsecret");

  // Closing with a change asks; No keeps the file, Yes writes it.
  ASSERT_NE(open(), ui::kNoWindow);
  EXPECT_EQ(Drive("get PWD PASSWORD"), "OK secret");
  EXPECT_EQ(Drive("get PWD PWDTYP"), "OK Letters by position");
  Do("set PWD PASSWORD other");
  Do("press PWD EXIT");
  ASSERT_EQ(OpenDialogs(), std::vector<std::string>{"Unsaved changes (DB0ABC-2)."});
  EXPECT_TRUE(IsOpen(1330));
  Do("answer 0");
  EXPECT_FALSE(IsOpen(1330));
  EXPECT_EQ(ReadFile(file), "1\tsecret");
  ASSERT_NE(open(), ui::kNoWindow);
  Do("set PWD PASSWORD other");
  Do("press PWD EXIT");
  Do("answer 1");
  EXPECT_FALSE(IsOpen(1330));
  EXPECT_EQ(ReadFile(file), "1\tother");

  // An empty password deletes the file.
  ASSERT_NE(open(), ui::kNoWindow);
  Do("set PWD PASSWORD ");
  Do("press PWD OK");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(OpenDialogs().empty());
}

// A refused value leaves the window open with its message, and neither the
// file nor memory changes.
TEST_F(ConfigForms, InvalidValuesRefusedNothingWritten) {
  struct Case {
    const char* what;
    int window;
    int port;  // the manager's windows: the port; -1: opened from the station window
    std::vector<std::string> steps;
    std::string message;  // its first line
  };
  const std::vector<Case> cases = {
      {"call with SSID", 1240, -1, {"set CONFIG MYCALL DL1-5"}, "\"DL1-5\" is no call sign:"},
      {"call with a blank", 1240, -1, {"set CONFIG MYCALL DL 1"}, "\"DL 1\" is no call sign:"},
      {"comment in the mailbox path", 1240, -1, {"set CONFIG HOMEBOX DB0ABC #x"},
       "MYBBSPATH=DB0ABC #X cannot be stored in TARVIK.INI:"},
      {"directory without its \"/\"", 1240, -1, {"set CONFIG LOGPATH log"}, "LOGPATH=log is refused:"},
      {"TCP port above 65535", 1270, -1, {"press TCPCONF TCP", "set TCPCONF PORT 70000"},
       "PORT=70000 is refused:"},
      {"TCP port 0", 1270, -1, {"press TCPCONF TCP", "set TCPCONF PORT 0"}, "PORT=0 is refused:"},
      {"comment in a home directory", 1260, -1, {"press ACCESS L1", "set ACCESS HOMEDIR pub/#1"},
       "HOME=pub/#1 cannot be stored in TARVIK.INI:"},
      {"window above 7", 1230, 1, {"set CHANCONF WINDOW 9"}, "WINDOW=9 is refused:"},
      {"persistence above 100", 1230, 1, {"set CHANCONF PERSIST 101"}, "PERSIST=101 is refused:"},
      {"T2 beyond 16 bits", 1230, 1, {"set CHANCONF T2 99999"}, "T2=99999 is refused:"},
      {"paclen 0 on a configured radio channel", 1230, 1, {"set CHANCONF PACLEN 0"}, "PACLEN=0 is refused:"},
      {"line break in a radio channel's title", 1230, 1, {"set CHANCONF TITLE a\\nb"},
       "TITLE=a\nb cannot be stored in TARVIK.INI:"},
      {"comment in a port title", 1250, 1, {"set PORTCONF TITLE TNC #2"},
       "TITLE=TNC #2 cannot be stored in TARVIK.INI:"},
      {"INI text line that starts a section", 1250, 1, {"set PORTCONF INI @K\\r\\n[P9]"},
       "A line of [P1INI] cannot be stored:"},
      {"TCP/IP device without port", 1250, 2, {"set PORTCONF DEVICE localhost"},
       "Device \"localhost\" is refused:"},
  };
  Start(kIni);
  const std::string before = Ini();
  const auto ports = app->config().Ports();
  const core::ConfigRecord record = app->config().Record();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.port >= 0) {
      ASSERT_NE(forms->OpenWindowById(managerWindow, c.window, c.port), ui::kNoWindow);
    } else {
      Do("press MAIN CONFIG");
      if (c.window == 1260) Do("press CONFIG ACCESS");
      if (c.window == 1270) Do("press CONFIG TCP");
    }
    for (const std::string& step : c.steps) Do(step);
    const std::string name = c.window == 1240 ? "CONFIG" : c.window == 1270 ? "TCPCONF" : c.window == 1260 ? "ACCESS"
                             : c.window == 1230 ? "CHANCONF" : "PORTCONF";
    Do("press " + name + " OK");
    const auto shown = OpenDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], c.message);
    Do("answer 1");
    EXPECT_TRUE(IsOpen(c.window));
    Do("press " + name + " EXIT");
    if (c.window == 1260 || c.window == 1270) Do("press CONFIG EXIT");
    EXPECT_FALSE(IsOpen(c.window));
    EXPECT_EQ(Ini(), before);
    EXPECT_TRUE(changedPorts.empty());
    for (int p = 0; p < core::kPortCount; ++p) {
      EXPECT_EQ(app->config().Ports()[p].title, ports[p].title);
      EXPECT_EQ(app->config().Ports()[p].iniText, ports[p].iniText);
      EXPECT_EQ(app->config().Ports()[p].device, ports[p].device);
      EXPECT_EQ(app->config().Ports()[p].channels, ports[p].channels);
    }
    EXPECT_EQ(app->config().Record().myCall, record.myCall);
    EXPECT_EQ(app->config().Record().port, record.port);
  }
  // A password that would break the file's line, and a call that is no call
  // sign, which never names a file.
  ASSERT_NE(forms->OpenWindowWith(app->mainWindow, config::kPasswordFormNumber, ui::CallArgument("DB0ABC")),
            ui::kNoWindow);
  Do("set PWD PASSWORD a\\tb");
  Do("press PWD OK");
  EXPECT_EQ(OpenDialogs(), std::vector<std::string>{"The password cannot contain a tab or a line break."});
  Do("answer 1");
  Do("set PWD PASSWORD ");
  Do("press PWD EXIT");
  EXPECT_EQ(forms->OpenWindowWith(app->mainWindow, config::kPasswordFormNumber, ui::CallArgument("../../x")),
            ui::kNoWindow);
  EXPECT_EQ(OpenDialogs(), std::vector<std::string>{"No password can be kept for \"../../x\":"});
  EXPECT_TRUE(fs::is_empty(dir / "log"));
}

}  // namespace
}  // namespace tarvik::test
