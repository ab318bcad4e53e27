#include "ui/fifo_text.h"

#include <algorithm>
#include <cstdlib>
#include <charconv>
#include <filesystem>

#include "core/text.h"
#include "ui/form.h"

namespace tarvik::ui {

namespace {

constexpr int kCopyKey = 3;  // Ctrl+C as a control character

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom),
              std::min(a.right, b.right)};
}

void Line(Canvas& c, Point from, Point to, Color colour) {
  DrawTools t = c.tools();
  t.pen = colour;
  t.penWidth = 1;
  t.penHollow = false;
  c.setTools(t);
  c.drawLine(from, to);
}

}  // namespace

FifoText::FifoText(core::MessageService& messages, FifoOptions options)
    : messages_(messages), options_(std::move(options)), lines_(options_.multiple) {
  if (options_.columns.size() > kFifoMaxColumns) options_.columns.resize(kFifoMaxColumns);
  ComputeColumns();
}

WindowId FifoText::Create(Toolkit& toolkit, WindowId parent, const Rect& rect,
                          core::MessageService& messages, FifoOptions options) {
  WindowSpec spec;
  spec.kind = WindowKind::Child;
  spec.name = options.name;
  spec.title = "FIFO";
  spec.rect = rect;
  spec.parent = parent;
  spec.vScroll = true;
  return toolkit.create(spec, std::make_unique<FifoText>(messages, std::move(options)));
}

FifoText* FindFifo(Toolkit& toolkit, WindowId id) { return toolkit.findAs<FifoText>(id); }

FifoOptions FifoOptionsFor(const ControlDescription& control, const FontSpec& font) {
  FifoOptions o;
  o.name = control.label;
  o.controlNumber = control.id;
  o.columns = control.columns;
  o.multiple = control.multiple;
  o.noClip = control.noClip;
  o.font = font;
  return o;
}

Canvas* FifoText::canvas() const { return toolkit().canvas(id()); }

int FifoText::ConfiguredSlots() const {
  if (options_.ringSize > 0) return options_.ringSize;
  if (Form* form = toolkit().findAs<Form>(toolkit().parentOf(id()))) {
    const FormEnvironment& env = form->runtime().env();
    const std::string text = env.setting ? env.setting(kScrollbackSetting) : std::string();
    int size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error == std::errc() && size > 0) return size;
  }
  return kFifoDefaultSlots;
}

// Each column ends where the next larger start begins, so a long piece
// never runs into the next column; the last one (or every one with NOCLIP)
// runs to the pane's edge.
void FifoText::ComputeColumns() {
  starts_ = options_.columns.empty() ? std::vector<int>{0} : options_.columns;
  ends_.assign(starts_.size(), kFifoNoColumnEnd);
  if (options_.noClip) return;
  for (std::size_t i = 0; i < starts_.size(); ++i)
    for (int s : starts_)
      if (s > starts_[i] && s < ends_[i]) ends_[i] = s;
}

int FifoText::columnStart(int i) const {
  return i >= 0 && i < static_cast<int>(starts_.size()) ? starts_[static_cast<std::size_t>(i)]
                                                         : kFifoNoColumnEnd;
}

int FifoText::columnEnd(int i) const {
  return i >= 0 && i < static_cast<int>(ends_.size()) ? ends_[static_cast<std::size_t>(i)]
                                                       : kFifoNoColumnEnd;
}

