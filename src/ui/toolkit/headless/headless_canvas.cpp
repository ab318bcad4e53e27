#include "ui/toolkit/headless/headless_canvas.h"

#include <algorithm>
#include <map>

namespace tarvik::ui {

namespace {
bool inside(const Rect& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
Rect intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
              std::min(a.right, b.right)};
}
std::string pt(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
std::string rc(const Rect& r) {
  return std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) +
         "," + std::to_string(r.right);
}
}  // namespace

FontMetrics headlessMetrics(const FontSpec& font) {
  const int size = std::max(1, font.size);
  return FontMetrics{size, (size + 3) / 4, 1, std::max(1, (size * 6 + 5) / 10)};
}

int HeadlessCanvas::textWidth(std::string_view text) const {
  return static_cast<int>(text.size()) * metrics().charWidth;
}

Rect HeadlessCanvas::box(const Text& t) const {
  const FontMetrics m = metrics();
  return Rect{t.y - m.ascent, t.x, t.y + m.descent, t.x + textWidth(t.text)};
}

void HeadlessCanvas::drawText(int x, int y, std::string_view text, int len) {
  if (!keeping_) return;
  if (len >= 0 && static_cast<std::size_t>(len) < text.size()) text = text.substr(0, len);
  Text t{x, y, std::string(text), tools_.foreColor, tools_.opaqueText ? tools_.backColor : kWhite};
  if (!tools_.opaqueText) {
    for (auto it = fills_.rbegin(); it != fills_.rend(); ++it)
      if (inside(it->first, x, y)) {
        t.back = it->second;
        break;
      }
  }
  // The clip cuts whole characters off: a character is kept when its cell
  // lies inside.
  if (clip_) {
    if (y < clip_->top || y >= clip_->bottom) return;
    const int cw = metrics().charWidth;
    std::string kept;
    int first = -1;
    for (std::size_t i = 0; i < t.text.size(); ++i) {
      const int cx = x + static_cast<int>(i) * cw;
      if (cx >= clip_->left && cx + cw <= clip_->right) {
        if (first < 0) first = cx;
        kept += t.text[i];
      }
    }
    if (kept.empty()) return;
    t.x = first;
    t.text = kept;
  }
  if (tools_.opaqueText) {
    const Rect b = box(t);
    std::erase_if(texts_, [&](const Text& o) { return inside(b, o.x, o.y); });
  } else {
    // A text drawn at the very place of another replaces it in what a reader
    // sees (a repaint of the same row).
    std::erase_if(texts_, [&](const Text& o) { return o.x == t.x && o.y == t.y; });
  }
  texts_.push_back(std::move(t));
}

void HeadlessCanvas::drawRect(const Rect& r0) {
  if (!keeping_) return;
  Rect r = clip_ ? intersect(r0, *clip_) : r0;
  if (recording_) log_.push_back("rect " + rc(r0));
  if (r.empty() || tools_.brushHollow) return;
  std::erase_if(texts_, [&](const Text& o) { return inside(r, o.x, o.y); });
  std::erase_if(fills_, [&](const auto& f) {
    return f.first.top >= r.top && f.first.left >= r.left && f.first.bottom <= r.bottom &&
           f.first.right <= r.right;
  });
  fills_.emplace_back(r, tools_.brush);
}

void HeadlessCanvas::drawEllipse(const Rect& r) {
  if (!keeping_) return;
  if (recording_) log_.push_back("ellipse " + rc(r));
  if (r.empty() || tools_.brushHollow) return;
  fills_.emplace_back(clip_ ? intersect(r, *clip_) : r, tools_.brush);
}

void HeadlessCanvas::drawLine(Point from, Point to) {
  if (!keeping_) return;
  if (recording_) log_.push_back("line " + pt(from.x, from.y) + " " + pt(to.x, to.y));
}

void HeadlessCanvas::drawIcon(int x, int y, int number) {
  if (!keeping_) return;
  if (recording_) log_.push_back("icon " + std::to_string(number) + " " + pt(x, y));
}

void HeadlessCanvas::scrollRect(const Rect& r, int dx, int dy) {
  if (!keeping_) return;
  if (recording_) log_.push_back("scroll " + rc(r) + " " + pt(dx, dy));
  if (r.empty()) return;
  // What lies inside moves; what lands outside is lost, and so is what lay
  // where moved pixels land.
  std::vector<Text> moved, kept;
  for (Text& t : texts_) {
    if (inside(r, t.x, t.y)) {
      t.x += dx;
      t.y += dy;
      if (inside(r, t.x, t.y)) moved.push_back(std::move(t));
    } else {
      kept.push_back(std::move(t));
    }
  }
  texts_ = std::move(kept);
  for (Text& t : moved) texts_.push_back(std::move(t));
  // The uncovered strips.
  if (dy > 0) invalidate(Rect{r.top, r.left, std::min(r.bottom, r.top + dy), r.right});
  if (dy < 0) invalidate(Rect{std::max(r.top, r.bottom + dy), r.left, r.bottom, r.right});
  if (dx > 0) invalidate(Rect{r.top, r.left, r.bottom, std::min(r.right, r.left + dx)});
  if (dx < 0) invalidate(Rect{r.top, std::max(r.left, r.right + dx), r.bottom, r.right});
}

void HeadlessCanvas::invalidate(std::optional<Rect> r) {
  const Rect whole = client_();
  invalidated_(r ? intersect(*r, whole) : whole);
}

std::vector<HeadlessCanvas::Text> HeadlessCanvas::texts() const {
  std::vector<Text> out = texts_;
  std::stable_sort(out.begin(), out.end(),
                   [](const Text& a, const Text& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  return out;
}

std::vector<std::string> HeadlessCanvas::rows() const {
  std::map<int, std::vector<const Text*>> byRow;
  for (const Text& t : texts_) byRow[t.y].push_back(&t);
  std::vector<std::string> out;
  for (auto& [y, list] : byRow) {
    std::stable_sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->x < b->x; });
    std::string line;
    for (const Text* t : list) {
      if (!line.empty()) line += ' ';
      line += t->text;
    }
    out.push_back(line);
  }
  return out;
}

}  // namespace tarvik::ui
