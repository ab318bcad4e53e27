// Controls, menus, drawing access and small services of the Qt backend.
//
// The toolkit's model holds every control's state; this file makes a Qt
// widget for each control, mirrors model changes into it (with its signals
// blocked, so nothing echoes back) and turns what the operator does to a
// widget into the toolkit's operator calls, which update the model and send
// the Control event. Keys that belong to the window rather than the widget
// (Tab, Escape, Enter, function keys, Alt+letter, arrows in radio groups) are
// taken from the widgets and sent to the window as Char events, because the
// form runtime moves the focus, runs default buttons and mnemonics itself.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QVBoxLayout>

#include "ui/toolkit/qt/cp1252.h"
#include "ui/toolkit/qt/qt_surface.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui {

namespace {

constexpr const char* kWindowProp = "tarvikWindow";
constexpr const char* kControlProp = "tarvikControl";

// A fixed text shows its mnemonic marker as nothing: "&&" is a literal "&",
// a single "&" only marks the letter after it.
QString withoutMarker(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return fromCp1252(out);
}

QPixmap iconPicture(const std::string& dir, int number) {
  QPixmap pm = qtdetail::iconPixmap(dir, number);
  if (!pm.isNull()) return pm;
  QPixmap box(32, 32);
  box.fill(Qt::transparent);
  QPainter p(&box);
  qtdetail::paintIcon(p, dir, 0, 0, number);
  return box;
}

std::string shapeOf(const std::vector<MenuItem>& items) {
  std::string s;
  for (const MenuItem& m : items) {
    s += m.separator ? "-" : "i" + std::to_string(m.number);
    if (!m.children.empty()) s += "(" + shapeOf(m.children) + ")";
  }
  return s;
}

}  // namespace

namespace qtdetail {

class ControlFilter : public QObject {
 public:
  ControlFilter(QtToolkit* tk, QObject* parent) : QObject(parent), tk_(tk) {}

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    const QVariant wv = o->property(kWindowProp);
    if (!wv.isValid()) return false;
    const auto window = static_cast<WindowId>(wv.toUInt());
    const int control = o->property(kControlProp).toInt();
    switch (e->type()) {
      case QEvent::FocusIn:
        tk_->operatorFocus(window, control, true);
        return false;
      case QEvent::FocusOut:
        tk_->operatorFocus(window, control, false);
        return false;
      case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(e);
        unsigned mods = 0;
        const int key = keyOf(k, &mods);
        bool forWindow = key == kKeyTab || key == kKeyEscape ||
                         (key >= kKeyF1 && key <= kKeyF12) ||
                         ((mods & kModAlt) && key > 0 && key < 256);
        if (key == kKeyEnter) forWindow = !qobject_cast<QPlainTextEdit*>(o);
        if ((key == kKeyUp || key == kKeyDown) && qobject_cast<QRadioButton*>(o)) forWindow = true;
        // A one-line field has no use for the vertical keys; its window does
        // (the channel's input line walks its history with them, and pages
        // the received text).
        if ((key == kKeyUp || key == kKeyDown || key == kKeyPageUp || key == kKeyPageDown) &&
            qobject_cast<QLineEdit*>(o))
          forWindow = true;
        if (!forWindow) return false;
        tk_->operatorKey(window, key, mods);
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QtToolkit* tk_;
};

}  // namespace qtdetail

// --- controls -----------------------------------------------------------------

QWidget* QtToolkit::controlWidget(WindowId window, int control) const {
  auto it = controls_.find({window, control});
  return it == controls_.end() ? nullptr : it->second.data();
}

void QtToolkit::attachScrollBar(QScrollBar* bar, WindowId window, int control) {
  bar->setProperty(kWindowProp, window);
  bar->setProperty(kControlProp, control);
  controls_[{window, control}] = bar;
  // The program places the thumb: every action is reported, then the bar
  // shows the model's position again (which the handler may have moved).
  QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [this, window, control, bar](int a) {
    ControlNotify code;
    switch (a) {
      case QAbstractSlider::SliderSingleStepAdd: code = kNotifyLineDown; break;
      case QAbstractSlider::SliderSingleStepSub: code = kNotifyLineUp; break;
      case QAbstractSlider::SliderPageStepAdd: code = kNotifyPageDown; break;
      case QAbstractSlider::SliderPageStepSub: code = kNotifyPageUp; break;
      case QAbstractSlider::SliderMove: code = kNotifyThumbTrack; break;
      default: return;
    }
    QPointer<QScrollBar> guard(bar);
    operatorScroll(window, control, code, bar->sliderPosition());
    if (!guard) return;
    if (const ControlState* c = this->control(window, control)) {
      bar->setSliderPosition(c->scroll.pos);
    }
  });
  QObject::connect(bar, &QAbstractSlider::sliderReleased, bar, [this, window, control, bar] {
    operatorScroll(window, control, kNotifyThumb, bar->sliderPosition());
  });
  if (const ControlState* c = this->control(window, control)) mirror(bar, *c, ControlChange::Scroll);
  if (!controlFilter_) controlFilter_ = new qtdetail::ControlFilter(this, context_.get());
  bar->installEventFilter(controlFilter_);
}

