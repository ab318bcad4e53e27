#include "ui/form.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/atomic_file.h"
#include "ui/cnx_file.h"
#include "ui/field_check.h"

namespace tarvik::ui {

namespace {

// Message dialogs are forms themselves: their descriptions are not checked,
// or a damaged one would ask for itself without end.
constexpr int kFirstUnchecked = 1610;
constexpr int kMsgChecksum = 1007;
constexpr int kAboutBox = 1600;
constexpr int kOffsetPerWindow = 20;
constexpr int kMinSavedHeight = 40;
constexpr Rect kDefaultRect{60, 60, 360, 460};

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

Rect toRect(const DescribedRect& d) { return Rect{d.y, d.x, d.y + d.h, d.x + d.w}; }

FontSpec toFont(const FontDescription& f) {
  FontSpec s;
  s.family = f.family;
  s.size = f.size;
  s.style = (f.bold ? kFontBold : 0u) | (f.italic ? kFontItalic : 0u);
  return s;
}

ui::ControlKind toolkitKind(ControlType t) {
  switch (t) {
    case ControlType::PushButton: return ui::ControlKind::PushButton;
    case ControlType::RadioButton: return ui::ControlKind::RadioButton;
    case ControlType::CheckBox: return ui::ControlKind::CheckBox;
    case ControlType::DropDownList: return ui::ControlKind::ComboBox;
    case ControlType::ListBox: return ui::ControlKind::ListBox;
    default: return ui::ControlKind::Edit;
  }
}

bool isPane(ControlType t) {
  return t == ControlType::ListControl || t == ControlType::TextControl || t == ControlType::IconButton;
}

bool isList(ControlType t) { return t == ControlType::DropDownList || t == ControlType::ListBox; }

bool isButton(ControlType t) { return t == ControlType::PushButton || t == ControlType::IconButton; }

// A pane the form places when no factory is registered for its kind: an
// empty child window in the control's place, so that the form still works.
class EmptyPane final : public Window {
 public:
  void onEvent(Event&) override {}
};

// The program's icon button: draws its icon (the pressed one while checked
// or held down) and runs the form command of its control when clicked.
class IconButtonPane final : public Window {
 public:
  IconButtonPane(Form& form, const ControlDescription& c) : form_(form), c_(c) {}
  void setChecked(bool on) {
    checked_ = on;
    if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
  }
  void onEvent(Event& e) override {
    switch (e.type) {
      case EventType::Update: paint(); break;
      case EventType::Mouse:
        if (auto* m = e.as<MouseRecord>(); m && m->button == 0) {
          if (m->action == MouseAction::Down) {
            down_ = true;
            paint();
          } else if (m->action == MouseAction::Up && down_) {
            down_ = false;
            paint();
            form_.RunCommand(c_.id, c_.command);
          }
        }
        break;
      default: break;
    }
  }

 private:
  void paint() {
    Canvas* cv = toolkit().canvas(id());
    if (!cv) return;
    DrawTools t;
    t.brush = rgb(192, 192, 192);
    t.penHollow = c_.flat;
    cv->setTools(t);
    cv->drawRect(Rect{0, 0, cv->height(), cv->width()});
    cv->drawIcon(2, 2, (down_ || checked_) ? c_.pressedIcon : c_.icon);
  }
  Form& form_;
  ControlDescription c_;
  bool down_ = false;
  bool checked_ = false;
};

}  // namespace

std::string DescriptionFileName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "M%04d.CNX", number);
  return name;
}

std::string PositionFilePath(const std::string& tmpPath, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "POS/%4d.POS", number);
  return tmpPath + name;
}

// --- the runtime -------------------------------------------------------------

FormRuntime::FormRuntime(Toolkit& toolkit, FormEnvironment env) : toolkit_(toolkit), env_(std::move(env)) {
  if (!env_.setting) env_.setting = [](int) { return std::string(); };
  if (!env_.taskWindow) env_.taskWindow = [] { return kNoWindow; };
  // The about box needs no owner: EXIT and Escape close it.
  registerCreator(kAboutBox, [](FormRuntime& rt, WindowId parent, std::intptr_t arg) {
    FormRequest r;
    r.number = kAboutBox;
    r.parent = parent;
    r.argument = arg;
    auto form = std::make_unique<Form>(rt, std::move(r));
    Form* f = form.get();
    f->SetCommandCallback([&rt, f](WindowId w, int id, std::intptr_t) {
      if (id == kActionExit) CloseForm(rt.toolkit(), w, rt.env().taskWindow());
      (void)f;
    });
    return rt.open(std::move(form));
  });
}

FormRuntime::~FormRuntime() {
  for (WindowId w : toolkit_.windows()) {
    if (auto* f = toolkit_.findAs<Form>(w); f && &f->runtime() == this) toolkit_.destroy(w);
  }
}

void FormRuntime::registerCreator(int number, FormCreator creator) { creators_[number] = std::move(creator); }

void FormRuntime::setPaneFactory(ControlType type, PaneFactory factory) { panes_[type] = std::move(factory); }

const PaneFactory* FormRuntime::paneFactory(ControlType type) const {
  auto it = panes_.find(type);
  return it == panes_.end() ? nullptr : &it->second;
}

WindowId FormRuntime::OpenWindowById(WindowId parent, int number, std::intptr_t argument) {
  if (auto open = windowsOf(number); !open.empty()) {
    toolkit_.setFocus(open.front());
    toolkit_.raise(open.front());
    return open.front();
  }
  auto it = creators_.find(number);
  if (it == creators_.end()) return kNoWindow;
  toolkit_.setBusyCursor(true);
  const WindowId id = it->second(*this, parent, argument);
  toolkit_.setBusyCursor(false);
  return id;
}

WindowId FormRuntime::OpenWindowWith(WindowId parent, int number, const OpenArgument& argument) {
  const OpenArgument* outer = openArgument_;
  openArgument_ = &argument;
  const WindowId id = OpenWindowById(parent, number);
  openArgument_ = outer;
  return id;
}

WindowId FormRuntime::open(std::unique_ptr<Form> form) {
  if (!form) return kNoWindow;
  const WindowSpec spec = form->windowSpec();
  return toolkit_.create(spec, std::move(form));
}

std::vector<WindowId> FormRuntime::windowsOf(int number) const {
  std::vector<WindowId> out;
  for (WindowId w : toolkit_.windows()) {
    if (!toolkit_.exists(w)) continue;
    if (auto* f = toolkit_.findAs<Form>(w); f && f->number() == number && &f->runtime() == this)
      out.push_back(w);
  }
  return out;
}

WindowId FormRuntime::activeForm() const { return toolkit_.exists(active_) ? active_ : kNoWindow; }

void FormRuntime::setWindowEnabled(WindowId id, bool enabled) {
  enabled_[id] = enabled;
  toolkit_.setEnabled(id, enabled);
}

