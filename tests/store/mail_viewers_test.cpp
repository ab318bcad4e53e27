// The viewers of the mail windows: one per message while it runs, at most
// as many as the limit, and a program that has ended is forgotten.
#include "store/mail_viewers.h"

#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <thread>

#include "store/store_fixture.h"

namespace tarvik::store {
namespace {

class Viewers : public testing::LogDir {
 protected:
  // A viewer that stays open until the file it was given exists.
  std::string Viewer() {
    const std::string path = prefix() + "view.sh";
    write("view.sh", "#!/bin/sh\nwhile [ ! -e \"$1\" ]; do sleep 0.02; done\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // Waits (bounded) for the condition.
  static bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
};

TEST_F(Viewers, OnePerKeyAtMostTheLimitUntilTheyEnd) {
  const std::string viewer = Viewer();
  const std::string stop = prefix() + "stop";
  ProgramSet set(2);
  using S = ProgramSet::Start;
  EXPECT_EQ(set.Open(1, viewer, stop), S::Started);
  EXPECT_EQ(set.Open(1, viewer, stop), S::Running);
  EXPECT_EQ(set.Open(2, viewer, stop), S::Started);
  EXPECT_EQ(set.Open(3, viewer, stop), S::Full);
  EXPECT_EQ(set.running(), 2u);
  EXPECT_EQ(set.Open(4, prefix() + "missing.sh", stop), S::Full);

  write("stop", "");
  ASSERT_TRUE(WaitFor([&] { return set.running() == 0; }));
  EXPECT_EQ(set.Open(3, prefix() + "missing.sh", stop), S::Failed);
  EXPECT_EQ(set.Open(3, "no-such-viewer-anywhere", stop), S::Failed);
  EXPECT_EQ(set.Open(1, viewer, stop), S::Started);  // it ends at once: the stop file is there
  ASSERT_TRUE(WaitFor([&] { return set.running() == 0; }));
}

}  // namespace
}  // namespace tarvik::store