void QtToolkit::nativeControlCreate(WindowId window, const ControlState& c) {
  QWidget* parent = contentWidget(window);
  if (!parent) return;
  if (!controlFilter_) controlFilter_ = new qtdetail::ControlFilter(this, context_.get());
  const int id = c.spec.id;
  const QString text = fromCp1252(c.text);
  QWidget* w = nullptr;
  switch (c.spec.kind) {
    case ControlKind::PushButton: {
      auto* b = new QPushButton(text, parent);
      b->setAutoDefault(false);
      b->setDefault((c.spec.flags & kCtlDefault) != 0);
      QObject::connect(b, &QPushButton::clicked, b, [this, window, id] { operatorClick(window, id); });
      w = b;
      break;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      QAbstractButton* b;
      if (c.spec.kind == ControlKind::CheckBox) {
        b = new QCheckBox(text, parent);
      } else {
        auto* r = new QRadioButton(text, parent);
        r->setAutoExclusive(false);  // groups are the model's, not the parent widget's
        b = r;
      }
      QObject::connect(b, &QAbstractButton::clicked, b, [this, window, id, b] {
        QPointer<QAbstractButton> guard(b);
        operatorClick(window, id);
        // Refused (or changed by the handler): show what the model holds.
        if (guard)
          if (const ControlState* s = control(window, id)) {
            QSignalBlocker block(b);
            b->setChecked(s->checked);
          }
      });
      w = b;
      break;
    }
    case ControlKind::Edit: {
      auto* e = new QLineEdit(text, parent);
      if (c.spec.maxLength > 0) e->setMaxLength(c.spec.maxLength);
      if (c.spec.flags & kCtlPassword) e->setEchoMode(QLineEdit::Password);
      e->setReadOnly((c.spec.flags & kCtlReadOnly) != 0);
      QObject::connect(e, &QLineEdit::textEdited, e, [this, window, id](const QString& t) {
        operatorSetText(window, id, toCp1252(t));
      });
      w = e;
      break;
    }
    case ControlKind::MultiLineEdit: {
      auto* e = new QPlainTextEdit(text, parent);
      e->setReadOnly((c.spec.flags & kCtlReadOnly) != 0);
      QObject::connect(e, &QPlainTextEdit::textChanged, e, [this, window, id, e] {
        operatorSetText(window, id, toCp1252(e->toPlainText()));
      });
      w = e;
      break;
    }
    case ControlKind::StaticText:
      w = new QLabel(withoutMarker(c.text), parent);
      break;
    case ControlKind::GroupBox:
      w = new QGroupBox(text, parent);
      break;
    case ControlKind::ListBox: {
      auto* l = new QListWidget(parent);
      const bool multi = (c.spec.flags & kCtlMultiSelect) != 0;
      l->setSelectionMode(multi ? QAbstractItemView::MultiSelection
                                : QAbstractItemView::SingleSelection);
      QObject::connect(l, &QListWidget::itemSelectionChanged, l, [this, window, id, l, multi] {
        const ControlState* s = control(window, id);
        if (!s) return;
        QPointer<QListWidget> guard(l);
        std::vector<int> changedRows;
        for (int row = 0; row < l->count() && row < static_cast<int>(s->selected.size()); ++row)
          if (l->item(row)->isSelected() != s->selected[static_cast<std::size_t>(row)])
            changedRows.push_back(row);
        if (multi) {
          for (int row : changedRows) operatorSelect(window, id, row, true);
        } else {
          for (int row : changedRows)
            if (l->item(row)->isSelected()) {
              operatorSelect(window, id, row);
              break;
            }
        }
        if (guard)
          if (const ControlState* now = control(window, id)) mirror(l, *now, ControlChange::Selection);
      });
      QObject::connect(l, &QListWidget::itemDoubleClicked, l, [this, window, id, l](QListWidgetItem* item) {
        operatorDoubleClick(window, id, l->row(item));
      });
      w = l;
      break;
    }
    case ControlKind::ComboBox: {
      auto* cb = new QComboBox(parent);
      QObject::connect(cb, &QComboBox::activated, cb, [this, window, id, cb](int index) {
        QPointer<QComboBox> guard(cb);
        operatorSelect(window, id, index);
        if (guard)
          if (const ControlState* now = control(window, id)) mirror(cb, *now, ControlChange::Selection);
      });
      w = cb;
      break;
    }
    case ControlKind::HScrollBar:
    case ControlKind::VScrollBar: {
      auto* bar = new QScrollBar(
          c.spec.kind == ControlKind::HScrollBar ? Qt::Horizontal : Qt::Vertical, parent);
      attachScrollBar(bar, window, id);
      w = bar;
      break;
    }
    case ControlKind::Icon: {
      auto* l = new QLabel(parent);
      l->setPixmap(iconPicture(iconDirectory(), c.spec.icon));
      w = l;
      break;
    }
  }
  if (!w) return;
  w->setObjectName(QString::fromStdString(c.spec.name));
  w->setProperty(kWindowProp, window);
  w->setProperty(kControlProp, id);
  w->installEventFilter(controlFilter_);
  controls_[{window, id}] = w;
  const Rect& r = c.spec.rect;
  w->setGeometry(r.left, r.top, r.width(), r.height());
  for (ControlChange what : {ControlChange::Items, ControlChange::Checked, ControlChange::Enabled,
                             ControlChange::Font, ControlChange::Scroll})
    mirror(w, c, what);
  w->setVisible(c.visible);
}

