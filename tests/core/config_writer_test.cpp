#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_fixture.h"
#include "core/config.h"
#include "core/ini_reader.h"
#include "core/ini_writer.h"

namespace tarvik::core {
namespace {

using ConfigWriter = testing::StationDir;

struct EntryCase {
  std::string what;
  std::string before;
  std::string name;
  IniValue value;
  std::string after;
};

TEST(ConfigIniEntry, KeysAndSectionsReplacedAppendedRemoved) {
  using Lines = std::vector<std::string>;
  const std::vector<EntryCase> cases = {
      {"key replaced in place, only exact keys, in every section",
       "[TARVIK]\nMYCALL=OLD\nMYCALLS=keep\nMYCALL =keep\nMYNAME=x\n[P1]\nMYCALL=other\n", "MYCALL",
       std::string("NEW"),
       "[TARVIK]\nMYCALL=NEW\nMYCALLS=keep\nMYCALL =keep\nMYNAME=x\n[P1]\n"},
      {"writing DEBUG keeps DEBUG-SRV", "[TARVIK]\nDEBUG-SRV=s\nDEBUG=1\n", "DEBUG",
       std::string("2"), "[TARVIK]\nDEBUG-SRV=s\nDEBUG=2\n"},
      {"new key goes to the end of the station section",
       "[TARVIK]\nA=1\n\n[P1]\nTITLE=x\n", "PORT", std::string("8001"),
       "[TARVIK]\nA=1\nPORT=8001\n\n[P1]\nTITLE=x\n"},
      {"new key after the station section's last key, not after the next section's comment",
       "[TARVIK]\nA=1\n# a note\nB=2\n\n# ports\n[P1]\n", "PORT", std::string("8001"),
       "[TARVIK]\nA=1\n# a note\nB=2\nPORT=8001\n\n# ports\n[P1]\n"},
      {"new key without a station section is appended", "[P1]\nTITLE=x", "PORT",
       std::string("1"), "[P1]\nTITLE=x\n\nPORT=1\n"},
      {"key removed wherever it stands", "[TARVIK]\nA=1\nMYNAME=x\n[S]\nMYNAME=y\n", "MYNAME",
       std::monostate{}, "[TARVIK]\nA=1\n[S]\n"},
      {"removing a missing key changes nothing", "[TARVIK]\nA=1\n", "B", std::monostate{},
       "[TARVIK]\nA=1\n"},
      {"section replaced in place",
       "[LEVEL1]\nHOME=a\nACCESS=1\n\n[LEVEL2]\nHOME=b\n", "[LEVEL1]",
       Lines{"HOME=x", "ACCESS=0"}, "[LEVEL1]\nHOME=x\nACCESS=0\n\n[LEVEL2]\nHOME=b\n"},
      {"section appended after an empty line", "[TARVIK]\nA=1\n", "[LEVEL3]",
       Lines{"HOME=h", "ACCESS=1"}, "[TARVIK]\nA=1\n\n[LEVEL3]\nHOME=h\nACCESS=1\n\n"},
      {"section removed with its lines", "[A]\na\n[LEVEL2]\nHOME=b\n\n[B]\nb\n", "[LEVEL2]",
       std::monostate{}, "[A]\na\n[B]\nb\n"},
      {"duplicate sections collapse into one",
       "[LEVEL1]\nHOME=a\n[X]\nx\n[LEVEL1]\nHOME=b\n", "[LEVEL1]", Lines{"HOME=c"},
       "[LEVEL1]\nHOME=c\n\n[X]\nx\n"},
      {"an overlong old line goes as a whole",
       "[TARVIK]\nMYBBSPATH=" + std::string(200, 'x') + "\nZ=1\n", "MYBBSPATH",
       std::string("DB0"), "[TARVIK]\nMYBBSPATH=DB0\nZ=1\n"},
      {"a value cannot start another line", "[TARVIK]\n", "A", std::string("1\nB=2"),
       "[TARVIK]\nA=1\n"},
      {"other lines keep their line ends", "[TARVIK]\r\nA=1\r\nB=2\r\n", "A", std::string("9"),
       "[TARVIK]\r\nA=9\nB=2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ApplyIniEntry(SplitIniLines(c.before), c.name, c.value, kKeySection), c.after);
  }
}

TEST(ConfigIniEntry, PortSectionFormats) {
  PortRecord port;
  port.title = "Radio";
  port.device = "COM1:9600,N,8,1";
  port.iniText = "KISS ON\r\nRESTART";
  port.channels[2] = ChannelParams{"2m", "144.800", 4, 236, 300, 150, 50, 180, 15, 10,
                                   250, 30, 63, 100};
  const std::vector<std::pair<int, std::string>> protocols = {
      {0, "NONE"}, {1, "KISS"}, {2, "SMACK"}, {3, "HOST"}, {4, "RMNC"}, {9, "NONE"}};
  for (const auto& [code, name] : protocols) {
    port.protocol = static_cast<std::int16_t>(code);
    EXPECT_NE(FormatPortSections(7, port).find("\nPROTOCOL=" + name + "\n"), std::string::npos)
        << code;
  }
  const std::vector<std::pair<int, std::string>> devTypes = {
      {1, "TNC"}, {2, "COM"}, {3, "TCPIP"}, {0, "NONE"}, {7, "NONE"}};
  for (const auto& [code, name] : devTypes) {
    port.devType = static_cast<std::int16_t>(code);
    EXPECT_NE(FormatPortSections(7, port).find("\nDEVTYPE=" + name + "\n"), std::string::npos)
        << code;
    // Every written type reads back as the type it was, or as "not opened".
    EXPECT_EQ(DevTypeFromName(name), code <= 3 ? code : 0);
  }
  port.protocol = kProtocolKiss;
  port.devType = kDevTypeTnc;
  EXPECT_EQ(FormatPortSections(7, port),
            "[P7]\nTITLE=Radio\nDEVICE=COM1:9600,N,8,1\nPROTOCOL=KISS\nDEVTYPE=TNC\n"
            "\n[P7INI]\nKISS ON\nRESTART\n"
            "\n[P7CHAN2]\nTITLE=2m\nQRG=144.800\nWINDOW=4\nPACLEN=236\nT1=300\nT2=150\n"
            "T2DAMA=50\nT3=180\nRETRY=10\nL2F=15\nTXDELAY=250\nTXTAIL=30\nPERSIST=63\n"
            "SLOTTIME=100\n");
  // Oversized fields are written only up to their capacity.
  port.title = std::string(40, 't');
  port.channels[2].title = "channel title far too long";
  const std::string text = FormatPortSections(7, port);
  EXPECT_NE(text.find("TITLE=" + std::string(31, 't') + "\n"), std::string::npos);
  EXPECT_NE(text.find("TITLE=channel tit\n"), std::string::npos);
}

const char* const kPortsIni =
    "[TARVIK]\nMYCALL=DL1ABC\n"
    "[P0]\nTITLE=zero\nDEVICE=COM1\nPROTOCOL=KISS\nDEVTYPE=COM\n"
    "[P1]\nTITLE=one\nDEVICE=COM2:9600\nPROTOCOL=SMACK\nDEVTYPE=TNC\n"
    "[P1INI]\nKISS ON\n"
    "[P1CHAN0]\nWINDOW=2\nT1=300\n"
    "[P1CHAN3]\nWINDOW=1\n"
    "[P1DEINI]\nKISS OFF\n"
    "[P10]\nTITLE=ten\nDEVICE=host;1\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n"
    "[P10CHAN0]\nWINDOW=3\n"
    "[P11]\nDEVICE=d11\n[P12]\nDEVICE=d12\n[P13]\nDEVICE=d13\n[P14]\nDEVICE=d14\n"
    "[P15]\nDEVICE=d15\n[P15INI]\nINIT\n"
    "[P1CHAN8]\nkeep\n"
    "[LEVEL0]\nHOME=/\n";

TEST_F(ConfigWriter, SavingAPortMovesOnlyItsSectionsToTheEnd) {
  write("TARVIK.INI", kPortsIni);
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  PortRecord& p1 = config.Ports()[1];
  p1.title = "One";
  p1.iniText.clear();
  p1.channels[3].window = 0;
  ASSERT_TRUE(config.SavePortSections(1));
  EXPECT_EQ(read(ini()),
            "[TARVIK]\nMYCALL=DL1ABC\n"
            "[P0]\nTITLE=zero\nDEVICE=COM1\nPROTOCOL=KISS\nDEVTYPE=COM\n"
            "[P10]\nTITLE=ten\nDEVICE=host;1\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n"
            "[P10CHAN0]\nWINDOW=3\n"
            "[P11]\nDEVICE=d11\n[P12]\nDEVICE=d12\n[P13]\nDEVICE=d13\n[P14]\nDEVICE=d14\n"
            "[P15]\nDEVICE=d15\n[P15INI]\nINIT\n"
            "[P1CHAN8]\nkeep\n"
            "[LEVEL0]\nHOME=/\n"
            "[P1]\nTITLE=One\nDEVICE=COM2:9600\nPROTOCOL=SMACK\nDEVTYPE=TNC\n"
            "\n[P1DEINI]\nKISS OFF\n"
            "\n[P1CHAN0]\nTITLE=\nQRG=\nWINDOW=2\nPACLEN=0\nT1=300\nT2=0\nT2DAMA=0\nT3=0\n"
            "RETRY=0\nL2F=0\nTXDELAY=0\nTXTAIL=0\nPERSIST=0\nSLOTTIME=0\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "TARVIK.IN~"));

  // What was saved is what the next start reads.
  Configuration again;
  ASSERT_TRUE(again.LoadConfiguration(ini()));
  for (int n = 0; n < kPortCount; ++n) {
    SCOPED_TRACE(n);
    const PortRecord& a = config.Ports()[n];
    const PortRecord& b = again.Ports()[n];
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.protocol, b.protocol);
    EXPECT_EQ(a.devType, b.devType);
    EXPECT_EQ(a.iniText, b.iniText);
    EXPECT_EQ(a.deiniText, b.deiniText);
    EXPECT_EQ(a.channels, b.channels);
  }
}

TEST_F(ConfigWriter, RemovingAndSavingOnFilesWithoutFinalLineEnd) {
  write("TARVIK.INI", "[P0]\nTITLE=a\n[P3]\nTITLE=x\n[P3CHAN0]\nWINDOW=1\n[P4]\nTITLE=y");
  ASSERT_TRUE(RemovePortSections(ini(), 3));
  EXPECT_EQ(read(ini()), "[P0]\nTITLE=a\n[P4]\nTITLE=y");
  PortRecord port;
  port.devType = kDevTypeTcpIp;
  port.deiniText = "BYE";
  ASSERT_TRUE(SavePortSections(ini(), 3, port));
  EXPECT_EQ(read(ini()),
            "[P0]\nTITLE=a\n[P4]\nTITLE=y\n"
            "[P3]\nTITLE=\nDEVICE=\nPROTOCOL=NONE\nDEVTYPE=TCPIP\n\n[P3DEINI]\nBYE\n");
}

TEST_F(ConfigWriter, WritersChangeNothingWhenTheyCannotWrite) {
  EXPECT_FALSE(WriteIniEntry(ini(), "A", std::string("1")));  // no INI file
  EXPECT_FALSE(std::filesystem::exists(ini()));
  EXPECT_FALSE(std::filesystem::exists(dir / "TARVIK.IN~"));

  const std::string text = "[TARVIK]\nA=1\n";
  write("TARVIK.INI", text);
  std::filesystem::create_directory(dir / "TARVIK.IN~");  // the copy cannot be made
  EXPECT_FALSE(WriteIniEntry(ini(), "A", std::string("2")));
  EXPECT_FALSE(SavePortSections(ini(), 0, PortRecord{}));
  EXPECT_EQ(read(ini()), text);

  // A path whose copy would be the file itself is never rewritten.
  write("ODD.IN~", text);
  EXPECT_FALSE(WriteIniEntry(dir / "ODD.IN~", "A", std::string("2")));
  EXPECT_EQ(read(dir / "ODD.IN~"), text);

  Configuration unloaded;
  EXPECT_FALSE(unloaded.WriteIniEntry("A", std::string("1")));
  EXPECT_FALSE(unloaded.SavePortSections(0));
}

TEST_F(ConfigWriter, WriteMyCallSetsMemoryAndFile) {
  write("TARVIK.INI", "[TARVIK]\nMYCALL=DL1ABC-3\nMYNAME=x\n\n[P0]\nTITLE=p\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  ASSERT_TRUE(config.WriteMyCall("DB0XYZ", "1100010000000000"));
  EXPECT_EQ(read(ini()), "[TARVIK]\nMYCALL=DB0XYZ-0,1,5\nMYNAME=x\n\n[P0]\nTITLE=p\n");
  EXPECT_EQ(config.GetSetting(2), "DB0XYZ-0");
  EXPECT_EQ(config.GetSetting(17), "1100010000000000");
  EXPECT_EQ(config.Record().baseCall, "DB0XYZ");
  EXPECT_EQ(config.Record().defaultSsid, 0);

  ASSERT_TRUE(config.WriteMyCall("DB0XYZ", "0000000000000000"));
  EXPECT_EQ(read(ini()), "[TARVIK]\nMYCALL=DB0XYZ\nMYNAME=x\n\n[P0]\nTITLE=p\n");
  EXPECT_EQ(config.GetSetting(2), "DB0XYZ");
}

TEST_F(ConfigWriter, TcpIpSettingsTakeEffectAtTheNextStart) {
  write("TARVIK.INI", "[TARVIK]\nMYCALL=DL1ABC\nTCP/IP=No\n\n[P0]\nTITLE=p\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  ASSERT_TRUE(config.WriteTcpIpSettings(true, "8001"));
  EXPECT_EQ(read(ini()),
            "[TARVIK]\nMYCALL=DL1ABC\nTCP/IP=Yes\nPORT=8001\n\n[P0]\nTITLE=p\n");
  EXPECT_EQ(config.GetSetting(38), "X");
  EXPECT_EQ(config.GetSetting(39), "8001");
  EXPECT_FALSE(config.TcpIpSwitchedOn());

  Configuration next;
  ASSERT_TRUE(next.LoadConfiguration(ini()));
  EXPECT_TRUE(next.TcpIpSwitchedOn());
  EXPECT_EQ(next.GetSetting(39), "8001");

  ASSERT_TRUE(next.WriteTcpIpSettings(false, "23"));
  EXPECT_EQ(next.GetSetting(38), "N");
  EXPECT_EQ(read(ini()), "[TARVIK]\nMYCALL=DL1ABC\nTCP/IP=No\nPORT=23\n\n[P0]\nTITLE=p\n");
}

TEST(ConfigIniEntry, SectionKeysSetInPlace) {
  struct Case {
    std::string what, before, after;
  };
  const std::vector<Case> cases = {
      {"keys replaced where they stand; comments, other keys and the next section's comment stay",
       "[LEVEL1]\n# visitors\nACCESS=0\nEXTRA=1\nHOME=a\n\n# level 2\n[LEVEL2]\nHOME=b\n",
       "[LEVEL1]\n# visitors\nACCESS=01\nEXTRA=1\nHOME=/h/\n\n# level 2\n[LEVEL2]\nHOME=b\n"},
      {"a missing key goes after the section's last key, duplicates go",
       "[LEVEL1]\nHOME=a\nHOME=b\n# end\n\n[X]\n", "[LEVEL1]\nHOME=/h/\nACCESS=01\n# end\n\n[X]\n"},
      {"only the first section of that name", "[LEVEL1]\n[LEVEL1]\nHOME=x\n",
       "[LEVEL1]\nHOME=/h/\nACCESS=01\n[LEVEL1]\nHOME=x\n"},
      {"a missing section is appended", "[TARVIK]\nA=1", "[TARVIK]\nA=1\n\n[LEVEL1]\nHOME=/h/\nACCESS=01\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ApplySectionKeys(SplitIniLines(c.before), "[LEVEL1]", {{"HOME", "/h/"}, {"ACCESS", "01"}}), c.after);
  }
}

TEST_F(ConfigWriter, LevelSectionRoundTrip) {
  write("TARVIK.INI", "[TARVIK]\nMYCALL=DL1ABC\n[LEVEL2]\nHOME=/old/\nACCESS=1\n[P0]\nTITLE=p\n");
  Configuration config;
  ASSERT_TRUE(config.LoadConfiguration(ini()));
  ASSERT_TRUE(config.SetLevelRecord(2, "/pub/", "010101"));
  ASSERT_TRUE(config.SetLevelRecord(4, "/four/", "1"));
  ASSERT_TRUE(config.WriteLevelSection(2));
  ASSERT_TRUE(config.WriteLevelSection(4));
  EXPECT_FALSE(config.WriteLevelSection(6));
  EXPECT_FALSE(config.SetLevelRecord(-1, "", ""));
  EXPECT_EQ(read(ini()),
            "[TARVIK]\nMYCALL=DL1ABC\n[LEVEL2]\nHOME=/pub/\nACCESS=010101\n[P0]\nTITLE=p\n"
            "\n[LEVEL4]\nHOME=/four/\nACCESS=1\n");
  Configuration next;
  ASSERT_TRUE(next.LoadConfiguration(ini()));
  EXPECT_EQ(*next.GetLevelRecord(2), (LevelRecord{"/pub/", "010101"}));
  EXPECT_EQ(*next.GetLevelRecord(4), (LevelRecord{"/four/", "1"}));
  EXPECT_EQ(next.Ports()[0].title, "p");
}

}  // namespace
}  // namespace tarvik::core
