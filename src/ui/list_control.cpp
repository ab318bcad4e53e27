#include "ui/list_control.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"
#include "core/text.h"
#include "ui/form.h"

namespace tarvik::ui {

namespace {

constexpr int kBorderReach = 3;     // pixels either side of a column border
constexpr int kBorderMinX = 10;     // borders closer to the left edge stay
constexpr int kClipMargin = 4;      // a column's text ends this far before its end
constexpr Color kCursorBack = kDarkGray;
constexpr Color kSelectedBack = kGray;
constexpr int kMessageNotice = 1;
constexpr int kMessageWarning = 3;

}  // namespace

ListControl::ListControl(ListOptions options) : options_(std::move(options)) {
  for (const int start : options_.columns) {
    if (static_cast<int>(columns_.size()) == kListMaxColumns) break;
    columns_.push_back(Column{start, kListNoColumnEnd});
  }
  if (columns_.empty()) columns_.push_back(Column{4, kListNoColumnEnd});
  ComputeColumnEnds();
  if (!options_.header.empty())
    for (std::string_view h : core::SplitText(options_.header, '|')) headerTexts_.emplace_back(h);
  ReadLayout();
}

WindowId ListControl::Create(Toolkit& toolkit, WindowId parent, const Rect& rect, ListOptions options) {
  WindowSpec spec;
  spec.kind = WindowKind::Child;
  spec.name = options.name;
  spec.rect = rect;
  spec.parent = parent;
  spec.vScroll = true;
  return toolkit.create(spec, std::make_unique<ListControl>(std::move(options)));
}

// --- columns and layout --------------------------------------------------------

void ListControl::ComputeColumnEnds() {
  for (Column& c : columns_) {
    c.end = kListNoColumnEnd;
    if (options_.noClip) continue;
    for (const Column& other : columns_)
      if (other.start > c.start && other.start < c.end) c.end = other.start;
  }
}

int ListControl::columnStart(int i) const {
  return i >= 0 && i < static_cast<int>(columns_.size()) ? columns_[static_cast<std::size_t>(i)].start
                                                           : kListNoColumnEnd;
}

int ListControl::columnEnd(int i) const {
  return i >= 0 && i < static_cast<int>(columns_.size()) ? columns_[static_cast<std::size_t>(i)].end
                                                           : kListNoColumnEnd;
}

std::string ListControl::LayoutFile() const {
  char name[32];
  std::snprintf(name, sizeof name, "pos/%04u%04u.tlb", static_cast<unsigned>(options_.form) % 10000,
                static_cast<unsigned>(options_.control) % 10000);
  return options_.tmpPath + name;
}

void ListControl::ReadLayout() {
  if (options_.tmpPath.empty()) return;
  std::ifstream in(LayoutFile(), std::ios::binary);
  if (!in) return;
  std::vector<Column> read;
  int start = 0, end = 0;
  while (read.size() < kListMaxColumns && in >> start >> end) read.push_back(Column{start, end});
  if (read.size() != kListMaxColumns) return;  // not a layout file
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const Column& c = read[i];
    if (c.start < 0 || c.start > kListNoColumnEnd || c.end < 0 || c.end > kListNoColumnEnd) return;
  }
  for (std::size_t i = 0; i < columns_.size(); ++i) columns_[i] = read[i];
}

void ListControl::WriteLayout() const {
  if (options_.tmpPath.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(options_.tmpPath + "pos", ec);
  std::string text;
  for (int i = 0; i < kListMaxColumns; ++i) {
    const Column c = i < static_cast<int>(columns_.size()) ? columns_[static_cast<std::size_t>(i)] : Column{0, 0};
    text += std::to_string(c.start) + "\t" + std::to_string(c.end) + "\n";
  }
  core::WriteFileAtomically(LayoutFile(), text);
}

int ListControl::ColumnAt(int x) const {
  int best = -1;
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
    const Column& c = columns_[static_cast<std::size_t>(i)];
    if (c.start < 1 || c.start >= kListNoColumnEnd) continue;
    if (x >= c.start && (best < 0 || c.start > columns_[static_cast<std::size_t>(best)].start)) best = i;
  }
  return best;
}

