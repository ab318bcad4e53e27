#include "ui/toolkit/control.h"

namespace tarvik::ui {

int ControlState::firstSelected() const {
  for (std::size_t i = 0; i < selected.size(); ++i)
    if (selected[i]) return static_cast<int>(i);
  return -1;
}

std::vector<int> ControlState::selection() const {
  std::vector<int> out;
  for (std::size_t i = 0; i < selected.size(); ++i)
    if (selected[i]) out.push_back(static_cast<int>(i));
  return out;
}

MenuItem* findMenuItem(std::vector<MenuItem>& items, int number) {
  for (MenuItem& m : items) {
    if (!m.separator && m.number == number && number != 0) return &m;
    if (MenuItem* sub = findMenuItem(m.children, number)) return sub;
  }
  return nullptr;
}

const MenuItem* findMenuItem(const std::vector<MenuItem>& items, int number) {
  return findMenuItem(const_cast<std::vector<MenuItem>&>(items), number);
}

}  // namespace tarvik::ui
