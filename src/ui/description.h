#pragma once
// The window description language. Every dialog-like window (station
// database, mail, logbook, configuration dialogs, message dialogs, the about
// box) is described by a numbered text: its title, place, font, background,
// menu bar, controls, fixed texts, default values and drawn lines. The window
// that owns a form supplies only two name resolvers (control and menu names
// to symbolic ids 0..49, state names to state variables) and a command
// callback; see form.h for the behaviour at run time.
//
//   [WINDOW=Station;POS=40,30,420,260;MODAL;FONT=helvetica,10,BOLD;
//   [MENU=&File
//   &Save=SPEICHERN;TAG=5;
//   -=
//   E&xit=EXIT;
//   [CONTROL
//   CALL=&Call;CTL_ED_UPPSTR(9) POS=10,10,80,22; SYS=RUFZ;
//   OK=OK;CTL_PB(DEF) POS=10,40,80,24; SYS=SPEICHERN; {CHANGED}
//   [STRINGS
//   NEW=New station
//   [//1a2b]
//
// Sections are found by their keyword from the start of the text, so their
// order is free; the items of a section run until the next line starting
// with "[". The line containing "[//" ends the text and carries its checksum.
// Nothing in a description can make parsing fail: unknown things are dropped
// and limits cut the tables.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/condition.h"

namespace tarvik::ui {

inline constexpr std::size_t kMaxMenuEntries = 50;
inline constexpr std::size_t kMaxStrings = 50;
inline constexpr std::size_t kMaxDefaults = 20;
inline constexpr std::size_t kMaxGraphics = 20;
inline constexpr std::size_t kMaxColumns = 19;
inline constexpr std::size_t kMaxFocusOrder = 49;
inline constexpr int kSymbolicIds = 50;
inline constexpr std::size_t kMaxTitle = 63;

// Ids of the standard actions every form knows.
inline constexpr int kActionExit = 0;
inline constexpr int kActionLeer = 1100;
inline constexpr int kActionAbout = 1101;
inline constexpr int kActionHelp = 1102;
inline constexpr int kActionClose = 1103;
inline constexpr int kActionCut = 1104;
inline constexpr int kActionCopy = 1105;
inline constexpr int kActionPaste = 1106;
// The id of an item or control without one (it may carry a command text).
inline constexpr int kNoId = -1;

// The id of a standard action name ("EXIT", "LEER", "ABOUT", "HILFE",
// "CLOSE", "CUT", "COPY", "PASTE").
std::optional<int> StandardAction(std::string_view name);

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct FontDescription {
  std::string family = "helvetica";
  int size = 10;
  bool bold = false;
  bool italic = false;
  bool operator==(const FontDescription&) const = default;
};

// A rectangle as described: left, top, width, height.
struct DescribedRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const DescribedRect&) const = default;
};

struct WindowHeader {
  std::string title;
  std::optional<DescribedRect> pos;
  bool resizable = false;  // "SIZE": the remembered size is used too
  int headerBand = 0;      // "HEADER=n": height of the grey band at the top
  bool modal = false;
  std::optional<Rgb> background;
  std::optional<FontDescription> font;
  std::string firstLine;  // the first non-empty line after the WINDOW line
};

enum class MenuKind { Bar, Menu, Submenu, Item, SubmenuItem, Separator, Empty };

struct MenuEntry {
  MenuKind kind = MenuKind::Empty;
  int tag = 0;           // TAG=n of the description, 0 when none
  int parent = -1;       // table index of the menu, submenu or bar it belongs to
  std::string title;     // with the "&" marking the mnemonic
  int children = 0;
  char mnemonic = 0;     // upper case, 0 when none
  bool disabled = false;
  bool checkable = false;
  bool checked = false;
  std::string command;   // command text of an unknown action
  int id = kNoId;        // symbolic id or standard action
  Condition condition;
};