bool FormRuntime::windowEnabled(WindowId id) const {
  auto it = enabled_.find(id);
  return it == enabled_.end() || it->second;
}

void CloseForm(Toolkit& toolkit, WindowId window, WindowId taskWindow) {
  if (!toolkit.exists(window)) return;
  const WindowId parent = toolkit.parentOf(window);
  if (parent != kNoWindow && toolkit.findAs<Form>(parent)) {
    toolkit.sendUser(parent, kFormChildClose, static_cast<std::intptr_t>(window));
    return;
  }
  toolkit.destroy(window);
  if (parent != kNoWindow && parent != taskWindow && toolkit.exists(parent))
    toolkit.sendUser(parent, kFormChildClose, static_cast<std::intptr_t>(window));
}

// --- loading -------------------------------------------------------------------

Form::Form(FormRuntime& runtime, FormRequest request) : runtime_(runtime), request_(std::move(request)) {
  const FormEnvironment& env = runtime_.env();
  const std::string file = DescriptionFileName(request_.number);
  std::string encoded;
  if (readFile(env.setting(6) + file, encoded)) {
    const std::string text = DecodeCnx(encoded);
    found_ = true;
    if (request_.number < kFirstUnchecked && !DescriptionChecksumOk(text) && env.showMessage)
      env.showMessage(request_.parent != kNoWindow ? request_.parent : env.taskWindow(), 4, kMsgChecksum,
                      file, {});
    description_ = ParseDescription(text, request_.resolvers);
  }
  if (description_.window.font) font_ = toFont(*description_.window.font);
  if (description_.window.background) {
    const Rgb c = *description_.window.background;
    background_ = rgb(c.r, c.g, c.b);
  }

  // Where the window goes: the described place, or the remembered one
  // (with its size only when the window may be resized).
  rect_ = description_.window.pos ? toRect(*description_.window.pos) : kDefaultRect;
  std::string pos;
  if (readFile(PositionFilePath(env.setting(5), request_.number), pos)) {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (std::sscanf(pos.c_str(), "%d;%d;%d;%d;", &top, &left, &bottom, &right) == 4 && bottom > top &&
        right > left) {
      if (description_.window.resizable) {
        rect_ = Rect{top, left, bottom, right};
      } else {
        rect_ = Rect{top, left, top + rect_.height(), left + rect_.width()};
      }
    }
    if (const std::size_t nl = pos.find('\n'); nl != std::string::npos) {
      std::string fontLine = pos.substr(nl + 1);
      while (!fontLine.empty() && (fontLine.back() == '\n' || fontLine.back() == '\r')) fontLine.pop_back();
      if (auto f = FontSpec::deserialize(fontLine)) listFont_ = *f;
    }
  }
  const int offset = kOffsetPerWindow * static_cast<int>(runtime_.windowsOf(request_.number).size());
  rect_ = Rect{rect_.top + offset, rect_.left + offset, rect_.bottom + offset, rect_.right + offset};
}

Form::~Form() = default;

WindowSpec Form::windowSpec() const {
  WindowSpec s;
  s.kind = request_.kind;
  if (request_.name.empty()) {
    char name[16];
    std::snprintf(name, sizeof name, "M%04d", request_.number);
    s.name = name;
  } else {
    s.name = request_.name;
  }
  s.title = description_.window.title;
  s.rect = rect_;
  s.parent = request_.parent;
  s.number = request_.number;
  s.modal = description_.window.modal;
  return s;
}

// --- events ----------------------------------------------------------------------

void Form::onEvent(Event& event) {
  if (filterEvent(event)) return;
  if (formEvent(event)) return;
  ownerEvent(event);
}

bool Form::ownerEvent(Event& event) {
  if (event.type == EventType::Close) {
    RunCommand(kActionExit);
    return true;
  }
  return false;
}

void Form::onCommand(int id, std::intptr_t argument) {
  if (callback_) callback_(this->id(), id, argument);
}

bool Form::formEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      onCreate();
      return false;
    case EventType::Destroy:
      onDestroy();
      return false;
    case EventType::Update:
      paint();
      return false;
    case EventType::Focus:
      if (event.arg) {
        runtime_.setActiveForm(id());
        if (!focusTimer_) focusTimer_ = toolkit().createTimer(id(), kFocusTimerMs);
      } else if (focusTimer_) {
        toolkit().destroyTimer(focusTimer_);
        focusTimer_ = 0;
      }
      return false;
    case EventType::Timer:
      if (focusTimer_ && event.id == static_cast<int>(focusTimer_)) {
        toolkit().sendUser(id(), kFormFocus);
        return true;
      }
      return false;
    case EventType::Control:
      return onControlEvent(event.id, static_cast<int>(event.arg));
    case EventType::Command:
      return onCommandEvent(event.id);
    case EventType::Char:
      return onKey(event.id, static_cast<unsigned>(event.arg));
    case EventType::User:
      return onUser(event);
    case EventType::Size:
      placeControls();
      return false;
    default:
      return false;
  }
}

void Form::onCreate() {
  const FormEnvironment& env = runtime_.env();
  // The modal rule: the active window (or, without one, every window)
  // waits until this form closes.
  if (description_.window.modal) {
    const WindowId active = runtime_.activeForm();
    if (active != kNoWindow && active != id()) {
      disabledOwner_ = active;
      runtime_.setWindowEnabled(active, false);
    } else if (env.taskWindow() != kNoWindow) {
      disabledAll_ = true;
      toolkit().sendUser(env.taskWindow(), kFormWindows, 2);
    }
  }
  runtime_.setActiveForm(id());
  createMenuBar();
  createControls();
  setMinimumSize();
  // The fixed texts are painted, not controls: the UI driver reads them here.
  toolkit().setDrawnTextsProvider(id(), [this] {
    std::vector<Toolkit::DrawnText> texts;
    for (std::size_t i = 0; i < controls_.size(); ++i)
      if (description_.controls[i].kind == ControlType::FixedText)
        texts.push_back({description_.controls[i].label, controls_[i].text, controls_[i].enabled,
                         controls_[i].visible});
    return texts;
  });
  bool pressed = false;
  applyDefaults(pressed);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    if (!c.checked) continue;
    if (c.kind == ControlType::RadioButton) {
      toolkit().checkRadio(id(), controls_[i].toolkitId);
    } else if (c.kind == ControlType::CheckBox) {
      toolkit().setChecked(id(), controls_[i].toolkitId, true);
    }
  }
  evaluateAll();
  if (!pressed) toolkit().sendUser(id(), kFormFocus);
  toolkit().sendUser(id(), kFormRenameMenus);
  if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
}

