// The channel table: slots are claimed by a channel window with its link,
// released only by their holder, and the table tells what broke when its
// invariants do not hold.
#include "ax25/channel_table.h"

#include <gtest/gtest.h>

namespace tarvik::ax25 {
namespace {

AddressRecord Addr(const std::string& call, int ssid, bool cbit = false) {
  AddressRecord a;
  a.call = call;
  a.ssid = ssid;
  a.cbit = a.last = cbit;
  return a;
}

TEST(ChannelTable, ClaimSetEndsRelease) {
  ChannelTable table;
  EXPECT_TRUE(table.Claim(0, 10, 11));
  EXPECT_TRUE(table.Claim(0, 10, 12));    // the holder may set a new link
  EXPECT_FALSE(table.Claim(0, 20, 21));   // another window may not
  EXPECT_FALSE(table.Claim(8, 20, 21));   // out of range
  EXPECT_FALSE(table.Claim(1, 20, ui::kNoWindow));
  EXPECT_EQ(table.FindFree(), 1);

  table.SetEnds(0, Addr("DB0ABC", 3, true), Addr("N0CALL", 1, true));
  EXPECT_EQ(table[0].remote.call, "DB0ABC");
  EXPECT_FALSE(table[0].remote.cbit);  // the marks of the address field are not part of a slot
  EXPECT_FALSE(table[0].own.last);
  table.SetEnds(2, Addr("DB0XYZ", 0), Addr("N0CALL", 0));  // a free slot never gets ends
  EXPECT_TRUE(table[2].remote.call.empty());

  table.Release(0, 20);          // not the holder
  EXPECT_TRUE(table[0].inUse());
  table.Release(0, 10, 99);      // not its link
  EXPECT_TRUE(table[0].inUse());
  table.Release(0, 10, 12);
  EXPECT_FALSE(table[0].inUse());
  EXPECT_TRUE(table[0].remote.call.empty());
  EXPECT_EQ(table.Check(), "");
}

TEST(ChannelTable, CheckNamesWhatBroke) {
  const struct {
    void (*damage)(ChannelTable&);
    std::string broken;
  } cases[] = {
      {[](ChannelTable& t) { t[3].linkWindow = 5; }, "slot 3 half filled"},
      {[](ChannelTable& t) { t[4].remote.call = "DB0ABC"; }, "slot 4 free with ends"},
      {[](ChannelTable& t) {
         t.Claim(1, 10, 11);
         t.Claim(6, 12, 11);
       },
       "slot 1 shares its link with slot 6"},
  };
  for (const auto& c : cases) {
    ChannelTable table;
    c.damage(table);
    EXPECT_EQ(table.Check(), c.broken);
  }
}

}  // namespace
}  // namespace tarvik::ax25
