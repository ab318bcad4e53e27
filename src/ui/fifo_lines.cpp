#include "ui/fifo_lines.h"

#include <algorithm>
#include <cstdlib>

#include "ui/toolkit/event.h"

namespace tarvik::ui {

// --- capture file -------------------------------------------------------------

bool FifoCapture::Open(const std::string& path, bool append) {
  Close();
  file_.reset(std::fopen(path.c_str(), append ? "ab" : "wb"));
  return file_ != nullptr;
}

void FifoCapture::Close() {
  if (!file_) return;
  std::fputc('\n', file_.get());
  file_.reset();
}

void FifoCapture::Write(std::string_view text) {
  if (!file_) return;
  std::fwrite(text.data(), 1, text.size(), file_.get());
  std::fflush(file_.get());
}

// --- writing --------------------------------------------------------------------

void FifoLines::Store(int index, std::string_view text, Color colour) {
  FifoSlot& s = slots_[static_cast<std::size_t>(Wrap(index))];
  s.text.assign(text);
  s.colour = colour;
  s.selected = false;
}

void FifoLines::Touch(int index) {
  if (RowOfSlot(index)) damage_.slots.push_back(Wrap(index));
}

void FifoLines::ScrollOne(int direction) {
  top_ = Wrap(top_ + direction);
  damage_.scroll += direction;
  damage_.scrollBar = true;
}

bool FifoLines::AppendLine(std::string_view text, Color colour) {
  if (text.size() > kFifoLineCapacity) return false;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);

  Store(write_, text, colour);
  if (capture_.isOpen()) {
    capture_.Write("\n");
    capture_.Write(text);
  }
  // While the view shows the newest line it moves on with the new one.
  if (bottom() == Prev(write_)) {
    ScrollOne(+1);
    scrollable_ = true;
  } else {
    Touch(write_);
  }
  write_ = Next(write_);
  FifoSlot& fresh = slots_[static_cast<std::size_t>(write_)];
  fresh.text.clear();
  fresh.selected = false;
  if (write_ == oldest_) {
    wrapped_ = true;
    oldest_ = Next(oldest_);
  }
  damage_.scrollBar = true;
  // The view never starts at the empty write slot: when the oldest line it
  // showed was just overwritten, it moves on by one.
  if (top_ == write_) ScrollOne(+1);
  return true;
}

void FifoLines::AppendToLastLine(std::string_view text) {
  if (count() == 0) AppendLine({}, kFifoReceived);
  const int newest = Prev(write_);
  FifoSlot& last = slots_[static_cast<std::size_t>(newest)];
  const std::size_t room =
      last.text.size() < kFifoLineCapacity ? kFifoLineCapacity - last.text.size() : 0;
  const std::string_view head = text.substr(0, std::min(room, text.size()));
  last.text.append(head);
  capture_.Write(head);
  Touch(newest);
  const Color colour = last.colour;
  for (std::string_view rest = text.substr(head.size()); !rest.empty();) {
    const std::string_view piece = rest.substr(0, kFifoLineCapacity);
    AppendLine(piece, colour);
    rest.remove_prefix(piece.size());
  }
}

void FifoLines::ReplaceLine(int index, std::string_view text) {
  if (index < 0 || index >= kFifoSlots || text.size() > kFifoLineCapacity) return;
  if (index == write_) {
    AppendLine(text, kFifoReceived);
    return;
  }
  if (Pos(index) >= count()) return;  // not a line the ring holds
  slots_[static_cast<std::size_t>(index)].text.assign(text);
  Touch(index);
}

void FifoLines::CaptureLine(std::string_view text) {
  if (!capture_.isOpen()) return;
  capture_.Write("\n");
  capture_.Write(text);
}

std::vector<std::string> FifoLines::Lines() const {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(count()));
  for (int i = oldest_; i != write_; i = Next(i)) out.push_back(slot(i).text);
  return out;
}

// --- view -------------------------------------------------------------------------

void FifoLines::SetRows(int rows) {
  // A view that showed the newest line keeps showing it when it shrinks;
  // otherwise new lines would arrive below it unseen.
  const bool following = count() > 0 && RowOfSlot(Prev(write_)).has_value();
  rows_ = std::clamp(rows, 1, kFifoSlots - 1);
  if (following && !RowOfSlot(Prev(write_))) top_ = Wrap(write_ - rows_);
  damage_.all = true;
  damage_.scrollBar = true;
}

std::optional<int> FifoLines::RowOfSlot(int index) const {
  const int row = Wrap(index - top_);
  if (row < rows_) return row;
  return std::nullopt;
}

int FifoLines::ScrollLines(int n) {
  int moved = 0;
  for (; n < 0 && Pos(top_) > 0; ++n, --moved) ScrollOne(-1);
  for (; n > 0 && NewerBelow(); --n, ++moved) ScrollOne(+1);
  return moved;
}

