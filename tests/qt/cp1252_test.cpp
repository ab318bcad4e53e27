#include "ui/toolkit/qt/cp1252.h"

#include <gtest/gtest.h>

namespace tarvik::ui {
namespace {

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString text = fromCp1252(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_EQ(toCp1252(text), all);
}

TEST(Cp1252, MapsTheWindowsCharactersAndReplacesTheRest) {
  const QString text = fromCp1252("A\x80\xE4\x9F\x85\xFF");
  EXPECT_EQ(text, QString::fromUtf8("A\u20AC\u00E4\u0178\u2026\u00FF"));
  EXPECT_EQ(toCp1252(QString::fromUtf8("\u20AC\u00E4\u00DF\u2122")), "\x80\xE4\xDF\x99");
  // Outside the page: one '?' per character, also for characters that take
  // two UTF-16 units.
  EXPECT_EQ(toCp1252(QString::fromUtf8("a\u4E2Db\U0001F600c")), "a?b?c");
}

}  // namespace
}  // namespace tarvik::ui
