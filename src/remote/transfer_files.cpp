#include "remote/transfer_files.h"

#include <filesystem>
#include <fstream>

#include "remote/remote_paths.h"
#include "remote/uuencode.h"

namespace tarvik::remote {

namespace fs = std::filesystem;

std::optional<std::string> ReceivedPath(const std::string& bound, const std::string& directory,
                                        std::string_view name) {
  const auto last = ReceivedFileName(name);
  if (!last) return std::nullopt;
  return ConfinedPath(bound, directory, *last);
}

std::string ShownName(std::string_view name) {
  std::string shown(name.substr(0, 127));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return shown;
}

bool CopyIntoPlace(const std::string& from, const std::string& to) {
  const std::string temporary = to + ".$$$";
  std::error_code ec;
  {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
      fs::remove(temporary, ec);
      return false;
    }
    out << in.rdbuf();
    out.flush();
    // An empty source leaves the stream's fail bit set after <<: the size
    // tells instead.
    if (!out.good() && fs::file_size(from, ec) != 0) {
      out.close();
      fs::remove(temporary, ec);
      return false;
    }
  }
  fs::rename(temporary, to, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (!CopyIntoPlace(from, to)) return false;
  fs::remove(from, ec);
  return true;
}

std::string PartialPath(const std::string& target) { return target + ".part"; }

}  // namespace tarvik::remote
