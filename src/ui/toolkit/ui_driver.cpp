#include "ui/toolkit/ui_driver.h"

#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <set>

namespace tarvik::ui {

namespace {

// Message dialogs built from window descriptions, and their text lines.
constexpr int kMessageDialogNumbers[] = {1610, 1620, 1630, 1640};
constexpr const char* kDialogLineNames[] = {"ZEILE1", "ZEILE2", "ZEILE3"};

// --- words and names ------------------------------------------------------------

// Splits off the next blank-separated word; `rest` keeps what follows after
// exactly one blank, so that a text argument keeps its own blanks.
std::string_view nextWord(std::string_view& rest) {
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  const auto end = rest.find(' ');
  std::string_view w = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return w;
}

bool sameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<int> number(std::string_view w) {
  int v = 0;
  if (w.empty()) return std::nullopt;
  const auto r = std::from_chars(w.data(), w.data() + w.size(), v);
  if (r.ec != std::errc() || r.ptr != w.data() + w.size()) return std::nullopt;
  return v;
}

const char* kindName(WindowKind k) {
  switch (k) {
    case WindowKind::Invisible: return "invisible";
    case WindowKind::Document: return "document";
    case WindowKind::Dialog: return "dialog";
    case WindowKind::Frame: return "frame";
    case WindowKind::Child: return "pane";
  }
  return "?";
}

const char* kindName(ControlKind k) {
  switch (k) {
    case ControlKind::PushButton: return "button";
    case ControlKind::CheckBox: return "checkbox";
    case ControlKind::RadioButton: return "radio";
    case ControlKind::Edit: return "edit";
    case ControlKind::MultiLineEdit: return "multiedit";
    case ControlKind::StaticText: return "text";
    case ControlKind::GroupBox: return "group";
    case ControlKind::ListBox: return "list";
    case ControlKind::ComboBox: return "combo";
    case ControlKind::HScrollBar: return "hscroll";
    case ControlKind::VScrollBar: return "vscroll";
    case ControlKind::Icon: return "icon";
  }
  return "?";
}

// A text in replies: line ends are shown as "\n" and "\r" and a backslash
// as "\\", so that every reply line stays one line.
std::string escaped(std::string_view t) {
  std::string out;
  for (char c : t) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

// The reverse, for text arguments: "\n", "\r", "\t" and "\\".
std::string unescaped(std::string_view t) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\\' && i + 1 < t.size()) {
      const char n = t[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n;
    } else {
      out += t[i];
    }
  }
  return out;
}

// A menu text as shown: without the mnemonic marker.
std::string plainMenuText(std::string_view t) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '&' && i + 1 < t.size() && t[i + 1] != '&') continue;
    if (t[i] == '&' && i + 1 < t.size()) ++i;
    out += t[i];
  }
  return out;
}

struct KeyName {
  const char* name;
  int key;
  unsigned mods;
};
constexpr KeyName kKeyNames[] = {
    {"ENTER", kKeyEnter, 0}, {"TAB", kKeyTab, 0},       {"BTAB", kKeyTab, kModShift},
    {"ESC", kKeyEscape, 0},  {"BS", kKeyBackspace, 0},  {"UP", kKeyUp, 0},
    {"DOWN", kKeyDown, 0},   {"LEFT", kKeyLeft, 0},     {"RIGHT", kKeyRight, 0},
    {"PGUP", kKeyPageUp, 0}, {"PGDN", kKeyPageDown, 0}, {"HOME", kKeyHome, 0},
    {"END", kKeyEnd, 0},     {"INS", kKeyInsert, 0},    {"DEL", kKeyDelete, 0},
};

struct Stroke {
  int key;
  unsigned mods;
};

