#pragma once
// A directory of the fuzz run's own for the transfer targets: files may be
// written only into its "save" and "tmp" subdirectories; anything else
// appearing in it (or a missing subdirectory) is a finding.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

struct FuzzTransferDir {
  std::filesystem::path base;
  std::string save, tmp;

  explicit FuzzTransferDir(const char* name) {
    base = std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "save");
    std::filesystem::create_directories(base / "tmp");
    save = (base / "save").string() + "/";
    tmp = (base / "tmp").string() + "/";
  }

  // Checks the confinement and empties both subdirectories.
  void CheckAndClear() const {
    std::error_code ec;
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(base, ec)) {
      const std::string n = e.path().filename().string();
      if (n != "save" && n != "tmp") std::abort();
      ++entries;
    }
    if (entries != 2) std::abort();
    for (const char* sub : {"save", "tmp"})
      for (const auto& e : std::filesystem::directory_iterator(base / sub, ec)) {
        if (e.is_directory()) std::abort();  // nothing a transfer makes is a directory
        std::filesystem::remove(e.path(), ec);
      }
  }
};
