#include "ui/toolkit/toolkit.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace tarvik::ui {

Toolkit::~Toolkit() = default;

WindowId Toolkit::create(const WindowSpec& spec, std::unique_ptr<Window> window) {
  if (!window) return kNoWindow;
  const WindowId id = nextId_++;
  ++generation_;
  window->id_ = id;
  window->toolkit_ = this;
  Window* raw = window.get();
  Entry& entry = windows_[id];
  entry.window = std::move(window);
  entry.spec = spec;
  // The window's own scroll bars are kept in the model like controls.
  auto addBar = [&](int barId, ControlKind kind) {
    ControlState bar;
    bar.spec.kind = kind;
    bar.spec.id = barId;
    bar.spec.name = barId == kWindowHScroll ? "HSCROLL" : "VSCROLL";
    entry.controls[barId] = bar;
  };
  if (spec.hScroll) addBar(kWindowHScroll, ControlKind::HScrollBar);
  if (spec.vScroll) addBar(kWindowVScroll, ControlKind::VScrollBar);
  nativeCreate(id, spec);
  Event ev(EventType::Create, 0);
  ++dispatchDepth_;
  raw->onEvent(ev);
  --dispatchDepth_;
  if (!exists(id)) {  // destroyed itself while being created
    if (dispatchDepth_ == 0) collectGarbage();
    return kNoWindow;
  }
  return id;
}

void Toolkit::destroy(WindowId id) {
  auto it = windows_.find(id);
  if (it == windows_.end() || it->second.destroying) return;
  it->second.destroying = true;
  ++generation_;
  if (active_ == id) active_ = kNoWindow;
  for (WindowId child : children(id)) destroy(child);
  it = windows_.find(id);
  if (it == windows_.end()) return;
  Window* raw = it->second.window.get();
  Event ev(EventType::Destroy, 0);
  ++dispatchDepth_;
  raw->onEvent(ev);
  --dispatchDepth_;
  forgetWindow(id);
  nativeDestroy(id);
  it = windows_.find(id);
  graveyard_.push_back(std::move(it->second.window));
  windows_.erase(it);
  if (dispatchDepth_ == 0) collectGarbage();
}

bool Toolkit::exists(WindowId id) const {
  auto it = windows_.find(id);
  return it != windows_.end() && !it->second.destroying;
}

Window* Toolkit::find(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.window.get();
}

WindowId Toolkit::parentOf(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? kNoWindow : it->second.spec.parent;
}

std::vector<WindowId> Toolkit::children(WindowId id) const {
  std::vector<WindowId> out;
  for (const auto& [wid, entry] : windows_)
    if (entry.spec.parent == id && wid != id) out.push_back(wid);
  return out;
}

const WindowSpec* Toolkit::specOf(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : &it->second.spec;
}

std::vector<WindowId> Toolkit::windows() const {
  std::vector<WindowId> out;
  for (const auto& [wid, entry] : windows_)
    if (!entry.destroying) out.push_back(wid);
  return out;
}

void Toolkit::send(WindowId id, Event& event) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  Window* raw = it->second.window.get();
  if (event.type == EventType::Focus &&
      (it->second.spec.kind == WindowKind::Document || it->second.spec.kind == WindowKind::Dialog)) {
    if (event.arg) active_ = id;
    else if (active_ == id) active_ = kNoWindow;
  }
  ++dispatchDepth_;
  raw->onEvent(event);
  --dispatchDepth_;
  if (dispatchDepth_ == 0) collectGarbage();
}

void Toolkit::activate(WindowId id) {
  if (!exists(id)) return;
  raise(id);
  if (id == active_) return;
  // The backend may tell the change again when the window system has made
  // it; a window told twice stays active.
  if (const WindowId before = active_; before != kNoWindow && exists(before)) {
    Event lost(EventType::Focus, 0, 0);
    send(before, lost);
  }
  if (!exists(id)) return;
  Event gained(EventType::Focus, 0, 1);
  send(id, gained);
}