void Form::createMenuBar() {
  const auto& menus = description_.menus;
  if (menus.empty()) return;
  std::function<std::vector<MenuItem>(int)> childrenOf = [&](int parent) {
    std::vector<MenuItem> items;
    for (std::size_t i = 1; i < menus.size(); ++i) {
      const MenuEntry& e = menus[i];
      if (e.parent != parent || e.kind == MenuKind::Empty) continue;
      MenuItem m;
      m.number = e.kind == MenuKind::Separator ? 0 : description_.menuTag(static_cast<int>(i));
      m.text = e.title;
      m.separator = e.kind == MenuKind::Separator;
      m.enabled = !e.disabled;
      m.checkable = e.checkable;
      m.checked = e.checked;
      if (e.kind == MenuKind::Menu || e.kind == MenuKind::Submenu) m.children = childrenOf(static_cast<int>(i));
      items.push_back(std::move(m));
    }
    return items;
  };
  toolkit().setMenuBar(id(), childrenOf(0));
}

namespace {
// Lists and text panes may grow with the window in both directions, text
// fields in width (the channel's input line).
bool followsWidth(ControlType kind) {
  return kind == ControlType::ListControl || kind == ControlType::TextControl ||
         kind == ControlType::ListBox || IsEditField(kind);
}
bool followsHeight(ControlType kind) {
  return kind == ControlType::ListControl || kind == ControlType::TextControl || kind == ControlType::ListBox;
}
}  // namespace

Rect Form::controlRect(const ControlDescription& c) const {
  Rect r = toRect(c.pos);
  // A width or height below 1 places that edge as far from the client
  // area's right or bottom edge ("POS=8,44,-8,-8" keeps an 8-pixel margin,
  // 0 none). The edge never passes the control's own left or top side.
  const Rect client = toolkit().clientRect(id());
  if (followsWidth(c.kind) && c.pos.w < 1) r.right = std::max(r.left + 1, client.width() + c.pos.w);
  if (followsHeight(c.kind) && c.pos.h < 1) r.bottom = std::max(r.top + 1, client.height() + c.pos.h);
  return r;
}

// The smallest client area that keeps every control whole: controls of a
// fixed size where they are, growing ones at least 40 pixels with their
// margins.
void Form::setMinimumSize() {
  constexpr int kLeast = 40;
  int width = 0, height = 0;
  for (const ControlDescription& c : description_.controls) {
    const bool growsWide = followsWidth(c.kind) && c.pos.w < 1;
    const bool growsHigh = followsHeight(c.kind) && c.pos.h < 1;
    width = std::max(width, c.pos.x + (growsWide ? kLeast - c.pos.w : c.pos.w));
    height = std::max(height, c.pos.y + (growsHigh ? kLeast - c.pos.h : c.pos.h));
  }
  if (width > 0 && height > 0) toolkit().setMinimumClientSize(id(), width, height);
}

void Form::placeControls() {
  for (std::size_t i = 0; i < controls_.size() && i < description_.controls.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    const bool follows = (followsWidth(c.kind) && c.pos.w < 1) || (followsHeight(c.kind) && c.pos.h < 1);
    if (!follows) continue;
    const ControlRuntime& rt = controls_[i];
    const Rect r = controlRect(c);
    if (rt.pane != kNoWindow) {
      if (toolkit().outerRect(rt.pane) != r) toolkit().move(rt.pane, r);
    } else if (rt.toolkitId != kNoControl) {
      const ControlState* st = toolkit().control(id(), rt.toolkitId);
      if (st && st->spec.rect != r) toolkit().moveControl(id(), rt.toolkitId, r);
    }
  }
}

void Form::createControls() {
  controls_.assign(description_.controls.size(), ControlRuntime{});
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    ControlRuntime& rt = controls_[i];
    rt.enabled = !c.disabled;
    rt.visible = !c.invisible;
    if (c.kind == ControlType::FixedText) {
      rt.text = c.title;
      continue;
    }
    if (isPane(c.kind)) {
      std::unique_ptr<Window> pane;
      if (const PaneFactory* f = runtime_.paneFactory(c.kind)) pane = (*f)(*this, c);
      if (!pane && c.kind == ControlType::IconButton) pane = std::make_unique<IconButtonPane>(*this, c);
      if (!pane) pane = std::make_unique<EmptyPane>();
      WindowSpec spec;
      spec.kind = WindowKind::Child;
      spec.name = c.label;
      spec.rect = controlRect(c);
      spec.parent = id();
      spec.visible = !c.invisible;
      // Text and list panes scroll their lines with their own bar.
      spec.vScroll = c.kind == ControlType::TextControl || c.kind == ControlType::ListControl;
      rt.pane = toolkit().create(spec, std::move(pane));
      if (c.disabled && rt.pane != kNoWindow) runtime_.setWindowEnabled(rt.pane, false);
      continue;
    }
    ControlSpec spec;
    spec.kind = toolkitKind(c.kind);
    // A text field described taller than two lines holds several lines (the
    // INI texts of a port).
    if (c.kind == ControlType::TextField && controlRect(c).height() >= 44) spec.kind = ui::ControlKind::MultiLineEdit;
    spec.id = ToolkitControlNumber(static_cast<int>(i) + 1);
    spec.name = c.label;
    spec.rect = controlRect(c);
    spec.text = isList(c.kind) ? std::string() : c.title;
    spec.group = c.group;
    spec.maxLength = c.maxLength;
    if (c.invisible) spec.flags |= kCtlInvisible;
    if (c.disabled) spec.flags |= kCtlDisabled;
    if (c.kind == ControlType::PushButton && c.role == kRoleDefault) spec.flags |= kCtlDefault;
    if (c.kind == ControlType::PasswordField) spec.flags |= kCtlPassword;
    if (c.kind == ControlType::UpperField) spec.flags |= kCtlUpperCase;
    if (c.kind == ControlType::DigitsField) spec.flags |= kCtlDigits;
    if (!toolkit().createControl(id(), spec)) continue;
    rt.toolkitId = spec.id;
    toolkit().setControlFont(id(), spec.id, font_);
    if (isList(c.kind) && !c.listText.empty()) {
      toolkit().listSuspend(id(), spec.id);
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = c.listText.find(',', start);
        toolkit().listAdd(id(), spec.id, c.listText.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      toolkit().listResume(id(), spec.id);
    }
  }
}

void Form::applyDefaults(bool& pressed) {
  for (const auto& [name, value] : description_.defaults) {
    int index = -1;
    for (std::size_t i = 0; i < description_.controls.size() && index < 0; ++i) {
      if (description_.controls[i].label == name) index = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < description_.controls.size() && index < 0; ++i) {
      if (description_.controls[i].symbolicName == name) index = static_cast<int>(i);
    }
    if (index < 0) continue;
    const ControlDescription& c = description_.controls[static_cast<std::size_t>(index)];
    ControlRuntime& rt = controls_[static_cast<std::size_t>(index)];
    if (isButton(c.kind)) {
      // Pressed once the owner has seen its create event too.
      toolkit().post(id(), Event::user(kFormRunCommand, c.id));
      pressed = true;
    } else if (c.kind == ControlType::FixedText) {
      rt.text = value;
    } else if (isList(c.kind)) {
      const auto items = toolkit().listItems(id(), rt.toolkitId);
      for (std::size_t k = 0; k < items.size(); ++k) {
        if (items[k] == value) toolkit().listSetSel(id(), rt.toolkitId, static_cast<int>(k));
      }
    } else if (rt.toolkitId != kNoControl) {
      toolkit().setControlText(id(), rt.toolkitId, value);
    }
  }
}

