#pragma once
// Files a connected station may name, and the texts built from directories.
//
// Every name a station sends arrives untrusted. Before the remote service
// touches the disk it turns the name into a path under one bound
// directory (the level's HOME, PUBPATH or SAVEPATH), and every file it
// opens, creates, probes or deletes there is reached from a descriptor of
// the bound with the kernel resolving each component beneath it
// (openat2 RESOLVE_BENEATH): a symlink anywhere on the way that leads out,
// dangling or not, fails the operation instead of being followed. Names
// with "..", absolute names and control bytes are refused before that.
// "\" in a name is read as "/".
//
// Only regular files are opened for a station: the type is checked on a
// path descriptor first and again on the opened file, which is opened
// without blocking, so a FIFO or a device named by a station never stalls
// the program.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

inline constexpr std::size_t kNameLimit = 127;

// An open file descriptor, closed when it goes.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor();
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// What a path below a bound is, resolved beneath the bound.
enum class PathKind {
  Outside,    // not below the bound, or a link on the way leads out
  Missing,    // nothing there yet; its directory is inside the bound
  Regular,
  Directory,
  Other,      // FIFO, device, socket, or a link whose target is missing
};
PathKind KindOf(const std::string& bound, const std::string& path);

// True when `path` lies at or below `bound`, every link on the way
// resolving inside it (a path not there yet counts when its directory
// does). Both may be relative to the working directory. An empty bound
// contains nothing.
bool Within(const std::string& bound, const std::string& path);

// Opens an existing regular file below the bound with `flags` (O_RDONLY,
// O_WRONLY ...; never blocks on the open). An invalid descriptor for
// anything else.
Descriptor OpenRegular(const std::string& bound, const std::string& path, int flags);
// Creates a new regular file below the bound (never through a link, never
// over an existing name).
Descriptor CreateNew(const std::string& bound, const std::string& path, mode_t mode = 0644);
// Deletes a regular file below the bound (not a link, not a directory);
// false for anything else.
bool RemoveFile(const std::string& bound, const std::string& path);
// True when the directory below the bound takes a new file: "$.$" is
// created and deleted again. An existing "$.$" is left as it is (the
// directory's write permission is asked instead).
bool DirectoryTakesFiles(const std::string& bound, const std::string& directory);

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
