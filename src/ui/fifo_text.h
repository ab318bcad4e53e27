#pragma once
// The FIFO text control: the program's own scrolling output pane for the
// terminal of a channel, the monitor, the heard list and the other panes
// that show lines as they come.
//
// A child window (title "FIFO") that keeps the last lines written to it
// (fifo_lines.h; how many is the station's setting SCROLLBACK), draws them through the toolkit's drawing surface in
// columns with a colour per line, lets the operator select lines with the
// mouse and copy them, hands typed characters to its parent window, and
// copies every line it takes into a capture file while one is open.
//
// Notifications to the parent: user event `controlNumber` with argument 2
// when the pane gets the focus, 0 for a single click (150 ms after the
// button went up) and 1 for a double click.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_service.h"
#include "ui/description.h"
#include "ui/fifo_lines.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

inline constexpr int kFifoMaxColumns = 25;
// Column end that means "no end": the last column, or all with NOCLIP.
inline constexpr int kFifoNoColumnEnd = 999;
inline constexpr int kFifoClickMs = 150;
// The ring size of a pane when the station does not set one (SCROLLBACK):
// thousands of lines to read back, still a bounded amount of memory.
inline constexpr int kFifoDefaultSlots = 5000;
// The setting (by number) that gives the ring size: a ring of n slots keeps
// n - 1 lines, so 200 is the classic ring of 199 lines.
inline constexpr int kScrollbackSetting = 43;
// Message asking whether an existing capture file is appended to.
inline constexpr int kMsgCaptureExists = 1026;

// Notification arguments.
enum FifoNotify : int {
  kFifoSingleClick = 0,
  kFifoDoubleClick = 1,
  kFifoFocus = 2,
  kFifoPaste = 3,  // the middle button: paste the selection where typing goes
};

struct FifoOptions {
  std::string name;           // the control's name, for the UI driver ("MONITOR")
  int controlNumber = 0;      // sent with every notification to the parent
  std::vector<int> columns;   // column start x; none: one column at 0
  bool multiple = false;      // "MULTIPLE": several lines may be selected
  bool noClip = false;        // "NOCLIP": columns are not cut at the next one
  std::string header;         // column headers separated by "|"; empty: none
  FontSpec font;              // the form's list font
  int ringSize = 0;           // slots of the ring; 0: the form's SCROLLBACK setting
};

class FifoText : public Window {
 public:
  FifoText(core::MessageService& messages, FifoOptions options);

  // Creates the pane as a child of `parent` in `rect` (parent client
  // coordinates).
  static WindowId Create(Toolkit& toolkit, WindowId parent, const Rect& rect,
                         core::MessageService& messages, FifoOptions options);

  void onEvent(Event& event) override;

  // --- what the owner writes -----------------------------------------------
  void AppendLine(std::string_view text, Color colour);
  void AppendToLastLine(std::string_view text);
  void ReplaceLine(int index, std::string_view text);
  // A line for the capture file only (see FifoLines::CaptureLine).
  void CaptureLine(std::string_view text) { lines_.CaptureLine(text); }
  void ScrollToEnd();
  // Starts capturing into `name` or, with an empty name, only stops. An
  // existing file is appended to or written anew as the operator answers
  // message 1026; with `history` the lines held are written first.
  void Capture(const std::string& name, bool history);
  bool capturing() const { return lines_.capturing(); }
  bool captureQuestionOpen() const { return captureAsked_; }

  // --- selection ------------------------------------------------------------
  bool HasSelection() const { return lines_.HasSelection(); }
  int FirstSelected() const { return lines_.FirstSelected(); }
  // Adds the selected lines, oldest first; true when at least one was added.
  bool GetSelection(std::vector<std::string>& list) const;
  // Puts the selected lines on the clipboard, one per line.
  void CopySelection();

  void SetFont(const FontSpec& font);
  const FontSpec& font() const { return options_.font; }
  const FifoLines& lines() const { return lines_; }
  int lineHeight() const { return lineHeight_; }
  int headerHeight() const { return headerHeight_; }
  // Column i's start and end x; start kFifoNoColumnEnd when it does not exist.
  int columnStart(int i) const;
  int columnEnd(int i) const;
  // The characters selected by dragging across a line (empty without such
  // a selection; lines are joined with a line feed).
  std::string SelectedText() const;

 private:
  // A place in the text: a line (its slot) and a character in it.
  struct TextPlace {
    int line = 0;
    int column = 0;
    auto operator<=>(const TextPlace&) const = default;
  };
  TextPlace PlaceAt(int row, int x) const;
  // The characters [from, to) of line `index` that the selection covers;
  // false when it covers none of them.
  bool SelectedPart(int index, std::size_t& from, std::size_t& to) const;
  void Layout();
  void ComputeColumns();
  // Draws what changed in the lines since the last time (scrolls, changed
  // rows, the mark); RequestRedraw does it once the waiting events are handled.
  // Draws the pane's own changes; returns how far a scroll among them
  // moved the rows (pixels, up is negative).
  int Redraw();
  void RequestRedraw();
  void PaintAll();
  // Draws again what lies in `area` (client coordinates).
  void PaintArea(const Rect& area);
  void PaintRow(int row);
  void PaintRowText(Canvas& canvas, const FifoSlot& slot, int top, Color back, bool marked);
  // The selected characters of a row drawn over it.
  void PaintSelectedPart(Canvas& canvas, int index, int top);
  void PaintHeader();
  void PaintFrame();
  void PaintStrip();
  // A mark at the end of the last row while lines arrived below the view.
  void PaintUnseenMark();
  int ConfiguredSlots() const;
  void UpdateScrollBar(bool always = false);
  void Notify(int what);
  void OnMouse(const MouseRecord& m);
  void OnScrollBar(int action);
  void EndClickTimer();
  Canvas* canvas() const;

  core::MessageService& messages_;
  FifoOptions options_;
  FifoLines lines_;
  std::vector<int> starts_, ends_;
  int width_ = 0, height_ = 0;
  int lineHeight_ = 1, leading_ = 0, ascent_ = 0;
  int headerHeight_ = 0;
  bool focused_ = false;
  bool markShown_ = false;
  // What the scroll bar was last told.
  struct ScrollBarState {
    int max = 0, proportion = 0, pos = 0;
    friend bool operator==(const ScrollBarState&, const ScrollBarState&) = default;
  };
  std::optional<ScrollBarState> scrollBar_;
  bool paintRequested_ = false;  // an Update of the changes is on its way
  bool buttonDown_ = false;
  // A selection of characters: the pointer moved sideways while dragging
  // in a pane of one column. Without it a drag selects whole lines.
  bool textSpan_ = false;
  TextPlace anchor_, reach_;
  int downX_ = 0;
  bool doubleClicked_ = false;
  TimerId clickTimer_ = 0;
  // Capture waiting for the answer to message 1026.
  bool captureAsked_ = false;
  std::string captureName_;
  bool captureHistory_ = false;
};

// The options of a "CTL_FIFO" control of a window description: its name,
// symbolic id, columns, MULTIPLE and NOCLIP, in the form's list font.
FifoOptions FifoOptionsFor(const ControlDescription& control, const FontSpec& font);

// The pane of a window id, null when the window is no FIFO text control.
FifoText* FindFifo(Toolkit& toolkit, WindowId id);

}  // namespace tarvik::ui