// --- conditions ----------------------------------------------------------------

bool Form::operandValue(int operand) const {
  if (operand >= 0 && operand < kOperandBinvert) return operand < kFormStates && states_[static_cast<std::size_t>(operand)] != 0;
  if (operand == kOperandChanged) return changed_;
  if (operand >= kGlobalFlagFirst && operand < kGlobalFlagFirst + kGlobalFlagCount) return GlobalFlag(operand);
  if (operand >= kOperandControlChanged && operand < kOperandControlChanged + 1000) return ControlChanged(operand - kOperandControlChanged);
  return true;
}

namespace {
const Condition* nonEmpty(const Condition& c) { return c.empty() ? nullptr : &c; }
}  // namespace

void Form::applyCondition(int index) {
  // A control and the menu item of its id follow both their conditions.
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(index)];
  auto eval = [this](const Condition& cond) {
    return EvaluateCondition(cond, [this](int op) { return operandValue(op); });
  };
  bool enabled = eval(c.condition);
  int menu = -1;
  if (c.id >= 0 && c.id < kSymbolicIds) menu = description_.idMap[static_cast<std::size_t>(c.id)].menuEntry;
  if (menu >= 0) {
    if (const Condition* mc = nonEmpty(description_.menus[static_cast<std::size_t>(menu)].condition)) enabled = enabled && eval(*mc);
    toolkit().setMenuItemEnabled(id(), description_.menuTag(menu), enabled);
  }
  setControlEnabled(index, enabled);
}

void Form::applyMenuCondition(int entry) {
  const MenuEntry& e = description_.menus[static_cast<std::size_t>(entry)];
  const int control = e.id >= 0 && e.id < kSymbolicIds ? description_.idMap[static_cast<std::size_t>(e.id)].control : -1;
  if (control >= 0 && !description_.controls[static_cast<std::size_t>(control)].condition.empty()) {
    applyCondition(control);  // joins both conditions
    return;
  }
  const bool enabled = EvaluateCondition(e.condition, [this](int op) { return operandValue(op); });
  toolkit().setMenuItemEnabled(id(), description_.menuTag(entry), enabled);
  if (control >= 0) setControlEnabled(control, enabled);
}

void Form::evaluateAll() { evaluateNaming(-1); }

void Form::evaluateNaming(int operand) {
  auto concerns = [operand](const Condition& c) {
    return !c.empty() && (operand < 0 || ConditionNames(c, operand));
  };
  for (std::size_t i = 0; i < description_.controls.size() && i < controls_.size(); ++i) {
    if (concerns(description_.controls[i].condition)) applyCondition(static_cast<int>(i));
  }
  for (std::size_t e = 1; e < description_.menus.size(); ++e) {
    if (concerns(description_.menus[e].condition)) applyMenuCondition(static_cast<int>(e));
  }
}

void Form::setControlEnabled(int index, bool enabled) {
  if (index < 0 || static_cast<std::size_t>(index) >= controls_.size()) return;
  ControlRuntime& rt = controls_[static_cast<std::size_t>(index)];
  const bool was = rt.enabled;
  rt.enabled = enabled;
  if (rt.pane != kNoWindow) {
    runtime_.setWindowEnabled(rt.pane, enabled);
  } else if (rt.toolkitId != kNoControl) {
    toolkit().setControlEnabled(id(), rt.toolkitId, enabled);
  } else if (was != enabled) {
    if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();  // a fixed text turns grey
  }
}

// --- painting --------------------------------------------------------------------

namespace {

int lampSize(const FontMetrics& m) { return std::max(6, m.ascent * 3 / 4); }

// Paints a lamp at the left of a line of text at (x, y); the room it takes.
int paintLamp(Canvas& cv, int x, int y, bool lit) {
  const FontMetrics m = cv.metrics();
  const int size = lampSize(m);
  const int top = y + std::max(0, (m.ascent + m.descent - size) / 2);
  DrawTools t;
  t.brush = lit ? rgb(60, 200, 70) : rgb(110, 110, 110);
  t.pen = lit ? rgb(20, 110, 30) : rgb(70, 70, 70);
  cv.setTools(t);
  cv.drawEllipse(Rect{top, x, top + size, x + size});
  return LampWidth(m);
}

}  // namespace

int LampWidth(const FontMetrics& m) { return lampSize(m) + 4; }

void Form::paint() {
  Canvas* cv = toolkit().canvas(id());
  if (!cv) return;
  const Rect client{0, 0, cv->height(), cv->width()};
  DrawTools t;
  t.penHollow = true;
  t.brush = background_.value_or(rgb(240, 240, 240));
  cv->setClip(std::nullopt);
  cv->setTools(t);
  cv->drawRect(client);
  // The band goes beneath the fixed texts, so a text placed in it stays
  // readable.
  if (const int band = description_.window.headerBand; band > 0) {
    DrawTools b;
    b.pen = kBlack;
    b.brush = kLightGray;
    cv->setTools(b);
    cv->drawRect(Rect{0, 0, band, client.right});
  }
  cv->setFont(font_);
  const int ascent = cv->metrics().ascent;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    const ControlRuntime& rt = controls_[i];
    if (c.kind != ControlType::FixedText || !rt.visible) continue;
    std::string shown;
    for (std::size_t k = 0; k < rt.text.size(); ++k) {
      if (rt.text[k] == '&' && k + 1 < rt.text.size() && rt.text[k + 1] != '&') continue;
      if (rt.text[k] == '&') ++k;
      shown += rt.text[k];
    }
    int x = c.pos.x;
    // A fixed text with a condition is a lamp: lit while its condition
    // holds, dark otherwise, its text beside it.
    if (!c.condition.empty()) x += paintLamp(*cv, c.pos.x, c.pos.y, rt.enabled);
    DrawTools tt;
    tt.foreColor = rt.enabled ? kBlack : kGray;
    tt.opaqueText = false;
    cv->setTools(tt);
    cv->drawText(x, c.pos.y + ascent, shown);
  }
  for (const GraphicItem& g : description_.graphics) {
    if (g.kind == GraphicItem::Kind::Icon) {
      cv->drawIcon(g.x1, g.y1, g.icon);
      continue;
    }
    DrawTools lt;
    lt.pen = rgb(g.color.r, g.color.g, g.color.b);
    lt.penWidth = g.width;
    cv->setTools(lt);
    cv->drawLine(Point{g.x1, g.y1}, Point{g.x2 > 998 ? client.right : g.x2, g.y2});
  }
}

// --- life ----------------------------------------------------------------------------