// "abc{ENTER}{F5}{{" into key strokes; nullopt for an unknown {NAME}.
std::optional<std::vector<Stroke>> parseKeys(std::string_view text) {
  std::vector<Stroke> out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '{') {
      out.push_back({static_cast<unsigned char>(c), 0});
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '{') {
      out.push_back({'{', 0});
      ++i;
      continue;
    }
    const auto close = text.find('}', i);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view name = text.substr(i + 1, close - i - 1);
    i = close;
    unsigned mods = 0;
    // Modifier prefixes: "S-", "C-", "A-" (shift, control, alt).
    while (name.size() > 2 && name[1] == '-') {
      if (name[0] == 'S') mods |= kModShift;
      else if (name[0] == 'C') mods |= kModControl;
      else if (name[0] == 'A') mods |= kModAlt;
      else return std::nullopt;
      name.remove_prefix(2);
    }
    bool known = false;
    for (const KeyName& k : kKeyNames)
      if (name == k.name) {
        out.push_back({k.key, k.mods | mods});
        known = true;
      }
    if (!known && name.size() >= 2 && name[0] == 'F') {
      if (auto n = number(name.substr(1)); n && *n >= 1 && *n <= 12) {
        out.push_back({kKeyF1 + *n - 1, mods});
        known = true;
      }
    }
    if (!known && name.size() == 1) {
      out.push_back({static_cast<unsigned char>(name[0]), mods});
      known = true;
    }
    if (!known) return std::nullopt;
  }
  return out;
}

// --- the commands ------------------------------------------------------------------

class Session {
 public:
  explicit Session(Toolkit& tk) : tk_(tk) {}

