#include "remote/remote_paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace tarvik::remote {

namespace fs = std::filesystem;

namespace {

// The part of `path` below `bound`, by name ("." for the bound itself);
// nothing when the path is not below it.
std::optional<std::string> BelowBound(const std::string& bound, const std::string& path) {
  // A NUL would end the name early for the system: never a path.
  if (bound.empty() || path.empty() || bound.find('\0') != std::string::npos || path.find('\0') != std::string::npos)
    return std::nullopt;
  std::error_code ec;
  const fs::path b = fs::absolute(fs::path(bound), ec).lexically_normal();
  if (ec) return std::nullopt;
  const fs::path p = fs::absolute(fs::path(path), ec).lexically_normal();
  if (ec) return std::nullopt;
  auto pi = p.begin();
  for (const auto& part : b) {
    if (part.empty()) continue;  // the empty last part of "dir/"
    if (pi == p.end() || part != *pi) return std::nullopt;
    ++pi;
  }
  fs::path rest;
  for (; pi != p.end(); ++pi)
    if (!pi->empty()) rest /= *pi;
  if (rest.empty()) return std::string(".");
  return rest.string();
}

// Walks `relative` from `dirfd` one component at a time without following
// any link: the resolution for kernels without openat2.
int OpenWithoutLinks(int dirfd, const std::string& relative, int flags, mode_t mode) {
  std::vector<std::string> parts;
  for (const auto& part : fs::path(relative))
    if (!part.empty() && part != ".") parts.push_back(part.string());
  if (parts.empty()) return ::openat(dirfd, ".", flags, mode);
  Descriptor current(::fcntl(dirfd, F_DUPFD_CLOEXEC, 0));
  for (std::size_t i = 0; current && i + 1 < parts.size(); ++i) {
    if (parts[i] == "..") {
      errno = EXDEV;
      return -1;
    }
    current = Descriptor(::openat(current.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!current) return -1;
  if (parts.back() == "..") {
    errno = EXDEV;
    return -1;
  }
  return ::openat(current.get(), parts.back().c_str(), flags | O_NOFOLLOW, mode);
}

// Opens `relative` from the bound's descriptor, resolved beneath it.
int OpenBeneathFd(int dirfd, const std::string& relative, int flags, mode_t mode) {
  open_how how{};
  how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
  how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (;;) {
    const long fd = ::syscall(SYS_openat2, dirfd, relative.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    if (errno == EINTR || errno == EAGAIN) continue;  // a rename raced the lookup
    if (errno == ENOSYS) return OpenWithoutLinks(dirfd, relative, flags | O_CLOEXEC, mode);
    return -1;
  }
}

// As OpenBeneathFd; a link written with an absolute target (which the
// kernel refuses beneath a directory) counts when its existing target,
// fully resolved, lies below the bound: then that resolved path is opened.
int OpenInside(const std::string& bound, int rootfd, const std::string& relative, int flags, mode_t mode) {
  const int fd = OpenBeneathFd(rootfd, relative, flags, mode);
  if (fd >= 0 || errno != EXDEV) return fd;
  std::error_code ec;
  const fs::path target = fs::canonical(fs::path(bound) / relative, ec);
  const fs::path top = ec ? fs::path() : fs::canonical(fs::path(bound), ec);
  // A link out with nothing behind it leads out all the same.
  const auto inside = ec ? std::nullopt : BelowBound(top.string() + "/", target.string());
  if (!inside) {
    errno = EXDEV;
    return -1;
  }
  return OpenBeneathFd(rootfd, *inside, flags, mode);
}

Descriptor OpenBound(const std::string& bound) {
  return Descriptor(::open(bound.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// `path` split into the bound's descriptor, the descriptor of its
// directory (resolved beneath the bound) and its last name.
struct Placed {
  Descriptor directory;
  std::string leaf;
};
std::optional<Placed> Place(const std::string& bound, const std::string& path) {
  const auto relative = BelowBound(bound, path);
  if (!relative || *relative == ".") return std::nullopt;
  const Descriptor root = OpenBound(bound);
  if (!root) return std::nullopt;
  const fs::path rel(*relative);
  const std::string parent = rel.has_parent_path() ? rel.parent_path().string() : ".";
  Placed placed{Descriptor(OpenInside(bound, root.get(), parent, O_PATH | O_DIRECTORY, 0)), rel.filename().string()};
  if (!placed.directory || placed.leaf.empty() || placed.leaf == "." || placed.leaf == "..") return std::nullopt;
  return placed;
}

char Folded(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool Match(std::string_view p, std::string_view n) {
  // Iterative glob with one backtrack point: linear enough for 127 bytes.
  std::size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || Folded(p[pi]) == Folded(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

void SplitPattern(const std::string& directory, std::string_view pattern, std::string& dir, std::string& leaf) {
  const std::size_t slash = pattern.rfind('/');
  dir = directory;
  if (slash == std::string_view::npos) {
    leaf = std::string(pattern);
  } else {
    dir += std::string(pattern.substr(0, slash + 1));
    leaf = std::string(pattern.substr(slash + 1));
  }
}

}  // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

PathKind KindOf(const std::string& bound, const std::string& path) {
  const auto relative = BelowBound(bound, path);
  if (!relative) return PathKind::Outside;
  const Descriptor root = OpenBound(bound);
  if (!root) return PathKind::Outside;
  const Descriptor target(OpenInside(bound, root.get(), *relative, O_PATH, 0));
  struct stat info {};
  if (target) {
    if (::fstat(target.get(), &info) != 0) return PathKind::Outside;
    if (S_ISREG(info.st_mode)) return PathKind::Regular;
    if (S_ISDIR(info.st_mode)) return PathKind::Directory;
    return PathKind::Other;
  }
  if (errno != ENOENT) return PathKind::Outside;
  // Nothing there: fine when its directory is inside and the name is not
  // a link pointing at something missing.
  const auto placed = Place(bound, path);
  if (!placed) return PathKind::Outside;
  if (::fstatat(placed->directory.get(), placed->leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    return PathKind::Other;
  return errno == ENOENT ? PathKind::Missing : PathKind::Outside;
}

bool Within(const std::string& bound, const std::string& path) { return KindOf(bound, path) != PathKind::Outside; }

Descriptor OpenRegular(const std::string& bound, const std::string& path, int flags) {
  const auto relative = BelowBound(bound, path);
  if (!relative) return {};
  const Descriptor root = OpenBound(bound);
  if (!root) return {};
  // The type first, on a path descriptor that opens nothing ...
  const Descriptor probe(OpenInside(bound, root.get(), *relative, O_PATH, 0));
  struct stat before {};
  if (!probe || ::fstat(probe.get(), &before) != 0 || !S_ISREG(before.st_mode)) return {};
  // ... then the file itself, without blocking, and the type again: it
  // may have been swapped in between.
  Descriptor file(OpenInside(bound, root.get(), *relative, (flags & ~(O_CREAT | O_TRUNC)) | O_NONBLOCK | O_NOCTTY, 0));
  struct stat after {};
  if (!file || ::fstat(file.get(), &after) != 0 || !S_ISREG(after.st_mode) || after.st_ino != before.st_ino ||
      after.st_dev != before.st_dev)
    return {};
  const int status = ::fcntl(file.get(), F_GETFL);
  if (status >= 0) ::fcntl(file.get(), F_SETFL, status & ~O_NONBLOCK);
  return file;
}

Descriptor CreateNew(const std::string& bound, const std::string& path, mode_t mode) {
  const auto placed = Place(bound, path);
  if (!placed) return {};
  // O_EXCL never follows a link in the last place, dangling or not.
  return Descriptor(::openat(placed->directory.get(), placed->leaf.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
}

bool RemoveFile(const std::string& bound, const std::string& path) {
  const auto placed = Place(bound, path);
  if (!placed) return false;
  struct stat info {};
  if (::fstatat(placed->directory.get(), placed->leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(info.st_mode))
    return false;
  return ::unlinkat(placed->directory.get(), placed->leaf.c_str(), 0) == 0;
}

bool DirectoryTakesFiles(const std::string& bound, const std::string& directory) {
  const auto relative = BelowBound(bound, directory);
  if (!relative) return false;
  const Descriptor root = OpenBound(bound);
  if (!root) return false;
  const Descriptor dir(OpenInside(bound, root.get(), *relative, O_PATH | O_DIRECTORY, 0));
  if (!dir) return false;
  constexpr const char* kProbe = "$.$";
  Descriptor probe(::openat(dir.get(), kProbe, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
  if (probe) {
    probe = Descriptor();
    ::unlinkat(dir.get(), kProbe, 0);
    return true;
  }
  // Someone's "$.$" (a file, a link, a FIFO) stays untouched.
  return errno == EEXIST && ::faccessat(dir.get(), ".", W_OK | X_OK, 0) == 0;
}

std::optional<std::string> CleanName(std::string_view name) {
  if (name.empty() || name.size() > kNameLimit) return std::nullopt;
  std::string clean(name);
  for (char& c : clean) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return std::nullopt;
    if (c == '\\') c = '/';
  }
  if (clean.front() == '/') return std::nullopt;
  std::size_t start = 0;
  while (start <= clean.size()) {
    std::size_t end = clean.find('/', start);
    if (end == std::string::npos) end = clean.size();
    if (clean.compare(start, end - start, "..") == 0) return std::nullopt;
    start = end + 1;
  }
  return clean;
}

std::optional<std::string> ConfinedPath(const std::string& bound, const std::string& directory,
                                        std::string_view name) {
  const auto clean = CleanName(name);
  if (!clean || directory.empty()) return std::nullopt;
  std::string path = directory + *clean;
  if (!Within(bound, path)) return std::nullopt;
  return path;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  return Match(pattern, name);
}

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

std::vector<ListingEntry> ListDirectory(const std::string& bound, const std::string& directory,
                                        std::string_view pattern) {
  std::vector<ListingEntry> out;
  std::string dir, leaf;
  SplitPattern(directory, pattern, dir, leaf);
  if (!Within(bound, dir)) return out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!WildcardMatch(leaf, name) || !Within(bound, it->path().string())) continue;
    std::error_code sec;
    const fs::file_status status = fs::status(it->path(), sec);
    if (sec) continue;
    ListingEntry e;
    e.name = name;
    e.directory = fs::is_directory(status);
    if (!e.directory && !fs::is_regular_file(status)) continue;
    e.size = e.directory ? 0 : fs::file_size(it->path(), sec);
    if (sec) e.size = 0;
    struct stat info {};
    if (::stat(it->path().c_str(), &info) == 0) {
      const std::time_t t = info.st_mtime;
      std::tm local{};
      localtime_r(&t, &local);
      e.day = local.tm_mday;
      e.month = local.tm_mon + 1;
      e.year = local.tm_year + 1900;
      e.hour = local.tm_hour;
      e.minute = local.tm_min;
      e.second = local.tm_sec;
    }
    out.push_back(std::move(e));
  }
  std::sort(out.begin(), out.end(), [](const ListingEntry& a, const ListingEntry& b) { return a.name < b.name; });
  return out;
}

std::vector<std::string> MatchingFiles(const std::string& bound, const std::string& directory,
                                       std::string_view pattern) {
  std::vector<std::string> out;
  std::string dir, leaf;
  SplitPattern(directory, pattern, dir, leaf);
  for (const ListingEntry& e : ListDirectory(bound, directory, pattern))
    if (!e.directory) out.push_back(dir + e.name);
  return out;
}

std::string ListingText(const std::string& shownPath, const std::vector<ListingEntry>& entries) {
  std::string text = " Directory of " + shownPath + "\n\n";
  double total = 0;
  for (const ListingEntry& e : entries) {
    char line[96];
    std::snprintf(line, sizeof line, "%02d.%02d.%4d  %02d:%02d:%02d  %5s %12.0f ", e.day, e.month, e.year, e.hour,
                  e.minute, e.second, e.directory ? "<DIR>" : "", static_cast<double>(e.size));
    text += line;
    text += e.name;
    text += '\n';
    total += static_cast<double>(e.size);
  }
  char footer[96];
  std::snprintf(footer, sizeof footer, "                 %d File(s)  %12.0f Bytes\n", static_cast<int>(entries.size()),
                total);
  return text + footer;
}

std::string NameListText(const std::vector<std::string>& names) {
  std::string text, line;
  for (const std::string& name : names) {
    if (line.size() >= 60) {
      text += line + '\n';
      line.clear();
    }
    line += name.substr(0, name.size() >= 4 ? name.size() - 4 : 0) + ' ';
  }
  if (!line.empty()) text += line + '\n';
  return text;
}

}  // namespace tarvik::remote