void Toolkit::sendUser(WindowId id, int userId, std::intptr_t arg,
                       std::unique_ptr<Payload> record) {
  Event ev = Event::user(userId, arg, std::move(record));
  send(id, ev);
}

void Toolkit::collectGarbage() {
  if (dispatchDepth_ == 0) graveyard_.clear();
}

LocalTime Toolkit::localTime() const {
  const std::time_t t = Clock::to_time_t(now());
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                   tm.tm_hour,        tm.tm_min,     tm.tm_sec, tm.tm_wday};
}

void Toolkit::setTitle(WindowId id, const std::string& title) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.spec.title = title;
}

void Toolkit::setVisible(WindowId id, bool visible) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.spec.visible = visible;
}

void Toolkit::setEnabled(WindowId, bool) {}
void Toolkit::raise(WindowId) {}

Rect Toolkit::outerRect(WindowId id) const {
  auto it = windows_.find(id);
  return it == windows_.end() ? Rect{} : it->second.spec.rect;
}

void Toolkit::move(WindowId id, const Rect& rect) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.spec.rect = rect;
}

bool Toolkit::savePicture(WindowId, const std::string&) { return false; }

Rect Toolkit::clientRect(WindowId id) const {
  const Rect r = outerRect(id);
  return Rect{0, 0, std::max(0, r.height()), std::max(0, r.width())};
}

void Toolkit::trapPointer(WindowId) {}
void Toolkit::releasePointer() {}

// --- control model ---------------------------------------------------------

namespace {

bool carriesControls(WindowKind kind) {
  return kind == WindowKind::Document || kind == WindowKind::Dialog || kind == WindowKind::Child;
}

bool isList(ControlKind k) { return k == ControlKind::ListBox || k == ControlKind::ComboBox; }

std::string upper1252(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') c = static_cast<char>(u - 32);
    // Windows-1252 letters with accents: 0xE0..0xFE except 0xF7 (division
    // sign) map 32 lower; 0x9A/0x9C/0x9E map to 0x8A/0x8C/0x8E, 0xFF to 0x9F.
    else if (u >= 0xE0 && u != 0xF7 && u != 0xFF) c = static_cast<char>(u - 32);
    else if (u == 0x9A || u == 0x9C || u == 0x9E) c = static_cast<char>(u - 16);
    else if (u == 0xFF) c = static_cast<char>(0x9F);
  }
  return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

ControlState* Toolkit::controlState(WindowId window, int control) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return nullptr;
  auto c = it->second.controls.find(control);
  return c == it->second.controls.end() ? nullptr : &c->second;
}

const ControlState* Toolkit::control(WindowId window, int control) const {
  return const_cast<Toolkit*>(this)->controlState(window, control);
}

void Toolkit::changed(WindowId window, ControlState& c, ControlChange what) {
  nativeControlChanged(window, c, what);
}

void Toolkit::notify(WindowId window, int control, ControlNotify code) {
  Event ev(EventType::Control, control, code);
  send(window, ev);
}

bool Toolkit::createControl(WindowId window, const ControlSpec& spec) {
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second.destroying || !carriesControls(it->second.spec.kind))
    return false;
  if (spec.id == kNoControl || it->second.controls.count(spec.id)) return false;
  ControlState c;
  c.spec = spec;
  c.text = spec.text;
  c.enabled = !(spec.flags & kCtlDisabled);
  c.visible = !(spec.flags & kCtlInvisible);
  c.checked = (spec.flags & kCtlChecked) != 0;
  if (spec.kind == ControlKind::Edit && (spec.flags & kCtlUpperCase)) c.text = upper1252(c.text);
  it->second.controls[spec.id] = c;
  it->second.controlOrder.push_back(spec.id);
  nativeControlCreate(window, it->second.controls[spec.id]);
  return true;
}

void Toolkit::destroyControl(WindowId window, int control) {
  auto it = windows_.find(window);
  if (it == windows_.end() || control == kWindowHScroll || control == kWindowVScroll) return;
  if (!it->second.controls.erase(control)) return;
  auto& order = it->second.controlOrder;
  order.erase(std::remove(order.begin(), order.end(), control), order.end());
  if (it->second.focus == control) it->second.focus = kNoControl;
  nativeControlDestroy(window, control);
}

