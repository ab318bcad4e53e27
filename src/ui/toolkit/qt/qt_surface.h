#pragma once
// Drawing surfaces of the Qt backend.
//
// The client area of every document, dialog and child window is a Surface:
// a widget with a backing image. The toolkit's drawing operations paint into
// the image at once and only ask the widget to show the changed part, so
// what a window drew stays until it draws over it; a scroll moves the
// image's pixels. An invalidation is remembered as pending: the next paint
// of the widget first sends the window its Update event (the window paints
// into the image) and then copies the image to the screen.
//
// The surface also turns mouse and keys into toolkit events for its window.

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "ui/toolkit/drawing.h"
#include "ui/toolkit/toolkit.h"

class QFont;
class QFontMetrics;
class QKeyEvent;
class QPixmap;

namespace tarvik::ui {

class QtToolkit;

namespace qtdetail {

QFont toQFont(const FontSpec& font);
// The toolkit's metrics of a Qt font: the line box ascent + descent +
// leading holds every pixel of the font's glyphs.
FontMetrics metricsOf(const QFontMetrics& fm);
// A backing image of a surface of `size` in window coordinates, with the
// widget's dots per inch and the screen's pixels per window pixel.
QImage surfaceImage(const QSize& size, int dpiX, int dpiY, qreal ratio = 1);
// The toolkit key of a Qt key press (0 when it has none) and its modifiers.
int keyOf(const QKeyEvent* e, unsigned* modifiers);
unsigned modifiersOf(Qt::KeyboardModifiers m);
// Icon `number` from the directory, or a null pixmap.
QPixmap iconPixmap(const std::string& directory, int number);
// Draws icon `number` at (x, y), or a framed box with the number.
void paintIcon(class QPainter& p, const std::string& directory, int x, int y, int number);

class Surface;

class QtCanvas final : public Canvas {
 public:
  explicit QtCanvas(Surface* surface) : surface_(surface) {}
  ~QtCanvas() override;
  int width() const override;
  int height() const override;
  void setTools(const DrawTools& tools) override { tools_ = tools; }
  const DrawTools& tools() const override { return tools_; }
  void setFont(const FontSpec& font) override;
  const FontSpec& font() const override { return font_; }
  FontMetrics metrics() const override;
  int textWidth(std::string_view text) const override;
  void drawText(int x, int y, std::string_view text, int len = -1) override;
  void drawRect(const Rect& r) override;
  void drawEllipse(const Rect& r) override;
  void drawLine(Point from, Point to) override;
  void drawIcon(int x, int y, int number) override;
  void setClip(std::optional<Rect> r) override { clip_ = r; }
  void scrollRect(const Rect& r, int dx, int dy) override;
  void invalidate(std::optional<Rect> r = std::nullopt) override;
  void requestPaint() override;
  // The image was made anew (a resize, another screen): its metrics too.
  void forgetFont();
  // Ends the painter the drawing calls share. It stays open while a window
  // draws (all the calls of one Update event use one painter) and ends
  // before the image is shown, moved or replaced.
  void endPainting();

 private:
  // The shared painter on the image, with the canvas's clip.
  QPainter& painter();
  const QFont& qtFont() const;
  const QFontMetrics& qtMetrics() const;
  Surface* surface_;
  DrawTools tools_;
  FontSpec font_;
  std::optional<Rect> clip_;
  mutable std::unique_ptr<QFont> qfont_;
  mutable std::unique_ptr<QFontMetrics> qmetrics_;
  std::unique_ptr<QPainter> painter_;
  bool painterFont_ = false;  // the painter has the canvas's font
};

class Surface : public QWidget {
 public:
  Surface(QtToolkit* tk, WindowId id, bool child, QWidget* parent = nullptr);
  ~Surface() override;

  void detach() { tk_ = nullptr; }
  QImage& image() { return image_; }
  QtCanvas& canvas() { return *canvas_; }
  const std::string& iconDirectory() const;
  // Shows a changed part of the image.
  void showArea(const QRect& r) { update(r); }
  // Pixels of `area` moved by (dx, dy): areas still waiting to be drawn
  // again move with them.
  void movePending(const QRect& area, int dx, int dy);
  // Asks for an Update event for r.
  void invalidateArea(const QRect& r);
  // Asks for one Update event (kUpdateChanges) after the events waiting now;
  // while a window keeps asking (a pane taking a stream of lines), at most
  // one every kStreamPaintMs: no screen shows more, and the lines that
  // scrolled past in between are never drawn.
  void requestChangesPaint();
  static constexpr int kStreamPaintMs = 20;
  // An Update of the window's changes is still to come.
  bool changesPending() const { return changesRequested_; }

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void mouse(QMouseEvent* e, MouseAction action);
  void deliverChanges();
  QtToolkit* tk_;
  WindowId id_;
  bool child_;
  QImage image_;
  QRegion pending_;
  bool changesRequested_ = false;
  QElapsedTimer sinceChanges_;  // since the last Update of the window's changes
  int quickChanges_ = 0;        // such Updates in a row, each soon after the one before
  QTimer changesTimer_;
  int wheelRest_ = 0;  // wheel turn not yet worth a line
  std::unique_ptr<QtCanvas> canvas_;
};

}  // namespace qtdetail
}  // namespace tarvik::ui
