#include "core/signal_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "core/app.h"

namespace tarvik::core {

namespace {

// The write end of the signal pipe: the one piece of state a signal handler
// may touch.
volatile sig_atomic_t gSignalPipe = -1;

void onSignal(int) {
  const int fd = gSignalPipe;
  if (fd >= 0) {
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &b, 1);
  }
}

constexpr int kEvtSignalReady = 1;

class SignalWindow : public ui::Window {
 public:
  SignalWindow(App& app, int readFd, int writeFd) : app_(app), readFd_(readFd), writeFd_(writeFd) {}
  ~SignalWindow() override {
    gSignalPipe = -1;
    ::close(readFd_);
    ::close(writeFd_);
  }
  void onEvent(ui::Event& e) override {
    if (e.type == ui::EventType::Create) {
      toolkit().watch(readFd_, ui::kWatchRead, id(), kEvtSignalReady);
    } else if (e.type == ui::EventType::User && e.id == kEvtSignalReady) {
      char buf[16];
      while (::read(readFd_, buf, sizeof buf) > 0) {
      }
      if (app_.taskWindow != ui::kNoWindow)
        toolkit().sendUser(app_.taskWindow, kEvtShutdown);
      else
        toolkit().quit(0);
    }
  }

 private:
  App& app_;
  int readFd_, writeFd_;
};

}  // namespace

ui::WindowId WatchTerminationSignals(App& app) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) return ui::kNoWindow;
  gSignalPipe = p[1];
  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ui::WindowSpec spec;
  spec.name = "SIGNALS";
  return app.toolkit().create(spec, std::make_unique<SignalWindow>(app, p[0], p[1]));
}

}  // namespace tarvik::core
