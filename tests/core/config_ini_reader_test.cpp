#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/ini_reader.h"

namespace tarvik::core {
namespace {

TEST(ConfigIniReader, LongLinesArriveInPiecesOf127) {
  const std::string longLine = std::string(300, 'x') + "\n";
  const std::string text = "a\n" + longLine + "b";
  const auto lines = SplitIniLines(text);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "a\n");
  EXPECT_EQ(lines[1].size(), 127u);
  EXPECT_EQ(lines[2].size(), 127u);
  EXPECT_EQ(lines[3], std::string(46, 'x') + "\n");
  EXPECT_EQ(lines[4], "b");
  std::string joined;
  for (const auto& l : lines) joined += l;
  EXPECT_EQ(joined, text);
  // A key in the second piece of an overlong line is a key of its own.
  IniReader ini("[S]\n" + std::string(127, 'Z') + "A=5\n");
  ASSERT_TRUE(ini.FindSection("[S]"));
  EXPECT_EQ(ini.ReadInt16("A"), 5);
}

TEST(ConfigIniReader, SectionIsFirstHeaderContainingTheName) {
  IniReader ini(
      "K=0\n"
      " [TARVIK]\n"          // not a header: does not start with "["
      "[tarvik]\nK=1\n"      // case matters
      "[P10]\nK=10\n"
      "[main][TARVIK] x\nK=2\n"
      "[TARVIK]\nK=3\n");
  ASSERT_TRUE(ini.FindSection("[TARVIK]"));
  EXPECT_EQ(ini.ReadText("K", 10), "2");
  EXPECT_FALSE(ini.FindSection("[P1]"));
  EXPECT_EQ(ini.ReadText("K", 10), "");  // no section, no keys
  ASSERT_TRUE(ini.FindSection("P10"));
  EXPECT_EQ(ini.ReadText("K", 10), "10");
}

TEST(ConfigIniReader, KeysAreLiteralAndValuesEndAtHash) {
  IniReader ini(
      "[S]\n"
      "T1 =300\n"
      "t2=7\n"
      "T10=9\n"
      "TITLE=Radio 1 # my TNC\r\n"
      "LEAD=   x  \t\r\n"
      "EQ=a=b\n"
      "HASH=#all comment\n"
      "LONG=ABCDEFGHIJKLMNOP\n"
      "CUT=AB   CD\n"
      "NOEQUALS\n");
  ASSERT_TRUE(ini.FindSection("[S]"));
  EXPECT_FALSE(ini.ReadKey("T1", 10));
  EXPECT_EQ(ini.ReadInt16("T1"), 0);
  EXPECT_FALSE(ini.ReadKey("T2", 10));
  EXPECT_EQ(ini.ReadText("TITLE", 31), "Radio 1");
  EXPECT_EQ(ini.ReadText("LEAD", 31), "   x");
  EXPECT_EQ(ini.ReadText("EQ", 31), "a=b");
  ASSERT_TRUE(ini.ReadKey("HASH", 31));
  EXPECT_EQ(*ini.ReadKey("HASH", 31), "");
  EXPECT_EQ(ini.ReadText("LONG", 11), "ABCDEFGHIJK");
  EXPECT_EQ(ini.ReadText("CUT", 4), "AB");
  EXPECT_FALSE(ini.ReadKey("NOEQUALS", 31));
}

TEST(ConfigIniReader, SearchWrapsAroundWithinTheSection) {
  IniReader ini("[S]\nC=3\nA=1\nB=2\n[T]\nD=4\n");
  ASSERT_TRUE(ini.FindSection("[S]"));
  EXPECT_EQ(ini.ReadText("A", 5), "1");
  EXPECT_EQ(ini.ReadText("B", 5), "2");
  EXPECT_EQ(ini.ReadText("C", 5), "3");  // behind the position: wraps to the start
  EXPECT_EQ(ini.ReadText("A", 5), "1");
  EXPECT_FALSE(ini.ReadKey("D", 5));  // the next section is never searched
  EXPECT_EQ(ini.ReadText("B", 5), "2");
}

TEST(ConfigIniReader, DuplicateKeysFirstFromCurrentPositionWins) {
  IniReader ini("[S]\nA=1\nB=2\nA=3\n");
  ASSERT_TRUE(ini.FindSection("[S]"));
  EXPECT_EQ(ini.ReadText("A", 5), "1");
  EXPECT_EQ(ini.ReadText("A", 5), "3");
  EXPECT_EQ(ini.ReadText("A", 5), "1");
  EXPECT_EQ(ini.ReadText("B", 5), "2");
  // A failed search leaves the position where it began (behind B).
  EXPECT_FALSE(ini.ReadKey("MISSING", 5));
  EXPECT_EQ(ini.ReadText("A", 5), "3");
}

TEST(ConfigIniReader, EmptySectionsAndSectionLines) {
  IniReader ini("[E]\n[S]\nA=1\n\nB\n[T]\n[END]");
  ASSERT_TRUE(ini.FindSection("[E]"));
  EXPECT_FALSE(ini.ReadKey("A", 5));
  EXPECT_TRUE(ini.SectionLines().empty());
  ASSERT_TRUE(ini.FindSection("[S]"));
  const auto lines = ini.SectionLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "B\n");
  ASSERT_TRUE(ini.FindSection("[END]"));
  EXPECT_FALSE(ini.ReadKey("A", 5));
}

TEST(ConfigIniReader, BinaryJunkNeverBreaksTheReader) {
  std::string junk;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    junk += static_cast<char>((seed >> 16) & 0xff);
    if (i % 97 == 0) junk += "[S]=#\n";
  }
  IniReader ini(junk);
  ini.FindSection("[S]");
  for (const char* key : {"A", "", "[S]", "\n"}) {
    const auto v = ini.ReadKey(key, 11);
    if (v) {
      EXPECT_LE(v->size(), 11u);
    }
  }
  ini.FindSection("");
  (void)ini.ReadText("X", 127);
  (void)ini.SectionLines();
}

}  // namespace
}  // namespace tarvik::core
