// Path confinement of names a connected station sends, and the texts built
// from directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/config.h"
#include "remote/remote_paths.h"

namespace tarvik::remote {
namespace {

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("tvk_paths_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base);
    fs::create_directories(base / "pub" / "sub");
    fs::create_directories(base / "secret");
    std::ofstream(base / "pub" / "a.txt") << "a";
    std::ofstream(base / "pub" / "sub" / "b.txt") << "bb";
    std::ofstream(base / "secret" / "passwd") << "root";
    fs::create_symlink(base / "secret" / "passwd", base / "pub" / "link.txt");
    fs::create_directory_symlink(base / "secret", base / "pub" / "outdir");
    fs::create_symlink(base / "pub" / "a.txt", base / "pub" / "inside.txt");
    pub = (base / "pub").string() + "/";
  }
  void TearDown() override { fs::remove_all(base); }
  fs::path base;
  std::string pub;
};

TEST_F(PathsTest, HostileNamesNeverLeaveTheBound) {
  const std::string longName(kNameLimit + 1, 'a');
  const struct {
    std::string name;
    const char* why;
  } hostile[] = {
      {"..", "parent"},
      {"../secret/passwd", "parent path"},
      {"../../etc/passwd", "deep parent"},
      {"\\..\\secret\\passwd", "backslashes read as slashes"},
      {"sub\\..\\..\\secret\\passwd", "parent in the middle"},
      {"sub/../../secret/passwd", "parent in the middle, slashes"},
      {"/etc/passwd", "absolute"},
      {"\\etc\\passwd", "absolute with backslash"},
      {"link.txt", "symlink to a file outside"},
      {"outdir/passwd", "through a directory symlink outside"},
      {longName, "overlong"},
      {std::string("a.txt\0/../../x", 14), "NUL byte"},
      {"a\x01.txt", "control byte"},
      {"a\r.txt", "carriage return"},
      {"", "empty"},
  };
  for (const auto& h : hostile) EXPECT_FALSE(ConfinedPath(pub, pub, h.name)) << h.why;
}

TEST_F(PathsTest, OrdinaryNamesStayUsable) {
  EXPECT_EQ(ConfinedPath(pub, pub, "a.txt"), pub + "a.txt");
  EXPECT_EQ(ConfinedPath(pub, pub, "sub\\b.txt"), pub + "sub/b.txt");
  EXPECT_EQ(ConfinedPath(pub, pub, "inside.txt"), pub + "inside.txt");
  EXPECT_EQ(ConfinedPath(pub, pub, "new.txt"), pub + "new.txt");  // not yet there: captures
  EXPECT_EQ(ConfinedPath(pub, pub, "..a.txt"), pub + "..a.txt");  // dots inside a name are no parent
  EXPECT_FALSE(ConfinedPath("", pub, "a.txt"));                   // no bound: nothing reachable
}

TEST_F(PathsTest, WithinComparesWholeDirectoryNames) {
  fs::create_directories(base / "pubx");
  EXPECT_FALSE(Within(pub, (base / "pubx" / "f").string()));
  EXPECT_TRUE(Within(pub, pub));
  EXPECT_TRUE(Within(pub, pub + "sub/"));
  EXPECT_FALSE(Within(pub, (base / "pub" / "outdir").string() + "/"));
}

// What the service opens, creates, probes and deletes is reached beneath
// the bound: links leading out fail whether their target exists or not and
// wherever they sit on the way, and nothing but regular files is opened.
TEST_F(PathsTest, FileOperationsNeverFollowALinkOut) {
  fs::create_symlink(base / "secret" / "new.txt", base / "pub" / "dangle");
  fs::create_symlink("../secret/new2.txt", base / "pub" / "dangle_rel");
  fs::create_symlink(base / "secret" / "passwd", base / "pub" / "sub" / "$.$");
  ASSERT_EQ(::mkfifo((base / "pub" / "fifo").c_str(), 0644), 0);
  const struct {
    const char* name;
    PathKind kind;
  } kinds[] = {
      {"a.txt", PathKind::Regular},        {"inside.txt", PathKind::Regular}, {"sub", PathKind::Directory},
      {"new.txt", PathKind::Missing},      {"fifo", PathKind::Other},         {"link.txt", PathKind::Outside},
      {"outdir/passwd", PathKind::Outside}, {"outdir/new.txt", PathKind::Outside}, {"dangle", PathKind::Outside},
      {"dangle_rel", PathKind::Outside},   {"sub/$.$", PathKind::Outside},
  };
  for (const auto& k : kinds) EXPECT_EQ(KindOf(pub, pub + k.name), k.kind) << k.name;
  for (const char* name : {"dangle", "dangle_rel", "outdir/new.txt", "link.txt", "a.txt", "fifo"})
    EXPECT_FALSE(CreateNew(pub, pub + name)) << name;
  EXPECT_FALSE(fs::exists(base / "secret" / "new.txt"));
  EXPECT_FALSE(fs::exists(base / "secret" / "new2.txt"));
  for (const char* name : {"fifo", "link.txt", "outdir/passwd", "sub"}) EXPECT_FALSE(OpenRegular(pub, pub + name, O_RDONLY)) << name;
  EXPECT_TRUE(OpenRegular(pub, pub + "inside.txt", O_RDONLY));
  for (const char* name : {"link.txt", "outdir/passwd", "fifo", "sub/$.$"}) EXPECT_FALSE(RemoveFile(pub, pub + name)) << name;
  EXPECT_TRUE(fs::exists(base / "secret" / "passwd"));
  // The probe of a directory leaves a "$.$" that is there alone.
  EXPECT_TRUE(DirectoryTakesFiles(pub, pub + "sub/"));
  EXPECT_TRUE(fs::is_symlink(base / "pub" / "sub" / "$.$"));
  EXPECT_FALSE(DirectoryTakesFiles(pub, pub + "outdir/"));
  std::ifstream secret(base / "secret" / "passwd");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(secret), {}), "root");
  EXPECT_TRUE(DirectoryTakesFiles(pub, pub));
  EXPECT_FALSE(fs::exists(base / "pub" / "$.$"));
  // A NUL inside a path would end it early for the system: nothing at all.
  EXPECT_TRUE(ListDirectory(pub, pub + std::string(".\0/", 3), "*").empty());
  EXPECT_EQ(KindOf(pub, pub + std::string("sub\0/x", 6)), PathKind::Outside);
}