void QtToolkit::nativeControlDestroy(WindowId window, int control) {
  auto it = controls_.find({window, control});
  if (it == controls_.end()) return;
  QPointer<QWidget> w = it->second;
  controls_.erase(it);
  if (w) {
    w->hide();
    w->setProperty(kWindowProp, QVariant());
    w->deleteLater();  // its own signal may be running
  }
}

void QtToolkit::nativeControlChanged(WindowId window, const ControlState& c, ControlChange what) {
  if (QWidget* w = controlWidget(window, c.spec.id)) mirror(w, c, what);
}

void QtToolkit::mirror(QWidget* w, const ControlState& c, ControlChange what) {
  QSignalBlocker block(w);
  switch (what) {
    case ControlChange::Text: {
      const QString t = fromCp1252(c.text);
      if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != t) {
          // A text the program sets is continued at its end (a key typed
          // elsewhere and added to the field, a history entry); only a
          // conversion of what was typed, such as capitals, keeps the caret
          // where the operator is typing.
          const bool sameText = e->text().compare(t, Qt::CaseInsensitive) == 0;
          const int pos = e->cursorPosition();
          e->setText(t);
          e->setCursorPosition(sameText ? std::min(pos, static_cast<int>(t.size()))
                                        : static_cast<int>(t.size()));
        }
      } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        if (m->toPlainText() != t) m->setPlainText(t);
      } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(t);
      } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(t);
      } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (c.spec.kind == ControlKind::StaticText) l->setText(withoutMarker(c.text));
      }
      break;
    }
    case ControlChange::Enabled:
      w->setEnabled(c.enabled);
      break;
    case ControlChange::Visible:
      w->setVisible(c.visible);
      break;
    case ControlChange::Checked:
      if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) b->setChecked(c.checked);
      break;
    case ControlChange::Items:
      if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->clear();
        for (const std::string& item : c.items) l->addItem(fromCp1252(item));
      } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        cb->clear();
        for (const std::string& item : c.items) cb->addItem(fromCp1252(item));
      }
      [[fallthrough]];
    case ControlChange::Selection:
      if (auto* l = qobject_cast<QListWidget*>(w)) {
        for (int row = 0; row < l->count() && row < static_cast<int>(c.selected.size()); ++row)
          l->item(row)->setSelected(c.selected[static_cast<std::size_t>(row)]);
        const int first = c.firstSelected();
        if (first >= 0) l->setCurrentRow(first, QItemSelectionModel::NoUpdate);
      } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        cb->setCurrentIndex(c.firstSelected());
      }
      break;
    case ControlChange::TextSelection:
      if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setSelection(c.selStart, c.selEnd - c.selStart);
      } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        QTextCursor cur = m->textCursor();
        cur.setPosition(c.selStart);
        cur.setPosition(c.selEnd, QTextCursor::KeepAnchor);
        m->setTextCursor(cur);
      }
      break;
    case ControlChange::Font:
      if (c.hasFont) w->setFont(qtdetail::toQFont(c.font));
      break;
    case ControlChange::Rect:
      w->setGeometry(c.spec.rect.left, c.spec.rect.top, c.spec.rect.width(), c.spec.rect.height());
      break;
    case ControlChange::Scroll:
      if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        bar->setRange(c.scroll.min, c.scroll.max);
        bar->setPageStep(std::max(1, c.scroll.proportion));
        bar->setValue(c.scroll.pos);
      }
      break;
    case ControlChange::Focus:
      w->setFocus(Qt::OtherFocusReason);
      break;
  }
}

