#pragma once
// Drawing into program-drawn windows.
//
// Every visible window except the frame has a drawing surface: its client
// area. Forms paint fixed texts, header bands and lines on it beneath their
// controls; the text pane, the list control and icon buttons are child
// windows that paint everything themselves. Drawing is retained: what is
// drawn stays until drawn over, so a pane may draw a new line the moment it
// arrives, and scrolling moves what is already there. invalidate() asks for
// an Update event, in which the window repaints the invalid part.
//
// The drawing tools (pen, brush, text colours, font, clip) belong to the
// surface and stay set between calls, as a window's drawing context does.
// Texts are Windows-1252 bytes. Coordinates are client pixels; a text is
// drawn with its baseline at y.

#include <cstdint>
#include <optional>
#include <string_view>

#include "ui/toolkit/font.h"
#include "ui/toolkit/geometry.h"

namespace tarvik::ui {

// A colour: the low 24 bits are RGB (0xRRGGBB). The high byte may name the
// window system's standard colour the value came from (the program's line
// colours carry 0x07 for black, 0x01 for red, 0x03 for blue); drawing looks
// at the RGB part only.
using Color = std::uint32_t;
constexpr Color rgb(int r, int g, int b) {
  return (static_cast<Color>(r & 0xFF) << 16) | (static_cast<Color>(g & 0xFF) << 8) |
         static_cast<Color>(b & 0xFF);
}
constexpr int redOf(Color c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr int greenOf(Color c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(Color c) { return static_cast<int>(c & 0xFF); }
constexpr bool sameRgb(Color a, Color b) { return ((a ^ b) & 0xFFFFFF) == 0; }

inline constexpr Color kBlack = 0x07000000;
inline constexpr Color kRed = 0x01FF0000;
inline constexpr Color kBlue = 0x030000FF;
inline constexpr Color kWhite = 0x08FFFFFF;
inline constexpr Color kGray = rgb(128, 128, 128);
inline constexpr Color kLightGray = rgb(192, 192, 192);
inline constexpr Color kDarkGray = rgb(64, 64, 64);

struct DrawTools {
  Color pen = kBlack;       // lines and rectangle frames
  int penWidth = 1;
  bool penHollow = false;   // no frame around rectangles
  Color brush = kWhite;     // rectangle fill
  bool brushHollow = false; // rectangles are not filled
  Color foreColor = kBlack; // text
  Color backColor = kWhite; // behind text when opaqueText
  bool opaqueText = false;
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  // The client size.
  virtual int width() const = 0;
  virtual int height() const = 0;

  virtual void setTools(const DrawTools& tools) = 0;
  virtual const DrawTools& tools() const = 0;
  virtual void setFont(const FontSpec& font) = 0;
  virtual const FontSpec& font() const = 0;
  virtual FontMetrics metrics() const = 0;
  // Width in pixels of a text in the current font.
  virtual int textWidth(std::string_view text) const = 0;

  // Draws at most len bytes of text (all when len < 0) with its baseline at
  // (x, y) in foreColor, on backColor when opaqueText.
  virtual void drawText(int x, int y, std::string_view text, int len = -1) = 0;
  // Fills with the brush and frames with the pen (right and bottom edges
  // exclusive).
  virtual void drawRect(const Rect& r) = 0;
  virtual void drawLine(Point from, Point to) = 0;
  // An ellipse inside r, filled with the brush and framed with the pen.
  virtual void drawEllipse(const Rect& r) { drawRect(r); }
  // Draws icon `number` with its top left corner at (x, y); an icon the
  // program does not have is drawn as a framed box.
  virtual void drawIcon(int x, int y, int number) = 0;
  // Limits drawing to r; nullopt draws everywhere again.
  virtual void setClip(std::optional<Rect> r) = 0;
  // Moves the pixels inside r by (dx, dy); pixels moved out of r are lost,
  // the strip that was uncovered is invalidated (an Update event follows).
  virtual void scrollRect(const Rect& r, int dx, int dy) = 0;
  // Asks for an Update event for r (the whole client area when nullopt).
  virtual void invalidate(std::optional<Rect> r = std::nullopt) = 0;
  // The window has changes of its own to draw: once the events waiting now
  // have been handled it receives one Update event with id kUpdateChanges
  // (and no rectangle), however often it asked meanwhile. A window that
  // takes many small changes in a row draws them together that way.
  virtual void requestPaint() = 0;
};

// Fills r with `colour`, without a frame; the canvas keeps that brush.
void FillRect(Canvas& canvas, const Rect& r, Color colour);

}  // namespace tarvik::ui
