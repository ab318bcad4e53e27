#include "ui/toolkit/qt/qt_surface.h"

#include <QCoreApplication>
#include <QFile>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyle>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ui/toolkit/qt/cp1252.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui::qtdetail {

namespace {

QColor toQColor(Color c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }
QRect toQRect(const Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

}  // namespace

FontMetrics metricsOf(const QFontMetrics& fm) {
  // Ascent and descent as whole pixels that hold the glyphs: Qt rounds
  // them from the font's design units, and a descender may reach one pixel
  // further than the rounded descent says.
  return FontMetrics{fm.ascent(), fm.descent() + 1, std::max(0, fm.leading()), fm.averageCharWidth()};
}

QImage surfaceImage(const QSize& size, int dpiX, int dpiY, qreal ratio) {
  // As many pixels as the screen shows in that size: drawing stays in the
  // window's own coordinates and is as sharp at any scale.
  ratio = std::max<qreal>(1, ratio);
  QImage image(std::max(1, qCeil(size.width() * ratio)), std::max(1, qCeil(size.height() * ratio)),
               QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  // Text drawn into the image has the size it has in the window's widgets.
  image.setDotsPerMeterX(qRound(dpiX / 0.0254));
  image.setDotsPerMeterY(qRound(dpiY / 0.0254));
  return image;
}

namespace {
// A rectangle of the window in the image's own pixels.
QRect inPixels(const QRect& r, qreal ratio) {
  return QRect(qFloor(r.x() * ratio), qFloor(r.y() * ratio), qCeil(r.width() * ratio), qCeil(r.height() * ratio));
}
}  // namespace

QFont toQFont(const FontSpec& font) {
  QString family = QString::fromLatin1(font.family.c_str()).toLower();
  QFont f;
  // The descriptions name the classic families; map them onto what any
  // desktop has.
  if (family == QLatin1String("helvetica") || family == QLatin1String("arial") ||
      family == QLatin1String("system")) {
    f.setFamily(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
  } else if (family == QLatin1String("courier") || family == QLatin1String("fixed") ||
             family == QLatin1String("terminal")) {
    f.setFamily(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
  } else if (family == QLatin1String("times")) {
    f.setFamily(QStringLiteral("DejaVu Serif"));
    f.setStyleHint(QFont::Serif);
  } else {
    f.setFamily(QString::fromLatin1(font.family.c_str()));
  }
  f.setPointSize(std::max(1, font.size));
  f.setBold((font.style & kFontBold) != 0);
  f.setItalic((font.style & kFontItalic) != 0);
  f.setUnderline((font.style & kFontUnderline) != 0);
  return f;
}

unsigned modifiersOf(Qt::KeyboardModifiers m) {
  unsigned out = 0;
  if (m & Qt::ShiftModifier) out |= kModShift;
  if (m & Qt::ControlModifier) out |= kModControl;
  if (m & Qt::AltModifier) out |= kModAlt;
  return out;
}

int keyOf(const QKeyEvent* e, unsigned* modifiers) {
  unsigned mods = modifiersOf(e->modifiers());
  int key = 0;
  switch (e->key()) {
    case Qt::Key_Backspace: key = kKeyBackspace; break;
    case Qt::Key_Tab: key = kKeyTab; break;
    case Qt::Key_Backtab: key = kKeyTab; mods |= kModShift; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: key = kKeyEnter; break;
    case Qt::Key_Escape: key = kKeyEscape; break;
    case Qt::Key_Up: key = kKeyUp; break;
    case Qt::Key_Down: key = kKeyDown; break;
    case Qt::Key_Left: key = kKeyLeft; break;
    case Qt::Key_Right: key = kKeyRight; break;
    case Qt::Key_PageUp: key = kKeyPageUp; break;
    case Qt::Key_PageDown: key = kKeyPageDown; break;
    case Qt::Key_Home: key = kKeyHome; break;
    case Qt::Key_End: key = kKeyEnd; break;
    case Qt::Key_Insert: key = kKeyInsert; break;
    case Qt::Key_Delete: key = kKeyDelete; break;
    default:
      if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12) {
        key = kKeyF1 + (e->key() - Qt::Key_F1);
      } else if (!e->text().isEmpty()) {
        const std::string b = toCp1252(e->text().left(1));
        if (!b.empty() && b[0] != '\0') key = static_cast<unsigned char>(b[0]);
        // With Alt the text may be empty or odd: take the key's letter.
      } else if ((mods & kModAlt) && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) {
        key = 'A' + (e->key() - Qt::Key_A);
      } else if ((mods & kModAlt) && e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9) {
        key = '0' + (e->key() - Qt::Key_0);
      }
  }
  if (modifiers) *modifiers = mods;
  return key;
}

QPixmap iconPixmap(const std::string& directory, int number) {
  if (directory.empty()) return {};
  std::string dir = directory;
  if (dir.back() != '/') dir += '/';
  for (const char* ext : {".png", ".bmp", ".ico", ".xpm"}) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(dir + std::to_string(number) + ext));
    if (QFile::exists(path)) {
      QPixmap pm(path);
      if (!pm.isNull()) return pm;
    }
  }
  return {};
}

void paintIcon(QPainter& p, const std::string& directory, int x, int y, int number) {
  const QPixmap pm = iconPixmap(directory, number);
  if (!pm.isNull()) {
    p.drawPixmap(x, y, pm);
    return;
  }
  // No picture for this icon: a framed box that still tells which one.
  const QRect box(x, y, 32, 32);
  p.save();
  p.fillRect(box, QColor(192, 192, 192));
  p.setPen(Qt::black);
  p.drawRect(box.adjusted(0, 0, -1, -1));
  QFont f = p.font();
  f.setPointSize(7);
  p.setFont(f);
  p.drawText(box, Qt::AlignCenter, QString::number(number));
  p.restore();
}

// --- canvas -----------------------------------------------------------------

int QtCanvas::width() const { return surface_->width(); }
int QtCanvas::height() const { return surface_->height(); }

// Metrics are taken on the image the text is drawn into, so that a line
// box computed from them holds every pixel the drawing makes.
QtCanvas::~QtCanvas() { endPainting(); }

FontMetrics QtCanvas::metrics() const { return metricsOf(qtMetrics()); }

int QtCanvas::textWidth(std::string_view text) const {
  return qtMetrics().horizontalAdvance(fromCp1252(text));
}

// The Qt font and its metrics on the image are looked up once per font, not
// for every text drawn.
const QFont& QtCanvas::qtFont() const {
  if (!qfont_) qfont_ = std::make_unique<QFont>(toQFont(font_));
  return *qfont_;
}

const QFontMetrics& QtCanvas::qtMetrics() const {
  if (!qmetrics_) qmetrics_ = std::make_unique<QFontMetrics>(qtFont(), &surface_->image());
  return *qmetrics_;
}

void QtCanvas::setFont(const FontSpec& font) {
  if (font == font_) return;
  font_ = font;
  forgetFont();
}

void QtCanvas::forgetFont() {
  endPainting();
  qmetrics_.reset();
  qfont_.reset();
}

void QtCanvas::endPainting() {
  if (painter_) painter_->end();
  painter_.reset();
  painterFont_ = false;
}

QPainter& QtCanvas::painter() {
  if (!painter_) painter_ = std::make_unique<QPainter>(&surface_->image());
  if (clip_) {
    painter_->setClipRect(toQRect(*clip_));
  } else {
    painter_->setClipping(false);
  }
  return *painter_;
}

void QtCanvas::drawText(int x, int y, std::string_view text, int len) {
  if (len >= 0 && static_cast<std::size_t>(len) < text.size()) text = text.substr(0, len);
  if (text.empty()) return;
  const QString s = fromCp1252(text);
  QPainter& p = painter();
  if (!painterFont_) {
    p.setFont(qtFont());
    painterFont_ = true;
  }
  const QFontMetrics& fm = qtMetrics();
  // Only an opaque text needs its width; otherwise what is shown again runs
  // to the clip's or the surface's right edge.
  const int right = clip_ ? clip_->right : surface_->width();
  const int width = tools_.opaqueText ? fm.horizontalAdvance(s) : std::max(0, right - x);
  const QRect box(x, y - fm.ascent(), width, fm.ascent() + fm.descent());
  if (tools_.opaqueText) p.fillRect(box, toQColor(tools_.backColor));
  p.setPen(toQColor(tools_.foreColor));
  p.drawText(QPoint(x, y), s);
  surface_->showArea(box.adjusted(-2, -2, 2, 2));
}

void QtCanvas::drawRect(const Rect& r) {
  if (r.empty()) return;
  QPainter& p = painter();
  const QRect q = toQRect(r);
  if (!tools_.brushHollow) p.fillRect(q, toQColor(tools_.brush));
  if (!tools_.penHollow && std::max(1, tools_.penWidth) == 1) {
    // A frame of one pixel: the four sides as filled strips, the same pixels
    // the pen gives and far cheaper than stroking.
    const QColor colour = toQColor(tools_.pen);
    p.fillRect(QRect(q.left(), q.top(), q.width(), 1), colour);
    p.fillRect(QRect(q.left(), q.bottom(), q.width(), 1), colour);
    p.fillRect(QRect(q.left(), q.top(), 1, q.height()), colour);
    p.fillRect(QRect(q.right(), q.top(), 1, q.height()), colour);
  } else if (!tools_.penHollow) {
    QPen pen(toQColor(tools_.pen));
    pen.setWidth(tools_.penWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(q.adjusted(0, 0, -1, -1));
  }
  surface_->showArea(q);
}

void QtCanvas::drawEllipse(const Rect& r) {
  if (r.empty()) return;
  QPainter& p = painter();
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(tools_.brushHollow ? QBrush(Qt::NoBrush) : QBrush(toQColor(tools_.brush)));
  if (tools_.penHollow) {
    p.setPen(Qt::NoPen);
  } else {
    QPen pen(toQColor(tools_.pen));
    pen.setWidth(std::max(1, tools_.penWidth));
    p.setPen(pen);
  }
  const QRect q = toQRect(r);
  p.drawEllipse(QRectF(q).adjusted(0.5, 0.5, -0.5, -0.5));
  p.restore();
  surface_->showArea(q);
}

void QtCanvas::drawLine(Point from, Point to) {
  QPainter& p = painter();
  QPen pen(toQColor(tools_.pen));
  pen.setWidth(std::max(1, tools_.penWidth));
  p.setPen(pen);
  p.drawLine(from.x, from.y, to.x, to.y);
  const int w = std::max(1, tools_.penWidth);
  surface_->showArea(QRect(QPoint(std::min(from.x, to.x), std::min(from.y, to.y)),
                           QPoint(std::max(from.x, to.x), std::max(from.y, to.y)))
                         .adjusted(-w, -w, w, w));
}

void QtCanvas::drawIcon(int x, int y, int number) {
  QPainter& p = painter();
  p.save();
  paintIcon(p, surface_->iconDirectory(), x, y, number);
  p.restore();
  surface_->showArea(QRect(x, y, 64, 64));
}

void QtCanvas::scrollRect(const Rect& r, int dx, int dy) {
  endPainting();  // the pixels are moved directly
  QImage& img = surface_->image();
  const qreal ratio = img.devicePixelRatio();
  const QRect area = toQRect(r).intersected(surface_->rect());
  if (area.isEmpty()) return;
  const QRect pixels = inPixels(area, ratio).intersected(img.rect());
  const int py = qRound(dy * ratio);
  if (dx == 0 && py == 0) {
    // nothing moves
  } else if (dx == 0 && img.depth() == 32 && std::abs(py) < pixels.height()) {
    // A vertical move: the rows' pixels are copied in place, nearest row to
    // the destination first.
    const int bytes = pixels.width() * 4;
    const int from = py < 0 ? pixels.top() - py : pixels.bottom() - py;
    const int to = py < 0 ? pixels.bottom() : pixels.top();
    const int step = py < 0 ? 1 : -1;
    for (int row = from;; row += step) {
      std::memcpy(img.scanLine(row + py) + pixels.left() * 4, img.constScanLine(row) + pixels.left() * 4,
                  static_cast<std::size_t>(bytes));
      if (row == to) break;
    }
  } else {
    QImage part = img.copy(pixels);
    part.setDevicePixelRatio(ratio);
    QPainter p(&img);
    p.setClipRect(area);
    p.drawImage(area.topLeft() + QPoint(dx, dy), part);
  }
  surface_->movePending(area, dx, dy);
  surface_->showArea(area);
  // The strips the move uncovered.
  if (dy > 0) invalidate(Rect{r.top, r.left, std::min(r.bottom, r.top + dy), r.right});
  if (dy < 0) invalidate(Rect{std::max(r.top, r.bottom + dy), r.left, r.bottom, r.right});
  if (dx > 0) invalidate(Rect{r.top, r.left, r.bottom, std::min(r.right, r.left + dx)});
  if (dx < 0) invalidate(Rect{r.top, std::max(r.left, r.right + dx), r.bottom, r.right});
}

void QtCanvas::invalidate(std::optional<Rect> r) {
  surface_->invalidateArea(r ? toQRect(*r) : surface_->rect());
}

void QtCanvas::requestPaint() { surface_->requestChangesPaint(); }

// --- surface ----------------------------------------------------------------

Surface::Surface(QtToolkit* tk, WindowId id, bool child, QWidget* parent)
    : QWidget(parent), tk_(tk), id_(id), child_(child), canvas_(std::make_unique<QtCanvas>(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(child ? Qt::StrongFocus : Qt::ClickFocus);
  setObjectName(child ? QStringLiteral("pane") : QStringLiteral("client"));
  // A window description paints its own light background and black fixed
  // texts; its controls keep the light colours that go with them, whatever
  // the desktop's scheme.
  if (!child) setPalette(style()->standardPalette());
  image_ = surfaceImage(size(), logicalDpiX(), logicalDpiY(), devicePixelRatioF());
  image_.fill(child ? Qt::white : palette().color(QPalette::Window));
  pending_ = QRegion(rect());
  changesTimer_.setSingleShot(true);
  connect(&changesTimer_, &QTimer::timeout, this, [this] { deliverChanges(); });
}

Surface::~Surface() = default;

const std::string& Surface::iconDirectory() const {
  static const std::string none;
  return tk_ ? tk_->iconDirectory() : none;
}

void Surface::invalidateArea(const QRect& r) {
  const QRect a = r.intersected(rect());
  if (a.isEmpty()) return;
  pending_ += a;
  update(a);
}

void Surface::movePending(const QRect& area, int dx, int dy) {
  const QRegion moving = pending_.intersected(area);
  if (moving.isEmpty()) return;
  pending_ = pending_.subtracted(moving).united(moving.translated(dx, dy).intersected(area));
}

namespace {
// The posted event that delivers a window's Update event for its own changes.
const QEvent::Type kChangesEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}  // namespace

void Surface::requestChangesPaint() {
  if (changesRequested_) return;
  changesRequested_ = true;
  // A stream: the last Updates came one soon after the other.
  if (quickChanges_ >= 2 && sinceChanges_.isValid() && sinceChanges_.elapsed() < kStreamPaintMs) {
    changesTimer_.start(static_cast<int>(kStreamPaintMs - sinceChanges_.elapsed()));
    return;
  }
  QCoreApplication::postEvent(this, new QEvent(kChangesEvent));
}

void Surface::deliverChanges() {
  if (!changesRequested_) return;
  changesRequested_ = false;
  changesTimer_.stop();
  const bool quick = sinceChanges_.isValid() && sinceChanges_.elapsed() < 2 * kStreamPaintMs;
  quickChanges_ = quick ? quickChanges_ + 1 : 0;
  sinceChanges_.start();
  if (tk_) {
    Event ev(EventType::Update, kUpdateChanges, 0);
    tk_->send(id_, ev);
  }
}

bool Surface::event(QEvent* e) {
  if (e->type() == kChangesEvent) {
    deliverChanges();
    return true;
  }
  // Tab belongs to the window (a form moves the focus itself), not to Qt's
  // focus chain.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  }
  return QWidget::event(e);
}

void Surface::paintEvent(QPaintEvent* e) {
  if (!pending_.isEmpty() && tk_) {
    const QRect r = pending_.boundingRect();
    pending_ = QRegion();
    QPointer<Surface> self(this);
    Event ev(EventType::Update, 0, 0,
             std::make_unique<RectRecord>(Rect{r.top(), r.left(), r.bottom() + 1, r.right() + 1}));
    tk_->send(id_, ev);
    if (!self) return;
  }
  canvas_->endPainting();
  QPainter p(this);
  p.drawImage(QRectF(e->rect()), image_, QRectF(inPixels(e->rect(), image_.devicePixelRatio())));
}

void Surface::resizeEvent(QResizeEvent* e) {
  canvas_->endPainting();
  const QSize s(std::max(1, e->size().width()), std::max(1, e->size().height()));
  if (s != image_.deviceIndependentSize().toSize() || devicePixelRatioF() != image_.devicePixelRatio()) {
    QImage next = surfaceImage(s, logicalDpiX(), logicalDpiY(), devicePixelRatioF());
    next.fill(child_ ? Qt::white : palette().color(QPalette::Window));
    QPainter p(&next);
    p.drawImage(0, 0, image_);
    p.end();
    image_ = std::move(next);
    canvas_->forgetFont();
  }
  pending_ = QRegion(rect());
  QWidget::resizeEvent(e);
}

void Surface::mouse(QMouseEvent* e, MouseAction action) {
  if (!tk_) return;
  int button = 0;
  const Qt::MouseButton b = action == MouseAction::Move ? Qt::NoButton : e->button();
  if (b == Qt::RightButton) button = 1;
  else if (b == Qt::MiddleButton) button = 2;
  else if (action == MouseAction::Move && (e->buttons() & Qt::RightButton)) button = 1;
  const QPoint pt = e->position().toPoint();
  tk_->operatorMouse(id_, action, Point{pt.x(), pt.y()}, button, modifiersOf(e->modifiers()));
}

void Surface::mousePressEvent(QMouseEvent* e) {
  if (child_) setFocus(Qt::MouseFocusReason);
  mouse(e, MouseAction::Down);
}
void Surface::mouseReleaseEvent(QMouseEvent* e) { mouse(e, MouseAction::Up); }
void Surface::mouseMoveEvent(QMouseEvent* e) { mouse(e, MouseAction::Move); }
void Surface::mouseDoubleClickEvent(QMouseEvent* e) { mouse(e, MouseAction::DoubleClick); }

void Surface::keyPressEvent(QKeyEvent* e) {
  unsigned mods = 0;
  const int key = keyOf(e, &mods);
  if (key == 0 || !tk_) {
    QWidget::keyPressEvent(e);
    return;
  }
  tk_->operatorKey(id_, key, mods);
}

// The wheel scrolls a pane as its own scroll bar's arrows would, three
// lines a notch; finer wheels (touch pads) add up until a line is reached.
void Surface::wheelEvent(QWheelEvent* e) {
  constexpr int kUnitsPerLine = 40;  // a notch is 120
  const ControlState* bar = tk_ ? tk_->control(id_, kWindowVScroll) : nullptr;
  if (!bar) {
    QWidget::wheelEvent(e);
    return;
  }
  e->accept();
  wheelRest_ += e->angleDelta().y();
  QPointer<Surface> self(this);
  while (self && tk_ && std::abs(wheelRest_) >= kUnitsPerLine) {
    const bool up = wheelRest_ > 0;
    wheelRest_ += up ? -kUnitsPerLine : kUnitsPerLine;
    tk_->operatorScroll(id_, kWindowVScroll, up ? kNotifyLineUp : kNotifyLineDown);
  }
}

void Surface::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  if (child_ && tk_) {
    Event ev(EventType::Focus, 0, 1);
    tk_->send(id_, ev);
  }
}

void Surface::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  if (child_ && tk_) {
    Event ev(EventType::Focus, 0, 0);
    tk_->send(id_, ev);
  }
}

}  // namespace tarvik::ui::qtdetail
