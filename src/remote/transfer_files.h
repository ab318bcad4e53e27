#pragma once
// Files a transfer writes: received data never replaces a file until it is
// complete, and a received name never leaves the directory it is meant for.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::remote {

// directory + the last part of a name from the air, when that part is a
// usable name and the result stays inside `bound` (see remote_paths.h).
std::optional<std::string> ReceivedPath(const std::string& bound, const std::string& directory,
                                        std::string_view name);

// A name as it may be shown: control bytes become "?", at most 127
// characters.
std::string ShownName(std::string_view name);

// Copies `from` over `to` through a temporary file beside `to`, renamed
// at the end: `to` is either its old self or the whole copy. False when
// the copy failed (`to` untouched).
bool CopyIntoPlace(const std::string& from, const std::string& to);

// Renames `from` over `to`; falls back to CopyIntoPlace (and removes
// `from`) when both lie on different file systems.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// A name beside `target` for its incomplete contents ("target.part").
std::string PartialPath(const std::string& target);

}  // namespace tarvik::remote
