#pragma once
// The display file of a list control: a text file of lines that all have
// the same length, so that line n starts at byte n * record length and a
// list of any size is shown by reading only the rows in view.
//
// The record length is the length of the first line with its line end (LF,
// or CR LF in a file that has them). A line whose characters are all CR is
// a deleted line: it keeps its place (the offsets of the others stay) but
// is neither shown nor selectable. Fields inside a line are separated by
// TAB; owners write them with fixed widths.
//
// Every change is written whole through a temporary file and a rename, so
// a program killed at any moment leaves the old or the new file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::ui {

inline constexpr std::size_t kListLineMax = 255;  // characters read of a line

struct ListRow {
  std::string text;        // without its line end, at most kListLineMax characters
  std::size_t offset = 0;  // where the line starts in the file
  bool wrongLength = false;
};

class ListFile {
 public:
  ListFile() = default;
  explicit ListFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  // Takes the size and the record length from the file; false when it
  // cannot be opened (an empty path opens as an empty list).
  bool Open();
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  std::size_t recordLength() const { return record_; }
  // Characters of a line without its line end (record length minus it).
  std::size_t textLength() const { return record_ - lineEnd_; }

  // Up to `count` shown lines from `offset` on (deleted lines skipped).
  std::vector<ListRow> Read(std::size_t offset, std::size_t count) const;
  // All shown lines.
  std::vector<ListRow> ReadAll() const { return Read(0, static_cast<std::size_t>(-1)); }
  // The line at `offset` (deleted lines count as none).
  std::optional<std::string> LineAt(std::size_t offset) const;
  // The offset of the shown line `steps` lines before (negative) or after
  // `offset`, stopping at the first or last shown line.
  std::size_t Step(std::size_t offset, long steps) const;
  std::size_t LastOffset() const;

  // Whether a text fits as a line: its length is the record's text length
  // (an empty file takes any length).
  bool Fits(std::string_view text) const { return empty() || text.size() == textLength(); }

  enum class Where { BeforeOffset, AfterOffset, Top, End };
  // Writes the file anew with `text` inserted; returns the new line's
  // offset, nothing when it does not fit or cannot be written.
  std::optional<std::size_t> Insert(std::string_view text, Where where, std::size_t offset = 0);
  // Overwrites the line at `offset` (same length) or deletes it (all CR).
  bool Overwrite(std::size_t offset, std::string_view text);
  bool Delete(std::size_t offset);
  // The offset of the first shown line whose field `field` (TAB-separated,
  // blanks around it ignored) equals `key`.
  std::optional<std::size_t> FindByKey(int field, std::string_view key) const;

 private:
  std::optional<std::string> Contents() const;
  bool Write(const std::string& contents);

  std::string path_;
  std::size_t size_ = 0;
  std::size_t record_ = 0;
  std::size_t lineEnd_ = 1;
};

// Field `n` of a TAB-separated line, blanks around it removed.
std::string_view ListField(std::string_view line, int n);

// Sorts the shown lines of a display file by field `field`, in runs of 100
// lines written to `tmpPath` and merged in pairs, the result written over
// the file (deleted lines are dropped). A field of digits sorts by value,
// a date field (digits and ".:-/, ") descending by its day, anything else
// by byte order; the kind is taken from the first 100 lines that hold at
// least 5 characters. False when a file cannot be read or written.
bool SortListFile(const std::string& path, int field, const std::string& tmpPath);

}  // namespace tarvik::ui
