#pragma once
// Where the operator's pointer finds a row of a list control.

#include <string>

#include "ui/list_control.h"

namespace tarvik::test {

// The y in the middle of visible row `row` of the list control in the open
// window of description `number`; -1 when there is none.
inline int ListRowY(const ui::Toolkit& tk, int number, int row) {
  for (const ui::WindowId w : tk.windows())
    if (const auto* list = tk.findAs<ui::ListControl>(w)) {
      const ui::WindowSpec* parent = tk.specOf(tk.parentOf(w));
      if (parent && parent->number == number) return list->RowMiddle(row);
    }
  return -1;
}

// The same in the window `form` ("#<id>", as the UI driver names it, or
// its description number).
inline int ListRowY(const ui::Toolkit& tk, const std::string& form, int row) {
  if (form.empty() || form[0] != '#') return ListRowY(tk, std::stoi(form), row);
  const auto id = static_cast<ui::WindowId>(std::stoul(form.substr(1)));
  for (const ui::WindowId w : tk.children(id))
    if (const auto* list = tk.findAs<ui::ListControl>(w)) return list->RowMiddle(row);
  return -1;
}

}  // namespace tarvik::test
