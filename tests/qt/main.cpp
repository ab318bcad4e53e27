// Test main of the Qt backend: without a display the tests run on Qt's
// offscreen platform, which Qt would otherwise refuse to start without.
// (The test discovery runs this program too, so it must never need one.)
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const auto unset = [](const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr || *v == '\0';
  };
  if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