void FifoText::onEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      lines_.SetSlots(ConfiguredSlots());
      toolkit().setLinesProvider(id(), [this] { return lines_.Lines(); });
      Layout();
      break;
    case EventType::Destroy:
      EndClickTimer();
      if (buttonDown_) toolkit().releasePointer();
      lines_.StopCapture();
      break;
    case EventType::Size:
      Layout();
      break;
    case EventType::Update: {
      // The pane's own changes first (a scroll among them uncovers rows,
      // whose Update follows), then what else was asked to be drawn again.
      // Rows asked for that a scroll moved meanwhile are drawn where they
      // went as well: what they showed moved with them.
      if (event.id == kUpdateChanges) paintRequested_ = false;
      const int moved = Redraw();
      if (event.id != kUpdateChanges)
        if (const RectRecord* r = event.as<RectRecord>()) {
          const Rect& a = r->rect;
          PaintArea(Rect{std::min(a.top, a.top + moved), a.left, std::max(a.bottom, a.bottom + moved), a.right});
        }
      break;
    }
    case EventType::Focus:
      focused_ = event.arg != 0;
      PaintFrame();
      if (focused_) Notify(kFifoFocus);
      break;
    case EventType::Mouse:
      if (const MouseRecord* m = event.as<MouseRecord>()) OnMouse(*m);
      break;
    case EventType::Char: {
      const unsigned mods = static_cast<unsigned>(event.arg);
      if (event.id == kCopyKey || ((event.id == 'c' || event.id == 'C') && (mods & kModControl)) ||
          (event.id == kKeyInsert && (mods & kModControl))) {
        CopySelection();
        break;
      }
      switch (lines_.Key(event.id, mods)) {
        case FifoLines::KeyUse::Parent: {
          const WindowId parent = toolkit().parentOf(id());
          if (parent != kNoWindow) toolkit().send(parent, event);
          break;
        }
        case FifoLines::KeyUse::Handled: Redraw(); break;
        case FifoLines::KeyUse::Ignored: break;
      }
      break;
    }
    case EventType::Font:
      if (const FontRecord* f = event.as<FontRecord>()) SetFont(f->font);
      break;
    case EventType::Control:
      if (event.id == kWindowVScroll) OnScrollBar(static_cast<int>(event.arg));
      break;
    case EventType::Timer:
      if (clickTimer_ != 0 && static_cast<TimerId>(event.id) == clickTimer_) {
        EndClickTimer();
        Notify(kFifoSingleClick);
      }
      break;
    case EventType::User:
      // The answer to message 1026: yes appends to the existing file, no
      // writes it anew.
      if (captureAsked_ && event.arg == kMsgCaptureExists &&
          (event.id == core::kAnswerBase + core::kAnswerYes ||
           event.id == core::kAnswerBase + core::kAnswerNo)) {
        captureAsked_ = false;
        lines_.StartCapture(captureName_, event.id == core::kAnswerBase + core::kAnswerYes,
                            captureHistory_);
      }
      break;
    default: break;
  }
}

// --- writing ---------------------------------------------------------------------

void FifoText::AppendLine(std::string_view text, Color colour) {
  lines_.AppendLine(text, colour);
  RequestRedraw();
}

void FifoText::AppendToLastLine(std::string_view text) {
  lines_.AppendToLastLine(text);
  RequestRedraw();
}

void FifoText::ReplaceLine(int index, std::string_view text) {
  lines_.ReplaceLine(index, text);
  RequestRedraw();
}

void FifoText::ScrollToEnd() {
  lines_.ScrollToEnd();
  RequestRedraw();
}

void FifoText::Capture(const std::string& name, bool history) {
  lines_.StopCapture();
  captureAsked_ = false;
  if (name.empty()) return;
  captureName_ = name;
  captureHistory_ = history;
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) {
    captureAsked_ = true;
    messages_.ShowMessage(id(), 2, kMsgCaptureExists, name);
    return;
  }
  // A file that cannot be opened leaves the capture off without a word.
  lines_.StartCapture(name, false, history);
}

bool FifoText::GetSelection(std::vector<std::string>& list) const {
  std::vector<std::string> selected = lines_.Selection();
  for (std::string& s : selected) list.push_back(std::move(s));
  return !selected.empty();
}

FifoText::TextPlace FifoText::PlaceAt(int row, int x) const {
  TextPlace place;
  if (lines_.count() == 0) return place;
  const int newest = lines_.oldest() + lines_.count() - 1;
  const int index = lines_.SlotOfRow(std::clamp(row, 0, std::max(0, lines_.rows() - 1)));
  place.line = std::clamp(index, lines_.oldest(), newest);
  const std::string_view text = lines_.slot(place.line).text;
  // Below the newest line: its end.
  if (index > newest) {
    place.column = static_cast<int>(text.size());
    return place;
  }
  const Canvas* c = canvas();
  if (!c) return place;
  // The character whose middle lies right of the pointer.
  const int start = columnStart(0);
  int before = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const int after = c->textWidth(text.substr(0, k + 1));
    if (x < start + (before + after) / 2) {
      place.column = static_cast<int>(k);
      return place;
    }
    before = after;
  }
  place.column = static_cast<int>(text.size());
  return place;
}

