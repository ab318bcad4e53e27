#pragma once
// The FIFO text control's lines, view, selection and capture, without any
// drawing: what the pane (fifo_text.h) shows and the operator acts on.
//
// The lines live in a ring of slots (200 unless the pane is given another
// size). One slot, the write slot, is always empty, so the ring holds one
// line less than it has slots; once full, each new line overwrites the
// oldest. Lines are addressed by their number: the count of lines taken
// before them, so that an index stays valid as the ring turns (its slot is
// the number modulo the ring size). The view is a window of `rows`
// consecutive lines starting at `top`. While the view shows the newest line
// it follows new lines; once the operator has scrolled back it stays where
// it is, and counts the lines that arrived below it unseen, except that it
// moves on when the oldest line it showed is overwritten.
//
// Every change records what the pane has to redraw (FifoDamage): single
// slots, a scroll by some lines, or everything.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/toolkit/drawing.h"

namespace tarvik::ui {

inline constexpr int kFifoSlots = 200;
// Bounds of a ring's size: memory stays bounded however long a pane runs.
inline constexpr int kFifoMinSlots = 2;
inline constexpr int kFifoMaxSlots = 50000;
// Longest line text; longer lines are not taken.
inline constexpr std::size_t kFifoLineCapacity = 255;

// Colours of the writers: received text black, what the program sends red,
// local notices and script output blue.
inline constexpr Color kFifoReceived = kBlack;
inline constexpr Color kFifoSent = kRed;
inline constexpr Color kFifoLocal = kBlue;

struct FifoSlot {
  std::string text;
  Color colour = kBlack;
  bool selected = false;
};

// What the pane must redraw after changes.
struct FifoDamage {
  bool all = false;          // every row (and the strip below them)
  int scroll = 0;            // the view moved by this many lines (+ towards newer)
  std::vector<int> lines;    // lines whose rows changed (visible when recorded)
  bool scrollBar = false;    // position, range or proportion of the scroll bar changed
  bool unseen = false;       // the mark of lines below the view came or went
  bool empty() const { return !all && scroll == 0 && lines.empty() && !scrollBar && !unseen; }
};

// The capture file: every line the control takes, each after a "\n", and a
// final "\n" when it ends. Written through at once so that the file is
// complete whenever the program stops.
class FifoCapture {
 public:
  // Opens for appending or anew; false (and closed) when it cannot be opened.
  bool Open(const std::string& path, bool append);
  // Ends the file with "\n" and closes it; nothing when not open.
  void Close();
  bool isOpen() const { return file_ != nullptr; }
  void Write(std::string_view text);

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

class FifoLines {
 public:
  explicit FifoLines(bool multiple = false, int size = kFifoSlots);

  // Gives the ring another size (bounded by kFifoMinSlots..kFifoMaxSlots);
  // the newest lines that fit stay, with their numbers.
  void SetSlots(int size);
  int slotCount() const { return static_cast<int>(slots_.size()); }

  // --- writing -------------------------------------------------------------
  // Adds a line; a text of 256 characters or more is dropped (false).
  // Trailing CR and LF are cut. Written to the capture file.
  bool AppendLine(std::string_view text, Color colour);
  // Adds text to the newest line and to the capture file (without a line
  // break). Text that does not fit the line's 255 characters continues on
  // new lines of the same colour, so nothing is lost; without any line it
  // starts one in black.
  void AppendToLastLine(std::string_view text);
  // Replaces a held line's text; the write slot takes a new black line
  // instead. Texts of 256 characters or more and slots that hold no line
  // are ignored.
  void ReplaceLine(int index, std::string_view text);
  // Writes a line to the capture file only, as AppendLine would: for panes
  // that show news by replacing a line they hold (the heard list).
  void CaptureLine(std::string_view text);

  // --- the ring --------------------------------------------------------------
  // A line by its number (slots that hold no line are empty).
  const FifoSlot& slot(int index) const { return slots_[Slot(index)]; }
  int oldest() const { return oldest_; }
  int writeIndex() const { return write_; }
  bool wrapped() const { return wrapped_; }
  // Lines held (from the oldest up to the write slot).
  int count() const { return write_ - oldest_; }
  // Texts of the lines held, oldest first.
  std::vector<std::string> Lines() const;
  // The next and previous line number.
  static int Next(int index) { return index + 1; }
  static int Prev(int index) { return index - 1; }