TEST_F(PathsTest, WildcardsMatchLikeDos) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "README", true}, {"*.TXT", "help.txt", true}, {"*.txt", "help.txt.bak", false},
      {"?.txt", "a.txt", true}, {"?.txt", "ab.txt", false}, {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false}, {"*", "", true},
  };
  for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST_F(PathsTest, ListingLeavesOutWhatLeadsOutside) {
  std::vector<std::string> names;
  for (const auto& e : ListDirectory(pub, pub, "*.*")) names.push_back(e.name + (e.directory ? "/" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "inside.txt", "sub/"}));
  EXPECT_EQ(MatchingFiles(pub, pub, "*.txt"), (std::vector<std::string>{pub + "a.txt", pub + "inside.txt"}));
}

TEST_F(PathsTest, ListingTextHasTheFixedLayout) {
  ListingEntry file{1, 2, 2026, 3, 4, 5, false, 1234, "A.TXT"};
  ListingEntry dir{31, 12, 1999, 23, 59, 58, true, 0, "SUB"};
  EXPECT_EQ(ListingText("pub/*.*", {file, dir}),
            " Directory of pub/*.*\n\n"
            "01.02.2026  03:04:05                1234 A.TXT\n"
            "31.12.1999  23:59:58  <DIR>            0 SUB\n"
            "                 2 File(s)          1234 Bytes\n");
}

TEST_F(PathsTest, NameListsBreakAfterSixtyCharacters) {
  std::vector<std::string> names;
  for (int i = 0; i < 7; ++i) names.push_back("NAME000" + std::to_string(i) + ".TXT");  // 9 per name in the list
  EXPECT_EQ(NameListText(names),
            "NAME0000 NAME0001 NAME0002 NAME0003 NAME0004 NAME0005 NAME0006 \n");
  names.push_back("NAME0007.TXT");
  EXPECT_EQ(NameListText(names),
            "NAME0000 NAME0001 NAME0002 NAME0003 NAME0004 NAME0005 NAME0006 \nNAME0007 \n");
  EXPECT_EQ(NameListText({}), "");
}

}  // namespace
}  // namespace tarvik::remote

namespace tarvik::remote {
namespace {

// The default stations' levels: level 0 takes nothing, each level keeps
// the switches of the one below, and only the top level may end the
// program or run programs on the operator's computer.
TEST(DefaultLevels, GrowFromNothingToEverything) {
  for (const char* ini : {"data/TARVIK.INI", "data/neighbour/TARVIK.INI"}) {
    core::Configuration config;
    ASSERT_TRUE(config.LoadConfiguration(std::filesystem::path(TARVIK_SOURCE_DIR) / ini)) << ini;
    const core::LevelRecord* zero = config.GetLevelRecord(0);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->access.find('1'), std::string::npos) << ini;
    for (int level = 1; level < core::kLevelCount; ++level) {
      const core::LevelRecord* below = config.GetLevelRecord(level - 1);
      const core::LevelRecord* record = config.GetLevelRecord(level);
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->home, "pub/") << ini << " " << level;
      ASSERT_EQ(record->access.size(), below->access.size()) << ini << " " << level;
      for (std::size_t i = 0; i < record->access.size(); ++i)
        EXPECT_FALSE(below->access[i] == '1' && record->access[i] != '1') << ini << " level " << level << " switch " << i;
      const bool top = level == core::kLevelCount - 1;
      EXPECT_EQ(record->access[0] == '1', top) << ini << " EX at level " << level;
      EXPECT_EQ(record->access[23] == '1', top) << ini << " R at level " << level;
    }
  }
}

}  // namespace
}  // namespace tarvik::remote
