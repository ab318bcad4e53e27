#pragma once
// One owner for a C stdio file: closed when the handle goes, on every path.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tarvik::core {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle OpenFile(const std::string& path, const char* mode) { return FileHandle(std::fopen(path.c_str(), mode)); }

// Appends `text` to the file (created when missing); false when it cannot.
inline bool AppendToFile(const std::string& path, std::string_view text) {
  FileHandle file = OpenFile(path, "ab");
  return file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
}

}  // namespace tarvik::core
