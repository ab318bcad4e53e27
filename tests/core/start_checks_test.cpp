// What is decided before and while a station starts: the command line's
// own words, the configuration file and the display, the own call sign that
// every frame carries, and opening the help.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "core/app.h"
#include "core/identification.h"
#include "core/mycall.h"
#include "core/run_program.h"
#include "core/startup_options.h"
#include "core/station_directory.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::core {
namespace {

namespace fs = std::filesystem;

fs::path TestDir(const std::string& what) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_" + what + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(ParseArguments, HelpVersionAndWhetherAnIniPathWasGiven) {
  struct Case {
    std::vector<std::string> args;
    bool help, version, iniGiven;
  };
  const Case cases[] = {
      {{"--help"}, true, false, false},        {{"-h"}, true, false, false},
      {{"--version"}, false, true, false},     {{"-NOGUI", "st.ini"}, false, false, true},
      {{"-NOGUI"}, false, false, false},       {{"-help"}, false, false, false},  // not a word of its own
  };
  for (const Case& c : cases) {
    const StartupOptions o = ParseArguments(c.args, "/opt/tvk/tarvik");
    EXPECT_EQ(o.showHelp, c.help) << c.args[0];
    EXPECT_EQ(o.showVersion, c.version) << c.args[0];
    EXPECT_EQ(o.iniGiven, c.iniGiven) << c.args[0];
  }
  EXPECT_NE(UsageText().find("--version"), std::string::npos);
  EXPECT_EQ(VersionLine().rfind("tarvik " + ProgramVersion() + " (built ", 0), 0u);
}

TEST(StartChecks, IniPathAndDisplay) {
  const fs::path dir = TestDir("startchk");
  std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\n";
  EXPECT_EQ(IniPathProblem((dir / "TARVIK.INI").string()), "");
  EXPECT_EQ(IniPathProblem((dir / "NONE.INI").string()), "No such file or directory");
  EXPECT_NE(IniPathProblem(dir.string()).find("directory"), std::string::npos);

  using Env = std::map<std::string, std::string>;
  const std::pair<Env, bool> cases[] = {
      {{}, false},
      {{{"DISPLAY", ":0"}}, true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
      {{{"DISPLAY", ""}}, false},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, true},
      {{{"QT_QPA_PLATFORM", "xcb"}}, false},
  };
  for (const auto& [env, have] : cases) {
    EXPECT_EQ(HaveDisplay([&env](const char* name) -> const char* {
                auto it = env.find(name);
                return it == env.end() ? nullptr : it->second.c_str();
              }),
              have)
        << (env.empty() ? "none" : env.begin()->first + "=" + env.begin()->second);
  }
  fs::remove_all(dir);
}

