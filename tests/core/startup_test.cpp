#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/frame_position.h"
#include "core/run_program.h"
#include "core/startup_options.h"

namespace tarvik::core {
namespace {

namespace fs = std::filesystem;

TEST(ParseArguments, SwitchWordsAndIniPath) {
  struct Case {
    std::vector<std::string> args;
    bool frame, ctl3d, nogui, dbgf;
    std::string ini, dbgName;
  };
  const Case cases[] = {
      {{}, true, false, false, false, "/opt/tvk/TARVIK.INI", ""},
      {{"/DBGF/NOMDI"}, false, false, false, true, "/opt/tvk/TARVIK.INI", "tarvik.dbg"},
      {{"-CTL3D", "-NOGUI", "my.ini"}, true, true, true, false, "my.ini", ""},
      {{"a.ini", "-DBGX", "/etc/b.ini"}, true, false, false, false, "/etc/b.ini", "tarvik.dbg"},
      {{"-nomdi"}, true, false, false, false, "/opt/tvk/TARVIK.INI", ""},  // case-sensitive
  };
  for (const Case& c : cases) {
    StartupOptions o = ParseArguments(c.args, "/opt/tvk/tarvik");
    EXPECT_EQ(o.frameMode, c.frame);
    EXPECT_EQ(o.ctl3d, c.ctl3d);
    EXPECT_EQ(o.noGui, c.nogui);
    EXPECT_EQ(o.debugFile, c.dbgf);
    EXPECT_EQ(o.iniPath, c.ini);
    EXPECT_EQ(o.debugFileName, c.dbgName);
  }
  EXPECT_EQ(ParseArguments({std::string(300, 'x')}, "t").iniPath.size(), 127u);
  EXPECT_EQ(ParseArguments({}, "tarvik").iniPath, "TARVIK.INI");
}

TEST(FramePosition, ReadsValidFileAndFallsBackOtherwise) {
  fs::path dir = fs::temp_directory_path() / ("tvk_pos_" + std::to_string(::getpid()));
  fs::create_directories(dir / "POS");
  const std::string tmp = dir.string() + "/";
  EXPECT_EQ(ReadFramePosition(tmp), kDefaultFrameRect);  // missing file
  std::ofstream(dir / "POS/0000.POS") << "10;10;150;600;\n";
  EXPECT_EQ(ReadFramePosition(tmp), kDefaultFrameRect);  // bottom below 200
  EXPECT_TRUE(WriteFramePosition(tmp, ui::Rect{51, 40, 500, 800}));
  EXPECT_EQ(ReadFramePosition(tmp), (ui::Rect{51, 40, 500, 800}));
  EXPECT_FALSE(WriteFramePosition(tmp, ui::Rect{0, 0, 500, 149}));  // too narrow
  fs::remove_all(dir);
}

TEST(RunProgram, StartsInItsOwnDirectoryWithoutShell) {
  fs::path dir = fs::temp_directory_path() / ("tvk_run_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "prog.sh";
  std::ofstream(script) << "#!/bin/sh\npwd > out.txt\necho \"$1|$2\" >> out.txt\n";
  fs::permissions(script, fs::perms::owner_all);
  std::vector<std::pair<int, std::string>> messages;
  RunContext ctx{"/x/TARVIK.INI", [](const std::string& s) { return s; },
                 [&](int n, const std::string& t) { messages.emplace_back(n, t); }};
  const std::string cwdBefore = fs::current_path().string();
  ASSERT_TRUE(RunProgram(ctx, script.string() + " %ini $(id);ignored comment#x"));
  // The program writes two lines; wait until both are there (bounded).
  std::string pwd, argsLine;
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(dir / "out.txt");
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (std::count(text.begin(), text.end(), '\n') >= 2) {
      std::istringstream lines(text);
      std::getline(lines, pwd);
      std::getline(lines, argsLine);
      break;
    }
    ::usleep(10000);
  }
  EXPECT_EQ(fs::path(pwd), fs::canonical(dir));
  EXPECT_EQ(argsLine, "/x/TARVIK.INI|$(id)");  // no shell expansion
  EXPECT_EQ(fs::current_path().string(), cwdBefore);
  EXPECT_TRUE(messages.empty());

  EXPECT_FALSE(RunProgram(ctx, ""));
  EXPECT_FALSE(RunProgram(ctx, (dir / "missing").string()));
  EXPECT_FALSE(RunProgram(ctx, "no-such-program-anywhere"));
  EXPECT_EQ(messages, (std::vector<std::pair<int, std::string>>{
                          {1025, ""},
                          {1025, (dir / "missing").string()},
                          {1024, "no-such-program-anywhere"},
                          {1025, "no-such-program-anywhere"}}));
  fs::remove_all(dir);
}

TEST(SplitCommandLine, BlanksAndQuotes) {
  EXPECT_EQ(SplitCommandLine("  a  \"b c\" d"), (std::vector<std::string>{"a", "b c", "d"}));
  EXPECT_EQ(SplitCommandLine("x \"\""), (std::vector<std::string>{"x", ""}));
}

}  // namespace
}  // namespace tarvik::core