std::vector<int> Toolkit::controlIds(WindowId window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? std::vector<int>{} : it->second.controlOrder;
}

std::optional<int> Toolkit::controlByName(WindowId window, std::string_view name) const {
  auto it = windows_.find(window);
  if (it == windows_.end()) return std::nullopt;
  for (int id : it->second.controlOrder)
    if (it->second.controls.at(id).spec.name == name) return id;
  for (int id : it->second.controlOrder)
    if (equalNoCase(it->second.controls.at(id).spec.name, name)) return id;
  for (const auto& [id, c] : it->second.controls)  // the window's own scroll bars
    if (id < 0 && equalNoCase(c.spec.name, name)) return id;
  return std::nullopt;
}

void Toolkit::setControlText(WindowId window, int control, std::string_view text) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  if (isList(c->spec.kind)) {
    // The text of a list is its selected entry: choose the entry with it.
    int found = -1;
    for (std::size_t i = 0; i < c->items.size(); ++i)
      if (c->items[i] == text) { found = static_cast<int>(i); break; }
    if (found >= 0 || c->spec.kind == ControlKind::ComboBox) {
      std::fill(c->selected.begin(), c->selected.end(), false);
      if (found >= 0) c->selected[static_cast<std::size_t>(found)] = true;
      c->text = found >= 0 ? c->items[static_cast<std::size_t>(found)] : std::string();
      changed(window, *c, ControlChange::Selection);
    }
    return;
  }
  c->text = (c->spec.flags & kCtlUpperCase) ? upper1252(text) : std::string(text);
  c->selStart = c->selEnd = 0;
  changed(window, *c, ControlChange::Text);
}

std::string Toolkit::controlText(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c ? c->text : std::string();
}

void Toolkit::setControlEnabled(WindowId window, int control, bool enabled) {
  ControlState* c = controlState(window, control);
  if (!c || c->enabled == enabled) return;
  c->enabled = enabled;
  changed(window, *c, ControlChange::Enabled);
}

bool Toolkit::controlEnabled(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c && c->enabled;
}

void Toolkit::setControlVisible(WindowId window, int control, bool visible) {
  ControlState* c = controlState(window, control);
  if (!c || c->visible == visible) return;
  c->visible = visible;
  changed(window, *c, ControlChange::Visible);
}

bool Toolkit::controlVisible(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c && c->visible;
}

void Toolkit::setChecked(WindowId window, int control, bool on) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  if (on && c->spec.kind == ControlKind::RadioButton) {
    checkRadio(window, control);
    return;
  }
  if (c->checked == on) return;
  c->checked = on;
  changed(window, *c, ControlChange::Checked);
}

bool Toolkit::checked(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c && c->checked;
}

void Toolkit::checkRadio(WindowId window, int control) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  auto self = it->second.controls.find(control);
  if (self == it->second.controls.end()) return;
  const int group = self->second.spec.group;
  const bool radio = self->second.spec.kind == ControlKind::RadioButton;
  for (int id : std::vector<int>(it->second.controlOrder)) {
    ControlState* c = controlState(window, id);
    if (!c) continue;
    bool want;
    if (id == control)
      want = true;
    else if (radio && c->spec.kind == ControlKind::RadioButton && c->spec.group == group)
      want = false;
    else
      continue;
    if (c->checked != want) {
      c->checked = want;
      changed(window, *c, ControlChange::Checked);
    }
  }
}

void Toolkit::moveControl(WindowId window, int control, const Rect& rect) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  c->spec.rect = rect;
  changed(window, *c, ControlChange::Rect);
}

void Toolkit::setControlFont(WindowId window, int control, const FontSpec& font) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  c->hasFont = true;
  c->font = font;
  changed(window, *c, ControlChange::Font);
}

