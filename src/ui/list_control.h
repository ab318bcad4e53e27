#pragma once
// The list control: a program-drawn child window that shows a display file
// (ui/list_file.h) as a scrolling list of columns. It never holds the list
// in memory; it reads the rows in view.
//
// Columns start at the x positions the window description gives (a start
// of 0 hides its column); a column ends at the next larger start, or never
// with NOCLIP. A header ("|"-separated texts) sits above the rows; its
// column borders can be dragged, and the layout is kept per form and
// control in TMPPATH "pos/<form><control>.tlb". With SORT a double click
// on a header column sorts the whole file by that column.
//
// Notifications to the parent form: user event <control number> with
// argument 2 when the list gets the focus, otherwise button * 10 +
// activation (1 double click or Enter, 0 single click or space); a single
// click is told once the double-click time has passed.
//
// Keys: Up and Down move the cursor (in a list of single selection they
// select the line they reach), Page Up and Page Down scroll a page, Home
// and End go to the first and the last page, Enter activates the cursor
// line, Space selects it (toggles it in a list of multiple selection);
// every other key goes to the parent.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/list_file.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

inline constexpr int kListMaxColumns = 25;
inline constexpr int kListMaxRows = 50;
inline constexpr std::size_t kListMaxSelection = 256;
inline constexpr int kListNoColumnEnd = 999;
inline constexpr int kListClickMs = 200;
inline constexpr int kListScrollRange = 250;
inline constexpr int kListFocusNotice = 2;

enum ListMessage : int {
  kMsgListCannotOpen = 1005,
  kMsgListWrongLength = 1006,
  kMsgListCannotReopen = 1020,
};

struct ListOptions {
  std::string name;           // for the UI driver ("LISTE")
  int control = 0;            // sent with every notification
  int form = 0;               // window number, names the layout file
  std::vector<int> columns;   // column starts; none: one column
  bool multiple = false;      // MULTIPLE or M_FIRST
  bool multipleFirst = false; // M_FIRST
  bool noClip = false;
  bool noDelete = false;
  bool sort = false;
  std::string header;         // "|"-separated; empty: no header
  FontSpec font;
  std::string tmpPath;        // layout files and sort runs
  // ShowMessage(window, kind, number, text 1, text 2).
  std::function<void(WindowId, int, int, const std::string&, const std::string&)> showMessage;
};

class ListControl final : public Window {
 public:
  explicit ListControl(ListOptions options);
  // Creates the control as a child of `parent` in `rect`.
  static WindowId Create(Toolkit& toolkit, WindowId parent, const Rect& rect, ListOptions options);

  void onEvent(Event& event) override;

  // --- the file --------------------------------------------------------------
  // Shows another display file (an empty name: an empty list); the selection
  // is cleared. False and message 1005 when it cannot be opened.
  bool AttachFile(std::string name);
  const std::string& fileName() const { return file_.path(); }
  // The shown lines, deleted lines skipped.
  std::vector<std::string> Lines() const;

  // --- selection -------------------------------------------------------------
  // The line at the cursor, when a line is selected.
  bool GetSelectedLine(std::string& text) const;
  std::optional<std::string> Selected() const;
  std::size_t SelectedCount() const { return selection_.size(); }
  // The selected lines in file order.
  std::vector<std::string> SelectedLines() const;

  // --- changes ---------------------------------------------------------------
  // Appends a line; message 1006 and false when its length is not the
  // file's line length.
  bool AppendLine(std::string_view text);
  enum InsertMode : int { kInsertBefore = 0, kInsertAfter = 1, kInsertTop = 2, kInsertEnd = 3, kInsertSelect = 0x20 };
  // Inserts a line relative to the cursor line (or at the top or the end);
  // with kInsertSelect the new line is selected alone.
  bool InsertLine(std::string_view text, int mode);
  // Overwrites the last selected line (same length).
  bool ReplaceLine(std::string_view text);
  // Deletes the last selected line.
  bool DeleteSelected();
  std::optional<std::string> FindByKey(int field, std::string_view key) const;
  bool ReplaceByKey(int field, std::string_view key, std::string_view text);
  bool DeleteByKey(int field, std::string_view key);

  // --- look ------------------------------------------------------------------
  // The column whose value 0..7 picks a background and text colour pair;
  // column -1: white and black.
  void SetColours(int column, const std::array<Color, 8>& backgrounds, const std::array<Color, 8>& texts);
  // The column whose value is drawn as icon icons[value] instead of text.
  void SetBitmapColumn(int column, std::vector<int> icons);
  // Sorts by a column as a double click on its header does (with or
  // without SORT); false when the file could not be sorted.
  bool SortBy(int column);

  // --- geometry (for the operator's pointer) ---------------------------------
  int rowHeight() const { return rowHeight_; }
  int headerHeight() const { return headerHeight_; }
  int rows() const { return rows_; }
  // The y in the middle of visible row `row`.
  int RowMiddle(int row) const { return headerHeight_ + row * rowHeight_ + rowHeight_ / 2; }
  int columnStart(int i) const;
  int columnEnd(int i) const;
  // The offset of the first row in view.
  std::size_t topOffset() const { return top_; }
  // The visible rows' texts (what is drawn).
  std::vector<std::string> VisibleRows() const;
  // The cursor's row in view, -1 when it is not in view or there is none.
  int cursorRow() const;

 private:
  struct Column {
    int start = 0;
    int end = kListNoColumnEnd;
  };

  void Layout();
  void ReadPage();
  void SetTop(std::size_t offset);
  void UpdateScrollBar();
  void OnScrollBar(int action);
  void OnKey(Event& event);
  void OnMouse(const MouseRecord& m);
  void OnHeaderMouse(const MouseRecord& m);
  void MoveCursor(long steps);
  void ShowCursor();
  void Select(std::size_t offset, bool alone);
  bool IsSelected(std::size_t offset) const;
  void Notify(int code);
  void StartClickTimer(int button);
  void EndClickTimer();
  void Reopen();
  void Message(int number, const std::string& text1, const std::string& text2 = {});
  void ComputeColumnEnds();
  std::string LayoutFile() const;
  void ReadLayout();
  void WriteLayout() const;
  int ColumnAt(int x) const;
  void Paint();
  void PaintHeader(Canvas& cv);
  void PaintRow(Canvas& cv, int row);

  ListOptions options_;
  ListFile file_;
  std::vector<Column> columns_;
  std::vector<std::string> headerTexts_;
  int rowHeight_ = 14;
  int ascent_ = 10;
  int headerHeight_ = 0;
  int rows_ = 0;
  std::vector<ListRow> page_;
  std::size_t top_ = 0;
  std::optional<std::size_t> cursor_;
  std::vector<std::size_t> selection_;  // offsets, the last selected last
  int colourColumn_ = -1;
  std::array<Color, 8> backgrounds_{};
  std::array<Color, 8> texts_{};
  int bitmapColumn_ = -1;
  std::vector<int> icons_;
  TimerId clickTimer_ = 0;
  int clickButton_ = 0;
  int dragging_ = -1;  // the column whose start border is dragged
  bool wrongLengthTold_ = false;
};

class FormRuntime;
// Makes the list controls (CTL_TLB) of the runtime's forms list controls;
// a factory already there stays.
void InstallListControls(FormRuntime& forms);

}  // namespace tarvik::ui
