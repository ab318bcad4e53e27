#include "ui/toolkit/headless/headless_toolkit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace tarvik::ui {
namespace {

// A window that records what reaches it.
struct Recorder : Window {
  std::vector<std::string>* log;
  explicit Recorder(std::vector<std::string>* l) : log(l) {}
  void onEvent(Event& e) override {
    switch (e.type) {
      case EventType::Create: log->push_back("create " + std::to_string(id())); break;
      case EventType::Destroy: log->push_back("destroy " + std::to_string(id())); break;
      case EventType::Timer: log->push_back("timer"); break;
      case EventType::User:
        log->push_back("user " + std::to_string(e.id) + " " + std::to_string(e.arg) +
                       (e.as<TextPayload>() ? " " + e.as<TextPayload>()->text : ""));
        break;
      default: break;
    }
  }
};

TEST(HeadlessToolkit, CreateSendDestroyWithChildrenFirst) {
  std::vector<std::string> log;  // outlives the toolkit, which destroys its windows
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  WindowId parent = tk.create({}, std::make_unique<Recorder>(&log));
  WindowSpec childSpec;
  childSpec.parent = parent;
  WindowId child = tk.create(childSpec, std::make_unique<Recorder>(&log));
  tk.sendUser(child, 1130, 7, std::make_unique<TextPayload>("hi"));
  tk.destroy(parent);
  EXPECT_FALSE(tk.exists(parent));
  EXPECT_FALSE(tk.exists(child));
  std::vector<std::string> want{"create 1", "create 2", "user 1130 7 hi", "destroy 2", "destroy 1"};
  EXPECT_EQ(log, want);
  tk.sendUser(child, 5);  // to a window that is gone: dropped
  EXPECT_EQ(log.size(), want.size());
}

// A window that destroys itself inside its own handler must stay usable
// until the handler returns.
struct SelfDestroyer : Window {
  bool* alive;
  explicit SelfDestroyer(bool* a) : alive(a) { *alive = true; }
  ~SelfDestroyer() override { *alive = false; }
  void onEvent(Event& e) override {
    if (e.type == EventType::User) {
      toolkit().destroy(id());
      EXPECT_TRUE(*alive);
      EXPECT_EQ(e.id, 42);
    }
  }
};

TEST(HeadlessToolkit, SelfDestructionIsDeferred) {
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  bool alive = false;
  WindowId w = tk.create({}, std::make_unique<SelfDestroyer>(&alive));
  tk.sendUser(w, 42);
  EXPECT_FALSE(alive);
  EXPECT_FALSE(tk.exists(w));
}

TEST(HeadlessToolkit, PostsFromOtherThreadsArriveInOrderOnPump) {
  std::vector<std::string> log;  // outlives the toolkit, which destroys its windows
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  WindowId w = tk.create({}, std::make_unique<Recorder>(&log));
  std::thread t([&] {
    for (int i = 0; i < 100; ++i) tk.post(w, Event::user(800, i));
  });
  t.join();
  EXPECT_EQ(log.size(), 1u);  // nothing delivered before the loop runs
  tk.pump();
  ASSERT_EQ(log.size(), 101u);
  EXPECT_EQ(log[1], "user 800 0");
  EXPECT_EQ(log[100], "user 800 99");
}

TEST(HeadlessToolkit, ManualClockFiresTimersPerStepAndJumpsDoNot) {
  std::vector<std::string> log;  // outlives the toolkit, which destroys its windows
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  WindowId w = tk.create({}, std::make_unique<Recorder>(&log));
  TimerId t = tk.createTimer(w, 1000);
  auto before = tk.now();
  tk.stepMs(999);
  EXPECT_EQ(std::count(log.begin(), log.end(), "timer"), 0);
  tk.stepSeconds(3);
  EXPECT_EQ(std::count(log.begin(), log.end(), "timer"), 3);
  EXPECT_EQ(tk.now() - before, std::chrono::milliseconds(3999));
  tk.setTime(tk.now() + std::chrono::hours(1));  // a wall-clock jump fires nothing
  EXPECT_EQ(std::count(log.begin(), log.end(), "timer"), 3);
  tk.destroyTimer(t);
  tk.stepSeconds(5);
  EXPECT_EQ(std::count(log.begin(), log.end(), "timer"), 3);
}

TEST(HeadlessToolkit, WatchReportsReadableDescriptor) {
  std::vector<std::string> log;  // outlives the toolkit, which destroys its windows
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  WindowId w = tk.create({}, std::make_unique<Recorder>(&log));
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  WatchId watch = tk.watch(p[0], kWatchRead, w, 77);
  tk.pump();
  EXPECT_EQ(log.size(), 1u);
  ASSERT_EQ(::write(p[1], "x", 1), 1);
  tk.pump(100);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "user 77 1");
  tk.unwatch(watch);
  tk.pump();
  EXPECT_EQ(log.size(), 2u);
  ::close(p[0]);
  ::close(p[1]);
}

TEST(HeadlessToolkit, DialogsAnsweredFromQueueOrLater) {
  HeadlessToolkit tk(HeadlessToolkit::Mode::Manual);
  std::vector<int> answers;
  tk.queueDialogAnswer(0);
  tk.messageDialog(12, "t", {"a"}, {}, [&](int a) { answers.push_back(a); });
  tk.messageDialog(13, "t", {"b"}, {}, [&](int a) { answers.push_back(a); });
  EXPECT_EQ(answers, std::vector<int>{0});
  ASSERT_EQ(tk.openDialogs().size(), 1u);
  EXPECT_EQ(tk.openDialogs().front().number, 13);
  EXPECT_TRUE(tk.answerDialog(3));
  EXPECT_EQ(answers, (std::vector<int>{0, 3}));
  EXPECT_FALSE(tk.answerDialog(1));
}

}  // namespace
}  // namespace tarvik::ui
