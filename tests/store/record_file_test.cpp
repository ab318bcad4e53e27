// The indexed record file: exact bytes of both files, the key order of
// inserts, reads, updates and deletes, the open-file table, and files that
// do not hold together.

#include "store/record_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "store_fixture.h"

namespace tarvik::store {
namespace {

using testing::Header;
using testing::LogDir;
using testing::Node;

class RecordFileTest : public LogDir {
 protected:
  // Keys of the list in order, walked with First and Next; records are the
  // key repeated so that each record tells whose it is.
  std::vector<std::string> Walk(RecordFiles& f, int h) {
    std::vector<std::string> records;
    std::string record;
    std::int32_t pos = kNoNode;
    for (auto r = f.First(h, record, pos); r == kRecordFound; r = f.Next(h, record, pos))
      records.push_back(record.substr(0, record.find('\0')));
    return records;
  }
  std::int32_t Put(RecordFiles& f, int h, const std::string& key, const std::string& record) {
    std::int32_t pos = kNoNode;
    EXPECT_EQ(f.Insert(h, key, record, pos), kRecordOk) << key;
    return pos;
  }
};

TEST_F(RecordFileTest, NewFileAndFirstRecordAreByteExact) {
  RecordFiles files(prefix());
  const int h = files.Create("USER", 8, true);
  ASSERT_EQ(h, 0);
  EXPECT_EQ(read("USER.IDX"), Header(-1, 1, -1, -1, 8, 1));
  EXPECT_EQ(read("USER.DAT"), "");

  EXPECT_EQ(Put(files, h, "DB0ABC", "abc"), 20);  // the first node lies at offset 20
  EXPECT_EQ(read("USER.IDX"), Header(-1, 2, 20, 20, 8, 1) + Node(-1, -1, "DB0ABC"));
  EXPECT_EQ(read("USER.DAT"), std::string("abc\0\0\0\0\0", 8));  // record at data offset 0

  // Two more: the smaller key goes before, the larger at the end.
  EXPECT_EQ(Put(files, h, "AA1AA", "a"), 40);
  EXPECT_EQ(Put(files, h, "ZZ9ZZ", "z"), 60);
  EXPECT_EQ(read("USER.IDX"), Header(-1, 4, 40, 60, 8, 1) + Node(60, 40, "DB0ABC") + Node(20, -1, "AA1AA") +
                                  Node(-1, 20, "ZZ9ZZ"));
  EXPECT_EQ(read("USER.DAT").size(), 24u);
  EXPECT_EQ(read("USER.DAT").substr(16, 1), "z");

  // Deleting the first node: only its neighbour changes; the node joins
  // the free list with its first four key bytes zero.
  std::int32_t pos = 40;
  EXPECT_EQ(files.Delete(h, "", pos), kRecordFound);
  EXPECT_EQ(read("USER.IDX"), Header(40, 4, 20, 60, 8, 1) + Node(60, -1, "DB0ABC") +
                                  Node(-1, -1, std::string("\0\0\0\0A", 5)) + Node(-1, 20, "ZZ9ZZ"));
  EXPECT_EQ(files.Close(h), kRecordOk);
  EXPECT_EQ(fileCount(), 2u);  // no temporary files left behind
}

TEST_F(RecordFileTest, InsertsKeepKeyOrderAndDuplicatesFollowTheFirst) {
  struct Case {
    const char* name;
    bool unique;
    std::vector<std::pair<std::string, std::string>> inserts;  // key, record
    std::vector<std::string> order;                            // records in list order
    int duplicates;                                            // inserts refused with 603
  };
  const std::vector<Case> cases = {
      {"ascending", true, {{"A", "1"}, {"B", "2"}, {"C", "3"}}, {"1", "2", "3"}, 0},
      {"descending", true, {{"C", "3"}, {"B", "2"}, {"A", "1"}}, {"1", "2", "3"}, 0},
      {"middle", true, {{"A", "1"}, {"C", "3"}, {"B", "2"}}, {"1", "2", "3"}, 0},
      {"byte order, case matters", true, {{"b", "low"}, {"B", "up"}, {"\xe4", "hi"}}, {"up", "low", "hi"}, 0},
      {"prefix before longer key", true, {{"DB0ABCc", "2"}, {"DB0ABC", "0"}}, {"0", "2"}, 0},
      {"unique refuses a duplicate", true, {{"K", "1"}, {"K", "2"}}, {"1"}, 1},
      // Each equal key goes directly after the first one with it.
      {"duplicates", false, {{"K", "first"}, {"K", "second"}, {"K", "third"}}, {"first", "third", "second"}, 0},
      {"duplicates among others", false, {{"A", "a"}, {"K", "k1"}, {"Z", "z"}, {"K", "k2"}}, {"a", "k1", "k2", "z"}, 0},
      {"long key cut to 11", true, {{"ABCDEFGHIJKLM", "1"}, {"ABCDEFGHIJKxx", "2"}}, {"1"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordFiles files(prefix());
    const int h = files.Create("T", 6, c.unique);
    int refused = 0;
    for (const auto& [key, record] : c.inserts) {
      std::int32_t pos = kNoNode;
      const auto r = files.Insert(h, key, record, pos);
      if (r == kDuplicate) ++refused;
      else EXPECT_EQ(r, kRecordOk);
    }
    EXPECT_EQ(Walk(files, h), c.order);
    EXPECT_EQ(refused, c.duplicates);
    files.Close(h);
  }
}

TEST_F(RecordFileTest, ReadUpdateDeleteByKeyAndByPosition) {
  RecordFiles files(prefix());
  const int h = files.Create("T", 4, true);
  const std::int32_t a = Put(files, h, "A", "a");
  const std::int32_t b = Put(files, h, "B", "b");
  const std::int32_t c = Put(files, h, "C", "c");

  std::string record;
  std::int32_t pos = kNoNode;
  EXPECT_EQ(files.Read(h, "B", record, pos), kRecordFound);
  EXPECT_EQ(pos, b);
  EXPECT_EQ(record, std::string("b\0\0\0", 4));
  pos = c;
  EXPECT_EQ(files.Read(h, "", record, pos), kRecordFound);
  EXPECT_EQ(record[0], 'c');
  for (std::int32_t bad : {0, 7, 80, -1, 1000000}) {
    pos = bad;
    EXPECT_EQ(files.Read(h, "", record, pos), 0) << bad;
  }
  EXPECT_EQ(files.Read(h, "BB", record, pos), 0);
  EXPECT_EQ(files.Read(h, "0", record, pos), 0);  // smaller than every key

  pos = kNoNode;
  EXPECT_EQ(files.Update(h, "B", "new", pos), kRecordFound);
  EXPECT_EQ(files.Update(h, "X", "new", pos), 0);
  EXPECT_EQ(Walk(files, h), (std::vector<std::string>{"a", "new", "c"}));

  // Delete the middle node, then try it again by key and by position.
  pos = kNoNode;
  EXPECT_EQ(files.Delete(h, "B", pos), kRecordFound);
  const std::string before = read("T.IDX");
  EXPECT_EQ(files.Delete(h, "B", pos), 0);
  pos = b;
  EXPECT_EQ(files.Delete(h, "", pos), 0);
  pos = b;
  EXPECT_EQ(files.Read(h, "", record, pos), 0);  // a free node is not found
  EXPECT_EQ(files.Next(h, record, pos), 0);
  EXPECT_EQ(read("T.IDX"), before);
  EXPECT_EQ(Walk(files, h), (std::vector<std::string>{"a", "c"}));

  // The freed node is reused; its old record is overwritten.
  EXPECT_EQ(Put(files, h, "D", "d"), b);
  EXPECT_EQ(Walk(files, h), (std::vector<std::string>{"a", "c", "d"}));
  pos = a;
  EXPECT_EQ(files.Delete(h, "", pos), kRecordFound);
  pos = c;
  EXPECT_EQ(files.Delete(h, "", pos), kRecordFound);
  pos = b;
  EXPECT_EQ(files.Delete(h, "", pos), kRecordFound);
  EXPECT_EQ(Walk(files, h), std::vector<std::string>{});
  EXPECT_EQ(read("T.IDX").substr(0, 16), testing::I32(b) + testing::I32(4) + testing::I32(-1) + testing::I32(-1));
  files.Close(h);
}

TEST_F(RecordFileTest, DeletingTheOnlyNodeEmptiesTheListAndItsPlaceIsReused) {
  RecordFiles files(prefix());
  const int h = files.Create("T", 4, true);
  std::int32_t pos = Put(files, h, "ONLY", "x");
  EXPECT_EQ(files.Delete(h, "ONLY", pos), kRecordFound);
  EXPECT_EQ(read("T.IDX"), Header(20, 2, -1, -1, 4, 1) + Node(-1, -1, std::string(4, '\0')));
  std::string record;
  EXPECT_EQ(files.First(h, record, pos), 0);
  EXPECT_EQ(Put(files, h, "NEXT", "y"), 20);
  EXPECT_EQ(read("T.IDX"), Header(-1, 2, 20, 20, 4, 1) + Node(-1, -1, "NEXT"));
  files.Close(h);
}

TEST_F(RecordFileTest, OpenFileTableSharesSlotsAndChecksHandles) {
  RecordFiles files(prefix());
  const int created = files.Create("T", 4, true);
  Put(files, created, "A", "a");
  EXPECT_EQ(files.Close(created), kRecordOk);

  const int first = files.Open("T");
  const int second = files.Open("T");
  EXPECT_EQ(first, second);  // one slot, one header
  EXPECT_EQ(files.Close(first), kRecordOk);
  EXPECT_EQ(Walk(files, second), std::vector<std::string>{"a"});  // still open for the second user
  EXPECT_EQ(files.Close(second), kRecordOk);
  std::string record;
  std::int32_t pos = kNoNode;
  EXPECT_EQ(files.First(second, record, pos), kBadHandle);  // closed after the second Close
  EXPECT_EQ(files.Close(second), kBadHandle);
  for (int bad : {-1, 16, 99}) EXPECT_EQ(files.Insert(bad, "K", "r", pos), kBadHandle) << bad;

  EXPECT_EQ(files.Open("MISSING"), kCannotOpen);
  for (int i = 0; i < kRecordSlots; ++i) EXPECT_EQ(files.Create("F" + std::to_string(i), 4, true), i);
  EXPECT_EQ(files.Create("ONE_MORE", 4, true), kNoSlot);
  EXPECT_EQ(files.Open("T"), kNoSlot);
  EXPECT_EQ(files.Open("F3"), 3);  // an open name needs no new slot
}

TEST_F(RecordFileTest, DamagedFilesAreRefusedNotWalked) {
  const std::string good = Header(-1, 3, 20, 40, 4, 1) + Node(40, -1, "A") + Node(-1, 20, "B");
  const std::string data("a\0\0\0b\0\0\0", 8);
  struct Case {
    const char* name;
    std::string index;
    std::string data;
    std::int16_t result;
  };
  const std::vector<Case> cases = {
      {"good", good, data, 0},
      {"empty index", "", data, kDamaged},
      {"short header", good.substr(0, 12), data, kDamaged},
      {"torn node", good.substr(0, 50), data, kDamaged},
      {"next node number behind the file", Header(-1, 2, 20, 40, 4, 1) + good.substr(20), data, kDamaged},
      {"zero record size", Header(-1, 3, 20, 40, 0, 1) + good.substr(20), data, kDamaged},
      {"first points outside", Header(-1, 3, 400, 40, 4, 1) + good.substr(20), data, kDamaged},
      {"first not on a node", Header(-1, 3, 21, 40, 4, 1) + good.substr(20), data, kDamaged},
      {"first points at the header", Header(-1, 3, 0, 40, 4, 1) + good.substr(20), data, kDamaged},
      {"wrong last", Header(-1, 3, 20, 20, 4, 1) + good.substr(20), data, kDamaged},
      {"cycle", Header(-1, 3, 20, 40, 4, 1) + Node(40, -1, "A") + Node(20, 20, "B"), data, kDamaged},
      {"back link wrong", Header(-1, 3, 20, 40, 4, 1) + Node(40, -1, "A") + Node(-1, -1, "B"), data, kDamaged},
      {"unterminated key", Header(-1, 3, 20, 40, 4, 1) + Node(40, -1, "A") + Node(-1, 20, "") .substr(0, 8) +
                               std::string(12, 'K'), data, kDamaged},
      {"free node in the list", Header(-1, 3, 20, 40, 4, 1) + Node(40, -1, "A") + Node(-1, 20, ""), data, kDamaged},
      {"free list into the list", Header(20, 3, 20, 40, 4, 1) + good.substr(20), data, kDamaged},
      {"free list cycle", Header(40, 3, 20, 20, 4, 1) + Node(-1, -1, "A") + Node(40, -1, ""), data, kDamaged},
      {"record beyond the data file", good, "a\0", kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write("D.IDX", c.index);
    write("D.DAT", c.data);
    RecordFiles files(prefix());
    const std::int16_t h = files.Open("D");
    if (c.result == 0) {
      ASSERT_GE(h, 0);
      EXPECT_EQ(Walk(files, h), (std::vector<std::string>{"a", "b"}));
      files.Close(h);
    } else {
      EXPECT_EQ(h, c.result);
      EXPECT_EQ(read("D.IDX"), c.index);  // a refused file is left as it was
    }
  }
  // Only one of the two files: cannot be opened.
  std::filesystem::remove(dir / "D.DAT");
  RecordFiles files(prefix());
  EXPECT_EQ(files.Open("D"), kCannotOpen);
}

TEST_F(RecordFileTest, AFailedWriteChangesNeitherFileNorMemory) {
  RecordFiles files(prefix());
  const int h = files.Create("T", 4, true);
  Put(files, h, "A", "a");
  const std::string index = read("T.IDX"), data = read("T.DAT");
  // A directory where the data file belongs: nothing can be renamed over it.
  std::filesystem::remove(dir / "T.DAT");
  std::filesystem::create_directory(dir / "T.DAT");
  std::int32_t pos = kNoNode;
  EXPECT_EQ(files.Insert(h, "B", "b", pos), kCannotOpen);
  EXPECT_EQ(read("T.IDX"), index);  // the index was not written either
  EXPECT_EQ(fileCount(), 2u);       // and no temporary file stayed
  std::filesystem::remove(dir / "T.DAT");
  write("T.DAT", data);
  EXPECT_EQ(Walk(files, h), std::vector<std::string>{"a"});
  EXPECT_EQ(Put(files, h, "B", "b"), 40);  // the node was not used up
  files.Close(h);
}

}  // namespace
}  // namespace tarvik::store
