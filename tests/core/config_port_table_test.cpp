#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/port_table.h"

namespace tarvik::core {
namespace {

TEST(ConfigPortTable, NamesMapToCodes) {
  const std::vector<std::pair<std::string, int>> protocols = {
      {"KISS", 1}, {"SMACK", 2}, {"HOST", 3}, {"RMNC", 4}, {"NONE", 0}, {"kiss", 0}, {"", 0}};
  for (const auto& [name, code] : protocols) EXPECT_EQ(ProtocolFromName(name), code) << name;
  const std::vector<std::pair<std::string, int>> devTypes = {
      {"TNC", 1}, {"COM", 2}, {"TCPIP", 3}, {"SERIAL", 0}, {"tnc", 0}, {"", 0}};
  for (const auto& [name, code] : devTypes) EXPECT_EQ(DevTypeFromName(name), code) << name;
}

TEST(ConfigPortTable, FindFreePortTakesLowestClosedPort) {
  PortTable table;
  EXPECT_EQ(table.FindFreePort(), 0);
  table[0].portWindow = 11;
  table[1].portWindow = 12;
  table[3].portWindow = 13;
  EXPECT_EQ(table.FindFreePort(), 2);
  for (auto& port : table) port.portWindow = 99;
  EXPECT_EQ(table.FindFreePort(), std::nullopt);
  table[15].portWindow = ui::kNoWindow;
  EXPECT_EQ(table.FindFreePort(), 15);
}

TEST(ConfigPortTable, OutOfRangePortsAreNotFound) {
  PortTable table;
  EXPECT_EQ(table.Find(-1), nullptr);
  EXPECT_EQ(table.Find(16), nullptr);
  ASSERT_NE(table.Find(15), nullptr);
  table.Find(15)->title = "last";
  EXPECT_EQ(table[15].title, "last");
  table.Clear();
  EXPECT_EQ(table[15].title, "");
}

}  // namespace
}  // namespace tarvik::core