  std::vector<std::string> run(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    std::string_view rest = line;
    const std::string cmd(nextWord(rest));
    if (cmd.empty()) return err("empty request");
    if (cmd == "help") return ok("windows controls get set state check press select dblclick "
                                 "items scroll menus menu type mouse lines dialogs answer file png place status activate active");
    if (cmd == "windows") return windows();
    if (cmd == "dialogs") return dialogs();
    if (cmd == "answer") return answer(rest);
    if (cmd == "file") return file(rest);
    if (cmd == "active") {
      const WindowId a = tk_.activeWindow();
      return ok(a == kNoWindow ? std::string("none") : "#" + std::to_string(a));
    }
    if (cmd == "status") {
      for (int i = 0; i < 3; ++i) out_.push_back("= " + std::to_string(i) + " " + tk_.statusField(i));
      return ok();
    }
    static const std::set<std::string, std::less<>> kWindowCommands = {
        "controls", "menus", "menu", "png", "lines", "type", "mouse", "get", "state", "items",
        "set", "press", "check", "select", "dblclick", "scroll", "place", "activate"};
    if (!kWindowCommands.count(cmd)) return err("unknown command");
    // The rest name a window first.
    const auto w = window(nextWord(rest));
    if (!w) return err("no such window");
    if (cmd == "activate") {
      // The operator brings the window up (clicks its title bar).
      tk_.activate(*w);
      return ok();
    }
    if (cmd == "controls") return controls(*w);
    if (cmd == "menus") return menus(*w);
    if (cmd == "menu") return menu(*w, rest);
    if (cmd == "png") {
      if (rest.empty()) return err("no path");
      return tk_.savePicture(*w, std::string(rest)) ? ok() : err("no picture");
    }
    if (cmd == "place") {
      // As the operator drags a window: top, left, bottom, right in pixels.
      int v[4];
      for (int& x : v) {
        const std::string word(nextWord(rest));
        char* end = nullptr;
        const long n = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end != '\0' || n < -10000 || n > 10000) return err("bad rectangle");
        x = static_cast<int>(n);
      }
      const Rect r{v[0], v[1], v[2], v[3]};
      if (r.empty()) return err("bad rectangle");
      tk_.move(*w, r);
      return ok();
    }
    if (cmd == "lines") return lines(*w, rest);
    if (cmd == "type") return type(*w, rest);
    if (cmd == "mouse") return mouse(*w, rest);
    // The rest name a control of it.
    const std::string_view ctlName = nextWord(rest);
    const auto c = control(*w, ctlName);
    if (!c) {
      // A fixed text the window paints itself can be read, not acted on.
      const auto drawn = drawnText(*w, ctlName);
      if (!drawn) return err("no such control");
      if (cmd == "get") return ok(escaped(drawn->text));
      if (cmd == "state")
        return ok(std::string("kind=text enabled=") + (drawn->enabled ? "1" : "0") +
                  " visible=" + (drawn->visible ? "1" : "0") + " checked=0");
      return err("disabled, invisible or not applicable");
    }
    const ControlState* st = tk_.control(*w, *c);
    if (cmd == "get") return ok(escaped(st->text));
    if (cmd == "state") return ok(stateOf(*st));
    if (cmd == "items") {
      for (std::size_t i = 0; i < st->items.size(); ++i)
        out_.push_back("= " + std::string(st->selected[i] ? "*" : " ") + " " + escaped(st->items[i]));
      return ok();
    }
    if (cmd == "set") return done(tk_.operatorSetText(*w, *c, unescaped(rest)));
    if (cmd == "press") return done(tk_.operatorClick(*w, *c));
    if (cmd == "check") {
      const auto v = number(nextWord(rest));
      if (!v || (*v != 0 && *v != 1)) return err("check wants 0 or 1");
      if (st->spec.kind != ControlKind::CheckBox && st->spec.kind != ControlKind::RadioButton)
        return err("not a check box or radio button");
      if (st->checked == (*v == 1)) return ok();
      if (*v == 0 && st->spec.kind == ControlKind::RadioButton) return err("check another one");
      return done(tk_.operatorClick(*w, *c));
    }
    if (cmd == "select" || cmd == "dblclick") {
      const std::string_view arg = rest;
      std::optional<int> index = number(arg);
      if (!index) {  // an entry's text
        for (std::size_t i = 0; i < st->items.size(); ++i)
          if (st->items[i] == arg) index = static_cast<int>(i);
      }
      if (!index) return err("no such entry");
      return done(cmd == "select" ? tk_.operatorSelect(*w, *c, *index)
                                  : tk_.operatorDoubleClick(*w, *c, *index));
    }
    if (cmd == "scroll") {
      static const std::map<std::string, ControlNotify, std::less<>> actions = {
          {"lineup", kNotifyLineUp},     {"linedown", kNotifyLineDown}, {"pageup", kNotifyPageUp},
          {"pagedown", kNotifyPageDown}, {"thumb", kNotifyThumb}};
      const auto a = actions.find(nextWord(rest));
      if (a == actions.end()) return err("no such scroll action");
      return done(tk_.operatorScroll(*w, *c, a->second, number(rest).value_or(0)));
    }
    return err("unknown command");
  }

 private:
  std::vector<std::string> ok(const std::string& value = {}) {
    out_.push_back(value.empty() ? "OK" : "OK " + value);
    return std::move(out_);
  }
  std::vector<std::string> err(const std::string& why) { return {"ERR " + why}; }
  std::vector<std::string> done(bool acted) {
    return acted ? ok() : err("disabled, invisible or not applicable");
  }

  // The newest window that matches: "#id", a description number, a name.
  std::optional<WindowId> window(std::string_view w) {
    if (w.empty()) return std::nullopt;
    const auto all = tk_.windows();
    if (w.front() == '#') {
      const auto id = number(w.substr(1));
      if (id && *id > 0 && tk_.exists(static_cast<WindowId>(*id))) return static_cast<WindowId>(*id);
      return std::nullopt;
    }
    const auto n = number(w);
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      const WindowSpec* s = tk_.specOf(*it);
      if (!s) continue;
      if (n ? s->number == *n : sameNoCase(s->name, w)) return *it;
    }
    return std::nullopt;
  }

  std::optional<int> control(WindowId w, std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '#') {
      const auto id = number(name.substr(1));
      if (id && tk_.control(w, *id)) return id;
      return std::nullopt;
    }
    return tk_.controlByName(w, name);
  }

  // A text the window paints itself, by name (exact first, then ignoring case).
  std::optional<Toolkit::DrawnText> drawnText(WindowId w, std::string_view name) {
    const auto texts = tk_.drawnTextsOf(w);
    for (const auto& t : texts)
      if (t.name == name) return t;
    for (const auto& t : texts)
      if (sameNoCase(t.name, name)) return t;
    return std::nullopt;
  }

  // A pane: the window itself (".") or its child window of that name.
  std::optional<WindowId> pane(WindowId w, std::string_view name) {
    if (name.empty() || name == ".") return w;
    for (WindowId c : tk_.children(w)) {
      const WindowSpec* s = tk_.specOf(c);
      if (s && tk_.exists(c) && sameNoCase(s->name, name)) return c;
    }
    return std::nullopt;
  }

  static std::string stateOf(const ControlState& c) {
    std::string s = std::string("kind=") + kindName(c.spec.kind) +
                    " enabled=" + (c.enabled ? "1" : "0") + " visible=" + (c.visible ? "1" : "0") +
                    " checked=" + (c.checked ? "1" : "0");
    if (c.spec.kind == ControlKind::ListBox || c.spec.kind == ControlKind::ComboBox)
      s += " sel=" + std::to_string(c.firstSelected()) + " count=" + std::to_string(c.items.size());
    if (c.spec.kind == ControlKind::HScrollBar || c.spec.kind == ControlKind::VScrollBar)
      s += " range=" + std::to_string(c.scroll.min) + ".." + std::to_string(c.scroll.max) +
           " pos=" + std::to_string(c.scroll.pos) + " prop=" + std::to_string(c.scroll.proportion);
    return s;
  }

  std::vector<std::string> windows() {
    for (WindowId id : tk_.windows()) {
      const WindowSpec* s = tk_.specOf(id);
      if (!s) continue;
      out_.push_back("= #" + std::to_string(id) + " " + (s->name.empty() ? "-" : s->name) + " " +
                     std::to_string(s->number) + " " + kindName(s->kind) + " " +
                     (s->parent ? "#" + std::to_string(s->parent) : "-") + " " + escaped(s->title));
    }
    return ok();
  }

  std::vector<std::string> controls(WindowId w) {
    for (int id : tk_.controlIds(w)) {
      const ControlState* c = tk_.control(w, id);
      out_.push_back("= #" + std::to_string(id) + " " + (c->spec.name.empty() ? "-" : c->spec.name) +
                     " " + kindName(c->spec.kind) + " " + (c->enabled ? "1" : "0") +
                     (c->visible ? "1" : "0") + (c->checked ? "1" : "0") + " " + escaped(c->text));
    }
    for (const Toolkit::DrawnText& t : tk_.drawnTextsOf(w))
      out_.push_back("= - " + (t.name.empty() ? std::string("-") : t.name) + " text " +
                     (t.enabled ? "1" : "0") + (t.visible ? "1" : "0") + "0 " + escaped(t.text));
    for (WindowId c : tk_.children(w)) {
      const WindowSpec* s = tk_.specOf(c);
      if (s && s->kind == WindowKind::Child && tk_.exists(c))
        out_.push_back("= #" + std::to_string(c) + " " + (s->name.empty() ? "-" : s->name) +
                       " pane");
    }
    return ok();
  }

  void listMenus(const std::vector<MenuItem>& items, const std::string& path) {
    for (const MenuItem& m : items) {
      if (m.separator) continue;
      const std::string p = path.empty() ? plainMenuText(m.text) : path + "/" + plainMenuText(m.text);
      if (m.children.empty())
        out_.push_back("= " + std::to_string(m.number) + " " + (m.enabled ? "1" : "0") +
                       (m.checked ? "1" : "0") + " " + p);
      else
        listMenus(m.children, p);
    }
  }

  std::vector<std::string> menus(WindowId w) {
    if (const auto* bar = tk_.menuBar(w)) listMenus(*bar, "");
    return ok();
  }

  // Finds an item by its path ("File/Open") or its own text.
  static const MenuItem* findByText(const std::vector<MenuItem>& items, std::string_view path) {
    const auto slash = path.find('/');
    const std::string_view head = path.substr(0, slash);
    for (const MenuItem& m : items) {
      if (m.separator) continue;
      if (sameNoCase(plainMenuText(m.text), head)) {
        if (slash == std::string_view::npos) return &m;
        if (const MenuItem* f = findByText(m.children, path.substr(slash + 1))) return f;
      }
      if (slash == std::string_view::npos)
        if (const MenuItem* f = findByText(m.children, path)) return f;
    }
    return nullptr;
  }

  std::vector<std::string> menu(WindowId w, std::string_view what) {
    const auto* bar = tk_.menuBar(w);
    if (!bar) return err("no menu");
    int itemNumber = 0;
    if (auto n = number(what)) {
      itemNumber = *n;
    } else if (const MenuItem* m = findByText(*bar, what)) {
      itemNumber = m->number;
    } else {
      return err("no such menu item");
    }
    return done(tk_.operatorCommand(w, itemNumber));
  }

  std::vector<std::string> lines(WindowId w, std::string_view name) {
    const auto p = pane(w, nextWord(name));
    if (!p) return err("no such pane");
    const auto text = tk_.linesOf(*p);
    if (!text) return err("no lines");
    for (const std::string& l : *text) out_.push_back("= " + escaped(l));
    return ok(std::to_string(text->size()));
  }

  std::vector<std::string> type(WindowId w, std::string_view rest) {
    const std::string_view target = nextWord(rest);
    const auto keys = parseKeys(rest);
    if (!keys) return err("bad key name");
    // A control of the window: characters edit its text as typing would;
    // other keys go to the window, as the control passes them on.
    if (target != "." ) {
      if (const auto c = tk_.controlByName(w, target)) {
        const ControlState* st = tk_.control(w, *c);
        const bool edit = st->spec.kind == ControlKind::Edit ||
                          st->spec.kind == ControlKind::MultiLineEdit;
        if (!st->enabled || !st->visible) return err("disabled, invisible or not applicable");
        // The operator first moves into the field: the field left behind
        // sees its focus loss (where forms check what was typed).
        if (const int before = tk_.focusControl(w); before != *c) {
          if (before != kNoControl) tk_.operatorFocus(w, before, false);
          if (!tk_.exists(w) || !tk_.control(w, *c)) return err("control went away");
          tk_.operatorFocus(w, *c, true);
          tk_.setFocus(w, *c);
        }
        for (const Stroke& k : *keys) {
          st = tk_.control(w, *c);
          if (!st) return err("control went away");
          if (edit && k.mods == 0 && k.key >= 32 && k.key < 256) {
            tk_.operatorSetText(w, *c, st->text + static_cast<char>(k.key));
          } else if (edit && k.key == kKeyBackspace && k.mods == 0) {
            if (!st->text.empty()) tk_.operatorSetText(w, *c, st->text.substr(0, st->text.size() - 1));
          } else if (edit && k.key == kKeyEnter && st->spec.kind == ControlKind::MultiLineEdit) {
            tk_.operatorSetText(w, *c, st->text + '\n');
          } else {
            tk_.operatorKey(w, k.key, k.mods);
          }
          if (!tk_.exists(w)) break;
        }
        return ok();
      }
    }
    const auto p = pane(w, target);
    if (!p) return err("no such control or pane");
    for (const Stroke& k : *keys) {
      if (!tk_.exists(*p)) break;
      tk_.operatorKey(*p, k.key, k.mods);
    }
    return ok();
  }

  std::vector<std::string> mouse(WindowId w, std::string_view rest) {
    const auto p = pane(w, nextWord(rest));
    if (!p) return err("no such pane");
    const std::string_view action = nextWord(rest);
    const auto x = number(nextWord(rest));
    const auto y = number(nextWord(rest));
    const auto button = number(nextWord(rest)).value_or(0);
    const unsigned mods = number(nextWord(rest)).value_or(0);
    if (!x || !y) return err("mouse wants x y");
    const Point pt{*x, *y};
    if (action == "down") tk_.operatorMouse(*p, MouseAction::Down, pt, button, mods);
    else if (action == "up") tk_.operatorMouse(*p, MouseAction::Up, pt, button, mods);
    else if (action == "move") tk_.operatorMouse(*p, MouseAction::Move, pt, button, mods);
    else if (action == "double") tk_.operatorMouse(*p, MouseAction::DoubleClick, pt, button, mods);
    else if (action == "click") {
      tk_.operatorMouse(*p, MouseAction::Down, pt, button, mods);
      if (tk_.exists(*p)) tk_.operatorMouse(*p, MouseAction::Up, pt, button, mods);
    } else {
      return err("no such mouse action");
    }
    return ok();
  }

  // Message dialogs that are forms of their window descriptions, oldest
  // first: dialog windows numbered 1610, 1620, 1630 or 1640.
  std::vector<WindowId> formDialogs() {
    std::vector<WindowId> found;
    for (WindowId id : tk_.windows()) {
      const WindowSpec* s = tk_.specOf(id);
      if (s && s->kind == WindowKind::Dialog && tk_.exists(id) &&
          std::find(std::begin(kMessageDialogNumbers), std::end(kMessageDialogNumbers), s->number) !=
              std::end(kMessageDialogNumbers))
        found.push_back(id);
    }
    return found;
  }

  std::vector<std::string> dialogs() {
    for (WindowId id : formDialogs()) {
      const WindowSpec* s = tk_.specOf(id);
      std::vector<std::string> lines;
      for (const char* name : kDialogLineNames) {
        const auto t = drawnText(id, name);
        lines.push_back(t ? t->text : std::string());
      }
      while (!lines.empty() && lines.back().empty()) lines.pop_back();
      out_.push_back(dialogLine(s->number, s->title, lines));
    }
    for (const OpenDialog& d : tk_.openMessageDialogs()) out_.push_back(dialogLine(d.number, d.title, d.lines));
    return ok();
  }

  static std::string dialogLine(int number, const std::string& title, const std::vector<std::string>& lines) {
    std::string line = "= " + std::to_string(number) + " " + escaped(title);
    for (const std::string& l : lines) line += " | " + escaped(l);
    return line;
  }

  std::vector<std::string> answer(std::string_view rest) {
    const auto a = number(nextWord(rest));
    if (!a || (*a != 0 && *a != 1 && *a != 3)) return err("answer wants 0, 1 or 3");
    const auto forms = formDialogs();
    if (!forms.empty()) return answerForm(forms.front(), *a);
    if (tk_.answerDialog(*a)) return ok("answered");
    tk_.queueDialogAnswer(*a);
    return ok("queued");
  }

  // A form dialog is answered as the operator would: its button of that
  // answer, or Escape where Escape gives it (no in a question, cancel in a
  // question with cancel, yes in a notice).
  std::vector<std::string> answerForm(WindowId dialog, int answer) {
    const char* button = answer == 0 ? "NEIN" : answer == 1 ? "JA" : "ABBRUCH";
    if (const auto c = tk_.controlByName(dialog, button)) {
      if (tk_.operatorClick(dialog, *c)) return ok("answered");
    }
    const int number = tk_.specOf(dialog)->number;
    const int escapeAnswer = number == 1620 ? 0 : number == 1630 ? 3 : 1;
    if (answer != escapeAnswer) return err("the dialog offers no such answer");
    tk_.operatorKey(dialog, kKeyEscape);
    return ok("answered");
  }

  std::vector<std::string> file(std::string_view rest) {
    if (rest.empty()) return err("file wants a path or -");
    if (rest == "-")
      tk_.queueFileDialogAnswer(std::nullopt);
    else
      tk_.queueFileDialogAnswer(std::string(rest));
    return ok("queued");
  }

  Toolkit& tk_;
  std::vector<std::string> out_;
};