bool FifoText::SelectedPart(int index, std::size_t& from, std::size_t& to) const {
  if (!textSpan_ || index < lines_.oldest() || index >= lines_.oldest() + lines_.count()) return false;
  const TextPlace a = std::min(anchor_, reach_), b = std::max(anchor_, reach_);
  if (index < a.line || index > b.line) return false;
  const std::size_t length = lines_.slot(index).text.size();
  from = index == a.line ? std::min<std::size_t>(static_cast<std::size_t>(a.column), length) : 0;
  to = index == b.line ? std::min<std::size_t>(static_cast<std::size_t>(b.column), length) : length;
  return from < to;
}

std::string FifoText::SelectedText() const {
  std::string out;
  if (!textSpan_) return out;
  const TextPlace a = std::min(anchor_, reach_), b = std::max(anchor_, reach_);
  for (int i = std::max(a.line, lines_.oldest()); i <= b.line && i < lines_.oldest() + lines_.count(); ++i) {
    std::size_t from = 0, to = 0;
    if (SelectedPart(i, from, to)) out += lines_.slot(i).text.substr(from, to - from);
    if (i != b.line) out += '\n';
  }
  return out;
}

void FifoText::CopySelection() {
  if (textSpan_) {
    if (const std::string text = SelectedText(); !text.empty()) toolkit().setClipboardText(text);
    return;
  }
  const std::vector<std::string> selected = lines_.Selection();
  if (selected.empty()) return;
  std::string text;
  for (const std::string& s : selected) {
    text += s;
    text += '\n';
  }
  toolkit().setClipboardText(text);
}

void FifoText::SetFont(const FontSpec& font) {
  options_.font = font;
  width_ = height_ = -1;  // forces a new layout
  Layout();
}

// --- layout and drawing ------------------------------------------------------------

void FifoText::Layout() {
  Canvas* c = canvas();
  if (!c) return;
  const Rect client = toolkit().clientRect(id());
  if (c->font() != options_.font) c->setFont(options_.font);
  const FontMetrics m = c->metrics();
  lineHeight_ = std::max(1, m.lineHeight());
  leading_ = m.leading;
  ascent_ = m.ascent;
  headerHeight_ = options_.header.empty() ? 0 : lineHeight_ + 6;
  width_ = client.width();
  height_ = client.height();
  lines_.SetRows((height_ - headerHeight_ - 2) / lineHeight_);
  lines_.TakeDamage();
  UpdateScrollBar(true);
  PaintAll();
}

int FifoText::Redraw() {
  Canvas* c = canvas();
  const FifoDamage d = lines_.TakeDamage();
  if (d.scrollBar) UpdateScrollBar();
  if (!c) return 0;
  const Rect client = toolkit().clientRect(id());
  if (client.width() != width_ || client.height() != height_) {
    Layout();
    return 0;
  }
  const int rows = lines_.rows();
  // The mark at the last row moves with scrolled pixels: a scroll while it
  // is shown (or comes or goes) draws everything.
  if (d.all || std::abs(d.scroll) >= rows || ((markShown_ || d.unseen) && d.scroll != 0)) {
    PaintAll();
    return 0;
  }
  // Rows that came into view by a scroll are drawn with the Update of the
  // strip the scroll uncovered.
  int firstNew = rows, lastNew = -1;
  if (d.scroll != 0) {
    const Rect area{headerHeight_, 0, headerHeight_ + rows * lineHeight_, width_};
    c->scrollRect(area, 0, -d.scroll * lineHeight_);
    firstNew = d.scroll > 0 ? rows - d.scroll : 0;
    lastNew = d.scroll > 0 ? rows - 1 : -d.scroll - 1;
    PaintFrame();
  }
  int painted = -1;
  for (int slot : d.lines) {
    const std::optional<int> row = lines_.RowOfSlot(slot);
    if (!row || (*row >= firstNew && *row <= lastNew) || *row == painted) continue;
    PaintRow(*row);
    painted = *row;
  }
  if (d.unseen && !(rows - 1 >= firstNew && rows - 1 <= lastNew)) PaintRow(rows - 1);
  return -d.scroll * lineHeight_;
}

