#include "ui/field_check.h"

#include <gtest/gtest.h>

namespace tarvik::ui {
namespace {

constexpr const char* kRejected = "<rejected>";

TEST(FieldCheck, Dates) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"31.04.97", kRejected},      // April has 30 days
      {"29.02.96", "29.02.1996"},   // a leap year of the nineties
      {"1.1.5", "01.01.2005"},      // below 90: this century
      {"31.12.89", "31.12.2089"},
      {"1.1.90", "01.01.1990"},
      {"30.04.1997", "30.04.1997"},
      {"29.02.97", kRejected},
      {"29.02.2000", "29.02.2000"},
      {"29.02.2100", kRejected},    // divisible by 100 but not by 400
      {"0.1.97", kRejected},
      {"1.13.97", kRejected},
      {"1.0.97", kRejected},
      {"32.1.97", kRejected},
      {" 5 . 6 . 07 ", "05.06.2007"},
      {"1.1", kRejected},
      {"1.1.1.1", kRejected},
      {"a.1.97", kRejected},
      {"1..97", kRejected},
      {"-1.1.97", kRejected},
      {"", ""},                     // an empty date field is not checked
  };
  for (const auto& c : cases) {
    const auto got = CheckDate(c.in);
    EXPECT_EQ(got.value_or(kRejected), c.out) << c.in;
  }
}

TEST(FieldCheck, Times) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"9:5", "09:05"},  {"24:00", kRejected}, {"23:59", "23:59"}, {"0:0", "00:00"},
      {"12:60", kRejected}, {"12", kRejected}, {"12:", kRejected}, {":30", kRejected},
      {"1:2:3", kRejected}, {"x:10", kRejected}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTime(c.in).value_or(kRejected), c.out) << c.in;
}

TEST(FieldCheck, DigitsOnlyTellsWhetherAnythingWasRemoved) {
  std::string t = "12a3 4";
  EXPECT_TRUE(KeepDigits(t));
  EXPECT_EQ(t, "1234");
  EXPECT_FALSE(KeepDigits(t));
  EXPECT_EQ(t, "1234");
}

TEST(FieldCheck, CapitalsIncludeWindows1252Letters) {
  EXPECT_EQ(ToCapitals("dl1abc-7 \xe4\xf6\xfc\xdf\xe9\xff\x9a"), "DL1ABC-7 \xc4\xd6\xdc\xdf\xc9\x9f\x8a");
}

}  // namespace
}  // namespace tarvik::ui
