#include "ui/description.h"

#include <cctype>
#include <cstdlib>

#include "ui/cnx_file.h"

namespace tarvik::ui {

namespace {

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::string_view trimEnd(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// Finds `word` in s where it is not part of a longer word.
std::size_t findWord(std::string_view s, std::string_view word, std::size_t from = 0) {
  for (std::size_t at = s.find(word, from); at != std::string_view::npos;
       at = s.find(word, at + 1)) {
    const bool startOk = at == 0 || !isWordChar(s[at - 1]);
    const std::size_t end = at + word.size();
    const bool endOk = end >= s.size() || !isWordChar(s[end]) || !isWordChar(word.back());
    if (startOk && endOk) return at;
  }
  return std::string_view::npos;
}

bool hasWord(std::string_view s, std::string_view word) {
  return findWord(s, word) != std::string_view::npos;
}

// A decimal number at pos (optional sign); 0 when there is none. Advances pos.
int readInt(std::string_view s, std::size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) negative = s[pos++] == '-';
  long v = 0;
  while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
    if (v < 1'000'000) v = v * 10 + (s[pos] - '0');
    ++pos;
  }
  return static_cast<int>(negative ? -v : v);
}

// The numbers after "key=": separated by ",", ended by ";" (or the text end).
std::vector<int> numbersAfter(std::string_view s, std::string_view key, std::size_t count) {
  std::vector<int> out;
  const std::size_t at = findWord(s, key);
  if (at == std::string_view::npos) return out;
  std::size_t pos = at + key.size();
  while (pos < s.size() && s[pos] == ' ') ++pos;
  if (pos >= s.size() || s[pos] != '=') return out;
  ++pos;
  while (out.size() < count) {
    out.push_back(readInt(s, pos));
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos >= s.size() || s[pos] != ',') break;
    ++pos;
  }
  out.resize(count, 0);
  return out;
}

char mnemonicOf(std::string_view title) {
  for (std::size_t i = 0; i + 1 < title.size(); ++i) {
    if (title[i] != '&') continue;
    if (title[i + 1] == '&') {  // "&&" is a literal ampersand
      ++i;
      continue;
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(title[i + 1])));
  }
  return 0;
}

// A section line: "[" then (after blanks) the keyword as a whole word, so
// that "[SUBMENU" is no "MENU" section and a menu titled "Strings" starts no
// STRINGS section.
bool isSectionLine(std::string_view line, std::string_view keyword) {
  if (line.empty() || line[0] != '[') return false;
  std::string_view rest = line.substr(1);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  if (rest.substr(0, keyword.size()) != keyword) return false;
  return rest.size() == keyword.size() || !isWordChar(rest[keyword.size()]);
}

// The value of a section line: after the first "=" up to "#", trailing
// blanks cut.
std::string_view sectionValue(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view v = line.substr(eq + 1);
  v = v.substr(0, v.find('#'));
  return trimEnd(v);
}

class Parser {
 public:
  Parser(std::string_view text, const Resolvers& r) : resolvers_(r) {
    for (std::string_view line : SplitReaderLines(text, kDescriptionLineLength)) {
      if (line.find("[//") != std::string_view::npos) break;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
      lines_.push_back(line);
    }
  }

  FormDescription run() {
    parseWindow();
    parseMenus();
    parseControls();
    parseStrings();
    parseDefaults();
    parseGraphics();
    buildFocusOrderAndIdMap();
    return std::move(d_);
  }