void FifoText::RequestRedraw() {
  if (paintRequested_) return;  // every line of a burst is drawn with the first one's Update
  if (Canvas* c = canvas()) {
    c->requestPaint();
    paintRequested_ = true;
  } else {
    Redraw();
  }
}

void FifoText::PaintArea(const Rect& area) {
  if (!canvas() || area.empty()) return;
  if (area.top < headerHeight_) PaintHeader();
  const int rows = lines_.rows();
  const int first = std::max(0, (area.top - headerHeight_) / lineHeight_);
  const int last = std::min(rows - 1, (area.bottom - 1 - headerHeight_) / lineHeight_);
  for (int r = first; r <= last; ++r) PaintRow(r);
  if (area.bottom > headerHeight_ + rows * lineHeight_) PaintStrip();
  PaintFrame();
}

void FifoText::PaintAll() {
  Canvas* c = canvas();
  if (!c) return;
  PaintHeader();
  for (int r = 0; r < lines_.rows(); ++r) PaintRow(r);
  PaintStrip();
  PaintFrame();
}

void FifoText::PaintRow(int row) {
  Canvas* c = canvas();
  if (!c || row < 0 || row >= lines_.rows()) return;
  const FifoSlot& s = lines_.slot(lines_.SlotOfRow(row));
  const int top = headerHeight_ + row * lineHeight_;
  const Rect rowRect{top, 0, top + lineHeight_, width_};
  if (rowRect.empty()) return;
  // While characters are selected the line marks are not shown.
  const bool marked = s.selected && !textSpan_;
  const Color back = marked ? kGray : kWhite;
  c->setClip(std::nullopt);
  FillRect(*c, rowRect, back);
  PaintRowText(*c, s, top, back, marked);
  if (textSpan_) PaintSelectedPart(*c, lines_.SlotOfRow(row), top);
  // The row covered the focus frame's sides; they are drawn again.
  const Color frame = focused_ ? kGray : kWhite;
  Line(*c, {0, top}, {0, top + lineHeight_}, frame);
  Line(*c, {width_ - 1, top}, {width_ - 1, top + lineHeight_}, frame);
  if (row == lines_.rows() - 1) PaintUnseenMark();
}

// A blue triangle pointing down at the right end of the last row: more
// lines came in below what the operator is reading.
void FifoText::PaintUnseenMark() {
  Canvas* c = canvas();
  markShown_ = false;
  if (!c || lines_.unseen() == 0) return;
  const int top = headerHeight_ + (lines_.rows() - 1) * lineHeight_;
  const int half = std::max(3, lineHeight_ / 3);
  const int right = width_ - 4;
  const int y0 = top + (lineHeight_ - half) / 2;
  c->setClip(Rect{top, 0, top + lineHeight_, width_});
  for (int k = 0; k < half; ++k) Line(*c, {right - 2 * half + k, y0 + k}, {right - k, y0 + k}, kBlue);
  c->setClip(std::nullopt);
  markShown_ = true;
}

void FifoText::PaintSelectedPart(Canvas& c, int index, int top) {
  std::size_t from = 0, to = 0;
  if (!SelectedPart(index, from, to)) return;
  const std::string_view text = lines_.slot(index).text;
  const int x0 = columnStart(0) + c.textWidth(text.substr(0, from));
  const int x1 = columnStart(0) + c.textWidth(text.substr(0, to));
  const Rect row{top, 0, top + lineHeight_, width_ - 1};
  c.setClip(row);
  FillRect(c, Rect{top, x0, top + lineHeight_, x1}, kGray);
  DrawTools t = c.tools();
  t.foreColor = kWhite;
  t.backColor = kGray;
  t.opaqueText = false;
  c.setTools(t);
  c.drawText(x0, top + ascent_, text.substr(from, to - from));
  c.setClip(std::nullopt);
}

