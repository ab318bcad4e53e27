#pragma once
// The drawing surface of the headless backend.
//
// Nothing is drawn, but what a window draws is kept in a form a test can
// read: the texts on the surface with their positions and colours (a fill
// or an opaque text covers what lay beneath, a scroll moves them), and, when
// a test asks for it, a log of every other drawing call. Without the log a
// surface holds no more than what is on it, so a station without a display
// runs for weeks in the same memory. Font metrics are fixed numbers derived
// from the point size, so layouts computed from them are reproducible:
// every character is charWidth wide, ascent = size, descent = (size+3)/4,
// leading = 1, charWidth = (size*6+5)/10.

#include <functional>
#include <string>
#include <vector>

#include "ui/toolkit/drawing.h"

namespace tarvik::ui {

FontMetrics headlessMetrics(const FontSpec& font);

class HeadlessCanvas final : public Canvas {
 public:
  // size() gives the current client size; invalidated(r) records a rectangle
  // that needs an Update event, paintRequested() a request for the Update
  // event of the window's own changes.
  HeadlessCanvas(std::function<Rect()> client, std::function<void(const Rect&)> invalidated,
                 std::function<void()> paintRequested)
      : client_(std::move(client)),
        invalidated_(std::move(invalidated)),
        paintRequested_(std::move(paintRequested)) {}

  int width() const override { return client_().width(); }
  int height() const override { return client_().height(); }
  void setTools(const DrawTools& tools) override { tools_ = tools; }
  const DrawTools& tools() const override { return tools_; }
  void setFont(const FontSpec& font) override { font_ = font; }
  const FontSpec& font() const override { return font_; }
  FontMetrics metrics() const override { return headlessMetrics(font_); }
  int textWidth(std::string_view text) const override;

  void drawText(int x, int y, std::string_view text, int len = -1) override;
  void drawRect(const Rect& r) override;
  void drawEllipse(const Rect& r) override;
  void drawLine(Point from, Point to) override;
  void drawIcon(int x, int y, int number) override;
  void setClip(std::optional<Rect> r) override { clip_ = r; }
  void scrollRect(const Rect& r, int dx, int dy) override;
  void invalidate(std::optional<Rect> r = std::nullopt) override;
  void requestPaint() override { paintRequested_(); }

  // A text on the surface: x and the baseline y where it starts.
  struct Text {
    int x = 0, y = 0;
    std::string text;
    Color fore = kBlack;
    Color back = kWhite;  // the fill beneath, when known
  };
  // The texts, top to bottom, left to right.
  std::vector<Text> texts() const;
  // The texts on each baseline joined in x order with single blanks, top
  // to bottom: roughly what an operator reads off the surface.
  std::vector<std::string> rows() const;
  // Lines, rectangles and icons as "line x1,y1 x2,y2", "rect t,l,b,r",
  // "icon n x,y", "scroll t,l,b,r dx,dy", kept while recording is on.
  const std::vector<std::string>& log() const { return log_; }
  void clearLog() { log_.clear(); }
  void setRecording(bool on) { recording_ = on; }
  // Without keeping, the surface is a sink: drawing calls do nothing and a
  // scroll uncovers nothing to draw again (a station without a display,
  // where nobody reads the surface).
  void setKeeping(bool on) { keeping_ = on; }

 private:
  Rect box(const Text& t) const;
  std::function<Rect()> client_;
  std::function<void(const Rect&)> invalidated_;
  std::function<void()> paintRequested_;
  DrawTools tools_;
  FontSpec font_;
  std::optional<Rect> clip_;
  std::vector<Text> texts_;
  std::vector<std::string> log_;
  bool recording_ = false;
  bool keeping_ = true;
  // Fill colour under points, remembered per filled rectangle (newest last)
  // so that texts know their background.
  std::vector<std::pair<Rect, Color>> fills_;
};

}  // namespace tarvik::ui