 private:
  std::size_t findSection(std::string_view keyword) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (isSectionLine(lines_[i], keyword)) return i;
    }
    return lines_.size();
  }

  // Items of the section whose line is at `at`: up to the next "[" line.
  template <class F> void forItems(std::size_t at, F&& f) const {
    for (std::size_t i = at + 1; i < lines_.size() && (lines_[i].empty() || lines_[i][0] != '['); ++i) {
      f(lines_[i]);
    }
  }

  static bool isBlankOrComment(std::string_view line) {
    const std::string_view t = trim(line);
    return t.empty() || t[0] == '#';
  }

  Condition condition(std::string_view text) const {
    return ParseCondition(text, resolvers_.states, resolvers_.names);
  }

  // Standard action, then the owner's names, else a command text.
  void resolveAction(std::string_view action, int& id, std::string& command) const {
    action = trim(action);
    if (action.empty()) return;
    if (auto standard = StandardAction(action)) {
      id = *standard;
      return;
    }
    int n = 0;
    if (resolvers_.names && resolvers_.names(action, n) && n >= 0 && n < kSymbolicIds) {
      id = n;
      return;
    }
    command = std::string(action);
  }

  void parseWindow() {
    const std::size_t at = findSection("WINDOW");
    if (at == lines_.size()) return;
    const std::string_view value = sectionValue(lines_[at]);
    const std::size_t semi = value.find(';');
    WindowHeader& w = d_.window;
    w.title = std::string(trim(value.substr(0, semi)).substr(0, kMaxTitle));
    const std::string_view options =
        semi == std::string_view::npos ? std::string_view{} : value.substr(semi + 1);
    if (auto p = numbersAfter(options, "POS", 4); !p.empty()) w.pos = DescribedRect{p[0], p[1], p[2], p[3]};
    w.resizable = hasWord(options, "SIZE");
    w.modal = hasWord(options, "MODAL");
    if (auto h = numbersAfter(options, "HEADER", 1); !h.empty()) w.headerBand = std::max(0, h[0]);
    if (auto c = numbersAfter(options, "BKG", 3); !c.empty()) w.background = Rgb{c[0], c[1], c[2]};
    if (const std::size_t f = findWord(options, "FONT"); f != std::string_view::npos) {
      std::string_view spec = options.substr(f + 4);
      spec = trim(spec);
      if (!spec.empty() && spec[0] == '=') {
        spec.remove_prefix(1);
        spec = spec.substr(0, spec.find(';'));
        FontDescription font;
        const std::size_t comma = spec.find(',');
        font.family = std::string(trim(spec.substr(0, comma)));
        if (font.family.empty()) font.family = "helvetica";
        if (comma != std::string_view::npos) {
          std::size_t pos = comma + 1;
          const int size = readInt(spec, pos);
          if (size > 0) font.size = size;
          const std::string_view flags = spec.substr(pos);
          font.italic = flags.find("ITAL") != std::string_view::npos;
          font.bold = flags.find("BOLD") != std::string_view::npos;
        }
        w.font = font;
      }
    }
    for (std::size_t i = at + 1; i < lines_.size(); ++i) {
      if (trim(lines_[i]).empty()) continue;
      if (lines_[i][0] != '[') w.firstLine = std::string(lines_[i]);
      break;
    }
  }

  // --- menus ---------------------------------------------------------------
  int addMenuEntry(MenuEntry e) {
    if (d_.menus.size() >= kMaxMenuEntries) return -1;
    if (e.parent >= 0) ++d_.menus[static_cast<std::size_t>(e.parent)].children;
    d_.menus.push_back(std::move(e));
    return static_cast<int>(d_.menus.size()) - 1;
  }

  // Options of an item: flag words, TAG=n, {condition}, then the action.
  void parseItemOptions(std::string_view options, MenuEntry& e) const {
    options = options.substr(0, options.find('#'));
    std::string action;
    bool haveAction = false;
    std::size_t start = 0;
    while (start <= options.size()) {
      std::size_t end = options.find(';', start);
      if (end == std::string_view::npos) end = options.size();
      std::string_view part = trim(options.substr(start, end - start));
      start = end + 1;
      for (;;) {
        if (part.empty()) break;
        if (part[0] == '{') {
          const std::size_t close = part.find('}');
          e.condition = condition(part.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
          part = close == std::string_view::npos ? std::string_view{} : trim(part.substr(close + 1));
          continue;
        }
        std::size_t wordEnd = 0;
        while (wordEnd < part.size() && (isWordChar(part[wordEnd]))) ++wordEnd;
        const std::string_view word = part.substr(0, wordEnd);
        if (word == "DISABLED" || word == "CHECKABLE" || word == "CHECKED") {
          if (word == "DISABLED") e.disabled = true;
          if (word == "CHECKABLE") e.checkable = true;
          if (word == "CHECKED") e.checked = e.checkable = true;
          part = trim(part.substr(wordEnd));
          continue;
        }
        if (word == "TAG" && wordEnd < part.size() && part[wordEnd] == '=') {
          std::size_t pos = wordEnd + 1;
          e.tag = readInt(part, pos);
          part = trim(part.substr(pos));
          continue;
        }
        // What remains is the action; a condition written after it still
        // counts as the condition.
        if (const std::size_t brace = part.find('{'); brace != std::string_view::npos) {
          const std::size_t close = part.find('}', brace);
          e.condition = condition(part.substr(brace + 1, close == std::string_view::npos ? std::string_view::npos : close - brace - 1));
          part = trim(part.substr(0, brace));
        }
        if (!haveAction && !part.empty()) {
          action = std::string(part);
          haveAction = true;
        }
        break;
      }
      if (end == options.size()) break;
    }
    if (haveAction) resolveAction(action, e.id, e.command);
  }

  // "[MENU=title;action;TAG=n" and "[SUBMENU=title;action".
  MenuEntry sectionMenu(std::string_view value, MenuKind kind, int parent) const {
    MenuEntry e;
    e.kind = kind;
    e.parent = parent;
    const std::size_t semi = value.find(';');
    e.title = std::string(trim(value.substr(0, semi)));
    e.mnemonic = mnemonicOf(e.title);
    if (semi != std::string_view::npos) parseItemOptions(value.substr(semi + 1), e);
    if (kind == MenuKind::Submenu) e.tag = 0;  // submenus always use their table index
    return e;
  }

  void parseMenus() {
    const std::size_t at = findSection("MENU");
    if (at == lines_.size()) return;
    MenuEntry bar;
    bar.kind = MenuKind::Bar;
    addMenuEntry(std::move(bar));
    MenuEntry first;
    first.kind = MenuKind::Menu;
    first.parent = 0;
    first.title = std::string(sectionValue(lines_[at]));
    first.mnemonic = mnemonicOf(first.title);
    int menu = addMenuEntry(std::move(first));
    int submenu = -1;
    for (std::size_t i = at + 1; i < lines_.size(); ++i) {
      const std::string_view line = lines_[i];
      if (!line.empty() && line[0] == '[') {
        if (isSectionLine(line, "MENU")) {
          const int m = addMenuEntry(sectionMenu(sectionValue(line), MenuKind::Menu, 0));
          if (m >= 0) menu = m;
          submenu = -1;
          continue;
        }
        if (isSectionLine(line, "SUBMENU")) {
          if (menu >= 0) submenu = addMenuEntry(sectionMenu(sectionValue(line), MenuKind::Submenu, menu));
          continue;
        }
        break;
      }
      if (isBlankOrComment(line) || menu < 0) continue;
      const std::size_t eq = line.find('=');
      std::string_view text = line.substr(0, eq);
      const std::string_view options =
          eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1);
      MenuEntry e;
      e.parent = menu;
      if (trim(text).empty()) {
        e.kind = MenuKind::Empty;
      } else if (text[0] == '-') {
        e.kind = MenuKind::Separator;
      } else if (text[0] == ' ' || text[0] == '\t') {
        e.kind = submenu >= 0 ? MenuKind::SubmenuItem : MenuKind::Item;
        if (submenu >= 0) e.parent = submenu;
      } else {
        e.kind = MenuKind::Item;
      }
      if (e.kind == MenuKind::Item || e.kind == MenuKind::SubmenuItem) {
        e.title = std::string(trim(text));
        e.mnemonic = mnemonicOf(e.title);
        parseItemOptions(options, e);
        if (e.kind == MenuKind::SubmenuItem) e.tag = 0;
      }
      addMenuEntry(std::move(e));
    }
  }

  // --- controls ------------------------------------------------------------
  static std::optional<ControlType> controlType(std::string_view keyword) {
    static constexpr std::pair<std::string_view, ControlType> kinds[] = {
        {"CTL_PB", ControlType::PushButton},        {"CTL_RB", ControlType::RadioButton},
        {"CTL_CB", ControlType::CheckBox},          {"CTL_LB", ControlType::DropDownList},
        {"CTL_LBOX", ControlType::ListBox},         {"CTL_ST", ControlType::FixedText},
        {"CTL_ED_STRING", ControlType::TextField},  {"CTL_ED_UPPSTR", ControlType::UpperField},
        {"CTL_ED_DATUM", ControlType::DateField},   {"CTL_ED_ZEIT", ControlType::TimeField},
        {"CTL_ED_NUM", ControlType::DigitsField},   {"CTL_ED_PWD", ControlType::PasswordField},
        {"CTL_TLB", ControlType::ListControl},      {"CTL_FIFO", ControlType::TextControl},
        {"CTL_IBTN", ControlType::IconButton},
    };
    for (const auto& [name, kind] : kinds) {
      if (name == keyword) return kind;
    }
    return std::nullopt;
  }

  static int role(std::string_view params) {
    if (hasWord(params, "DEF")) return kRoleDefault;
    if (hasWord(params, "INS")) return kRoleInsert;
    if (hasWord(params, "DEL")) return kRoleDelete;
    return 0;
  }

  static void typeParameters(ControlDescription& c, std::string_view params) {
    switch (c.kind) {
      case ControlType::PushButton:
        c.role = role(params);
        break;
      case ControlType::RadioButton: {
        std::size_t pos = 0;
        c.group = readInt(params, pos);
        break;
      }
      case ControlType::DropDownList:
      case ControlType::ListBox:
        c.listText = std::string(params);
        break;
      case ControlType::TextField:
      case ControlType::UpperField:
      case ControlType::DateField:
      case ControlType::TimeField:
      case ControlType::DigitsField:
      case ControlType::PasswordField: {
        std::size_t pos = 0;
        c.maxLength = std::max(0, readInt(params, pos));
        break;
      }
      case ControlType::ListControl:
      case ControlType::TextControl:
      case ControlType::IconButton: {
        std::size_t start = 0;
        int numbers = 0;
        while (start < params.size()) {
          std::size_t end = params.find_first_of(",;", start);
          if (end == std::string_view::npos) end = params.size();
          const std::string_view item = trim(params.substr(start, end - start));
          start = end + 1;
          if (item.empty()) continue;
          if (item.find_first_not_of("-0123456789") == std::string_view::npos) {
            std::size_t pos = 0;
            const int v = readInt(item, pos);
            if (c.kind == ControlType::IconButton) {
              (numbers++ == 0 ? c.icon : c.pressedIcon) = v;
            } else if (c.columns.size() < kMaxColumns) {
              c.columns.push_back(v);
            }
            continue;
          }
          if (c.kind == ControlType::IconButton) {
            if (item == "2D") c.flat = true;
            if (const int r = role(item)) c.role = r;
            continue;
          }
          if (item == "MULTIPLE") c.multiple = true;
          if (item == "NOCLIP") c.noClip = true;
          if (c.kind == ControlType::TextControl) continue;
          if (item == "M_FIRST") c.multipleFirst = true;
          if (item == "NODEL") c.noDelete = true;
          if (item == "SORT") c.sorted = true;
          if (item.substr(0, 6) == "HEADER") {
            const std::size_t eq = item.find('=');
            if (eq != std::string_view::npos) c.headerKey = std::string(trim(item.substr(eq + 1)));
          }
        }
        if (c.kind == ControlType::IconButton && numbers < 2) c.pressedIcon = c.icon;
        break;
      }
      default:
        break;
    }
  }

  // Scans the attributes after the title; false when no type keyword is there.
  bool attributes(std::string_view a, ControlDescription& c) const {
    bool typed = false;
    std::size_t i = 0;
    while (i < a.size()) {
      const char ch = a[i];
      if (ch == '{') {
        const std::size_t close = a.find('}', i);
        c.condition = condition(a.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1));
        i = close == std::string_view::npos ? a.size() : close + 1;
        continue;
      }
      if (!isWordChar(ch)) {
        ++i;
        continue;
      }
      std::size_t end = i;
      while (end < a.size() && isWordChar(a[end])) ++end;
      const std::string_view word = a.substr(i, end - i);
      i = end;
      if (word.substr(0, 4) == "CTL_") {
        std::string_view params;
        std::size_t p = i;
        while (p < a.size() && a[p] == ' ') ++p;
        if (p < a.size() && a[p] == '(') {
          const std::size_t close = a.find(')', p);
          params = a.substr(p + 1, close == std::string_view::npos ? std::string_view::npos : close - p - 1);
          i = close == std::string_view::npos ? a.size() : close + 1;
        }
        if (typed) continue;  // the first type keyword counts
        if (auto kind = controlType(word)) {
          c.kind = *kind;
          typeParameters(c, params);
          typed = true;
        }
        continue;
      }
      if (word == "POS" && i < a.size() && a[i] == '=') {
        const auto p = numbersAfter(a.substr(i - 3), "POS", 4);
        c.pos = DescribedRect{p[0], p[1], p[2], p[3]};
        continue;
      }
      if (word == "SYS" && i < a.size() && a[i] == '=') {
        ++i;
        if (i < a.size() && a[i] == '(') {
          const std::size_t close = a.find(')', i);
          c.command = std::string(a.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1));
          i = close == std::string_view::npos ? a.size() : close + 1;
          continue;
        }
        std::size_t nameEnd = i;
        while (nameEnd < a.size() && a[nameEnd] != ';' && a[nameEnd] != ' ' && a[nameEnd] != '\t' &&
               a[nameEnd] != '{')
          ++nameEnd;
        c.symbolicName = std::string(a.substr(i, nameEnd - i));
        i = nameEnd;
        std::string unknown;  // a SYS name nobody knows gives no id
        resolveAction(c.symbolicName, c.id, unknown);
        continue;
      }
      if (word == "INVISIBLE") c.invisible = true;
      if (word == "DISABLED") c.disabled = true;
      if (word == "CHECKED") c.checked = true;
    }
    return typed;
  }

  void parseControls() {
    const std::size_t at = findSection("CONTROL");
    if (at == lines_.size()) return;
    forItems(at, [this](std::string_view line) {
      if (isBlankOrComment(line)) return;
      const std::size_t eq = line.find('=');
      if (eq == std::string_view::npos) return;
      ControlDescription c;
      c.label = std::string(trim(line.substr(0, eq)));
      const std::string_view rest = line.substr(eq + 1);
      const std::size_t semi = rest.find(';');
      if (semi == std::string_view::npos) return;
      c.title = std::string(rest.substr(0, semi));
      if (!attributes(rest.substr(semi + 1), c)) return;  // no known type: dropped
      c.mnemonic = mnemonicOf(c.title);
      if (!c.mnemonic) c.mnemonic = mnemonicOf(c.label);
      d_.controls.push_back(std::move(c));
    });
  }

  void parseStrings() {
    const std::size_t at = findSection("STRINGS");
    if (at == lines_.size()) return;
    forItems(at, [this](std::string_view line) {
      if (trim(line).empty() || d_.strings.size() >= kMaxStrings) return;
      d_.strings.emplace_back(line);
    });
  }

  void parseDefaults() {
    const std::size_t at = findSection("DEFAULTS");
    if (at == lines_.size()) return;
    forItems(at, [this](std::string_view line) {
      if (isBlankOrComment(line) || d_.defaults.size() >= kMaxDefaults) return;
      const std::size_t eq = line.find('=');
      if (eq == std::string_view::npos) return;
      d_.defaults.emplace_back(std::string(trim(line.substr(0, eq))), std::string(trimEnd(line.substr(eq + 1))));
    });
  }

  void parseGraphics() {
    const std::size_t at = findSection("GRAPHICS");
    if (at == lines_.size()) return;
    forItems(at, [this](std::string_view line) {
      if (isBlankOrComment(line) || d_.graphics.size() >= kMaxGraphics) return;
      GraphicItem g;
      if (auto p = numbersAfter(line, "LINE", 4); !p.empty()) {
        g.kind = GraphicItem::Kind::Line;
        g.x1 = p[0], g.y1 = p[1], g.x2 = p[2], g.y2 = p[3];
        if (auto w = numbersAfter(line, "WIDTH", 1); !w.empty()) g.width = std::max(1, w[0]);
        if (hasWord(line, "WHITE")) g.color = Rgb{255, 255, 255};
        if (hasWord(line, "GRAY")) g.color = Rgb{128, 128, 128};
      } else if (auto q = numbersAfter(line, "ICON", 2); !q.empty()) {
        g.kind = GraphicItem::Kind::Icon;
        g.x1 = q[0], g.y1 = q[1];
        if (auto id = numbersAfter(line, "ID", 1); !id.empty()) g.icon = id[0];
      } else {
        return;
      }
      d_.graphics.push_back(g);
    });
  }

  void buildFocusOrderAndIdMap() {
    for (std::size_t i = 0; i < d_.controls.size(); ++i) {
      const ControlDescription& c = d_.controls[i];
      const bool focusable = IsFocusKind(c.kind) && d_.focusOrder.size() < kMaxFocusOrder;
      if (focusable) d_.focusOrder.push_back(static_cast<int>(i));
      if (c.id < 0 || c.id >= kSymbolicIds) continue;
      IdMapEntry& m = d_.idMap[static_cast<std::size_t>(c.id)];
      if (m.control >= 0) continue;  // the first control of an id stands for it
      m.control = static_cast<int>(i);
      if (focusable) m.focusPosition = static_cast<int>(d_.focusOrder.size()) - 1;
    }
    for (std::size_t i = 0; i < d_.menus.size(); ++i) {
      const int id = d_.menus[i].id;
      if (id < 0 || id >= kSymbolicIds) continue;
      IdMapEntry& m = d_.idMap[static_cast<std::size_t>(id)];
      if (m.menuEntry < 0) m.menuEntry = static_cast<int>(i);
    }
  }

  const Resolvers& resolvers_;
  std::vector<std::string_view> lines_;
  FormDescription d_;
};

}  // namespace

