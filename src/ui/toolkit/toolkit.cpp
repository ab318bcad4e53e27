#include "ui/toolkit/toolkit.h"

#include <ctime>

namespace tarvik::ui {

Toolkit::~Toolkit() = default;

WindowId Toolkit::create(const WindowSpec& spec, std::unique_ptr<Window> window) {
  if (!window) return kNoWindow;
  const WindowId id = nextId_++;
  window->id_ = id;
  window->toolkit_ = this;
  Window* raw = window.get();
  windows_[id] = Entry{std::move(window), spec, false};
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
  ++dispatchDepth_;
  raw->onEvent(event);
  --dispatchDepth_;
  if (dispatchDepth_ == 0) collectGarbage();
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

}  // namespace tarvik::ui
