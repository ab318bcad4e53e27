#include "remote/remote_paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace tarvik::remote {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> Resolved(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return std::nullopt;
  fs::path resolved = fs::weakly_canonical(absolute, ec);
  if (ec) return std::nullopt;
  return resolved;
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

bool Within(const std::string& bound, const std::string& path) {
  if (bound.empty()) return false;
  const auto b = Resolved(bound);
  const auto p = Resolved(path);
  if (!b || !p) return false;
  auto bi = b->begin(), pi = p->begin();
  for (; bi != b->end(); ++bi, ++pi) {
    if (bi->empty()) continue;  // the empty last part of "dir/"
    if (pi == p->end() || *bi != *pi) return false;
  }
  return true;
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