void Toolkit::listAdd(WindowId window, int control, std::string_view text, int index) {
  ControlState* c = controlState(window, control);
  if (!c || !isList(c->spec.kind)) return;
  auto pos = c->items.size();
  if (index >= 0 && static_cast<std::size_t>(index) < pos) pos = static_cast<std::size_t>(index);
  c->items.insert(c->items.begin() + static_cast<std::ptrdiff_t>(pos), std::string(text));
  c->selected.insert(c->selected.begin() + static_cast<std::ptrdiff_t>(pos), false);
  if (!c->suspended) changed(window, *c, ControlChange::Items);
}

void Toolkit::listClear(WindowId window, int control) {
  ControlState* c = controlState(window, control);
  if (!c || !isList(c->spec.kind)) return;
  c->items.clear();
  c->selected.clear();
  c->text.clear();
  if (!c->suspended) changed(window, *c, ControlChange::Items);
}

void Toolkit::listSuspend(WindowId window, int control) {
  if (ControlState* c = controlState(window, control)) ++c->suspended;
}

void Toolkit::listResume(WindowId window, int control) {
  ControlState* c = controlState(window, control);
  if (!c || c->suspended == 0) return;
  if (--c->suspended == 0) changed(window, *c, ControlChange::Items);
}

void Toolkit::listSetSel(WindowId window, int control, int index, bool selected) {
  ControlState* c = controlState(window, control);
  if (!c || !isList(c->spec.kind)) return;
  const bool multi = c->spec.kind == ControlKind::ListBox && (c->spec.flags & kCtlMultiSelect);
  if (index < 0) {
    std::fill(c->selected.begin(), c->selected.end(), false);
  } else if (static_cast<std::size_t>(index) < c->items.size()) {
    if (selected && !multi) std::fill(c->selected.begin(), c->selected.end(), false);
    c->selected[static_cast<std::size_t>(index)] = selected;
  } else {
    return;
  }
  const int first = c->firstSelected();
  c->text = first >= 0 ? c->items[static_cast<std::size_t>(first)] : std::string();
  if (!c->suspended) changed(window, *c, ControlChange::Selection);
}

int Toolkit::listSelIndex(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c ? c->firstSelected() : -1;
}

std::vector<std::string> Toolkit::listItems(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c ? c->items : std::vector<std::string>{};
}

void Toolkit::setTextSelection(WindowId window, int control, int start, int end) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  const int len = static_cast<int>(c->text.size());
  if (end < 0 || end > len) end = len;
  start = std::clamp(start, 0, end);
  c->selStart = start;
  c->selEnd = end;
  changed(window, *c, ControlChange::TextSelection);
}

void Toolkit::setFocus(WindowId window, int control) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  if (control == kNoControl) {
    it->second.focus = kNoControl;
    // A pane that takes the focus takes it from its parent's controls.
    if (it->second.spec.kind == WindowKind::Child)
      if (auto parent = windows_.find(it->second.spec.parent); parent != windows_.end())
        parent->second.focus = kNoControl;
    nativeWindowFocus(window);
    return;
  }
  ControlState* c = controlState(window, control);
  if (!c) return;
  it->second.focus = control;
  changed(window, *c, ControlChange::Focus);
}

int Toolkit::focusControl(WindowId window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? kNoControl : it->second.focus;
}

void Toolkit::setScrollRange(WindowId window, int control, int min, int max) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  if (max < min) std::swap(min, max);
  c->scroll.min = min;
  c->scroll.max = max;
  c->scroll.pos = std::clamp(c->scroll.pos, min, max);
  changed(window, *c, ControlChange::Scroll);
}

void Toolkit::setScrollPos(WindowId window, int control, int pos) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  c->scroll.pos = std::clamp(pos, c->scroll.min, c->scroll.max);
  changed(window, *c, ControlChange::Scroll);
}

void Toolkit::setScrollProportion(WindowId window, int control, int proportion) {
  ControlState* c = controlState(window, control);
  if (!c) return;
  c->scroll.proportion = std::max(0, proportion);
  changed(window, *c, ControlChange::Scroll);
}

