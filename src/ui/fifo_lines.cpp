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

// --- the ring ----------------------------------------------------------------------

namespace {
// Line numbers are moved back once they pass this; far below INT_MAX, so
// that adding a view's rows or a scroll never overflows.
constexpr int kRenumberAt = 1 << 30;
}  // namespace

FifoLines::FifoLines(bool multiple, int size)
    : slots_(static_cast<std::size_t>(std::clamp(size, kFifoMinSlots, kFifoMaxSlots))),
      multiple_(multiple) {}

void FifoLines::SetSlots(int size) {
  const int slots = std::clamp(size, kFifoMinSlots, kFifoMaxSlots);
  if (slots == slotCount()) return;
  const int keepFrom = std::max(oldest_, write_ - (slots - 1));
  std::vector<FifoSlot> next(static_cast<std::size_t>(slots));
  const auto slotIn = [&](int index) {
    return static_cast<std::size_t>(((index % slots) + slots) % slots);
  };
  for (int i = keepFrom; i < write_; ++i) next[slotIn(i)] = std::move(At(i));
  slots_ = std::move(next);
  if (keepFrom > oldest_) wrapped_ = true;
  oldest_ = keepFrom;
  rows_ = std::clamp(rows_, 1, slots - 1);
  top_ = std::clamp(top_, oldest_, std::max(oldest_, write_ - 1));
  damage_.all = true;
  damage_.scrollBar = true;
}

// --- writing --------------------------------------------------------------------

namespace {
constexpr std::size_t kSlotReserve = 128;
}  // namespace

void FifoLines::Store(int index, std::string_view text, Color colour) {
  FifoSlot& s = At(index);
  // Taken from outside the ring: a plain copy into the slot's storage,
  // which grows at once to a line's usual length (a slot is written again
  // each time the ring comes round).
  if (s.text.capacity() < text.size()) s.text.reserve(std::max(text.size(), kSlotReserve));
  s.text.clear();
  s.text.append(text);
  s.colour = colour;
  s.selected = false;
}

void FifoLines::Touch(int index) {
  if (RowOfSlot(index)) damage_.lines.push_back(index);
}

void FifoLines::ScrollOne(int direction) {
  top_ += direction;
  damage_.scroll += direction;
  damage_.scrollBar = true;
}

void FifoLines::Seen() {
  if (unseen_ == 0 || !(count() == 0 || RowOfSlot(write_ - 1))) return;
  unseen_ = 0;
  damage_.unseen = true;
}

void FifoLines::Renumber() {
  if (write_ < kRenumberAt) return;
  const int n = slotCount();
  const int shift = oldest_ / n * n;
  oldest_ -= shift;
  write_ -= shift;
  top_ -= shift;
  anchorSlot_ -= shift;
  lastDragSlot_ -= shift;
}

bool FifoLines::AppendLine(std::string_view text, Color colour) {
  if (text.size() > kFifoLineCapacity) return false;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  Renumber();

  Store(write_, text, colour);
  if (capture_.isOpen()) {
    capture_.Write("\n");
    capture_.Write(text);
  }
  // While the view shows the newest line it moves on with the new one.
  if (bottom() == write_ - 1) {
    ScrollOne(+1);
    scrollable_ = true;
  } else {
    Touch(write_);
  }
  ++write_;
  FifoSlot& fresh = At(write_);
  fresh.text.clear();
  fresh.selected = false;
  if (count() > slotCount() - 1) {
    wrapped_ = true;
    ++oldest_;
  }
  damage_.scrollBar = true;
  // The view never starts before the oldest line: when the oldest line it
  // showed was just overwritten, it moves on by one.
  if (top_ < oldest_) ScrollOne(+1);
  if (!RowOfSlot(write_ - 1)) {
    ++unseen_;
    damage_.unseen = true;
  }
  return true;
}

void FifoLines::AppendToLastLine(std::string_view text) {
  if (count() == 0) AppendLine({}, kFifoReceived);
  const int newest = write_ - 1;
  FifoSlot& last = At(newest);
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
  if (text.size() > kFifoLineCapacity) return;
  if (index == write_) {
    AppendLine(text, kFifoReceived);
    return;
  }
  if (!Held(index)) return;  // not a line the ring holds
  At(index).text.assign(text);
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
  for (int i = oldest_; i != write_; ++i) out.push_back(slot(i).text);
  return out;
}

// --- view -------------------------------------------------------------------------

void FifoLines::SetRows(int rows) {
  // A view that showed the newest line keeps showing it when it shrinks;
  // otherwise new lines would arrive below it unseen. One that grows shows
  // older lines above rather than empty rows below.
  const bool following = count() > 0 && RowOfSlot(write_ - 1).has_value();
  rows_ = std::clamp(rows, 1, slotCount() - 1);
  if (following) top_ = std::max(oldest_, write_ - rows_);
  damage_.all = true;
  damage_.scrollBar = true;
  Seen();
}

std::optional<int> FifoLines::RowOfSlot(int index) const {
  const int row = index - top_;
  if (row >= 0 && row < rows_) return row;
  return std::nullopt;
}

int FifoLines::ScrollLines(int n) {
  int moved = 0;
  for (; n < 0 && Pos(top_) > 0; ++n, --moved) ScrollOne(-1);
  for (; n > 0 && NewerBelow(); --n, ++moved) ScrollOne(+1);
  Seen();
  return moved;
}

void FifoLines::ScrollToEnd() {
  top_ = count() <= rows_ ? oldest_ : write_ - rows_;
  damage_.all = true;
  damage_.scrollBar = true;
  Seen();
}

void FifoLines::ScrollToOldest() {
  top_ = oldest_;
  damage_.all = true;
  damage_.scrollBar = true;
}

int FifoLines::ScrollMax() const { return std::max(0, count() - rows_); }

void FifoLines::ScrollToPos(int pos) {
  top_ = oldest_ + std::clamp(pos, 0, ScrollMax());
  damage_.all = true;
  damage_.scrollBar = true;
  Seen();
}

// --- selection ------------------------------------------------------------------------

bool FifoLines::HasSelection() const {
  for (int i = oldest_; i != write_; ++i)
    if (slot(i).selected) return true;
  return false;
}

int FifoLines::FirstSelected() const {
  if (multiple_) return -1;
  for (int i = oldest_; i != write_; ++i)
    if (slot(i).selected) return i;
  return -1;
}

std::vector<std::string> FifoLines::Selection() const {
  std::vector<std::string> out;
  for (int i = oldest_; i != write_; ++i)
    if (slot(i).selected) out.push_back(slot(i).text);
  return out;
}

void FifoLines::ClearSelection() {
  for (int i = oldest_; i != write_; ++i) {
    FifoSlot& s = At(i);
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
  FifoSlot& s = At(index);
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
      const int index = oldest_ + changed;
      if (HoldsText(index)) {
        At(index).selected ^= true;
        Touch(index);
      }
    }
  } else {
    const int index = oldest_ + to;
    if (HoldsText(index)) {
      ClearSelection();
      At(index).selected = true;
      Touch(index);
    }
  }
  lastDragSlot_ = oldest_ + to;
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
    for (int i = oldest_; i != write_; ++i) {
      if (slot(i).text.empty()) continue;
      capture_.Write("\n");
      capture_.Write(slot(i).text);
    }
  }
  return true;
}

}  // namespace tarvik::ui