void Form::savePosition() {
  const std::string tmp = runtime_.env().setting(5);
  if (tmp.empty()) return;  // never litter the program's working directory
  if (toolkit().clientRect(id()).height() < kMinSavedHeight) return;
  const Rect r = toolkit().outerRect(id());
  char line[80];
  std::snprintf(line, sizeof line, "%d;%d;%d;%d;\n", r.top, r.left, r.bottom, r.right);
  std::error_code ec;
  std::filesystem::create_directories(tmp + "POS", ec);
  core::WriteFileAtomically(PositionFilePath(tmp, request_.number), std::string(line) + listFont_.serialize() + "\n");
}

void Form::onDestroy() {
  if (focusTimer_) {
    toolkit().destroyTimer(focusTimer_);
    focusTimer_ = 0;
  }
  savePosition();
  if (runtime_.activeForm() == id()) runtime_.setActiveForm(kNoWindow);
  if (disabledOwner_ != kNoWindow && toolkit().exists(disabledOwner_)) {
    runtime_.setWindowEnabled(disabledOwner_, true);
    runtime_.setActiveForm(disabledOwner_);
    toolkit().sendUser(disabledOwner_, kFormFocusRaise);
  }
  if (disabledAll_ && toolkit().exists(runtime_.env().taskWindow()))
    toolkit().sendUser(runtime_.env().taskWindow(), kFormWindows, 4);
}

void Form::close() { CloseForm(toolkit(), id(), runtime_.env().taskWindow()); }

// --- commands --------------------------------------------------------------------------

void Form::RunCommand(int commandId, const std::string& commandText, std::intptr_t argument) {
  if (commandId < 0) {
    if (!commandText.empty() && runtime_.env().executeCommand) runtime_.env().executeCommand(id(), commandText);
    return;
  }
  if (commandId < 1000) {
    if (runtime_.commandRunning) return;  // one command at a time; this one is dropped
    runtime_.commandRunning = true;
    struct Done {
      FormRuntime& rt;
      ~Done() { rt.commandRunning = false; }
    } done{runtime_};
    onCommand(commandId, argument);
    return;
  }
  switch (commandId) {
    case kActionAbout:
      if (request_.number != kAboutBox) runtime_.OpenWindowById(id(), kAboutBox);
      break;
    case kActionHelp:
      if (runtime_.env().showHelp) runtime_.env().showHelp(runtime_.env().setting(26), 0);
      break;
    case kActionClose: close(); break;
    case kActionCut:
    case kActionCopy:
    case kActionPaste: editAction(commandId); break;
    default: break;  // LEER and unknown numbers do nothing
  }
}

int Form::indexOfToolkitId(int toolkitId) const {
  const int n = ControlFromToolkitNumber(toolkitId) - 1;
  if (n < 0 || static_cast<std::size_t>(n) >= controls_.size() || ToolkitControlNumber(n + 1) != toolkitId) return -1;
  return controls_[static_cast<std::size_t>(n)].toolkitId == toolkitId ? n : -1;
}

int Form::roleButton(int role) const {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    if (isButton(c.kind) && c.role == role && controls_[i].enabled && controls_[i].visible) return static_cast<int>(i);
  }
  return -1;
}

bool Form::onControlEvent(int toolkitId, int code) {
  const int i = indexOfToolkitId(toolkitId);
  if (i < 0) return false;
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(i)];
  ControlRuntime& rt = controls_[static_cast<std::size_t>(i)];
  switch (code) {
    case kNotifyFocusIn:
      focus_ = i;
      return true;
    case kNotifyFocusOut:
      if (IsEditField(c.kind)) checkField(i);
      return true;
    case kNotifyTextChanged:
      onFieldChanged(i);
      return true;
    default:
      break;
  }
  if (!rt.enabled) {
    rt.changedMark = false;
    return true;
  }
  switch (code) {
    case kNotifyClicked:
      if (c.kind == ControlType::CheckBox || c.kind == ControlType::RadioButton) {
        rt.changedMark = true;
        if (!changed_) SetChanged(true), onCommand(kCallbackChanged, 0);
        evaluateNaming(kOperandControlChanged + c.id);
      }
      RunCommand(c.id, c.command, code);
      return true;
    case kNotifySelChanged:
      rt.changedMark = true;
      if (!changed_) SetChanged(true), onCommand(kCallbackChanged, 0);
      evaluateNaming(kOperandControlChanged + c.id);
      RunCommand(c.id, c.command, code);
      return true;
    case kNotifyDoubleClick:
      RunCommand(c.id, c.command, code);
      return true;
    default:
      return false;
  }
}

void Form::onFieldChanged(int i) {
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(i)];
  ControlRuntime& rt = controls_[static_cast<std::size_t>(i)];
  if (!rt.enabled) {
    rt.changedMark = false;  // a disabled field's events are swallowed
    return;
  }
  if (c.kind == ControlType::UpperField) {
    const std::string text = toolkit().controlText(id(), rt.toolkitId);
    const std::string caps = ToCapitals(text);
    if (caps != text) {
      const ControlState* st = toolkit().control(id(), rt.toolkitId);
      const int a = st ? st->selStart : 0, b = st ? st->selEnd : 0;
      toolkit().setControlText(id(), rt.toolkitId, caps);
      toolkit().setTextSelection(id(), rt.toolkitId, a, b);  // the caret stays where it was
    }
  }
  rt.changedMark = true;
  if (!changed_) {
    changed_ = true;
    onCommand(kCallbackChanged, 0);
    evaluateNaming(kOperandChanged);
  }
  evaluateNaming(kOperandControlChanged + c.id);
}

bool Form::checkField(int i) {
  if (i < 0 || static_cast<std::size_t>(i) >= controls_.size()) return true;
  if (pendingRejection_ >= 0) return false;
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(i)];
  const ControlRuntime& rt = controls_[static_cast<std::size_t>(i)];
  if (rt.toolkitId == kNoControl || !IsEditField(c.kind)) return true;
  std::string text = toolkit().controlText(id(), rt.toolkitId);
  int rejection = 0;
  std::optional<std::string> fixed;
  if (c.kind == ControlType::DateField) {
    fixed = CheckDate(text);
    if (!fixed) rejection = kMsgBadDate;
  } else if (c.kind == ControlType::TimeField) {
    fixed = CheckTime(text);
    if (!fixed) rejection = kMsgBadTime;
  } else if (c.kind == ControlType::DigitsField) {
    if (KeepDigits(text)) {
      toolkit().beep();
      fixed = text;
    }
  }
  if (rejection) {
    pendingRejection_ = i;
    if (runtime_.env().showMessage) runtime_.env().showMessage(id(), 1, rejection, text, {});
    return false;
  }
  if (fixed && *fixed != toolkit().controlText(id(), rt.toolkitId)) toolkit().setControlText(id(), rt.toolkitId, *fixed);
  return true;
}

