#pragma once
// Writers never leave a half-written file: the new contents go to a temporary
// file in the same directory, which is then renamed over the original.

#include <string>
#include <string_view>

namespace tarvik::core {

bool WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace tarvik::core