std::optional<int> StandardAction(std::string_view name) {
  static constexpr std::pair<std::string_view, int> actions[] = {
      {"EXIT", kActionExit},   {"LEER", kActionLeer}, {"ABOUT", kActionAbout},
      {"HILFE", kActionHelp},  {"CLOSE", kActionClose}, {"CUT", kActionCut},
      {"COPY", kActionCopy},   {"PASTE", kActionPaste},
  };
  for (const auto& [n, id] : actions) {
    if (n == name) return id;
  }
  return std::nullopt;
}

bool IsEditField(ControlType kind) {
  switch (kind) {
    case ControlType::TextField:
    case ControlType::UpperField:
    case ControlType::DateField:
    case ControlType::TimeField:
    case ControlType::DigitsField:
    case ControlType::PasswordField:
      return true;
    default:
      return false;
  }
}

bool IsFocusKind(ControlType kind) { return kind != ControlType::FixedText; }

int FormDescription::menuTag(int entry) const {
  if (entry < 0 || entry >= static_cast<int>(menus.size())) return -1;
  const MenuEntry& e = menus[static_cast<std::size_t>(entry)];
  return e.tag != 0 ? e.tag : entry;
}

int FormDescription::menuEntryForTag(int tag) const {
  for (std::size_t i = 1; i < menus.size(); ++i) {
    if (menuTag(static_cast<int>(i)) == tag) return static_cast<int>(i);
  }
  return -1;
}

FormDescription ParseDescription(std::string_view text, const Resolvers& resolvers) {
  return Parser(text, resolvers).run();
}

std::optional<std::string> LookupString(const FormDescription& description, std::string_view key) {
  auto after = [](const std::string& line) {
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string{} : line.substr(eq + 1);
  };
  if (key.empty()) return std::nullopt;
  // A line named exactly by the key wins, so that "CONNECTED" never finds
  // "DISCONNECTED=..." standing before it.
  for (const std::string& line : description.strings) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && trim(std::string_view(line).substr(0, eq)) == key) return after(line);
  }
  for (const std::string& line : description.strings) {
    if (line.find(key) != std::string::npos) return after(line);
  }
  return std::nullopt;
}

}  // namespace tarvik::ui