bool Form::mnemonic(char letter) {
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  // The field being left is checked first; a rejection stops the command.
  if (focus_ >= 0 && !checkField(focus_)) return true;
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const ControlDescription& c = description_.controls[i];
    const ControlRuntime& rt = controls_[i];
    if (c.mnemonic != letter || !rt.enabled || !rt.visible) continue;
    if (isButton(c.kind)) {
      RunCommand(c.id, c.command);
    } else if (c.kind == ControlType::CheckBox || c.kind == ControlType::RadioButton) {
      toolkit().operatorClick(id(), rt.toolkitId);
    } else if (c.kind == ControlType::FixedText) {
      // A fixed text's mnemonic leads to the next control that takes the focus.
      for (std::size_t k = 0; k < description_.focusOrder.size(); ++k) {
        if (description_.focusOrder[k] > static_cast<int>(i)) {
          focusIndex(static_cast<int>(k));
          break;
        }
      }
    } else {
      for (std::size_t k = 0; k < description_.focusOrder.size(); ++k) {
        if (description_.focusOrder[k] == static_cast<int>(i)) focusIndex(static_cast<int>(k));
      }
    }
    return true;
  }
  for (std::size_t e = 1; e < description_.menus.size(); ++e) {
    const MenuEntry& m = description_.menus[e];
    if (m.mnemonic != letter || (m.kind != MenuKind::Item && m.kind != MenuKind::SubmenuItem)) continue;
    const MenuItem* item = nullptr;
    if (const auto* bar = toolkit().menuBar(id())) item = findMenuItem(*bar, description_.menuTag(static_cast<int>(e)));
    if (item && !item->enabled) continue;
    RunCommand(m.id, m.command);
    return true;
  }
  return false;
}

bool Form::onCommandEvent(int n) {
  if (n == 1001) {
    if (runtime_.env().showHelp) runtime_.env().showHelp(runtime_.env().setting(26), request_.number);
    return true;
  }
  if (n >= 1002 && n <= 1011) return mnemonic(n == 1011 ? '0' : static_cast<char>('1' + (n - 1002))), true;
  if (n == 1033) return mnemonic('A'), true;
  if (n == 1037) return mnemonic('B'), true;
  if (n >= 1039 && n <= 1085 && (n - 1039) % 2 == 0) return mnemonic(static_cast<char>('C' + (n - 1039) / 2)), true;
  switch (n) {
    case 1012: case 1018: editAction(kActionCut); return true;
    case 1013: case 1016: editAction(kActionCopy); return true;
    case 1014: case 1017: editAction(kActionPaste); return true;
    case 1997:
    case 1998: {
      const int b = roleButton(n == 1997 ? kRoleInsert : kRoleDelete);
      if (b >= 0) {
        const ControlDescription& c = description_.controls[static_cast<std::size_t>(b)];
        RunCommand(c.id, c.command);
      }
      return true;
    }
    case 1999: updateEditMenu(); return true;
    default: break;
  }
  const int entry = description_.menuEntryForTag(n);
  if (entry > 0) {
    const MenuEntry& e = description_.menus[static_cast<std::size_t>(entry)];
    RunCommand(e.id, e.command);
    return true;
  }
  return false;
}

void Form::editAction(int action) {
  if (focus_ < 0) return;
  const ControlRuntime& rt = controls_[static_cast<std::size_t>(focus_)];
  if (!IsEditField(description_.controls[static_cast<std::size_t>(focus_)].kind) || rt.toolkitId == kNoControl) return;
  const ControlState* st = toolkit().control(id(), rt.toolkitId);
  if (!st) return;
  std::string text = st->text;
  const auto a = static_cast<std::size_t>(std::clamp(std::min(st->selStart, st->selEnd), 0, static_cast<int>(text.size())));
  const auto b = static_cast<std::size_t>(std::clamp(std::max(st->selStart, st->selEnd), 0, static_cast<int>(text.size())));
  if (action == kActionCopy || action == kActionCut) {
    if (a == b) return;
    toolkit().setClipboardText(text.substr(a, b - a));
    if (action == kActionCopy) return;
    text.erase(a, b - a);
    toolkit().setControlText(id(), rt.toolkitId, text);
    toolkit().setTextSelection(id(), rt.toolkitId, static_cast<int>(a), static_cast<int>(a));
  } else {
    const std::string clip = toolkit().clipboardText();
    if (clip.empty()) return;
    text.replace(a, b - a, clip);
    if (st->spec.maxLength > 0 && text.size() > static_cast<std::size_t>(st->spec.maxLength))
      text.resize(static_cast<std::size_t>(st->spec.maxLength));
    toolkit().setControlText(id(), rt.toolkitId, text);
    const int caret = static_cast<int>(std::min(a + clip.size(), text.size()));
    toolkit().setTextSelection(id(), rt.toolkitId, caret, caret);
  }
  onFieldChanged(focus_);
}

void Form::updateEditMenu() {
  bool cut = false, copy = false, paste = false;
  if (focus_ >= 0 && IsEditField(description_.controls[static_cast<std::size_t>(focus_)].kind)) {
    const ControlState* st = toolkit().control(id(), controls_[static_cast<std::size_t>(focus_)].toolkitId);
    const bool selected = st && st->selStart != st->selEnd;
    cut = copy = selected;
    paste = !toolkit().clipboardText().empty();
  }
  for (std::size_t e = 1; e < description_.menus.size(); ++e) {
    const int a = description_.menus[e].id;
    const bool on = a == kActionCut ? cut : a == kActionCopy ? copy : a == kActionPaste ? paste : true;
    if (a == kActionCut || a == kActionCopy || a == kActionPaste)
      toolkit().setMenuItemEnabled(id(), description_.menuTag(static_cast<int>(e)), on);
  }
}

// --- keys and focus --------------------------------------------------------------------

int Form::currentFocusPosition() const {
  for (std::size_t k = 0; k < description_.focusOrder.size(); ++k) {
    if (description_.focusOrder[k] == focus_) return static_cast<int>(k);
  }
  return -1;
}

void Form::focusIndex(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= description_.focusOrder.size()) return;
  const int i = description_.focusOrder[static_cast<std::size_t>(position)];
  const ControlRuntime& rt = controls_[static_cast<std::size_t>(i)];
  focus_ = i;
  if (rt.pane != kNoWindow) {
    toolkit().setFocus(rt.pane);
  } else if (rt.toolkitId != kNoControl) {
    toolkit().setFocus(id(), rt.toolkitId);
  }
}

void Form::moveFocus(int step) {
  const int n = static_cast<int>(description_.focusOrder.size());
  if (n == 0) return;
  if (focus_ >= 0 && !checkField(focus_)) return;
  int pos = currentFocusPosition();
  if (pos < 0) pos = step > 0 ? -1 : 0;
  for (int tries = 0; tries < n; ++tries) {
    pos = ((pos + step) % n + n) % n;
    const ControlRuntime& rt = controls_[static_cast<std::size_t>(description_.focusOrder[static_cast<std::size_t>(pos)])];
    if (rt.enabled && rt.visible && (rt.toolkitId != kNoControl || rt.pane != kNoWindow)) {
      focusIndex(pos);
      return;
    }
  }
}

