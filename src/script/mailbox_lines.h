#pragma once
// Lines of a mailbox's check lists and file lists.
//
// A mailbox definition describes the columns of a list line with a line
// format, a row of items "!NAME(n)" (a word of at most n - 1 characters up
// to the separator character that follows the item) or "!NAME(a,b)" (the
// columns a to b of the line, counted from 0). The separator is the one
// character after ")", a TAB when the format ends there; text between
// items is ignored. Names: CNUM, ABS, FILE, FNUM, DATUM, MBX, LEN, LTIM,
// TITLE, and DMY for a column that is skipped. A format with any other name
// matches every line with all fields empty.
//
// Recorded entries go to the station's list file, one line each; a check
// list entry read back from that file becomes the script variables CHK_*.
// List lines come from the air: every field is bounded, and control bytes
// never reach the list file (a TAB or line end there would break its
// columns apart).

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "script/variables.h"

namespace tarvik::script {

enum class ListField : int { Cnum, Abs, File, Fnum, Datum, Mbx, Len, Ltim, Title, Dmy };
inline constexpr int kListFieldCount = 9;  // without DMY
// The characters each field keeps.
inline constexpr std::array<std::size_t, kListFieldCount> kListFieldSize = {11, 9, 32, 11, 19, 11, 11, 11, 59};
inline constexpr std::size_t kLineFormatItems = 14;

struct ListEntry {
  std::array<std::string, kListFieldCount> fields;
  std::string& operator[](ListField f) { return fields[static_cast<std::size_t>(f)]; }
  const std::string& operator[](ListField f) const { return fields[static_cast<std::size_t>(f)]; }
};

struct LineItem {
  ListField field = ListField::Dmy;
  bool columns = false;  // columns first..last instead of a word
  int first = 0, last = 0;
  int width = 0;  // a word keeps at most width - 1 characters
  char separator = '\t';
};

struct LineFormat {
  std::vector<LineItem> items;
  bool matchesEmpty = false;  // an unknown name: every line, no fields
  bool empty() const { return items.empty() && !matchesEmpty; }
};

LineFormat CompileLineFormat(std::string_view value);
// The entry a list line gives under a format.
ListEntry MatchListLine(const LineFormat& format, std::string_view line);
// The line of the list file for an entry, without the line feed:
// DATUM, ABS, FILE, MBX, FNUM, LEN, TITLE in fixed columns.
std::string ListFileLine(const ListEntry& entry);
// A check-list entry (a list file line) as the variables CHK_DATE,
// CHK_CALL, CHK_FILE, CHK_MBX, CHK_FNUM and CHK_TITLE.
void CheckListVariables(std::string_view entry, VariableTable& variables);
// The list file's name for a station: the call without SSID (at most 8
// characters), then "a" + SSID for a call written with "-" and an SSID
// 0..15. Only letters, digits and "-" of the call are kept, so that no
// call names a file elsewhere.
std::string ListFileStem(std::string_view call);

}  // namespace tarvik::script
