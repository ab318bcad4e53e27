// The change journal of the record files: a whole journal finishes its
// change when the pair is opened next, a torn or damaged one is thrown
// away, and a writer killed at any moment leaves the old or the new pair.

#include "store/record_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "store/record_file.h"

namespace tarvik::store {
namespace {

namespace fs = std::filesystem;

class RecordJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tvk_journal_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string prefix() const { return dir_.string() + "/"; }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  // Keys and records in key order, or the error of opening the pair.
  std::vector<std::string> Contents(int& error) const {
    RecordFiles files(prefix());
    const std::int16_t h = files.Open("K");
    std::vector<std::string> out;
    error = h >= 0 && h < kRecordSlots ? 0 : h;
    if (error) return out;
    std::string record;
    std::int32_t pos = kNoNode;
    for (std::int16_t r = files.First(h, record, pos); r == kRecordFound; r = files.Next(h, record, pos))
      out.push_back(record.c_str());
    files.Close(h);
    return out;
  }
  fs::path dir_;
};

TEST_F(RecordJournalTest, AWholeJournalFinishesItsChangeATornOneIsThrownAway) {
  RecordFiles files(prefix());
  const int h = files.Create("K", 8, true);
  std::int32_t pos = kNoNode;
  ASSERT_EQ(files.Insert(h, "A", "a", pos), kRecordOk);
  files.Close(h);
  const std::string index = Read("K.IDX"), data = Read("K.DAT");

  // The change an insertion of "B" would make, as a journal.
  RecordFiles other(prefix());
  const int h2 = other.Open("K");
  ASSERT_EQ(other.Insert(h2, "B", "b", pos), kRecordOk);
  other.Close(h2);
  const std::string newIndex = Read("K.IDX"), newData = Read("K.DAT");
  Journal journal;
  journal.indexSize = newIndex.size();
  journal.dataSize = newData.size();
  journal.pieces = {{true, 0, newIndex}, {false, 0, newData}};
  const std::string bytes = EncodeJournal(journal);

  struct Case {
    const char* what;
    std::string journal;
    std::vector<std::string> expected;
  };
  std::string flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x40;
  const Case cases[] = {
      {"whole", bytes, {"a", "b"}},
      {"torn in the middle", bytes.substr(0, bytes.size() / 2), {"a"}},
      {"torn before its checksum", bytes.substr(0, bytes.size() - 2), {"a"}},
      {"one byte changed", flipped, {"a"}},
      {"empty", "", {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("K.IDX", index);
    Write("K.DAT", data);
    Write("K.IDX.JNL", c.journal);
    int error = 0;
    EXPECT_EQ(Contents(error), c.expected);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(fs::exists(dir_ / "K.IDX.JNL"));
  }

  // Pieces that reach beyond the sizes they announce are refused.
  Journal hostile;
  hostile.indexSize = 20;
  hostile.pieces = {{true, 16, std::string(8, 'x')}};
  Journal out;
  EXPECT_FALSE(DecodeJournal(EncodeJournal(hostile), 1 << 20, out));
  EXPECT_TRUE(DecodeJournal(bytes, 1 << 20, out));
  EXPECT_EQ(out.pieces.size(), 2u);
}

// A writer inserting and updating records without end is killed at random
// moments; every time, the pair opens and holds a state some change left:
// the keys inserted so far in order, each record belonging to its key.
TEST_F(RecordJournalTest, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewPair) {
  {
    RecordFiles files(prefix());
    ASSERT_EQ(files.Create("K", 16, true), 0);
    files.Close(0);
  }
  std::mt19937 random(7);
  std::size_t seen = 0;
  for (int kill = 0; kill < 50; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RecordFiles files(prefix());
      const int h = files.Open("K");
      if (h < 0 || h >= kRecordSlots) ::_exit(3);
      std::string record;
      std::int32_t pos = kNoNode;
      int n = 0;
      for (std::int16_t r = files.First(h, record, pos); r == kRecordFound; r = files.Next(h, record, pos)) ++n;
      for (int version = 0;; ++n, ++version) {
        char key[12];
        std::snprintf(key, sizeof key, "K%06d", n);
        files.Insert(h, key, std::string(key) + ":0", pos);
        char old[12];
        std::snprintf(old, sizeof old, "K%06d", n / 2);
        files.Update(h, old, std::string(old) + ":" + std::to_string(version % 1000), pos);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 40));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

    int error = 0;
    const std::vector<std::string> records = Contents(error);
    ASSERT_EQ(error, 0) << "after kill " << kill;
    ASSERT_GE(records.size(), seen) << "a change that was made is gone";
    seen = records.size();
    for (std::size_t i = 0; i < records.size(); ++i) {
      char key[12];
      std::snprintf(key, sizeof key, "K%06d", static_cast<int>(i % 1000000));
      ASSERT_EQ(records[i].substr(0, 8), std::string(key) + ":") << "after kill " << kill;
    }
  }
  EXPECT_GE(seen, 25u) << "the writer hardly got anywhere";
}

}  // namespace
}  // namespace tarvik::store