void FifoText::PaintRowText(Canvas& canvas, const FifoSlot& s, int top, Color back, bool marked) {
  if (s.text.empty()) return;
  Canvas* c = &canvas;
  DrawTools t = c->tools();
  t.foreColor = marked ? kWhite : s.colour;
  t.backColor = back;
  t.opaqueText = false;
  c->setTools(t);
  // The glyphs stand in the line box: ascent above the baseline, descent
  // below it, the leading after them.
  const int baseline = top + ascent_;
  // Texts start exactly at their column; the clip keeps them inside the row
  // and, with several columns, 4 pixels short of the next column.
  const Rect textRow{top, 0, top + lineHeight_, width_ - 1};
  if (starts_.size() <= 1) {
    c->setClip(Intersect(textRow, Rect{top, columnStart(0), top + lineHeight_, width_}));
    c->drawText(columnStart(0), baseline, s.text);
  } else {
    const std::vector<std::string_view> pieces = core::SplitText(s.text, '\t');
    const int n = std::min<int>(static_cast<int>(pieces.size()), kFifoMaxColumns);
    for (int i = 0; i < n; ++i) {
      const int start = columnStart(i);
      if (start >= kFifoNoColumnEnd) continue;
      const Rect clip = Intersect(textRow, Rect{top, start, top + lineHeight_, columnEnd(i) - 4});
      if (clip.empty()) continue;
      c->setClip(clip);
      c->drawText(start, baseline, pieces[static_cast<std::size_t>(i)]);
    }
  }
  c->setClip(std::nullopt);
}

void FifoText::PaintHeader() {
  Canvas* c = canvas();
  if (!c || headerHeight_ == 0) return;
  c->setClip(std::nullopt);
  FillRect(*c, Rect{0, 0, headerHeight_, width_}, kLightGray);
  Line(*c, {0, headerHeight_ - 1}, {width_, headerHeight_ - 1}, kBlack);
  Line(*c, {0, 0}, {width_, 0}, kWhite);
  const std::vector<std::string_view> parts = core::SplitText(options_.header, '|');
  const int n = std::min<int>(static_cast<int>(parts.size()), kFifoMaxColumns);
  for (int i = 0; i < n; ++i) {
    const int left = columnStart(i);
    if (left >= kFifoNoColumnEnd) continue;
    const int right = std::min(columnEnd(i) - 4, width_ - 1);
    if (right <= left) continue;
    const int bottom = headerHeight_ - 2;
    // A raised box: light on top and left, shadow on bottom and right.
    Line(*c, {left, 1}, {right, 1}, kWhite);
    Line(*c, {left, 1}, {left, bottom}, kWhite);
    Line(*c, {left, bottom}, {right, bottom}, kGray);
    Line(*c, {right, 1}, {right, bottom + 1}, kGray);
    DrawTools t = c->tools();
    t.foreColor = kBlack;
    t.opaqueText = false;
    c->setTools(t);
    c->setClip(Rect{1, left + 1, bottom, right});
    c->drawText(left + 1, 2 + ascent_, parts[static_cast<std::size_t>(i)]);
    c->setClip(std::nullopt);
  }
}

// The part below the last full row shows nothing.
void FifoText::PaintStrip() {
  Canvas* c = canvas();
  if (!c) return;
  const int top = headerHeight_ + lines_.rows() * lineHeight_;
  const Rect strip{top, 1, height_ - 1, width_ - 1};
  if (!strip.empty()) FillRect(*c, strip, kWhite);
}

// One pixel around the lines: grey while the pane has the focus.
void FifoText::PaintFrame() {
  Canvas* c = canvas();
  if (!c || width_ <= 0 || height_ <= headerHeight_) return;
  c->setClip(std::nullopt);
  DrawTools t = c->tools();
  t.pen = focused_ ? kGray : kWhite;
  t.penWidth = 1;
  t.penHollow = false;
  t.brushHollow = true;
  c->setTools(t);
  c->drawRect(Rect{headerHeight_, 0, height_, width_});
}