bool Form::onKey(int key, unsigned modifiers) {
  if (key == kKeyEscape) {
    RunCommand(kActionExit);
    return true;
  }
  if (key == kKeyTab) {
    moveFocus(modifiers & kModShift ? -1 : 1);
    return true;
  }
  if ((key == kKeyUp || key == kKeyDown) && focus_ >= 0 &&
      description_.controls[static_cast<std::size_t>(focus_)].kind == ControlType::RadioButton) {
    const int group = description_.controls[static_cast<std::size_t>(focus_)].group;
    std::vector<int> members;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const ControlDescription& c = description_.controls[i];
      if (c.kind == ControlType::RadioButton && c.group == group && controls_[i].enabled && controls_[i].visible)
        members.push_back(static_cast<int>(i));
    }
    const auto at = std::find(members.begin(), members.end(), focus_);
    if (at == members.end()) return true;
    const int m = static_cast<int>(members.size());
    const int next = members[static_cast<std::size_t>(((at - members.begin()) + (key == kKeyDown ? 1 : -1) + m) % m)];
    for (std::size_t k = 0; k < description_.focusOrder.size(); ++k) {
      if (description_.focusOrder[k] == next) focusIndex(static_cast<int>(k));
    }
    toolkit().operatorClick(id(), controls_[static_cast<std::size_t>(next)].toolkitId);  // as if clicked
    return true;
  }
  if (key == kKeyEnter) {
    bool handled = false;
    if (focus_ >= 0 && description_.controls[static_cast<std::size_t>(focus_)].kind == ControlType::ListBox) {
      const ControlDescription& c = description_.controls[static_cast<std::size_t>(focus_)];
      RunCommand(c.id, c.command, kNotifyDoubleClick);
      handled = true;
    }
    if (const int b = roleButton(kRoleDefault); b >= 0) {
      if (focus_ >= 0 && !checkField(focus_)) return true;
      const ControlDescription& c = description_.controls[static_cast<std::size_t>(b)];
      RunCommand(c.id, c.command);
      handled = true;
    }
    return handled;
  }
  // The keys behind the accelerator commands: F1 for help, Insert and
  // Delete for the INS and DEL buttons unless a field wants them itself.
  const bool inField = focus_ >= 0 && IsEditField(description_.controls[static_cast<std::size_t>(focus_)].kind);
  // Paging from a field pages the form's text pane: the operator reads back
  // in the received text without leaving the input line.
  if ((key == kKeyPageUp || key == kKeyPageDown) && (modifiers & (kModAlt | kModControl)) == 0) {
    if (const int pane = textPaneOf(); pane >= 0 && pane != focus_) {
      Event forward(EventType::Char, key, static_cast<std::intptr_t>(modifiers));
      toolkit().send(controls_[static_cast<std::size_t>(pane)].pane, forward);
      return true;
    }
  }
  if (key == kKeyF1) return onCommandEvent(1001);
  if (key == kKeyInsert && !inField) return onCommandEvent(1997);
  if (key == kKeyDelete && !inField) return onCommandEvent(1998);
  if ((modifiers & kModAlt) && key > 0 && key < 256 && std::isalnum(key)) return mnemonic(static_cast<char>(key));
  return false;
}

void Form::followToolkitFocus() {
  // The owner may have moved the focus itself (the channel sends a key
  // typed elsewhere on to its input line): the toolkit knows where it is,
  // and the form takes that control as its current one.
  const int tk = toolkit().focusControl(id());
  if (tk == kNoControl) return;
  if (const int i = indexOfToolkitId(tk); i >= 0) focus_ = i;
}

bool Form::paneFocusNotice(const Event& event) {
  // A text or list pane reports with argument 2 that it got the focus; it
  // becomes the current control, so the focus timer keeps it there.
  if (event.arg != kPaneFocusNotice || event.id < 0 || event.id >= kSymbolicIds) return false;
  const int ci = description_.idMap[static_cast<std::size_t>(event.id)].control;
  if (ci < 0 || controls_[static_cast<std::size_t>(ci)].pane == kNoWindow) return false;
  focus_ = ci;
  return true;
}

int Form::textPaneOf() const {
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (description_.controls[i].kind == ControlType::TextControl && controls_[i].pane != kNoWindow &&
        controls_[i].visible)
      return static_cast<int>(i);
  return -1;
}

bool Form::onUser(Event& event) {
  if (paneFocusNotice(event)) return false;  // the owner hears of it too
  switch (event.id) {
    case kFormFocus:
    case kFormFocusRaise:
      followToolkitFocus();
      if (focus_ < 0) {
        moveFocus(1);
      } else {
        const int pos = currentFocusPosition();
        if (pos >= 0) focusIndex(pos);
      }
      if (focus_ < 0) toolkit().setFocus(id());
      if (event.id == kFormFocusRaise) toolkit().raise(id());
      return true;
    case kFormFocusControl: {
      const int i = indexOfToolkitId(static_cast<int>(event.arg));
      if (i >= 0) {
        focus_ = i;
        toolkit().setFocus(id(), controls_[static_cast<std::size_t>(i)].toolkitId);
      }
      return true;
    }
    case kFormRunCommand: {
      const int cid = static_cast<int>(event.arg);
      std::string text;
      if (cid >= 0 && cid < kSymbolicIds) {
        const int ci = description_.idMap[static_cast<std::size_t>(cid)].control;
        if (ci >= 0) text = description_.controls[static_cast<std::size_t>(ci)].command;
      }
      RunCommand(cid, text);
      return true;
    }
    case kFormRenameMenus:
      renameMenus();
      return true;
    case kFormChildClose: {
      const auto child = static_cast<WindowId>(event.arg);
      if (child != id() && toolkit().parentOf(child) == id()) toolkit().destroy(child);
      toolkit().setFocus(id());
      toolkit().raise(id());
      return true;
    }
    case kFormWindows:
      if (event.arg == 1) toolkit().setTitle(id(), description_.window.title);
      if (event.arg == 2) runtime_.setWindowEnabled(id(), false);
      if (event.arg == 4) runtime_.setWindowEnabled(id(), true);
      for (WindowId child : toolkit().children(id())) toolkit().sendUser(child, kFormWindows, event.arg);
      return true;
    case 1650:
    case kFormRejectionClosed:
      if (pendingRejection_ >= 0 && (event.arg == kMsgBadDate || event.arg == kMsgBadTime)) {
        const int i = pendingRejection_;
        pendingRejection_ = -1;
        const int tk = controls_[static_cast<std::size_t>(i)].toolkitId;
        focus_ = i;
        toolkit().setTextSelection(id(), tk, 0, -1);
        toolkit().setFocus(id(), tk);
        return true;
      }
      return false;
    default:
      return false;
  }
}