void ListControl::Layout() {
  const FontMetrics m = toolkit().fontMetrics(options_.font);
  rowHeight_ = std::max(1, m.lineHeight());
  ascent_ = m.ascent;
  headerHeight_ = headerTexts_.empty() ? 0 : rowHeight_ + 6;
  const Rect client = toolkit().clientRect(id());
  rows_ = std::clamp((client.height() - headerHeight_) / rowHeight_, 0, kListMaxRows);
  ReadPage();
}

// --- the file ---------------------------------------------------------------------

bool ListControl::AttachFile(std::string name) {
  EndClickTimer();
  file_ = ListFile(std::move(name));
  selection_.clear();
  cursor_.reset();
  top_ = 0;
  wrongLengthTold_ = false;
  bool opened = file_.Open();
  if (!opened) {
    Message(kMsgListCannotOpen, file_.path());
    file_ = ListFile();
    file_.Open();
  }
  ReadPage();
  return opened;
}

void ListControl::Reopen() {
  if (!file_.Open()) {
    Message(kMsgListCannotReopen, file_.path(), "rb");
    file_ = ListFile();
    file_.Open();
    selection_.clear();
    cursor_.reset();
  }
  if (top_ >= file_.size()) top_ = file_.size() > 0 ? file_.Step(file_.LastOffset(), 1 - std::max(rows_, 1)) : 0;
  ReadPage();
}

