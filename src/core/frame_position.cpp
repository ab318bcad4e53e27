#include "core/frame_position.h"

#include <cstdio>
#include <filesystem>

#include "core/atomic_file.h"

namespace tarvik::core {

std::string FramePositionFile(const std::string& tmpPath) { return tmpPath + "POS/0000.POS"; }

ui::Rect ReadFramePosition(const std::string& tmpPath) {
  std::FILE* f = std::fopen(FramePositionFile(tmpPath).c_str(), "r");
  if (!f) return kDefaultFrameRect;
  ui::Rect r;
  const int n = std::fscanf(f, "%d;%d;%d;%d;", &r.top, &r.left, &r.bottom, &r.right);
  std::fclose(f);
  if (n != 4 || r.bottom < 200 || r.right < 200) return kDefaultFrameRect;
  return r;
}

bool WriteFramePosition(const std::string& tmpPath, const ui::Rect& rect) {
  if (rect.width() < 150) return false;
  std::error_code ec;
  std::filesystem::create_directories(tmpPath + "POS", ec);
  char line[64];
  std::snprintf(line, sizeof line, "%d;%d;%d;%d;\n", rect.top, rect.left, rect.bottom,
                rect.right);
  return WriteFileAtomically(FramePositionFile(tmpPath), line);
}

}  // namespace tarvik::core
