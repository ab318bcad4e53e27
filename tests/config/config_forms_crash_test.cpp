// What the configuration windows write survives a crash: a writer killed
// (SIGKILL) at any moment of rewriting TARVIK.INI leaves either the old or
// the new file, whole, never a mixture or a cut file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/config.h"
#include "core/ini_writer.h"

namespace tarvik::test {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(IniWriteCrash, KilledWriterLeavesTheOldOrTheNewFile) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_cfgcrash_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path ini = dir / "TARVIK.INI";
  // A large file, so that a rewrite takes long enough to be interrupted.
  std::string comments;
  for (int i = 0; i < 1000; ++i) comments += "# comment line " + std::to_string(i) + " of the station's notes\n";
  const std::string a = "[TARVIK]\nMYCALL=DL1AAA-1\nMYNAME=x\n" + comments + "[LEVEL1]\nHOME=pub/\n";
  const std::string b = "[TARVIK]\nMYCALL=DL1BBB-2\nMYNAME=x\n" + comments + "[LEVEL1]\nHOME=pub/\n";
  std::ofstream(ini, std::ios::binary) << a;

  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The writer, switching the call back and forth until it is killed.
      for (long i = 0;; ++i) core::WriteIniEntry(ini, "MYCALL", std::string(i % 2 ? "DL1AAA-1" : "DL1BBB-2"));
    }
    // The file as a crash would leave it, at every moment the writer works:
    // read again and again, it is always one of the two whole files. Once
    // the writer has written, the kill lands somewhere in a later rewrite,
    // after a varying number of reads.
    const std::string other = Read(ini) == a ? b : a;
    bool changed = false;
    int torn = 0;
    for (int i = 0; i < 100000 && !changed; ++i) {
      const std::string seen = Read(ini);
      changed = seen == other;
      torn += seen != a && seen != b;
    }
    for (int i = 0; i < 20 * round; ++i) {
      const std::string seen = Read(ini);
      torn += seen != a && seen != b;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(changed) << "the writer never wrote";
    EXPECT_EQ(torn, 0) << "reads that found neither file";
    const std::string now = Read(ini);
    EXPECT_TRUE(now == a || now == b) << "a file of " << now.size() << " bytes";
    core::Configuration config;
    ASSERT_TRUE(config.LoadConfiguration(ini));
    const std::string call = config.GetSetting(core::kSettingMyCall);
    EXPECT_TRUE(call == "DL1AAA-1" || call == "DL1BBB-2") << call;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::test
