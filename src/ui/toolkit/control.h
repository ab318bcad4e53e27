#pragma once
// Controls and menus of visible windows.
//
// The state of every control (text, checks, list items, selection, enabled,
// visible, scroll bar) lives in the toolkit's per-window model, not in the
// widgets. The program changes it through the toolkit; a graphical backend
// mirrors each change into its widget and feeds the operator's edits back
// into the model before it sends the Control event. So the headless backend
// has working controls without any widget, and the UI driver reads and acts
// on one place.
//
// The program's own drawn panes (text pane, list control, icon buttons) are
// not controls but child windows (WindowKind::Child) with a drawing surface,
// mouse, keys and scroll bars of their own.

#include <string>
#include <vector>

#include "ui/toolkit/font.h"
#include "ui/toolkit/geometry.h"

namespace tarvik::ui {

enum class ControlKind {
  PushButton,
  CheckBox,
  RadioButton,   // exclusive within its group (per window)
  Edit,          // single-line text field
  MultiLineEdit,
  StaticText,    // a fixed text
  GroupBox,      // a framed, titled box around other controls
  ListBox,       // a list, one or several lines selected
  ComboBox,      // a drop-down list to choose one entry from
  HScrollBar,
  VScrollBar,
  Icon,          // a picture: icon `icon` of the program
};

enum ControlFlag : unsigned {
  kCtlInvisible = 1,
  kCtlDisabled = 2,
  kCtlChecked = 4,       // check box, radio button
  kCtlDefault = 8,       // push button: the default button of the window
  kCtlPassword = 16,     // edit: characters are not shown
  kCtlUpperCase = 32,    // edit: typed letters become capitals
  kCtlDigits = 64,       // edit: meant for digits (the form checks them)
  kCtlMultiSelect = 128, // list box: several lines may be selected
  kCtlReadOnly = 256,    // edit: the operator cannot change the text
};

struct ControlSpec {
  ControlKind kind = ControlKind::PushButton;
  int id = 0;          // unique within the window; the Control event's id
  std::string name;    // the control's name (the UI driver addresses it by this)
  Rect rect;           // in the window's client coordinates
  std::string text;    // title, field text or fixed text; "&" marks a mnemonic
  unsigned flags = 0;
  int group = 0;       // radio buttons: their group
  int maxLength = 0;   // edits: most characters the operator may type; 0 any
  int icon = 0;        // Icon: the icon number
};

struct ScrollState {
  int min = 0, max = 100;
  int pos = 0;
  int proportion = 0;  // the visible part, in the same units as the range
};

// The model of one control.
struct ControlState {
  ControlSpec spec;
  std::string text;
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  std::vector<std::string> items;  // list and combo box entries
  std::vector<bool> selected;      // per item
  int suspended = 0;               // list filling in progress (nesting count)
  int selStart = 0, selEnd = 0;    // edit: selected text [start, end)
  bool hasFont = false;
  FontSpec font;
  ScrollState scroll;

  // First selected item, -1 when none.
  int firstSelected() const;
  std::vector<int> selection() const;
};

// A menu bar is a list of menus; a menu is an item with children. An entry
// without children in the bar itself is a command of its own.
struct MenuItem {
  int number = 0;         // the Command event's id; 0 for separators and menus without one
  std::string text;       // "&" marks the mnemonic letter
  bool separator = false;
  bool enabled = true;
  bool checkable = false;
  bool checked = false;
  std::vector<MenuItem> children;
};

// Finds the item with `number` in a menu tree (depth first); null when none.
MenuItem* findMenuItem(std::vector<MenuItem>& items, int number);
const MenuItem* findMenuItem(const std::vector<MenuItem>& items, int number);

}  // namespace tarvik::ui
