#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/get_field.h"
#include "core/number.h"

namespace tarvik::core {
namespace {

struct FieldCase {
  std::string source;
  char separator;
  std::size_t size;
  bool keepBlanks;
  std::string field;
  std::optional<std::string> rest;  // nothing: the call reports no field
};

TEST(ConfigGetField, CutsFieldsLikeFixedBuffers) {
  const std::vector<FieldCase> cases = {
      {"abc,def", ',', 10, false, "abc", "def"},
      {"abc", ',', 10, false, "abc", ""},
      {"abc\r\n", ',', 10, false, "abc", ""},
      {"abc\r\n", ';', 10, true, "abc", ""},
      {"", ',', 10, false, "", std::nullopt},
      {"\r\nabc", ',', 10, false, "", std::nullopt},
      {"\nabc,d", ',', 10, false, "", std::nullopt},
      {"ab \t,x", ',', 10, false, "ab", "x"},
      {"ab \t,x", ',', 10, true, "ab \t", "x"},
      {"  ab,x", ',', 10, false, "  ab", "x"},
      {"abcdef,x", ',', 4, false, "abc", "x"},
      {"ab   cd,x", ',', 4, false, "ab", "x"},  // the cut ends on blanks
      {"ab   cd,x", ',', 4, true, "ab ", "x"},
      {",x", ',', 10, false, "", "x"},
      {"abc,x", ',', 0, false, "", "x"},
      {"abc,x", ',', 1, false, "", "x"},
      {"a;b;c", ';', 10, false, "a", "b;c"},
      {"abc \r\n", ',', 10, false, "abc", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    std::string field = "garbage";
    const auto rest = GetField(c.source, field, c.separator, c.size, c.keepBlanks);
    EXPECT_EQ(field, c.field);
    ASSERT_EQ(rest.has_value(), c.rest.has_value());
    if (rest) {
      EXPECT_EQ(std::string(*rest), *c.rest);
    }
  }
}

TEST(ConfigGetField, LoopEndsOneCallAfterTheLastField) {
  auto collect = [](std::string_view text) {
    std::vector<std::string> fields;
    std::string field;
    for (auto rest = GetField(text, field, ',', 16); rest; rest = GetField(*rest, field, ',', 16)) {
      fields.push_back(field);
      if (fields.size() > 10) break;  // a loop that never ends is a failure too
    }
    return fields;
  };
  EXPECT_EQ(collect("a,b,c\r\n"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(collect("a,,c"), (std::vector<std::string>{"a", "", "c"}));
  EXPECT_EQ(collect("a,b,"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(collect("").empty());
}

TEST(ConfigNumber, DecimalWithBlanksAndSign) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"300", 300},      {"  -12", -12},    {"\t5", 5},         {"+7", 7},
      {"12abc", 12},     {"abc", 0},        {"", 0},            {"- 5", 0},
      {"0x10", 0},       {"32767", 32767},  {"99999", 32767},   {"-32768", -32768},
      {"-99999", -32768}, {"123456789012345678901234567890", 32767},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseInt16(text), value);
  }
  EXPECT_EQ(ParseInt32("  41"), 41);
  EXPECT_EQ(ParseInt32("99999999999"), 2147483647);
  EXPECT_TRUE(HasNumber(" -3"));
  EXPECT_FALSE(HasNumber("\r\n"));
  EXPECT_FALSE(HasNumber("-"));
}

}  // namespace
}  // namespace tarvik::core
