#pragma once
// The tokenizer every line parser of the program is built on. Fields are cut
// like fixed C buffers were: `size` counts the terminating byte, so at most
// size - 1 characters are kept.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::core {

// Copies the text before the first `separator` of `source` into `destination`
// (when there is no separator: the rest of the text without trailing CR and
// LF), at most size - 1 characters, with trailing blanks and tabs removed
// unless `keepBlanks` is set.
//
// Returns the text after the separator, or an empty view at the end of the
// source when there was no separator. A source that is empty or begins with
// CR or LF yields an empty destination and no result, so a loop
//   for (auto rest = GetField(text, field, ',', n); rest;
//        rest = GetField(*rest, field, ',', n)) { use(field); }
// ends one call after the last field.
std::optional<std::string_view> GetField(std::string_view source, std::string& destination,
                                         char separator, std::size_t size,
                                         bool keepBlanks = false);

}  // namespace tarvik::core
