#pragma once
// The list pane: a program-drawn list of the lines of a display file, the
// beginning of the list control.
//
// The display file holds lines of equal length, each ended by "\n". A line
// made of CR characters only is a deleted line: it keeps its place in the
// file (so that the offsets of the others stay), but it is not shown. The
// pane draws the lines as rows of columns (the tab-separated fields of a
// line, without its last field, which is the line's key for the owner),
// selects a row with a click and tells its parent form user event <control>
// with button * 10 + activation (1 for a double click). It has no header,
// colours, sorting or column dragging yet.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

inline constexpr int kListRowHeight = 16;  // pixels per row

class ListPane final : public Window {
 public:
  // `control` is the symbolic id the parent is told of selections with.
  explicit ListPane(int control) : control_(control) {}

  // Shows a display file; nothing is selected.
  void Attach(std::string file);
  // The shown lines (deleted lines skipped) with their byte offsets.
  std::vector<std::pair<std::string, std::size_t>> Lines() const;
  // The selected line, nothing when no row is selected.
  std::optional<std::string> Selected() const;
  // Adds a line at the end; false when its length differs from the others'
  // or the file cannot be written.
  bool Append(const std::string& line);
  // Overwrites in place the first shown line that `matches` and has the
  // length of `line`; false when there is none.
  bool Replace(const std::function<bool(const std::string&)>& matches, const std::string& line);
  // Overwrites the selected line with CR characters; the file keeps its size.
  void DeleteSelected();

  void onEvent(Event& event) override;

 private:
  void Redraw();
  void Paint();
  std::string ReadAll() const;

  int control_;
  std::string file_;
  int selected_ = -1;
};

class FormRuntime;
// Makes the list controls (CTL_TLB) of the runtime's forms list panes; a
// factory already there stays.
void InstallListPanes(FormRuntime& forms);

}  // namespace tarvik::ui