ScrollState Toolkit::scrollState(WindowId window, int control) const {
  const ControlState* c = this->control(window, control);
  return c ? c->scroll : ScrollState{};
}

// --- menus -------------------------------------------------------------------

void Toolkit::setMenuBar(WindowId window, std::vector<MenuItem> menus) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  it->second.hasMenu = true;
  it->second.menu = std::move(menus);
  nativeMenuChanged(window);
}

const std::vector<MenuItem>* Toolkit::menuBar(WindowId window) const {
  auto it = windows_.find(window);
  if (it == windows_.end() || !it->second.hasMenu) return nullptr;
  return &it->second.menu;
}

void Toolkit::setMenuItemEnabled(WindowId window, int number, bool enabled) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  MenuItem* m = findMenuItem(it->second.menu, number);
  if (!m || m->enabled == enabled) return;
  m->enabled = enabled;
  nativeMenuChanged(window);
}

void Toolkit::setMenuItemChecked(WindowId window, int number, bool on) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  MenuItem* m = findMenuItem(it->second.menu, number);
  if (!m || m->checked == on) return;
  m->checked = on;
  nativeMenuChanged(window);
}

void Toolkit::setMenuItemText(WindowId window, int number, std::string_view text) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  MenuItem* m = findMenuItem(it->second.menu, number);
  if (!m || m->text == text) return;
  m->text = std::string(text);
  nativeMenuChanged(window);
}

// --- the operator ----------------------------------------------------------------

bool Toolkit::operatorClick(WindowId window, int control) {
  ControlState* c = controlState(window, control);
  if (!c || !c->enabled || !c->visible || !exists(window)) return false;
  switch (c->spec.kind) {
    case ControlKind::PushButton:
      break;
    case ControlKind::CheckBox:
      c->checked = !c->checked;
      changed(window, *c, ControlChange::Checked);
      break;
    case ControlKind::RadioButton:
      checkRadio(window, control);
      break;
    default:
      return false;
  }
  notify(window, control, kNotifyClicked);
  return true;
}

bool Toolkit::operatorSetText(WindowId window, int control, std::string_view text) {
  ControlState* c = controlState(window, control);
  if (!c || !c->enabled || !c->visible || !exists(window)) return false;
  if (c->spec.kind != ControlKind::Edit && c->spec.kind != ControlKind::MultiLineEdit &&
      c->spec.kind != ControlKind::ComboBox)
    return false;
  if (c->spec.flags & kCtlReadOnly) return false;
  if (c->spec.kind == ControlKind::ComboBox) {
    for (std::size_t i = 0; i < c->items.size(); ++i)
      if (c->items[i] == text) return operatorSelect(window, control, static_cast<int>(i));
    return false;
  }
  std::string t(text);
  if (c->spec.maxLength > 0 && t.size() > static_cast<std::size_t>(c->spec.maxLength))
    t.resize(static_cast<std::size_t>(c->spec.maxLength));
  if (c->spec.flags & kCtlUpperCase) t = upper1252(t);
  if (t == c->text) {
    changed(window, *c, ControlChange::Text);  // a widget may show less or more
    return true;
  }
  c->text = t;
  c->selStart = c->selEnd = static_cast<int>(t.size());
  changed(window, *c, ControlChange::Text);
  notify(window, control, kNotifyTextChanged);
  return true;
}