void FifoLines::ScrollToEnd() {
  top_ = count() <= rows_ ? oldest_ : Wrap(write_ - rows_);
  damage_.all = true;
  damage_.scrollBar = true;
}

void FifoLines::ScrollToOldest() {
  top_ = oldest_;
  damage_.all = true;
  damage_.scrollBar = true;
}

int FifoLines::ScrollProportion() const {
  if (wrapped_) return rows_ + 2;
  if (write_ <= rows_) return kScrollRange;
  return kScrollRange * rows_ / write_;
}

void FifoLines::ScrollToPos(int pos) {
  const int last = std::max(0, count() - rows_);
  top_ = Wrap(oldest_ + std::clamp(pos, 0, last));
  damage_.all = true;
  damage_.scrollBar = true;
}

// --- selection ------------------------------------------------------------------------

bool FifoLines::HasSelection() const {
  for (int i = oldest_; i != write_; i = Next(i))
    if (slot(i).selected) return true;
  return false;
}

int FifoLines::FirstSelected() const {
  if (multiple_) return -1;
  for (int i = oldest_; i != write_; i = Next(i))
    if (slot(i).selected) return i;
  return -1;
}

std::vector<std::string> FifoLines::Selection() const {
  std::vector<std::string> out;
  for (int i = oldest_; i != write_; i = Next(i))
    if (slot(i).selected) out.push_back(slot(i).text);
  return out;
}

void FifoLines::ClearSelection() {
  for (int i = 0; i < kFifoSlots; ++i) {
    FifoSlot& s = slots_[static_cast<std::size_t>(i)];
    if (s.selected) {
      s.selected = false;
      Touch(i);
    }
  }
}

bool FifoLines::MouseDown(int row, bool shift) {
  if (row < 0 || row >= rows_) return false;
  const int index = SlotOfRow(row);
  if (!HoldsText(index)) return false;
  FifoSlot& s = slots_[static_cast<std::size_t>(index)];
  if (!shift) {
    ClearSelection();
    s.selected = true;
  } else {
    const bool mark = !s.selected;
    if (!multiple_) ClearSelection();
    s.selected = mark;
  }
  Touch(index);
  selecting_ = true;
  anchorSlot_ = index;
  lastDragSlot_ = index;
  return true;
}

void FifoLines::MouseDrag(int row) {
  if (!selecting_ || count() == 0) return;
  if (row < 0) {
    ScrollLines(-1);
    row = 0;
  } else if (row >= rows_) {
    ScrollLines(+1);
    row = rows_ - 1;
  }
  // Below the newest line the drag stays on the newest line.
  const int to = std::min(Pos(SlotOfRow(row)), count() - 1);
  const int from = std::min(Pos(lastDragSlot_), count() - 1);
  if (to == from) return;
  if (multiple_) {
    // A rubber band from the line where the button went down: lines the
    // pointer moves onto away from it change their mark, lines it leaves
    // on the way back change it again.
    const int anchor = Pos(anchorSlot_);
    const int step = to > from ? 1 : -1;
    for (int p = from; p != to; p += step) {
      const int changed = std::abs(p + step - anchor) > std::abs(p - anchor) ? p + step : p;
      const int index = Wrap(oldest_ + changed);
      if (HoldsText(index)) {
        slots_[static_cast<std::size_t>(index)].selected ^= true;
        Touch(index);
      }
    }
  } else {
    const int index = Wrap(oldest_ + to);
    if (HoldsText(index)) {
      ClearSelection();
      slots_[static_cast<std::size_t>(index)].selected = true;
      Touch(index);
    }
  }
  lastDragSlot_ = Wrap(oldest_ + to);
}

// --- keys --------------------------------------------------------------------------------

FifoLines::KeyUse FifoLines::Key(int key, unsigned modifiers) {
  const bool plain = (modifiers & (kModControl | kModAlt)) == 0;
  if (key == kKeyTab) return KeyUse::Parent;
  if (plain && ((key >= 32 && key <= 122) || key == kKeyBackspace || key == kKeyEnter))
    return KeyUse::Parent;
  if (!scrollable_) return KeyUse::Ignored;
  switch (key) {
    case kKeyUp: ScrollLines(-1); break;
    case kKeyDown: ScrollLines(+1); break;
    case kKeyPageUp: ScrollLines(-rows_); break;
    case kKeyPageDown: ScrollLines(rows_); break;
    case kKeyHome: ScrollToOldest(); break;
    case kKeyEnd: ScrollToEnd(); break;
    default: return KeyUse::Ignored;
  }
  return KeyUse::Handled;
}

// --- capture ------------------------------------------------------------------------------

bool FifoLines::StartCapture(const std::string& path, bool append, bool history) {
  if (!capture_.Open(path, append)) return false;
  if (history) {
    for (int i = oldest_; i != write_; i = Next(i)) {
      if (slot(i).text.empty()) continue;
      capture_.Write("\n");
      capture_.Write(slot(i).text);
    }
  }
  return true;
}

}  // namespace tarvik::ui
