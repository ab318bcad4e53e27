#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <optional>
#include <string_view>
#include <cstdio>
#include <filesystem>

namespace tarvik::core {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSuffixLength = 6;  // the XXXXXX of mkstemp

// The name without the temporary suffix, when `name` has one.
std::optional<std::string_view> WithoutTemporarySuffix(std::string_view name) {
  if (name.size() <= kSuffixLength + 1) return std::nullopt;
  const std::size_t dot = name.size() - kSuffixLength - 1;
  if (name[dot] != '.') return std::nullopt;
  for (char c : name.substr(dot + 1))
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  return name.substr(0, dot);
}

template <typename Matches>
void RemoveMatching(const std::string& directory, Matches matches) {
  std::error_code ec;
  const fs::path dir = directory.empty() ? fs::path(".") : fs::path(directory);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto base = WithoutTemporarySuffix(name);
    std::error_code sec;
    if (base && matches(*base) && it->is_regular_file(sec) && !it->is_symlink(sec)) fs::remove(it->path(), sec);
  }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) {
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  ::fchmod(fd, 0644);
  if (::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

void RemoveStaleTemporaries(const std::string& path) {
  const fs::path p(path);
  const std::string leaf = p.filename().string();
  if (leaf.empty()) return;
  RemoveMatching(p.parent_path().string(), [&](std::string_view base) { return base == leaf; });
}

void RemoveStaleTemporariesIn(const std::string& directory, std::string_view extension) {
  RemoveMatching(directory, [&](std::string_view base) {
    return base.size() > extension.size() && base.substr(base.size() - extension.size()) == extension;
  });
}

}  // namespace tarvik::core