void QtToolkit::nativeWindowFocus(WindowId window) {
  if (QWidget* w = contentWidget(window)) w->setFocus(Qt::OtherFocusReason);
}

// --- menus ----------------------------------------------------------------------

WindowId QtToolkit::activeDocument() const {
  if (!area_) return kNoWindow;
  QMdiSubWindow* active = area_->activeSubWindow();
  if (!active) return kNoWindow;
  for (const auto& [id, n] : natives_)
    if (n.outer == active) return id;
  return kNoWindow;
}

QMenuBar* QtToolkit::menuBarWidget(WindowId window) const {
  if (auto it = menus_.find(window); it != menus_.end()) return it->second.bar.data();
  if (frameMenu_.shownFor == window && frameMenu_.bar && frameMenu_.bar->isVisible())
    return frameMenu_.bar.data();
  if (frameMenu_.shownFor == window) return frameMenu_.bar.data();
  return nullptr;
}

void QtToolkit::showMenus(MenuNative& m, WindowId owner, bool rebuild) {
  const std::vector<MenuItem>* items = menuBar(owner);
  const std::string shape = items ? shapeOf(*items) : std::string();
  if (!rebuild && m.bar && m.shownFor == owner && m.shape == shape) {
    // Same structure: only texts and states change, the actions stay (one of
    // them may be the very action whose command is running).
    std::function<void(const std::vector<MenuItem>&)> update = [&](const auto& list) {
      for (const MenuItem& item : list) {
        if (auto a = m.actions.find(item.number); a != m.actions.end() && a->second) {
          a->second->setText(fromCp1252(item.text));
          a->second->setEnabled(item.enabled);
          a->second->setCheckable(item.checkable || item.checked);
          a->second->setChecked(item.checked);
        }
        update(item.children);
      }
    };
    if (items) update(*items);
    return;
  }
  auto* bar = new QMenuBar;
  m.actions.clear();
  m.shownFor = owner;
  m.shape = shape;
  std::function<void(QWidget*, const std::vector<MenuItem>&)> fill = [&](QWidget* into,
                                                                        const auto& list) {
    for (const MenuItem& item : list) {
      if (item.separator) {
        if (auto* menu = qobject_cast<QMenu*>(into)) menu->addSeparator();
        continue;
      }
      if (!item.children.empty()) {
        auto* sub = new QMenu(fromCp1252(item.text), into);
        sub->setEnabled(item.enabled);
        if (auto* menu = qobject_cast<QMenu*>(into))
          menu->addMenu(sub);
        else
          static_cast<QMenuBar*>(into)->addMenu(sub);
        fill(sub, item.children);
        continue;
      }
      auto* a = new QAction(fromCp1252(item.text), into);
      a->setEnabled(item.enabled && item.number != 0);
      a->setCheckable(item.checkable || item.checked);
      a->setChecked(item.checked);
      const int number = item.number;
      QObject::connect(a, &QAction::triggered, context_.get(), [this, owner, number] {
        operatorCommand(owner, number);
        // A checkable action toggled itself; the model decides.
        if (!exists(owner)) return;
        if (auto mm = menus_.find(owner); mm != menus_.end())
          showMenus(mm->second, owner, false);
        else if (frameMenu_.shownFor == owner)
          showMenus(frameMenu_, owner, false);
      });
      into->addAction(a);
      if (number != 0) m.actions[number] = a;
    }
  };
  if (items) fill(bar, *items);
  QPointer<QMenuBar> old = m.bar;
  m.bar = bar;
  if (&m == &frameMenu_) {
    reserveMenuHeight(bar);
    if (frame_) frame_->setMenuBar(bar);  // the old bar is deleted later by Qt
    bar->setVisible(true);
  } else if (QWidget* outer = outerWidget(owner); outer && outer->layout()) {
    // The window grows by the bar: its client area keeps its size.
    const Rect before = outerRect(owner);
    if (old) old->hide();
    outer->layout()->setMenuBar(bar);
    bar->setParent(outer);
    bar->show();
    if (old) old->deleteLater();
    if (outer->isWindow() && !before.empty()) move(owner, before);
  } else {
    bar->deleteLater();
  }
}

