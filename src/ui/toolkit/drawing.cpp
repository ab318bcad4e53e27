#include "ui/toolkit/drawing.h"

namespace tarvik::ui {

void FillRect(Canvas& canvas, const Rect& r, Color colour) {
  DrawTools t = canvas.tools();
  t.brush = colour;
  t.brushHollow = false;
  t.penHollow = true;
  canvas.setTools(t);
  canvas.drawRect(r);
}

}  // namespace tarvik::ui
