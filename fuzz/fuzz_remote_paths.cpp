// Names a station sends, against the path confinement on a directory
// with traps: whatever the name, a path handed out lies below the bound,
// resolves inside it, and nothing outside is listed, opened or created.
//
// Input: the first byte picks the operation, the rest is the name.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "remote/remote_paths.h"
#include "remote/remote_service.h"

namespace {

namespace fs = std::filesystem;
fs::path g_base;
std::string g_pub;

void Fail(const char* what, const std::string& name) {
  std::fprintf(stderr, "%s: %s\n", what, name.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_base = fs::temp_directory_path() / ("tvk_fuzz_paths_" + std::to_string(::getpid()));
  fs::remove_all(g_base);
  fs::create_directories(g_base / "pub" / "sub");
  fs::create_directories(g_base / "outside");
  std::ofstream(g_base / "pub" / "a.txt") << "a";
  std::ofstream(g_base / "outside" / "canary.txt") << "canary";
  fs::create_symlink(g_base / "outside" / "canary.txt", g_base / "pub" / "out.txt");
  fs::create_symlink(g_base / "outside" / "new.txt", g_base / "pub" / "dangle");
  fs::create_symlink("../outside/new2.txt", g_base / "pub" / "dangle2");
  fs::create_directory_symlink(g_base / "outside", g_base / "pub" / "outdir");
  fs::create_symlink(g_base / "pub" / "a.txt", g_base / "pub" / "in.txt");
  ::mkfifo((g_base / "pub" / "fifo").c_str(), 0644);
  g_pub = (g_base / "pub").string() + "/";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::remote;
  if (size == 0) return 0;
  const std::string name(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 6) {
    case 0: {
      if (const auto path = ConfinedPath(g_pub, g_pub, name)) {
        if (path->rfind(g_pub, 0) != 0) Fail("confined path not below the bound", name);
        if (KindOf(g_pub, *path) == PathKind::Outside) Fail("confined path leads outside", name);
      }
      break;
    }
    case 1: {
      const auto path = ConfinedPath(g_pub, g_pub, name);
      if (!path) break;
      // Opening and creating never reach outside; what is created goes.
      if (Descriptor fd = OpenRegular(g_pub, *path, O_RDONLY)) {
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) Fail("opened something else", name);
      }
      if (CreateNew(g_pub, *path)) RemoveFile(g_pub, *path);
      break;
    }
    case 2:
      for (const ListingEntry& e : ListDirectory(g_pub, g_pub, name))
        if (e.name == "out.txt" || e.name == "outdir" || e.name == "dangle") Fail("listed a way out", name);
      break;
    case 3:
      for (const std::string& file : MatchingFiles(g_pub, g_pub, name))
        if (file.rfind(g_pub, 0) != 0 || file.find("out.txt") != std::string::npos) Fail("matched outside", name);
      break;
    case 4: {
      const std::size_t half = name.size() / 2;
      WildcardMatch(std::string_view(name).substr(0, half), std::string_view(name).substr(half));
      (void)DirectoryTakesFiles(g_pub, g_pub + name);
      break;
    }
    case 5: {
      // A reply format filled with station texts.
      const std::size_t half = name.size() / 2;
      const std::string text = FillReply(std::string_view(name).substr(0, half), {name.substr(half), name});
      if (text.size() > 4 * name.size() + 16) Fail("reply grew", name);
      break;
    }
  }
  std::error_code ec;
  if (fs::exists(fs::symlink_status(g_base / "outside" / "new.txt")) ||
      fs::exists(fs::symlink_status(g_base / "outside" / "new2.txt")))
    Fail("created outside", name);
  return 0;
}