void Form::renameMenus() {
  if (!runtime_.env().winMenu || description_.menus.empty()) return;
  for (const std::string& entry : runtime_.env().winMenu()) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    std::string to = entry.substr(eq + 1);
    if (const std::size_t semi = to.find(';'); semi != std::string::npos) to.resize(semi);
    const std::string from = entry.substr(0, eq);
    for (std::size_t e = 1; e < description_.menus.size(); ++e) {
      MenuEntry& m = description_.menus[e];
      if (m.kind == MenuKind::Separator || m.kind == MenuKind::Empty || m.title != from) continue;
      m.title = to;
      m.mnemonic = 0;
      for (std::size_t k = 0; k + 1 < to.size(); ++k) {
        if (to[k] == '&') {
          m.mnemonic = static_cast<char>(std::toupper(static_cast<unsigned char>(to[k + 1])));
          break;
        }
      }
      toolkit().setMenuItemText(id(), description_.menuTag(static_cast<int>(e)), to);
      break;
    }
  }
}

// --- what owners use ----------------------------------------------------------------------

int Form::controlOf(int sid) const {
  if (sid < 0 || sid >= kSymbolicIds) return kNoControl;
  const int ci = description_.idMap[static_cast<std::size_t>(sid)].control;
  if (ci < 0 || static_cast<std::size_t>(ci) >= controls_.size()) return kNoControl;
  return controls_[static_cast<std::size_t>(ci)].toolkitId;
}

void Form::SetState(int variable, int value) {
  if (variable < 0 || variable >= kFormStates) return;
  auto& slot = states_[static_cast<std::size_t>(variable)];
  const auto v = static_cast<std::int16_t>(value);
  if (slot == v) return;
  slot = v;
  evaluateNaming(variable);
}

int Form::State(int variable) const {
  return variable >= 0 && variable < kFormStates ? states_[static_cast<std::size_t>(variable)] : 0;
}

void Form::EnableId(int sid, bool flag) {
  if (sid < 0 || sid >= kSymbolicIds) return;
  const IdMapEntry& m = description_.idMap[static_cast<std::size_t>(sid)];
  if (m.control >= 0) setControlEnabled(m.control, flag);
  if (m.menuEntry >= 0) toolkit().setMenuItemEnabled(id(), description_.menuTag(m.menuEntry), flag);
}

void Form::SetCheck(int sid, int value) {
  if (sid < 0 || sid >= kSymbolicIds) return;
  const IdMapEntry& m = description_.idMap[static_cast<std::size_t>(sid)];
  if (m.menuEntry >= 0 && description_.menus[static_cast<std::size_t>(m.menuEntry)].checkable)
    toolkit().setMenuItemChecked(id(), description_.menuTag(m.menuEntry), value != 0);
  if (m.control < 0 || static_cast<std::size_t>(m.control) >= controls_.size()) return;
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(m.control)];
  ControlRuntime& rt = controls_[static_cast<std::size_t>(m.control)];
  rt.checked = value != 0;
  if (c.kind == ControlType::RadioButton) {
    if (value) toolkit().checkRadio(id(), rt.toolkitId);
    else toolkit().setChecked(id(), rt.toolkitId, false);
  } else if (c.kind == ControlType::CheckBox) {
    toolkit().setChecked(id(), rt.toolkitId, value != 0);
  } else if (c.kind == ControlType::IconButton && rt.pane != kNoWindow) {
    if (auto* b = toolkit().findAs<IconButtonPane>(rt.pane)) b->setChecked(value != 0);
  }
}

void Form::SetCtlText(int sid, std::string_view text) {
  if (sid < 0 || sid >= kSymbolicIds) return;
  const IdMapEntry& m = description_.idMap[static_cast<std::size_t>(sid)];
  if (m.menuEntry >= 0) {
    description_.menus[static_cast<std::size_t>(m.menuEntry)].title = std::string(text);
    toolkit().setMenuItemText(id(), description_.menuTag(m.menuEntry), text);
  }
  if (m.control < 0 || static_cast<std::size_t>(m.control) >= controls_.size()) return;
  const ControlDescription& c = description_.controls[static_cast<std::size_t>(m.control)];
  ControlRuntime& rt = controls_[static_cast<std::size_t>(m.control)];
  if (c.kind == ControlType::FixedText) {
    rt.text = std::string(text);
    if (Canvas* cv = toolkit().canvas(id())) cv->invalidate();
  } else if (isList(c.kind)) {
    const auto items = toolkit().listItems(id(), rt.toolkitId);
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (items[k] == text) toolkit().listSetSel(id(), rt.toolkitId, static_cast<int>(k));
    }
  } else if (rt.toolkitId != kNoControl) {
    toolkit().setControlText(id(), rt.toolkitId, text);
  }
}

std::string Form::GetCtlText(int sid) const {
  if (sid < 0 || sid >= kSymbolicIds) return {};
  const IdMapEntry& m = description_.idMap[static_cast<std::size_t>(sid)];
  std::string text;
  if (m.control >= 0 && static_cast<std::size_t>(m.control) < controls_.size()) {
    const ControlRuntime& rt = controls_[static_cast<std::size_t>(m.control)];
    if (description_.controls[static_cast<std::size_t>(m.control)].kind == ControlType::FixedText) {
      text = rt.text;
    } else if (rt.toolkitId != kNoControl) {
      text = toolkit().controlText(id(), rt.toolkitId);
    }
  } else if (m.menuEntry >= 0) {
    text = description_.menus[static_cast<std::size_t>(m.menuEntry)].title;
  }
  if (text.size() > kMaxCtlText) text.resize(kMaxCtlText);
  return text;
}

WindowId Form::GetCtlWindow(int sid) const {
  if (sid < 0 || sid >= kSymbolicIds) return kNoWindow;
  const int ci = description_.idMap[static_cast<std::size_t>(sid)].control;
  if (ci < 0 || static_cast<std::size_t>(ci) >= controls_.size()) return kNoWindow;
  const WindowId pane = controls_[static_cast<std::size_t>(ci)].pane;
  return pane != kNoWindow ? pane : id();
}

void Form::SetChanged(bool flag) {
  changed_ = flag;
  if (!flag) {
    for (auto& c : controls_) c.changedMark = false;
  }
  evaluateAll();
}

bool Form::ControlChanged(int sid) const {
  if (sid < 0 || sid >= kSymbolicIds) return false;
  const int ci = description_.idMap[static_cast<std::size_t>(sid)].control;
  if (ci < 0 || static_cast<std::size_t>(ci) >= controls_.size()) return false;
  const ControlType k = description_.controls[static_cast<std::size_t>(ci)].kind;
  // Only fields and lists carry a changed mark.
  if (!IsEditField(k) && !isList(k) && k != ControlType::ListControl && k != ControlType::TextControl &&
      k != ControlType::CheckBox && k != ControlType::RadioButton)
    return false;
  return controls_[static_cast<std::size_t>(ci)].changedMark;
}

}  // namespace tarvik::ui
