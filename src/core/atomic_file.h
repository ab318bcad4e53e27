#pragma once
// Writers never leave a half-written file: the new contents go to a temporary
// file in the same directory, which is then renamed over the original.

#include <string>
#include <string_view>

namespace tarvik::core {

bool WriteFileAtomically(const std::string& path, std::string_view contents);

// A writer killed between writing its temporary file and the rename leaves
// the temporary behind ("<name>.XXXXXX"). At start these are removed: those
// beside `path`, and those in `directory` whose name ends in `extension`
// before the temporary suffix (".POS" for "0001.POS.a8Kd2x"). Only regular
// files of exactly that pattern go.
void RemoveStaleTemporaries(const std::string& path);
void RemoveStaleTemporariesIn(const std::string& directory, std::string_view extension);

}  // namespace tarvik::core
