// Monitor lines per second on the Qt backend: a text pane of the monitor's
// size in a document window of the frame, on Qt's offscreen platform unless
// a display is set. Lines arrive the way frames do: a few per pass of the
// event loop (the argument), each pass ending with the pane's painting.
//
// Arguments: lines per event-loop pass.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/message_service.h"
#include "ui/fifo_text.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui {
namespace {

struct Quiet : Window {
  void onEvent(Event&) override {}
};

const char* const kLines[] = {
    "fm DL1ABC-3 to APRS via WIDE1-1* WIDE2-1 ctl UI^ pid F0 [12:01:33]",
    "!4903.50N/07201.75W-Test station on 144.800 running a packet terminal",
    "fm DB0XYZ to DL2ZZZ-1 ctl I25+ pid F0 [12:01:34]",
    "This is a longer line of a conversation between two other stations gjpqy,",
    "fm OE1XAR-10 to DL7ABC ctl RR3- [12:01:35]",
};

void BM_MonitorLines(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr)
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "qt_pane_bench";
  static char* argv[] = {name, nullptr};
  QtToolkit tk(argc, argv, true);
  WindowSpec frame{WindowKind::Frame, "TASKWIN"};
  frame.rect = Rect{0, 0, 700, 900};
  tk.create(frame, std::make_unique<Quiet>());
  WindowSpec doc{WindowKind::Document, "MONITOR"};
  doc.rect = Rect{20, 20, 420, 680};
  const WindowId window = tk.create(doc, std::make_unique<Quiet>());
  core::MessageService messages(tk, [] { return core::MessageSettings{}; });
  FifoOptions options;
  options.name = "MONITOR";
  options.controlNumber = 1;
  options.font = FontSpec{};
  options.ringSize = 5000;
  const WindowId paneId = FifoText::Create(tk, window, Rect{0, 0, 380, 660}, messages, options);
  FifoText* pane = FindFifo(tk, paneId);
  QCoreApplication::processEvents();
  const int perPass = static_cast<int>(state.range(0));
  long long lines = 0;
  for (auto _ : state) {
    for (int i = 0; i < perPass; ++i) {
      pane->AppendLine(kLines[lines % 5], lines % 5 == 0 ? kBlue : kBlack);
      ++lines;
    }
    QCoreApplication::processEvents();
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MonitorLines)->Arg(1)->Arg(5)->Arg(50);

}  // namespace
}  // namespace tarvik::ui
