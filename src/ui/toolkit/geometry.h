#pragma once
// Pixel geometry shared by windows, controls and drawing.

namespace tarvik::ui {

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int top = 0, left = 0, bottom = 0, right = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return width() <= 0 || height() <= 0; }
  bool operator==(const Rect&) const = default;
};

}  // namespace tarvik::ui
