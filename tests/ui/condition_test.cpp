#include "ui/condition.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tarvik::ui {
namespace {

// State names of an owner: CREATE and UPDATE are modes, the letters A..D
// stand for plain truth values in the table below.
const std::map<std::string, int, std::less<>> kStates = {
    {"CREATE", 0}, {"UPDATE", 1}, {"A", 2}, {"B", 3}, {"C", 4}, {"D", 5}};
const std::map<std::string, int, std::less<>> kNames = {{"LISTE", 7}, {"CALL", 8}};

bool resolveIn(const std::map<std::string, int, std::less<>>& m, std::string_view name, int& out) {
  auto it = m.find(name);
  if (it == m.end()) return false;
  out = it->second;
  return true;
}

Condition parse(std::string_view text) {
  return ParseCondition(
      text, [](std::string_view n, int& o) { return resolveIn(kStates, n, o); },
      [](std::string_view n, int& o) { return resolveIn(kNames, n, o); });
}

TEST(Condition, NamesResolveInOrderAndUnknownNamesAreDropped) {
  EXPECT_EQ(parse("BINVERT|CHANGED"), (Condition{1000, kOpOr, 1001}));
  EXPECT_EQ(parse("!CREATE&(LISTE|UPDATE)"),
            (Condition{kOpNot, 0, kOpAnd, kOpOpen, 3007, kOpOr, 1, kOpClose}));
  EXPECT_EQ(parse(" NOSUCH & CALL "), (Condition{kOpAnd, 3008}));
  EXPECT_TRUE(parse("").empty());
  // At most 24 tokens are kept; the 25th place holds the end mark.
  std::string longText = "A";
  for (int i = 0; i < 20; ++i) longText += "|A";
  EXPECT_EQ(parse(longText).size(), kMaxConditionTokens - 1);
}

TEST(Condition, EvaluatesLeftToRightWithoutPrecedence) {
  struct Case {
    const char* text;
    std::string truth;  // values of A, B, C, D as "0"/"1"
    bool expected;
  };
  const Case cases[] = {
      {"", "0000", true},
      {"A", "1000", true},
      {"A", "0000", false},
      {"!A", "0000", true},
      {"!!A", "0000", false},
      {"A&B", "1100", true},
      {"A&B", "1000", false},
      {"A|B", "0100", true},
      {"A|B", "0000", false},
      // Settled early: "&" after false ends the group false, "|" after true
      // ends it true, so A & B | C reads as A & (B | C) ...
      {"A&B|C", "0010", false},
      {"A&B|C", "1010", true},
      {"A&B|C", "1000", false},
      // ... and A | B & C as A | (B & C).
      {"A|B&C", "1000", true},
      {"A|B&C", "0100", false},
      {"A|B&C", "0110", true},
      // Groups, negated groups, and a group settled early whose enclosing
      // expression goes on after its ")".
      {"(A|B)&C", "0110", true},
      {"(A|B)&C", "1000", false},
      {"!(A&B)", "1000", true},
      {"(A|(B&C))&D", "1001", true},
      {"(A|(B&C))&D", "1000", false},
      {"(A&(B|C))|D", "0001", true},
      // Damaged conditions still give an answer.
      {"A&", "1000", true},
      {"&A", "1000", true},
      {"(A", "1000", true},
      {"A)&B", "1000", true},
      {"!", "0000", true},
  };
  for (const auto& c : cases) {
    const Condition cond = parse(c.text);
    const bool got = EvaluateCondition(cond, [&](int operand) {
      return operand >= 2 && operand <= 5 && c.truth[static_cast<std::size_t>(operand - 2)] == '1';
    });
    EXPECT_EQ(got, c.expected) << c.text << " with " << c.truth;
  }
}

TEST(Condition, CreateOrUpdateEnablesInEitherMode) {
  const Condition cond = parse("CREATE|UPDATE");
  for (int mode : {0, 1}) {
    EXPECT_TRUE(EvaluateCondition(cond, [mode](int v) { return v == mode; })) << mode;
  }
  EXPECT_FALSE(EvaluateCondition(cond, [](int) { return false; }));
  EXPECT_TRUE(ConditionNames(cond, 1));
  EXPECT_FALSE(ConditionNames(cond, 2));
}

TEST(Condition, GlobalFlagTableHoldsOnlyItsThousandEntries) {
  SetGlobalFlag(1002, true);
  SetGlobalFlag(999, true);   // outside: ignored
  SetGlobalFlag(2000, true);  // outside: ignored
  EXPECT_TRUE(GlobalFlag(1002));
  EXPECT_FALSE(GlobalFlag(1003));
  EXPECT_FALSE(GlobalFlag(999));
  EXPECT_FALSE(GlobalFlag(2000));
  SetGlobalFlag(1002, false);
  EXPECT_FALSE(GlobalFlag(1002));
}

}  // namespace
}  // namespace tarvik::ui
