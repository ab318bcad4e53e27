#pragma once
// Character-set conversion between the line and the screen.
//
// Other stations' terminals send text in whatever character set they use;
// the program shows and edits text as Windows-1252 bytes. Every channel (and
// conversation-watch window) has one conversion mode: received text is
// converted just before it is shown, text the operator, a macro or a script
// sends is converted just before it is handed to the link. File transfers
// are never converted.
//
// Conversions are byte for byte and in place: a text never changes length.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvik::channels {

// The modes; the numbers are the values channels store and the names are
// the channel window's option keywords and the values of CHRSET.
enum class CharsetMode : int {
  German7 = 0,      // "7BITGR": ASCII with the German umlauts on []{}|\~
  Us7 = 1,          // "7BITUS": plain ASCII
  Ibm8 = 2,         // "8BITIBM": the IBM PC character set, by the program's own tables
  Oem8 = 3,         // "8BITOEM": code page 437 <-> Windows-1252 through iconv
  Untranslated = 4, // "UNTRANS": bytes as they are
};

inline constexpr int kCharsetModeCount = 5;

// A conversion looks at no more than this many bytes of a text; the rest is
// left as it is.
inline constexpr std::size_t kConvertLimit = 2048;

// Converts line bytes to screen bytes, in place. Stops at the first NUL byte
// or after kConvertLimit bytes. A mode outside 0..4 leaves the text alone.
void ConvertReceived(std::span<char> text, int mode);
void ConvertReceived(std::string& text, int mode);

// Converts screen bytes to line bytes, in place; limits as ConvertReceived.
void ConvertSent(std::span<char> text, int mode);
void ConvertSent(std::string& text, int mode);

// The keyword of a mode ("7BITGR" ...), empty for numbers outside 0..4.
std::string_view CharsetModeName(int mode);

// The mode a keyword names; only the five exact upper-case names count.
std::optional<int> CharsetModeByName(std::string_view name);

// The mode a new channel or conversation-watch window starts with: the one
// CHRSET names, or 0 ("7BITGR") for any other value.
int InitialCharsetMode(std::string_view chrsetSetting);

}  // namespace tarvik::channels