enum class ControlType {
  PushButton,    // CTL_PB
  RadioButton,   // CTL_RB
  CheckBox,      // CTL_CB
  DropDownList,  // CTL_LB
  ListBox,       // CTL_LBOX
  FixedText,     // CTL_ST, drawn by the form
  TextField,     // CTL_ED_STRING
  UpperField,    // CTL_ED_UPPSTR
  DateField,     // CTL_ED_DATUM
  TimeField,     // CTL_ED_ZEIT
  DigitsField,   // CTL_ED_NUM
  PasswordField, // CTL_ED_PWD
  ListControl,   // CTL_TLB, the program's list control
  TextControl,   // CTL_FIFO, the program's scrolling text control
  IconButton,    // CTL_IBTN, drawn by the program
};

bool IsEditField(ControlType kind);
// Kinds that take part in the focus order (all but fixed texts).
bool IsFocusKind(ControlType kind);

// Push button and icon button roles.
inline constexpr int kRoleDefault = 1;  // "DEF": Enter
inline constexpr int kRoleInsert = 2;   // "INS": menu command 1997
inline constexpr int kRoleDelete = 3;   // "DEL": menu command 1998

struct ControlDescription {
  ControlType kind = ControlType::FixedText;
  std::string label;      // text before "=", the control's name
  std::string title;      // shown text, with "&" marking the mnemonic
  char mnemonic = 0;
  DescribedRect pos;
  int id = kNoId;         // symbolic id or standard action from SYS=
  std::string symbolicName;
  std::string command;    // SYS=(text)
  bool invisible = false, disabled = false, checked = false;
  Condition condition;
  int role = 0;           // push and icon buttons
  int group = 0;          // radio buttons
  std::string listText;   // drop-down lists and list boxes, entries separated by ","
  int maxLength = 0;      // fields
  std::vector<int> columns;  // list and text controls
  bool multiple = false, multipleFirst = false, noClip = false, noDelete = false,
       sorted = false;
  std::string headerKey;  // list control: STRINGS key of the column header
  int icon = 0, pressedIcon = 0;
  bool flat = false;      // icon button "2D"
};

struct GraphicItem {
  enum class Kind { Line, Icon } kind = Kind::Line;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // an icon uses x1, y1
  int width = 1;
  Rgb color{};                         // black, WHITE or GRAY (128,128,128)
  int icon = 0;
};

// The three places one symbolic id stands for, -1 where none.
struct IdMapEntry {
  int menuEntry = -1;
  int focusPosition = -1;
  int control = -1;  // index into controls (control number - 1)
};

struct FormDescription {
  WindowHeader window;
  std::vector<MenuEntry> menus;  // entry 0 is the menu bar when there is a menu
  std::vector<ControlDescription> controls;  // control n is controls[n - 1]
  std::vector<std::string> strings;
  std::vector<std::pair<std::string, std::string>> defaults;
  std::vector<GraphicItem> graphics;
  std::vector<int> focusOrder;  // indexes into controls
  std::array<IdMapEntry, kSymbolicIds> idMap{};

  // The toolkit tag of a menu table entry: its TAG value if non-zero (menus
  // and items), else its table index.
  int menuTag(int entry) const;
  // The table entry with that toolkit tag, or -1.
  int menuEntryForTag(int tag) const;
};

struct Resolvers {
  NameResolver names;   // control and menu names to symbolic ids 0..49
  NameResolver states;  // state names to state variables 0..24
};

// Parses a decoded description.
FormDescription ParseDescription(std::string_view text, const Resolvers& resolvers);

// STRINGS lookup: the line whose name (before "=") is `key`, else the first
// line containing `key` anywhere; gives everything after the line's first
// "=". Nothing when no line contains the key.
std::optional<std::string> LookupString(const FormDescription& description, std::string_view key);

// Toolkit control numbers: 105, 110, ... for controls 1, 2, ...
inline constexpr int ToolkitControlNumber(int control) { return 105 + 5 * (control - 1); }
inline constexpr int ControlFromToolkitNumber(int number) { return (number - 100) / 5; }

}  // namespace tarvik::ui
