#pragma once
// Files a connected station may name, and the texts built from directories.
//
// Every name a station sends arrives untrusted. Before the remote service
// touches the disk it turns the name into a path under one bound
// directory (the level's HOME, PUBPATH or SAVEPATH) and proves, on the
// resolved path with symlinks followed, that the result is still inside
// that bound. Names with "..", absolute names, control bytes or symlinks
// leading out never reach a file operation. "\" in a name is read as "/".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

inline constexpr std::size_t kNameLimit = 127;

// True when `path` (resolved, symlinks followed as far as they exist) lies
// at or below `bound`. Both may be relative to the working directory. An
// empty bound contains nothing.
bool Within(const std::string& bound, const std::string& path);

// A station's file name or pattern: "\" read as "/", then refused (nothing)
// when it is empty, longer than kNameLimit, holds control bytes, is
// absolute or has a ".." part.
std::optional<std::string> CleanName(std::string_view name);

// directory + a clean name, when the result stays within `bound`.
std::optional<std::string> ConfinedPath(const std::string& bound, const std::string& directory,
                                        std::string_view name);

// DOS-style wildcard match ("*", "?"), without regard to case; "*.*"
// matches every name, also one without a dot.
bool WildcardMatch(std::string_view pattern, std::string_view name);
bool HasWildcard(std::string_view name);

// The regular files of `directory` whose names match `pattern`, sorted,
// as full paths; entries whose target lies outside `bound` are left out.
std::vector<std::string> MatchingFiles(const std::string& bound, const std::string& directory,
                                       std::string_view pattern);

// One entry of a directory listing.
struct ListingEntry {
  int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  bool directory = false;
  std::uintmax_t size = 0;
  std::string name;
};

// The entries of `directory` matching `pattern` (files and directories),
// sorted by name; entries leading outside `bound` are left out.
std::vector<ListingEntry> ListDirectory(const std::string& bound, const std::string& directory,
                                        std::string_view pattern);

// The listing text: " Directory of %s\n\n", one line per entry, the total.
std::string ListingText(const std::string& shownPath, const std::vector<ListingEntry>& entries);

// Names without their last four characters, each followed by a blank, in
// lines that end once they reached 60 characters.
std::string NameListText(const std::vector<std::string>& names);

}  // namespace tarvik::remote