  // --- the view ----------------------------------------------------------------
  // Rows the pane shows (at least 1, at most one less than the slots).
  void SetRows(int rows);
  int rows() const { return rows_; }
  int top() const { return top_; }
  int bottom() const { return top_ + rows_ - 1; }
  bool scrollable() const { return scrollable_; }
  int SlotOfRow(int row) const { return top_ + row; }
  // The row showing a line, nullopt when it is not visible.
  std::optional<int> RowOfSlot(int index) const;
  // Moves the view by up to n lines (negative: towards older ones), never
  // before the oldest line and never past the newest; returns the lines moved.
  int ScrollLines(int n);
  // Shows the newest lines (or, while they all fit, from the oldest).
  void ScrollToEnd();
  void ScrollToOldest();
  // Lines that arrived while the view did not show the newest line; 0 once
  // it does again.
  int unseen() const { return unseen_; }
  // Scroll bar: range 0..ScrollMax(), position = top counted from the
  // oldest line, proportion = rows.
  int ScrollMax() const;
  int ScrollPos() const { return Pos(top_); }
  int ScrollProportion() const { return rows_; }
  void ScrollToPos(int pos);

  // --- selection ---------------------------------------------------------------
  bool multiple() const { return multiple_; }
  bool HasSelection() const;
  // First selected slot from the oldest; -1 when none or with multiple selection.
  int FirstSelected() const;
  // Texts of the selected lines, oldest first.
  std::vector<std::string> Selection() const;
  void ClearSelection();
  // A mouse-down on a row: starts selecting when the row shows a line with
  // text (true). Without shift the row becomes the selection; with shift its
  // mark is toggled (in single selection the others are cleared).
  bool MouseDown(int row, bool shift);
  // The pointer moved to a row while the button is down; rows above or below
  // the view scroll it by one line. Multiple selection toggles every line
  // crossed (so that moving back releases them again), single selection
  // moves to the row.
  void MouseDrag(int row);
  void MouseUp() { selecting_ = false; }
  bool selecting() const { return selecting_; }

  // --- keys ----------------------------------------------------------------------
  enum class KeyUse {
    Parent,   // typing: belongs to the parent window
    Handled,  // moved the view
    Ignored,
  };
  // Tab, Shift+Tab, characters 32..122 and the editing keys Backspace and
  // Enter belong to the parent; once the view can scroll, up, down, page
  // up, page down, home and end move it.
  KeyUse Key(int key, unsigned modifiers);

  // --- capture ---------------------------------------------------------------------
  // Opens the capture file (appending or anew) and, with history, writes
  // every non-empty line held, oldest first. False when it cannot be opened.
  bool StartCapture(const std::string& path, bool append, bool history);
  void StopCapture() { capture_.Close(); }
  bool capturing() const { return capture_.isOpen(); }

  // --- redrawing -------------------------------------------------------------------
  FifoDamage TakeDamage() { return std::exchange(damage_, {}); }

 private:
  std::size_t Slot(int index) const {
    const int n = static_cast<int>(slots_.size());
    const int r = index % n;  // one division: every line appended passes here
    return static_cast<std::size_t>(r < 0 ? r + n : r);
  }
  FifoSlot& At(int index) { return slots_[Slot(index)]; }
  // Position of a line counted from the oldest line.
  int Pos(int index) const { return index - oldest_; }
  bool Held(int index) const { return index >= oldest_ && index < write_; }
  void ScrollOne(int direction);
  void Touch(int index);
  void Store(int index, std::string_view text, Color colour);
  // Clears the count of unseen lines once the newest line is in view.
  void Seen();
  // Keeps line numbers far from overflow by moving them all back by whole
  // turns of the ring; slots stay where they are.
  void Renumber();
  bool NewerBelow() const { return Pos(top_) + rows_ - 1 < count() - 1; }
  bool HoldsText(int index) const { return Held(index) && !slot(index).text.empty(); }

  std::vector<FifoSlot> slots_;
  int oldest_ = 0;
  int write_ = 0;
  int top_ = 0;
  int rows_ = 1;
  bool wrapped_ = false;
  bool scrollable_ = false;
  bool multiple_ = false;
  bool selecting_ = false;
  int unseen_ = 0;
  int anchorSlot_ = 0;    // where the button went down
  int lastDragSlot_ = 0;  // where the pointer was last
  FifoCapture capture_;
  FifoDamage damage_;
};

}  // namespace tarvik::ui