// --- the server ------------------------------------------------------------------

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    // A client that went away must not end the program with SIGPIPE:
    // sockets say so per call, standard output (a pipe) by write.
    ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = ::write(fd, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 5000) <= 0) return false;  // a client that never reads
    } else {
      return false;
    }
  }
  return true;
}

class DriverServer final : public Window {
 public:
  DriverServer(int listenFd, std::string path) : listenFd_(listenFd), path_(std::move(path)) {}
  ~DriverServer() override {
    for (auto& [user, c] : clients_)
      if (c.fd >= 0 && c.fd != 0) ::close(c.fd);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  void onEvent(Event& e) override {
    switch (e.type) {
      case EventType::Create:
        if (listenFd_ >= 0) {
          toolkit().watch(listenFd_, kWatchRead, id(), kListenEvent);
        } else {  // standard input and output
          addClient(0, 1);
        }
        break;
      case EventType::User:
        if (e.id == kListenEvent) accept();
        else readClient(e.id);
        break;
      default:
        break;
    }
  }

 private:
  static constexpr int kListenEvent = 1;
  struct Client {
    int fd = -1, out = -1;
    WatchId watch = 0;
    std::string buffer;
  };

  void addClient(int fd, int out) {
    const int user = nextUser_++;
    Client c{fd, out, 0, {}};
    c.watch = toolkit().watch(fd, kWatchRead, id(), user);
    clients_[user] = std::move(c);
  }

  void accept() {
    for (;;) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) return;
      addClient(fd, fd);
    }
  }

  void drop(int user) {
    auto it = clients_.find(user);
    if (it == clients_.end()) return;
    toolkit().unwatch(it->second.watch);
    if (it->second.fd != 0) ::close(it->second.fd);
    clients_.erase(it);
  }

  void readClient(int user) {
    auto it = clients_.find(user);
    if (it == clients_.end()) return;
    char buf[4096];
    const ssize_t n = ::read(it->second.fd, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
      drop(user);
      return;
    }
    if (n < 0) return;
    it->second.buffer.append(buf, static_cast<std::size_t>(n));
    // Each complete line is a request. A handler run by a request may end
    // the program or this server; check the client still exists each time.
    for (;;) {
      it = clients_.find(user);
      if (it == clients_.end()) return;
      const auto nl = it->second.buffer.find('\n');
      if (nl == std::string::npos) return;
      const std::string line = it->second.buffer.substr(0, nl);
      it->second.buffer.erase(0, nl + 1);
      const int out = it->second.out;
      UiDriver driver(toolkit());
      std::string reply;
      for (const std::string& l : driver.execute(line)) reply += l + "\n";
      if (!writeAll(out, reply)) {
        drop(user);
        return;
      }
    }
  }

  int listenFd_;
  std::string path_;
  std::map<int, Client> clients_;
  int nextUser_ = 2;
};

}  // namespace

std::vector<std::string> UiDriver::execute(std::string_view line) { return Session(tk_).run(line); }

WindowId startDriverServer(Toolkit& toolkit, const std::string& path) {
  int fd = -1;
  std::string socketPath;
  if (path != "-") {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return kNoWindow;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return kNoWindow;
    // A socket file left by an earlier run is replaced; any other file is not.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 8) != 0) {
      ::close(fd);
      return kNoWindow;
    }
    socketPath = path;
  }
  WindowSpec spec;
  spec.kind = WindowKind::Invisible;
  spec.name = "UIDRIVER";
  return toolkit.create(spec, std::make_unique<DriverServer>(fd, socketPath));
}

}  // namespace tarvik::ui