void ListControl::ReadPage() {
  page_ = file_.Read(top_, static_cast<std::size_t>(std::max(rows_, 0)));
  if (!page_.empty()) top_ = page_.front().offset;
  for (ListRow& row : page_) {
    if (!row.wrongLength) continue;
    if (!wrongLengthTold_) {
      wrongLengthTold_ = true;
      Message(kMsgListWrongLength, file_.path());
    }
    row.text.resize(std::min(file_.textLength(), kListLineMax), ' ');
  }
  UpdateScrollBar();
  if (id() != kNoWindow)
    if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

std::vector<std::string> ListControl::Lines() const {
  std::vector<std::string> out;
  for (ListRow& row : file_.ReadAll()) out.push_back(std::move(row.text));
  return out;
}

std::vector<std::string> ListControl::VisibleRows() const {
  std::vector<std::string> out;
  for (const ListRow& row : page_) out.push_back(row.text);
  return out;
}

int ListControl::cursorRow() const {
  if (!cursor_) return -1;
  for (std::size_t i = 0; i < page_.size(); ++i)
    if (page_[i].offset == *cursor_) return static_cast<int>(i);
  return -1;
}

void ListControl::SetTop(std::size_t offset) {
  top_ = offset;
  ReadPage();
}

void ListControl::UpdateScrollBar() {
  if (id() == kNoWindow) return;
  const std::size_t size = file_.size();
  const std::size_t record = std::max<std::size_t>(file_.recordLength(), 1);
  const std::size_t view = static_cast<std::size_t>(std::max(rows_, 0)) * record;
  const int proportion = size == 0 || view >= size ? kListScrollRange
                                                   : static_cast<int>(view * kListScrollRange / size);
  toolkit().setScrollRange(id(), kWindowVScroll, 0, kListScrollRange);
  toolkit().setScrollProportion(id(), kWindowVScroll, proportion);
  toolkit().setScrollPos(id(), kWindowVScroll, static_cast<int>(top_ * kListScrollRange / (size + 1)));
}

void ListControl::OnScrollBar(int action) {
  switch (action) {
    case kNotifyLineUp: SetTop(file_.Step(top_, -1)); break;
    case kNotifyLineDown:
      if (static_cast<int>(page_.size()) == rows_) SetTop(file_.Step(top_, 1));
      break;
    case kNotifyPageUp: SetTop(file_.Step(top_, -std::max(rows_, 1))); break;
    case kNotifyPageDown:
      if (static_cast<int>(page_.size()) == rows_) SetTop(file_.Step(top_, std::max(rows_, 1)));
      break;
    case kNotifyThumb:
    case kNotifyThumbTrack: {
      const std::size_t record = std::max<std::size_t>(file_.recordLength(), 1);
      const std::size_t p = static_cast<std::size_t>(std::max(toolkit().scrollPos(id(), kWindowVScroll), 0));
      std::size_t offset = (p * (file_.size() / record) / kListScrollRange) * record;
      if (offset >= file_.size()) offset = file_.LastOffset();
      // A deleted line is no place to start: the next shown one is.
      if (!file_.LineAt(offset)) offset = file_.Step(offset, 1);
      SetTop(offset);
      break;
    }
    default: break;
  }
}

// --- selection ----------------------------------------------------------------------

bool ListControl::IsSelected(std::size_t offset) const {
  return std::find(selection_.begin(), selection_.end(), offset) != selection_.end();
}

void ListControl::Select(std::size_t offset, bool alone) {
  if (alone || !options_.multiple) {
    selection_.assign(1, offset);
  } else if (auto it = std::find(selection_.begin(), selection_.end(), offset); it != selection_.end()) {
    selection_.erase(it);
  } else if (selection_.size() < kListMaxSelection) {
    selection_.push_back(offset);
  }
  if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

bool ListControl::GetSelectedLine(std::string& text) const {
  if (selection_.empty()) return false;
  const std::size_t at = cursor_ && IsSelected(*cursor_) ? *cursor_ : selection_.back();
  auto line = file_.LineAt(at);
  if (!line) return false;
  text = std::move(*line);
  return true;
}

std::optional<std::string> ListControl::Selected() const {
  std::string text;
  if (!GetSelectedLine(text)) return std::nullopt;
  return text;
}

std::vector<std::string> ListControl::SelectedLines() const {
  std::vector<std::size_t> offsets = selection_;
  std::sort(offsets.begin(), offsets.end());
  std::vector<std::string> out;
  for (const std::size_t at : offsets)
    if (auto line = file_.LineAt(at)) out.push_back(std::move(*line));
  return out;
}

// --- changes ------------------------------------------------------------------------

bool ListControl::AppendLine(std::string_view text) { return InsertLine(text, kInsertEnd); }

bool ListControl::InsertLine(std::string_view text, int mode) {
  if (file_.path().empty()) return false;
  if (!file_.Fits(text)) {
    Message(kMsgListWrongLength, file_.path());
    return false;
  }
  ListFile::Where where = ListFile::Where::End;
  switch (mode & 0x0F) {
    case kInsertBefore: where = cursor_ ? ListFile::Where::BeforeOffset : ListFile::Where::Top; break;
    case kInsertAfter: where = cursor_ ? ListFile::Where::AfterOffset : ListFile::Where::End; break;
    case kInsertTop: where = ListFile::Where::Top; break;
    default: where = ListFile::Where::End; break;
  }
  const auto at = file_.Insert(text, where, cursor_.value_or(0));
  if (!at) {
    Message(kMsgListCannotReopen, file_.path(), "wb");
    return false;
  }
  // Lines behind the new one moved on by one record.
  const std::size_t record = file_.recordLength();
  for (std::size_t& s : selection_)
    if (s >= *at) s += record;
  if (cursor_ && *cursor_ >= *at) *cursor_ += record;
  if (mode & kInsertSelect) {
    selection_.assign(1, *at);
    cursor_ = *at;
  }
  // The view puts a new line near its middle when it is out of view.
  const bool inView = !page_.empty() && *at >= page_.front().offset &&
                      static_cast<int>(page_.size()) == rows_ && *at <= page_.back().offset;
  if (!inView && (mode & kInsertSelect || mode != kInsertEnd))
    top_ = file_.Step(*at, -std::max(rows_ / 2, 0));
  Reopen();
  return true;
}

bool ListControl::ReplaceLine(std::string_view text) {
  if (selection_.empty()) return false;
  if (!file_.Fits(text)) {
    Message(kMsgListWrongLength, file_.path());
    return false;
  }
  const bool written = file_.Overwrite(selection_.back(), text);
  Reopen();
  return written;
}

bool ListControl::DeleteSelected() {
  if (selection_.empty()) return false;
  const std::size_t at = selection_.back();
  const bool deleted = file_.Delete(at);
  selection_.pop_back();
  if (cursor_ == at) cursor_.reset();
  Reopen();
  return deleted;
}

std::optional<std::string> ListControl::FindByKey(int field, std::string_view key) const {
  // The rows in view first, then the file.
  for (const ListRow& row : page_)
    if (ListField(row.text, field) == ListField(key, 0)) return row.text;
  if (auto at = file_.FindByKey(field, key)) return file_.LineAt(*at);
  return std::nullopt;
}

bool ListControl::ReplaceByKey(int field, std::string_view key, std::string_view text) {
  const auto at = file_.FindByKey(field, key);
  if (!at) return false;
  if (!file_.Fits(text)) {
    Message(kMsgListWrongLength, file_.path());
    return false;
  }
  const bool written = file_.Overwrite(*at, text);
  Reopen();
  return written;
}

bool ListControl::DeleteByKey(int field, std::string_view key) {
  const auto at = file_.FindByKey(field, key);
  if (!at) return false;
  const bool deleted = file_.Delete(*at);
  selection_.erase(std::remove(selection_.begin(), selection_.end(), *at), selection_.end());
  if (cursor_ == *at) cursor_.reset();
  Reopen();
  return deleted;
}

bool ListControl::SortBy(int column) {
  if (file_.path().empty() || column < 0) return false;
  toolkit().setBusyCursor(true);
  const bool sorted = SortListFile(file_.path(), column, options_.tmpPath);
  toolkit().setBusyCursor(false);
  selection_.clear();
  cursor_.reset();
  top_ = 0;
  Reopen();
  return sorted;
}

void ListControl::SetColours(int column, const std::array<Color, 8>& backgrounds, const std::array<Color, 8>& texts) {
  colourColumn_ = column;
  backgrounds_ = backgrounds;
  texts_ = texts;
  if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

void ListControl::SetBitmapColumn(int column, std::vector<int> icons) {
  bitmapColumn_ = column;
  icons_ = std::move(icons);
  if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

void ListControl::Message(int number, const std::string& text1, const std::string& text2) {
  if (!options_.showMessage) return;
  const WindowId parent = id() != kNoWindow ? toolkit().parentOf(id()) : kNoWindow;
  options_.showMessage(parent, number == kMsgListWrongLength ? kMessageWarning : kMessageNotice, number, text1,
                       text2);
}

// --- events -----------------------------------------------------------------------------

void ListControl::Notify(int code) {
  const WindowId parent = toolkit().parentOf(id());
  if (parent != kNoWindow) toolkit().sendUser(parent, options_.control, code);
}

void ListControl::StartClickTimer(int button) {
  EndClickTimer();
  clickButton_ = button;
  clickTimer_ = toolkit().createTimer(id(), kListClickMs);
}

void ListControl::EndClickTimer() {
  if (clickTimer_ != 0 && id() != kNoWindow) toolkit().destroyTimer(clickTimer_);
  clickTimer_ = 0;
}

void ListControl::onEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      toolkit().setLinesProvider(id(), [this] { return Lines(); });
      Layout();
      break;
    case EventType::Destroy:
      EndClickTimer();
      if (dragging_ >= 0) toolkit().releasePointer();
      break;
    case EventType::Size: Layout(); break;
    case EventType::Update: Paint(); break;
    case EventType::Focus:
      if (event.arg != 0) Notify(kListFocusNotice);
      if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
      break;
    case EventType::Mouse:
      if (const MouseRecord* m = event.as<MouseRecord>()) OnMouse(*m);
      break;
    case EventType::Char: OnKey(event); break;
    case EventType::Font:
      if (const FontRecord* f = event.as<FontRecord>()) {
        options_.font = f->font;
        Layout();
      }
      break;
    case EventType::Control:
      if (event.id == kWindowVScroll) OnScrollBar(static_cast<int>(event.arg));
      break;
    case EventType::Timer:
      if (clickTimer_ != 0 && static_cast<TimerId>(event.id) == clickTimer_) {
        EndClickTimer();
        Notify(clickButton_ * 10);
      }
      break;
    default: break;
  }
}

void ListControl::ShowCursor() {
  if (!cursor_) return;
  if (*cursor_ < top_) {
    SetTop(*cursor_);
  } else if (cursorRow() < 0 && rows_ > 0) {
    SetTop(file_.Step(*cursor_, 1 - rows_));
  } else {
    ReadPage();
  }
}

void ListControl::MoveCursor(long steps) {
  if (file_.empty() || page_.empty()) return;
  cursor_ = cursor_ ? file_.Step(*cursor_, steps) : page_.front().offset;
  if (!options_.multiple) selection_.assign(1, *cursor_);
  ShowCursor();
  if (!options_.multiple) Notify(0);
}

void ListControl::OnKey(Event& event) {
  switch (event.id) {
    case kKeyUp: MoveCursor(-1); break;
    case kKeyDown: MoveCursor(1); break;
    case kKeyPageUp: OnScrollBar(kNotifyPageUp); break;
    case kKeyPageDown: OnScrollBar(kNotifyPageDown); break;
    case kKeyHome: SetTop(0); break;
    case kKeyEnd:
      if (!file_.empty()) SetTop(file_.Step(file_.LastOffset(), 1 - std::max(rows_, 1)));
      break;
    case kKeyEnter:
      if (cursor_) {
        if (!IsSelected(*cursor_)) Select(*cursor_, !options_.multiple);
        Notify(1);
      }
      break;
    case ' ':
      if (!cursor_ && !page_.empty()) cursor_ = page_.front().offset;
      if (cursor_) {
        Select(*cursor_, false);
        Notify(0);
      }
      break;
    default: {
      const WindowId parent = toolkit().parentOf(id());
      if (parent != kNoWindow) toolkit().send(parent, event);
    }
  }
}

void ListControl::OnMouse(const MouseRecord& m) {
  if (dragging_ >= 0 || m.where.y < headerHeight_) {
    OnHeaderMouse(m);
    return;
  }
  if (m.action != MouseAction::Down && m.action != MouseAction::DoubleClick) return;
  toolkit().setFocus(id());
  const int row = (m.where.y - headerHeight_) / rowHeight_;
  if (row < 0 || row >= static_cast<int>(page_.size())) return;
  const std::size_t offset = page_[static_cast<std::size_t>(row)].offset;
  cursor_ = offset;
  if (m.action == MouseAction::DoubleClick) {
    EndClickTimer();
    if (!IsSelected(offset)) Select(offset, true);
    Notify(m.button * 10 + 1);
    return;
  }
  Select(offset, !(options_.multiple && (m.modifiers & kModShift)));
  StartClickTimer(m.button);
}

void ListControl::OnHeaderMouse(const MouseRecord& m) {
  switch (m.action) {
    case MouseAction::Down:
      if (m.where.x <= kBorderMinX) return;
      for (int i = 1; i < static_cast<int>(columns_.size()); ++i) {
        const int start = columns_[static_cast<std::size_t>(i)].start;
        if (start < 1 || start >= kListNoColumnEnd) continue;
        if (std::abs(m.where.x - start) <= kBorderReach) {
          dragging_ = i;
          toolkit().trapPointer(id());
          return;
        }
      }
      break;
    case MouseAction::Up:
      if (dragging_ >= 0) {
        columns_[static_cast<std::size_t>(dragging_)].start = std::clamp(m.where.x, kBorderMinX + 1, kListNoColumnEnd - 1);
        dragging_ = -1;
        toolkit().releasePointer();
        ComputeColumnEnds();
        WriteLayout();
        if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
      }
      break;
    case MouseAction::DoubleClick:
      if (options_.sort && dragging_ < 0) SortBy(ColumnAt(m.where.x));
      break;
    default: break;
  }
}

// --- painting -----------------------------------------------------------------------------

void ListControl::Paint() {
  Canvas* cv = toolkit().canvas(id());
  if (!cv) return;
  cv->setClip(std::nullopt);
  cv->setFont(options_.font);
  FillRect(*cv, {0, 0, cv->height(), cv->width()}, kWhite);
  if (headerHeight_ > 0) PaintHeader(*cv);
  for (int r = 0; r < static_cast<int>(page_.size()) && r < rows_; ++r) PaintRow(*cv, r);
  cv->setClip(std::nullopt);
}

void ListControl::PaintHeader(Canvas& cv) {
  DrawTools t = cv.tools();
  t.brush = kLightGray;
  t.brushHollow = false;
  t.pen = kBlack;
  t.penHollow = false;
  cv.setTools(t);
  cv.drawRect({0, 0, headerHeight_, cv.width()});
  t.foreColor = kBlack;
  t.opaqueText = false;
  cv.setTools(t);
  for (std::size_t i = 0; i < headerTexts_.size() && i < columns_.size(); ++i) {
    const Column& c = columns_[i];
    if (c.start < 1 || c.start >= kListNoColumnEnd) continue;
    if (i > 0) cv.drawLine({c.start - 2, 1}, {c.start - 2, headerHeight_ - 1});
    cv.setClip(Rect{0, c.start, headerHeight_, std::max(c.start, c.end - kClipMargin)});
    cv.drawText(c.start, 3 + ascent_, headerTexts_[i]);
    cv.setClip(std::nullopt);
  }
}

void ListControl::PaintRow(Canvas& cv, int r) {
  const ListRow& row = page_[static_cast<std::size_t>(r)];
  const int top = headerHeight_ + r * rowHeight_;
  Color back = kWhite, fore = kBlack;
  if (colourColumn_ >= 0) {
    const int v = std::atoi(std::string(ListField(row.text, colourColumn_)).c_str());
    if (v >= 0 && v < 8) {
      back = backgrounds_[static_cast<std::size_t>(v)];
      fore = texts_[static_cast<std::size_t>(v)];
    }
  }
  if (IsSelected(row.offset)) {
    back = cursor_ == row.offset ? kCursorBack : kSelectedBack;
    fore = kWhite;
  }
  const Rect area{top, 0, top + rowHeight_, cv.width()};
  FillRect(cv, area, back);
  if (cursor_ == row.offset && !IsSelected(row.offset)) {
    DrawTools t = cv.tools();
    t.brushHollow = true;
    t.penHollow = false;
    t.pen = kGray;
    cv.setTools(t);
    cv.drawRect(area);
  }
  DrawTools t = cv.tools();
  t.foreColor = fore;
  t.backColor = back;
  t.opaqueText = false;
  cv.setTools(t);
  const auto pieces = core::SplitText(row.text, '\t');
  for (std::size_t i = 0; i < pieces.size() && i < columns_.size(); ++i) {
    const Column& c = columns_[i];
    if (c.start < 1 || c.start >= kListNoColumnEnd) continue;
    cv.setClip(Rect{top, c.start, top + rowHeight_, std::max(c.start, c.end - kClipMargin)});
    if (static_cast<int>(i) == bitmapColumn_) {
      const int v = std::atoi(std::string(pieces[i]).c_str());
      if (v >= 0 && v < static_cast<int>(icons_.size())) cv.drawIcon(c.start, top, icons_[static_cast<std::size_t>(v)]);
    } else {
      cv.drawText(c.start, top + ascent_, pieces[i]);
    }
    cv.setClip(std::nullopt);
  }
}

void InstallListControls(FormRuntime& forms) {
  if (forms.paneFactory(ControlType::ListControl)) return;
  forms.setPaneFactory(ControlType::ListControl, [&forms](Form& form, const ControlDescription& c) {
    ListOptions o;
    o.name = c.label;
    o.control = c.id;
    o.form = form.number();
    o.columns = c.columns;
    o.multiple = c.multiple || c.multipleFirst;
    o.multipleFirst = c.multipleFirst;
    o.noClip = c.noClip;
    o.noDelete = c.noDelete;
    o.sort = c.sorted;
    if (!c.headerKey.empty()) o.header = form.LookupString(c.headerKey).value_or(std::string());
    o.font = form.listFont();
    const FormEnvironment& env = forms.env();
    if (env.setting) o.tmpPath = env.setting(5);
    o.showMessage = env.showMessage;
    return std::make_unique<ListControl>(std::move(o));
  });
}

}  // namespace tarvik::ui