void FifoText::UpdateScrollBar(bool always) {
  // A stream of lines into a full ring changes none of the three: the bar
  // is told only what changed, unless its state may differ from ours.
  const ScrollBarState now{lines_.ScrollMax(), lines_.ScrollProportion(), lines_.ScrollPos()};
  if (!always && scrollBar_ == now) return;
  if (!toolkit().exists(id())) return;
  toolkit().setScrollRange(id(), kWindowVScroll, 0, now.max);
  toolkit().setScrollProportion(id(), kWindowVScroll, now.proportion);
  toolkit().setScrollPos(id(), kWindowVScroll, now.pos);
  scrollBar_ = now;
}

void FifoText::OnScrollBar(int action) {
  switch (action) {
    case kNotifyLineUp: lines_.ScrollLines(-1); break;
    case kNotifyLineDown: lines_.ScrollLines(1); break;
    case kNotifyPageUp: lines_.ScrollLines(-lines_.rows()); break;
    case kNotifyPageDown: lines_.ScrollLines(lines_.rows()); break;
    case kNotifyThumb:
    case kNotifyThumbTrack: lines_.ScrollToPos(toolkit().scrollPos(id(), kWindowVScroll)); break;
    default: return;
  }
  // The bar may have moved by itself (a dragged thumb): it is told again.
  scrollBar_.reset();
  Redraw();
}

// --- mouse -----------------------------------------------------------------------------

void FifoText::OnMouse(const MouseRecord& m) {
  if (m.button == 2) {
    if (m.action == MouseAction::Down) Notify(kFifoPaste);
    return;
  }
  if (m.button != 0) return;
  const int y = m.where.y - headerHeight_;
  // Rows above the first count as -1 so that dragging there scrolls back.
  const int row = y < 0 ? -1 : y / lineHeight_;
  switch (m.action) {
    case MouseAction::Down:
      if (y < 0) return;  // the header
      buttonDown_ = true;
      toolkit().trapPointer(id());
      anchor_ = reach_ = PlaceAt(row, m.where.x);
      downX_ = m.where.x;
      if (textSpan_) {
        textSpan_ = false;
        PaintAll();
      }
      lines_.MouseDown(row, (m.modifiers & kModShift) != 0);
      Redraw();
      break;
    case MouseAction::Move: {
      if (!buttonDown_) return;
      // Moving sideways by a character selects characters (in a pane of
      // one column); straight up or down selects lines.
      const Canvas* c = canvas();
      const int step = c ? std::max(1, c->metrics().charWidth) : lineHeight_;
      const bool span = textSpan_ || (starts_.size() <= 1 && std::abs(m.where.x - downX_) >= step);
      if (lines_.selecting()) lines_.MouseDrag(row);
      Redraw();
      if (span) {
        textSpan_ = true;
        reach_ = PlaceAt(row, m.where.x);
        PaintAll();
      }
      break;
    }
    case MouseAction::Up:
      if (!buttonDown_) return;
      buttonDown_ = false;
      lines_.MouseUp();
      // The selected characters are the window system's selection, as
      // terminals have it (the middle button pastes them).
      if (textSpan_) toolkit().setSelectionText(SelectedText());
      toolkit().releasePointer();
      if (doubleClicked_) {
        doubleClicked_ = false;
      } else {
        EndClickTimer();
        clickTimer_ = toolkit().createTimer(id(), kFifoClickMs);
      }
      break;
    case MouseAction::DoubleClick:
      if (y < 0) return;
      EndClickTimer();
      buttonDown_ = true;
      doubleClicked_ = true;
      textSpan_ = false;
      toolkit().trapPointer(id());
      lines_.MouseDown(row, false);
      Redraw();
      Notify(kFifoDoubleClick);
      break;
  }
}

void FifoText::EndClickTimer() {
  if (clickTimer_ != 0) toolkit().destroyTimer(clickTimer_);
  clickTimer_ = 0;
}

void FifoText::Notify(int what) {
  const WindowId parent = toolkit().parentOf(id());
  if (parent != kNoWindow) toolkit().sendUser(parent, options_.controlNumber, what);
}

}  // namespace tarvik::ui
