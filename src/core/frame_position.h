#pragma once
// The saved rectangle of the frame window: "POS/0000.POS" in TMPPATH holds one
// line "top;left;bottom;right;".

#include <string>

#include "ui/toolkit/geometry.h"

namespace tarvik::core {

// Wide enough for the toolbox with its channel bar, and room below it for a
// channel window.
inline constexpr ui::Rect kDefaultFrameRect{20, 0, 720, 900};

std::string FramePositionFile(const std::string& tmpPath);
// The saved rectangle, or the default when the file is missing, unreadable or
// holds a bottom or right below 200.
ui::Rect ReadFramePosition(const std::string& tmpPath);
// Saves the frame's rectangle below its caption (the rectangle that placing
// the frame restores, so a frame does not creep down from start to start);
// frames narrower than 150 pixels are not saved.
bool WriteFramePosition(const std::string& tmpPath, const ui::Rect& rect);

}  // namespace tarvik::core