TEST(StationDirectory, UserDirectoryFollowsXdgAndFirstStartKeepsWhatIsThere) {
  using Env = std::map<std::string, std::string>;
  auto lookup = [](const Env& env) {
    return [env](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    };
  };
  EXPECT_EQ(UserStationDirectory(lookup({{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/h"}})), "/x/data/tarvik");
  EXPECT_EQ(UserStationDirectory(lookup({{"XDG_DATA_HOME", "rel"}, {"HOME", "/h"}})), "/h/.local/share/tarvik");
  EXPECT_EQ(UserStationDirectory(lookup({{"HOME", "/h"}})), "/h/.local/share/tarvik");
  EXPECT_EQ(UserStationDirectory(lookup({})), "");
  EXPECT_EQ(ShippedStationDirectory("/usr/local/bin/tarvik"), "/usr/local/share/tarvik");

  const fs::path dir = TestDir("stationdir");
  fs::create_directories(dir / "shipped/cnf");
  std::ofstream(dir / "shipped/TARVIK.INI") << "shipped\n";
  std::ofstream(dir / "shipped/cnf/M1010.CNX") << "form\n";
  ASSERT_EQ(MakeStationDirectory((dir / "shipped").string(), (dir / "user/tarvik").string()), "");
  EXPECT_TRUE(fs::exists(dir / "user/tarvik/cnf/M1010.CNX"));
  // Later starts use what the operator made of it.
  std::ofstream(dir / "user/tarvik/TARVIK.INI") << "mine\n";
  fs::remove(dir / "user/tarvik/cnf/M1010.CNX");
  ASSERT_EQ(MakeStationDirectory((dir / "shipped").string(), (dir / "user/tarvik").string()), "");
  std::ifstream in(dir / "user/tarvik/TARVIK.INI");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine\n");
  EXPECT_FALSE(fs::exists(dir / "user/tarvik/cnf/M1010.CNX"));
  fs::remove_all(dir);
}

TEST(IsValidCall, OnlyCallsThatFitAnAddress) {
  for (const char* good : {"N0CALL", "N0CALL-1", "DL1ABC-15", "K1A", "N0CALL-0"})
    EXPECT_TRUE(IsValidCall(good)) << good;
  for (const char* bad : {"", "-1", "N0 CALL", "N0CALL-", "N0CALL-16", "N0CALLX-1", "N0CALL-1X", "N0/CALL", " N0CALL"})
    EXPECT_FALSE(IsValidCall(bad)) << bad;
}

// A station whose MYCALL is missing or no call sign stays off the air: no
// port and no TCP/IP server is started, and the operator is told why.
TEST(OwnCall, WithoutAValidOwnCallThePortsStayClosed) {
  const fs::path dir = TestDir("owncall");
  const std::string msg = std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG";
  struct Case {
    std::string line;
    bool valid;
    std::string named;
  };
  const Case cases[] = {
      {"MYCALL = N0CALL-1", false, "\"\""},  // the key is "MYCALL ": nothing is read
      {"MYCALL=", false, "\"\""},
      {"MYCALL=N0 CALL", false, "\"N0 CALL\""},
      {"MYCALL=n0call-1,2", true, ""},
  };
  for (const Case& c : cases) {
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\n" << c.line << "\nFLAGS=0000000000\nTCP/IP=Yes\nPORT=0\n"
                                      << "TMPPATH=" << dir.string() << "/tmp/\nMESSAGEFILE=" << msg
                                      << "\n[P0]\nTITLE=Radio\nDEVICE=127.0.0.1;1\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n";
    ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
    StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    App app(tk, options);
    int portsOpened = 0, serversStarted = 0;
    app.hooks().openPort = [&](App&, int) {
      ++portsOpened;
      return ui::kNoWindow;
    };
    app.hooks().startTcpServer = [&](App&) { ++serversStarted; };
    ASSERT_TRUE(app.Start()) << c.line;
    EXPECT_EQ(portsOpened, c.valid ? 1 : 0) << c.line;
    EXPECT_EQ(serversStarted, c.valid ? 1 : 0) << c.line;
    std::string shown;
    for (const auto& d : tk.dialogLog())
      for (const auto& l : d.lines) shown += l + "|";
    if (c.valid) {
      EXPECT_EQ(shown, "") << c.line;
    } else {
      EXPECT_NE(shown.find("Own call " + c.named + " is no call sign: the ports stay closed."), std::string::npos)
          << shown;
      EXPECT_NE(shown.find(options.iniPath), std::string::npos) << shown;
    }
  }
  fs::remove_all(dir);
}

// Help opens with the desktop's opener, which gets the file's absolute
// path; without the file or without an opener nothing is started and the
// caller learns which it was.
TEST(ShowHelp, OpensTheFileOrSaysWhy) {
  const fs::path dir = TestDir("help");
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "station/help");
  std::ofstream(dir / "station/help/index.html") << "<html></html>\n";
  std::ofstream(dir / "bin/xdg-open") << "#!/bin/sh\necho \"$@\" > " << (dir / "opened.txt").string() << ".part\n"
                                      << "/bin/mv " << (dir / "opened.txt").string() << ".part "
                                      << (dir / "opened.txt").string() << "\n";
  fs::permissions(dir / "bin/xdg-open", fs::perms::owner_all);
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  const fs::path savedCwd = fs::current_path();

  ::setenv("PATH", (dir / "bin").c_str(), 1);
  fs::current_path(dir / "station");
  EXPECT_EQ(ShowHelp("help/missing.html", 0), HelpResult::NoFile);
  EXPECT_EQ(ShowHelp("help/index.html", 1040), HelpResult::Opened);
  std::string opened;
  for (int i = 0; i < 500 && opened.empty(); ++i) {
    std::ifstream in(dir / "opened.txt");
    opened.assign(std::istreambuf_iterator<char>(in), {});
    if (opened.empty()) ::usleep(10000);
  }
  EXPECT_EQ(opened, (dir / "station/help/index.html").string() + "\n");
  ::setenv("PATH", (dir / "station").c_str(), 1);  // no opener there
  EXPECT_EQ(ShowHelp("help/index.html", 0), HelpResult::NoOpener);

  ::setenv("PATH", savedPath.c_str(), 1);
  fs::current_path(savedCwd);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::core
