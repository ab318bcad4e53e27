#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mycall.h"

namespace tarvik::core {
namespace {

// Mask with "1" at the given positions.
std::string mask(std::initializer_list<int> ssids) {
  std::string m(kEmptySsidMask);
  for (int s : ssids) m[static_cast<std::size_t>(s)] = '1';
  return m;
}

struct CallCase {
  std::string value;
  std::string callWithSsid;
  std::string baseCall;
  int defaultSsid;
  std::string ssidMask;
};

TEST(ConfigMyCall, ParsesCallSsidListAndMask) {
  const std::vector<CallCase> cases = {
      {"dl1abc-1,3,12", "DL1ABC-1", "DL1ABC", 1, mask({1, 3, 12})},
      {"DL1ABC", "DL1ABC", "DL1ABC", 0, mask({0})},
      {"dl1abc-*", "DL1ABC-*", "DL1ABC", 0, std::string(16, '1')},
      {"DL1ABC-5,7 9", "DL1ABC-5", "DL1ABC", 5, mask({5, 7})},  // a blank ends the list
      {"DL1ABC-2,99,x,,-1,15", "DL1ABC-2", "DL1ABC", 2, mask({2, 15})},
      {"DL1ABC-15", "DL1ABC-15", "DL1ABC", 15, mask({15})},
      {"DL1ABC-20", "DL1ABC-20", "DL1ABC", 0, mask({0})},
      {"DL1ABC-", "DL1ABC-", "DL1ABC", 0, mask({0})},
      {"DL1ABCDEFG-3,4", "DL1ABCDEFG-", "DL1ABC", 3, mask({3, 4})},
      {"", "", "", 0, mask({0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const MyCall call = ParseMyCall(c.value);
    EXPECT_EQ(call.callWithSsid, c.callWithSsid);
    EXPECT_EQ(call.baseCall, c.baseCall);
    EXPECT_EQ(call.defaultSsid, c.defaultSsid);
    EXPECT_EQ(call.ssidMask, c.ssidMask);
  }
}

TEST(ConfigMyCall, FormatsEnabledSsidsAscending) {
  EXPECT_EQ(FormatMyCall("DL1ABC", mask({0, 1, 5})), "DL1ABC-0,1,5");
  EXPECT_EQ(FormatMyCall("DL1ABC", mask({12, 3})), "DL1ABC-3,12");
  EXPECT_EQ(FormatMyCall("DL1ABC", kEmptySsidMask), "DL1ABC");
  EXPECT_EQ(FormatMyCall("DL1ABC", "01"), "DL1ABC-1");  // short masks enable nothing more
  EXPECT_EQ(FormatMyCall("DL1ABC", "x1y1"), "DL1ABC-1,3");
  EXPECT_EQ(FormatMyCall("DL1ABC", std::string(16, '1')),
            "DL1ABC-0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");
  // What is written reads back as the same call and mask.
  const MyCall back = ParseMyCall(FormatMyCall("DB0XYZ", mask({4, 9})));
  EXPECT_EQ(back.callWithSsid, "DB0XYZ-4");
  EXPECT_EQ(back.defaultSsid, 4);
  EXPECT_EQ(back.ssidMask, mask({4, 9}));
}

}  // namespace
}  // namespace tarvik::core