bool Toolkit::operatorSelect(WindowId window, int control, int index, bool toggle) {
  ControlState* c = controlState(window, control);
  if (!c || !c->enabled || !c->visible || !isList(c->spec.kind) || !exists(window)) return false;
  if (index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return false;
  const bool multi = c->spec.kind == ControlKind::ListBox && (c->spec.flags & kCtlMultiSelect);
  const auto i = static_cast<std::size_t>(index);
  if (toggle && multi) {
    c->selected[i] = !c->selected[i];
  } else {
    std::fill(c->selected.begin(), c->selected.end(), false);
    c->selected[i] = true;
  }
  const int first = c->firstSelected();
  c->text = first >= 0 ? c->items[static_cast<std::size_t>(first)] : std::string();
  changed(window, *c, ControlChange::Selection);
  notify(window, control, kNotifySelChanged);
  return true;
}

bool Toolkit::operatorDoubleClick(WindowId window, int control, int index) {
  ControlState* c = controlState(window, control);
  if (!c || !c->enabled || !c->visible || c->spec.kind != ControlKind::ListBox) return false;
  if (index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return false;
  if (!c->selected[static_cast<std::size_t>(index)] || c->firstSelected() != index) {
    if (!operatorSelect(window, control, index)) return false;
  }
  if (!controlState(window, control)) return true;  // the handler removed it
  notify(window, control, kNotifyDoubleClick);
  return true;
}

bool Toolkit::operatorScroll(WindowId window, int control, ControlNotify action, int pos) {
  ControlState* c = controlState(window, control);
  if (!c || !c->enabled || !c->visible) return false;
  if (c->spec.kind != ControlKind::HScrollBar && c->spec.kind != ControlKind::VScrollBar)
    return false;
  if (action < kNotifyLineUp || action > kNotifyThumbTrack) return false;
  if (action == kNotifyThumb || action == kNotifyThumbTrack) {
    c->scroll.pos = std::clamp(pos, c->scroll.min, c->scroll.max);
    changed(window, *c, ControlChange::Scroll);
  }
  notify(window, control, action);
  return true;
}

void Toolkit::operatorFocus(WindowId window, int control, bool gained) {
  auto it = windows_.find(window);
  if (it == windows_.end() || !controlState(window, control)) return;
  // Reported once per change: a backend may see the same move twice (the
  // driver moves the model, then the widget follows and tells again).
  if (gained == (it->second.focus == control)) return;
  it->second.focus = gained ? control : kNoControl;
  notify(window, control, gained ? kNotifyFocusIn : kNotifyFocusOut);
}

bool Toolkit::operatorCommand(WindowId window, int number) {
  auto it = windows_.find(window);
  if (it == windows_.end() || it->second.destroying) return false;
  const MenuItem* m = findMenuItem(it->second.menu, number);
  if (!m || !m->enabled || !m->children.empty()) return false;
  Event ev(EventType::Command, number);
  send(window, ev);
  return true;
}

bool Toolkit::programKey(int key, unsigned modifiers) {
  if (!programKey_ || (modifiers & (kModAlt | kModControl)) == 0) return false;
  // A copy: the hook may replace itself.
  const ProgramKeyHook hook = programKey_;
  return hook(key, modifiers);
}

void Toolkit::operatorKey(WindowId window, int key, unsigned modifiers) {
  if (programKey(key, modifiers)) return;
  Event ev(EventType::Char, key, static_cast<std::intptr_t>(modifiers));
  send(window, ev);
}

void Toolkit::operatorMouse(WindowId window, MouseAction action, Point where, int button,
                            unsigned modifiers) {
  Event ev(EventType::Mouse, static_cast<int>(action), static_cast<std::intptr_t>(modifiers),
           std::make_unique<MouseRecord>(action, where, button, modifiers));
  send(window, ev);
}

void Toolkit::setLinesProvider(WindowId id, LinesProvider provider) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.lines = std::move(provider);
}

std::optional<std::vector<std::string>> Toolkit::linesOf(WindowId id) const {
  auto it = windows_.find(id);
  if (it == windows_.end() || !it->second.lines) return std::nullopt;
  return it->second.lines();
}

void Toolkit::setDrawnTextsProvider(WindowId id, DrawnTextsProvider provider) {
  auto it = windows_.find(id);
  if (it != windows_.end()) it->second.drawnTexts = std::move(provider);
}

std::vector<Toolkit::DrawnText> Toolkit::drawnTextsOf(WindowId id) const {
  auto it = windows_.find(id);
  if (it == windows_.end() || !it->second.drawnTexts) return {};
  return it->second.drawnTexts();
}

}  // namespace tarvik::ui
