// The station database: call signs folded into keys, the 454-byte record,
// lookups with and without SSID, and first use of the "USER" files.

#include "store/station_db.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store_fixture.h"

namespace tarvik::store {
namespace {

TEST(StationKey, FoldAndShowCalls) {
  struct Case {
    const char* call;
    const char* key;
    const char* shown;
    const char* bare;
  };
  const Case cases[] = {
      {"DB0ABC", "DB0ABC", "DB0ABC", "DB0ABC"},
      {"DB0ABC-0", "DB0ABCa", "DB0ABC-0", "DB0ABC"},
      {"DB0ABC-2", "DB0ABCc", "DB0ABC-2", "DB0ABC"},
      {"DL1XYZ-15", "DL1XYZp", "DL1XYZ-15", "DL1XYZ"},
      {"DL1XYZ-16", "DL1XYZ", "DL1XYZ", "DL1XYZ"},   // SSID outside 0..15 dropped
      {"DL1XYZ-", "DL1XYZ", "DL1XYZ", "DL1XYZ"},
      {"DL1XYZ-X", "DL1XYZ", "DL1XYZ", "DL1XYZ"},
      {"ABCDEFGHIJ-3", "ABCDEFGHd", "ABCDEFGH-3", "ABCDEFGH"},  // at most 8 before the SSID
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(FoldCall(c.call), c.key);
    EXPECT_EQ(ShowCall(c.key), c.shown);
    EXPECT_EQ(BareKey(c.key), c.bare);
  }
}

TEST(StationRecordBytes, FieldsLieAtTheirOffsetsAndAreCut) {
  StationRecord r;
  r.station = "DB0ABCc";
  r.name = "Hans";
  r.qth = "Bonn";
  r.text1 = "t1";
  r.text2 = std::string(60, 'x');  // 41 characters fit
  r.remark = "rem";
  r.lastConnect = "01.02.1997 10:11";
  r.home = "1:0:DB0ABC";
  r.level = 3;
  r.box = 2;
  r.digi = true;
  const std::string b = r.Encode();
  ASSERT_EQ(b.size(), 454u);
  EXPECT_EQ(b.substr(0, 8), std::string("DB0ABCc\0", 8));
  EXPECT_EQ(b.substr(8, 5), std::string("Hans\0", 5));
  EXPECT_EQ(b.substr(49, 5), std::string("Bonn\0", 5));
  EXPECT_EQ(b.substr(90, 3), std::string("t1\0", 3));
  EXPECT_EQ(b.substr(131, 42), std::string(41, 'x') + '\0');
  EXPECT_EQ(b.substr(173, 4), std::string("rem\0", 4));
  EXPECT_EQ(b.substr(302, 17), std::string("01.02.1997 10:11\0", 17));
  EXPECT_EQ(b.substr(319, 11), std::string("1:0:DB0ABC\0", 11));
  EXPECT_EQ(b.substr(448, 6), std::string("\x03\0\x02\0\x01\0", 6));

  StationRecord back = StationRecord::Decode(b);
  EXPECT_EQ(back.text2, std::string(41, 'x'));
  back.text2 = r.text2;
  EXPECT_EQ(back, r);
  // Untrusted bytes: no zero anywhere, or too few bytes, never read past a field.
  const StationRecord full = StationRecord::Decode(std::string(454, 'A'));
  EXPECT_EQ(full.station, std::string(7, 'A'));
  EXPECT_EQ(full.home, std::string(128, 'A'));
  EXPECT_EQ(StationRecord::Decode("DB0").station, "DB0");
  // The DIGI mark: any value but 0 in its field reads as set.
  EXPECT_TRUE(full.digi);
  EXPECT_FALSE(StationRecord::Decode(std::string(452, 'A')).digi);
  r.digi = false;
  EXPECT_EQ(r.Encode().substr(452, 2), std::string("\0\0", 2));
}

class StationDatabaseTest : public testing::LogDir {};

TEST_F(StationDatabaseTest, LookupFindsTheSsidFirstThenTheBareCall) {
  StationDatabase db(prefix());
  std::int32_t bare = kNoNode, two = kNoNode;
  StationRecord r;
  r.station = "DB0ABC";
  r.name = "bare";
  ASSERT_EQ(db.Insert(r, bare), kRecordOk);
  r.station = "DB0ABC-2";
  r.name = "two";
  ASSERT_EQ(db.Insert(r, two), kRecordOk);
  EXPECT_EQ(read("USER.IDX").substr(16, 4), testing::I16(454) + testing::I16(1));

  struct Case {
    const char* call;
    std::int16_t result;
    const char* name;
  };
  const Case cases[] = {
      {"DB0ABC-2", kRecordFound, "two"}, {"DB0ABC-3", kRecordFound, "bare"}, {"DB0ABC", kRecordFound, "bare"},
      {"DB0ABC-0", kRecordFound, "bare"}, {"DB0XYZ-2", 0, ""},            {"", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    StationEntry e;
    EXPECT_EQ(db.Lookup(c.call, e), c.result);
    if (c.result == kRecordFound) {
      EXPECT_EQ(e.record.name, c.name);
    }
  }

  // The same station again: refused, the files unchanged.
  const std::string idx = read("USER.IDX"), dat = read("USER.DAT");
  std::int32_t pos = kNoNode;
  r.station = "DB0ABC-2";
  EXPECT_EQ(db.Insert(r, pos), kDuplicate);
  EXPECT_EQ(read("USER.IDX"), idx);
  EXPECT_EQ(read("USER.DAT"), dat);

  // Update in place, remove, and the place is reused.
  StationRecord changed;
  ASSERT_EQ(db.ReadAt(two, changed), kRecordFound);
  EXPECT_EQ(changed.station, "DB0ABCc");
  changed.qth = "Bonn";
  EXPECT_EQ(db.Update(two, changed), kRecordFound);
  std::vector<StationEntry> all;
  db.List(all);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].record.qth, "Bonn");
  EXPECT_EQ(db.Remove(two), kRecordFound);
  EXPECT_EQ(db.Remove(two), 0);
  r.station = "DL1ZZZ";
  EXPECT_EQ(db.Insert(r, pos), kRecordOk);
  EXPECT_EQ(pos, two);
}

TEST_F(StationDatabaseTest, FirstUseCreatesButNeverReplacesWhatIsThere) {
  StationEntry e;
  {
    StationDatabase db(prefix());
    EXPECT_EQ(db.Lookup("DB0ABC", e), 0);  // created on first use
  }
  EXPECT_EQ(read("USER.IDX"), testing::Header(-1, 1, -1, -1, 454, 1));

  struct Case {
    const char* name;
    bool index;
    bool data;
    std::string indexBytes;
    std::int16_t result;
  };
  const std::vector<Case> cases = {
      {"index without data file", true, false, testing::Header(-1, 1, -1, -1, 454, 1), kCannotOpen},
      {"data file without index", false, true, "", kCannotOpen},
      {"damaged index", true, true, "garbage", kDamaged},
      {"another record size", true, true, testing::Header(-1, 1, -1, -1, 100, 1), kDamaged},
      {"not unique", true, true, testing::Header(-1, 1, -1, -1, 454, 0), kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir / "USER.IDX");
    std::filesystem::remove(dir / "USER.DAT");
    if (c.index) write("USER.IDX", c.indexBytes);
    if (c.data) write("USER.DAT", "");
    StationDatabase db(prefix());
    EXPECT_EQ(db.Lookup("DB0ABC", e), c.result);
    StationRecord r;
    r.station = "DB0ABC";
    std::int32_t pos = kNoNode;
    EXPECT_EQ(db.Insert(r, pos), c.result);
    EXPECT_EQ(std::filesystem::exists(dir / "USER.IDX"), c.index);
    EXPECT_EQ(std::filesystem::exists(dir / "USER.DAT"), c.data);
    if (c.index) {
      EXPECT_EQ(read("USER.IDX"), c.indexBytes);
    }
  }
}

}  // namespace
}  // namespace tarvik::store
