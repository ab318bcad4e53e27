// Sorting a display file by one column, in runs of 100 lines merged in
// pairs, so that a list of any size is sorted in little memory.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "core/atomic_file.h"
#include "ui/list_file.h"

namespace tarvik::ui {

namespace {

constexpr std::size_t kRunLines = 100;
constexpr std::size_t kKeyLength = 32;

enum class Kind { Number, Date, Text };

bool AllOf(std::string_view s, std::string_view allowed) {
  return s.find_first_not_of(allowed) == std::string_view::npos;
}

Kind KindOf(const std::vector<std::string>& lines, int field) {
  Kind kind = Kind::Number;
  std::size_t looked = 0;
  for (const std::string& line : lines) {
    if (looked == kRunLines) break;
    if (line.size() < 5) continue;
    ++looked;
    const std::string_view f = ListField(line, field);
    if (f.empty()) continue;
    if (AllOf(f, "0123456789")) continue;
    if (AllOf(f, "0123456789.: -/,")) {
      kind = Kind::Date;
      continue;
    }
    return Kind::Text;
  }
  return kind;
}

long DateKey(std::string_view f) {
  long parts[3] = {0, 0, 0};
  for (long& p : parts) {
    p = std::atol(std::string(f.substr(0, f.find('.'))).c_str());
    const std::size_t dot = f.find('.');
    if (dot == std::string_view::npos) break;
    f.remove_prefix(dot + 1);
  }
  return parts[2] * 10000 + parts[1] * 100 + parts[0];
}

// True when a goes strictly before b.
std::function<bool(const std::string&, const std::string&)> Order(Kind kind, int field) {
  switch (kind) {
    case Kind::Number:
      return [field](const std::string& a, const std::string& b) {
        return std::strtoll(std::string(ListField(a, field)).c_str(), nullptr, 10) <
               std::strtoll(std::string(ListField(b, field)).c_str(), nullptr, 10);
      };
    case Kind::Date:
      return [field](const std::string& a, const std::string& b) {
        return DateKey(ListField(a, field)) > DateKey(ListField(b, field));
      };
    case Kind::Text: break;
  }
  return [field](const std::string& a, const std::string& b) {
    return ListField(a, field).substr(0, kKeyLength) < ListField(b, field).substr(0, kKeyLength);
  };
}

std::string RunName(const std::string& tmpPath, int pass, int run) {
  char name[48];
  std::snprintf(name, sizeof name, "%dS%d.$$$", pass, run);
  return tmpPath + name;
}

// Merges two run files into `out`, the first run's line first on equal
// keys.
bool Merge(const std::string& a, const std::string& b, std::string& out,
           const std::function<bool(const std::string&, const std::string&)>& before) {
  std::ifstream ia(a, std::ios::binary), ib(b, std::ios::binary);
  if (!ia || !ib) return false;
  std::string la, lb;
  bool ha = static_cast<bool>(std::getline(ia, la)), hb = static_cast<bool>(std::getline(ib, lb));
  while (ha || hb) {
    if (ha && (!hb || !before(lb, la))) {
      out += la + "\n";
      ha = static_cast<bool>(std::getline(ia, la));
    } else {
      out += lb + "\n";
      hb = static_cast<bool>(std::getline(ib, lb));
    }
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

bool SortListFile(const std::string& path, int field, const std::string& tmpPath) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // The kind of the column, from the head of the file.
  std::vector<std::string> head;
  std::vector<std::string> group;
  std::string line;
  while (head.size() < kRunLines && std::getline(in, line))
    if (line.find_first_not_of('\r') != std::string::npos) head.push_back(line);
  const auto before = Order(KindOf(head, field), field);

  // Runs of 100 lines, each sorted.
  std::vector<std::string> runs;
  auto flush = [&]() {
    if (group.empty()) return true;
    std::stable_sort(group.begin(), group.end(), before);
    std::string text;
    for (const std::string& l : group) text += l + "\n";
    runs.push_back(RunName(tmpPath, 0, static_cast<int>(runs.size())));
    group.clear();
    return core::WriteFileAtomically(runs.back(), text);
  };
  for (std::string& l : head) {
    group.push_back(std::move(l));
    if (group.size() == kRunLines && !flush()) return false;
  }
  while (std::getline(in, line)) {
    if (line.find_first_not_of('\r') == std::string::npos) continue;  // a deleted line
    group.push_back(line);
    if (group.size() == kRunLines && !flush()) return false;
  }
  if (!flush()) return false;
  in.close();
  if (runs.empty()) return true;

  std::error_code ec;
  int pass = 0;
  while (runs.size() > 2) {
    ++pass;
    std::vector<std::string> next;
    for (std::size_t i = 0; i < runs.size(); i += 2) {
      const std::string target = RunName(tmpPath, pass, static_cast<int>(next.size()));
      if (i + 1 == runs.size()) {
        std::filesystem::rename(runs[i], target, ec);  // an odd last run moves on unchanged
        if (ec) return false;
      } else {
        std::string merged;
        if (!Merge(runs[i], runs[i + 1], merged, before) || !core::WriteFileAtomically(target, merged)) return false;
        std::filesystem::remove(runs[i], ec);
        std::filesystem::remove(runs[i + 1], ec);
      }
      next.push_back(target);
    }
    runs = std::move(next);
  }
  std::string result;
  if (runs.size() == 2) {
    if (!Merge(runs[0], runs[1], result, before)) return false;
  } else {
    result = ReadFile(runs[0]);
  }
  const bool written = core::WriteFileAtomically(path, result);
  for (const std::string& r : runs) std::filesystem::remove(r, ec);
  return written;
}

}  // namespace tarvik::ui
