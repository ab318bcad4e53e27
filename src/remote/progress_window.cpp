#include "remote/progress_window.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "ui/toolkit/drawing.h"

namespace tarvik::remote {

namespace {

enum ProgressId : int { kFileName = 1, kBytes = 2, kMaxBytes = 3, kRate = 4 };

bool ProgressNames(std::string_view name, int& id) {
  static constexpr std::pair<std::string_view, int> kNames[] = {
      {"FILENAME", kFileName}, {"BYTES", kBytes}, {"MAXBYTES", kMaxBytes}, {"RATE", kRate}};
  return ui::LookupName(name, id, kNames);
}

ui::FormRequest ProgressRequest(int number, ui::WindowId channel) {
  ui::FormRequest r;
  r.number = number;
  r.resolvers = ui::Resolvers{ProgressNames, ui::NoNames};
  r.parent = channel;
  r.name = number == kCaptureWindowNumber ? "AUTO7P" : "FILESND";
  r.kind = ui::WindowKind::Document;
  return r;
}

constexpr ui::Rect kBar{105, 100, 130, 300};

}  // namespace

int ProgressPercent(std::uintmax_t bytes, std::uintmax_t expected) {
  if (expected == 0) return 0;
  return static_cast<int>(std::min<std::uintmax_t>(bytes * 100 / expected, 100));
}

ProgressWindow::ProgressWindow(ui::FormRuntime& forms, int number, ui::WindowId channel)
    : ui::Form(forms, ProgressRequest(number, channel)), channel_(channel) {}

void ProgressWindow::Start(const std::string& name, std::uintmax_t expected, std::uintmax_t bytes) {
  KeepOpen();
  expected_ = expected;
  bytes_ = bytes;
  started_ = toolkit().now();
  SetCtlText(kFileName, name);
  SetCtlText(kMaxBytes, std::to_string(expected));
  show();
}

void ProgressWindow::Add(std::uintmax_t bytes) {
  bytes_ += bytes;
  show();
}

long ProgressWindow::seconds() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(toolkit().now() - started_).count();
  return std::max<long>(1, static_cast<long>(elapsed));
}

std::uintmax_t ProgressWindow::rate() const { return bytes_ / static_cast<std::uintmax_t>(seconds()); }

void ProgressWindow::Finish(const std::string& title, const std::string& name, const std::string& what) {
  show();
  const std::string summary = title + name + "\n\r" + std::to_string(bytes_) + " Bytes " + what + " in " +
                              std::to_string(seconds()) + " sec, with " + std::to_string(rate()) +
                              " Bytes per second !\n\r";
  toolkit().sendUser(channel_, kEvtSummary, 0, std::make_unique<ui::TextPayload>(summary));
  if (!closeTimer_) closeTimer_ = toolkit().createTimer(id(), 1000);
}

void ProgressWindow::KeepOpen() {
  if (closeTimer_) toolkit().destroyTimer(closeTimer_);
  closeTimer_ = 0;
}

void ProgressWindow::show() {
  SetCtlText(kBytes, std::to_string(bytes_));
  SetCtlText(kRate, std::to_string(rate()));
  drawBar();
}

void ProgressWindow::drawBar() {
  ui::Canvas* cv = toolkit().canvas(id());
  if (!cv) return;
  const int percent = this->percent();
  ui::DrawTools t;
  t.penHollow = true;
  t.brush = ui::kBlue;
  cv->setTools(t);
  cv->drawRect({kBar.top, kBar.left, kBar.bottom, kBar.left + 2 * percent});
  t.brush = ui::kLightGray;
  cv->setTools(t);
  cv->drawRect({kBar.top, kBar.left + 2 * percent, kBar.bottom, kBar.right});
  t.foreColor = ui::kWhite;
  cv->setTools(t);
  cv->drawText(190, 122, std::to_string(percent) + " %");
}

bool ProgressWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Update: drawBar(); return false;
    case ui::EventType::Timer:
      if (closeTimer_ && event.id == static_cast<int>(closeTimer_)) {
        KeepOpen();
        toolkit().destroy(id());
        return true;
      }
      return false;
    case ui::EventType::Destroy: KeepOpen(); return false;
    default: return ui::Form::ownerEvent(event);
  }
}

void ProgressWindow::onCommand(int id, std::intptr_t) {
  if (id == 0) toolkit().destroy(this->id());  // closed by the operator: the transfer goes on
}

ui::WindowId OpenProgressWindow(ui::FormRuntime& forms, int number, ui::WindowId channel) {
  return forms.open(std::make_unique<ProgressWindow>(forms, number, channel));
}

}  // namespace tarvik::remote