// A menu bar is as high with menus as without them.
void QtToolkit::reserveMenuHeight(QMenuBar* bar) {
  QMenuBar probe;
  probe.setFont(bar->font());
  probe.addAction(QStringLiteral("Xg"));
  bar->setMinimumHeight(probe.sizeHint().height());
}

void QtToolkit::refreshFrameMenu() {
  if (!frame_) return;
  WindowId owner = activeDocument();
  // A document without menus leaves the menus of the last one that had
  // them (the toolbox's Windows menu stays at hand from a channel).
  if (owner != kNoWindow && menuBar(owner)) lastMenuDocument_ = owner;
  else if (exists(lastMenuDocument_) && menuBar(lastMenuDocument_)) owner = lastMenuDocument_;
  if (owner == kNoWindow || !menuBar(owner)) owner = menuBar(frameId_) ? frameId_ : kNoWindow;
  if (owner == kNoWindow) {
    // The bar stays, empty: the document area keeps its place.
    if (frameMenu_.bar) frameMenu_.bar->clear();
    frameMenu_.actions.clear();
    frameMenu_.shownFor = kNoWindow;
    frameMenu_.shape.clear();
    return;
  }
  showMenus(frameMenu_, owner, false);
  if (frameMenu_.bar) frameMenu_.bar->show();
}

void QtToolkit::nativeMenuChanged(WindowId window) {
  QWidget* outer = outerWidget(window);
  const bool inFrame = frame_ && (window == frameId_ || qobject_cast<QMdiSubWindow*>(outer));
  if (inFrame) {
    refreshFrameMenu();
    return;
  }
  if (!outer || !outer->layout()) return;  // children and invisible windows show no menus
  showMenus(menus_[window], window, false);
}

// --- drawing, fonts and small services ------------------------------------------

Canvas* QtToolkit::canvas(WindowId id) {
  auto it = natives_.find(id);
  if (it == natives_.end() || !it->second.surface) return nullptr;
  return &it->second.surface->canvas();
}

FontMetrics QtToolkit::fontMetrics(const FontSpec& font) const {
  // Measured as a window's surface draws: on an image of the screen's dpi.
  const QImage probe = qtdetail::surfaceImage(QSize(1, 1), QApplication::primaryScreen()
                                                               ? qRound(QApplication::primaryScreen()->logicalDotsPerInchX())
                                                               : 96,
                                              QApplication::primaryScreen()
                                                  ? qRound(QApplication::primaryScreen()->logicalDotsPerInchY())
                                                  : 96);
  return qtdetail::metricsOf(QFontMetrics(qtdetail::toQFont(font), &probe));
}

Rect QtToolkit::clientRect(WindowId id) const {
  QWidget* w = contentWidget(id);
  if (!w) return Toolkit::clientRect(id);
  return Rect{0, 0, w->height(), w->width()};
}

void QtToolkit::trapPointer(WindowId id) {
  releasePointer();
  auto it = natives_.find(id);
  if (it == natives_.end() || !it->second.surface || !it->second.surface->isVisible()) return;
  it->second.surface->grabMouse();
  trapped_ = id;
}

void QtToolkit::releasePointer() {
  if (trapped_ == kNoWindow) return;
  if (auto it = natives_.find(trapped_); it != natives_.end() && it->second.surface)
    it->second.surface->releaseMouse();
  trapped_ = kNoWindow;
}

std::optional<FontSpec> QtToolkit::fontDialog(const FontSpec& initial) {
  bool ok = false;
  const QFont f = QFontDialog::getFont(&ok, qtdetail::toQFont(initial), dialogParent());
  if (!ok) return std::nullopt;
  FontSpec out;
  out.family = f.family().toLower().toStdString();
  out.size = f.pointSize() > 0 ? f.pointSize() : initial.size;
  out.style = (f.bold() ? kFontBold : 0u) | (f.italic() ? kFontItalic : 0u) |
              (f.underline() ? kFontUnderline : 0u);
  return out;
}

bool QtToolkit::savePicture(WindowId id, const std::string& path) {
  QWidget* w = contentWidget(id);
  if (!w) return false;
  const QPixmap pm = w->grab();
  if (pm.isNull()) return false;
  return pm.save(QFile::decodeName(QByteArray::fromStdString(path)), "PNG");
}

}  // namespace tarvik::ui
