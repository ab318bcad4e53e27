// A connected station's facts come from its record in the station
// database: level, name and QTH as stored, the previous connect as it was
// before this connection, and N and QT write back into the record.
#include "channels/station_facts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/station_db.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::channels {
namespace {

namespace fs = std::filesystem;

class StationFactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_facts_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "log");
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL\nLOGPATH=" << (dir / "log").string() << "/\n";
    ASSERT_TRUE(app.config().LoadConfiguration(dir / "TARVIK.INI"));
    source = StationDatabaseFacts(app);
  }
  void TearDown() override { fs::remove_all(dir); }

  store::StationDatabase Db() { return store::StationDatabase((dir / "log").string() + "/"); }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  core::App app{tk, core::StartupOptions{}};
  std::shared_ptr<StationFactsSource> source;
};

TEST_F(StationFactsTest, LevelNameQthAndDigiFromTheRecord) {
  store::StationDatabase db = Db();
  store::StationRecord known;
  known.station = "DL1ABC";
  known.name = "Anna";
  known.qth = "Kiel";
  known.level = 3;
  std::int32_t position = 0;
  ASSERT_EQ(db.Insert(known, position), 0);
  store::StationRecord odd;
  odd.station = "DB0XYZ";
  odd.level = 9;  // damaged: out of range
  odd.digi = true;
  ASSERT_EQ(db.Insert(odd, position), 0);

  const auto anna = source->Lookup("DL1ABC-2");  // found without the SSID
  ASSERT_TRUE(anna.has_value());
  EXPECT_TRUE(anna->known);
  EXPECT_EQ(anna->level, 3);
  EXPECT_EQ(anna->name, "Anna");
  EXPECT_EQ(anna->qth, "Kiel");
  EXPECT_FALSE(anna->digi);
  const auto node = source->Lookup("DB0XYZ");
  ASSERT_TRUE(node.has_value());
  EXPECT_EQ(node->level, 0);
  EXPECT_TRUE(node->digi);
  EXPECT_FALSE(source->Lookup("DK9NO").has_value());

  EXPECT_TRUE(source->StoreName("DL1ABC", "Anne"));
  EXPECT_TRUE(source->StoreQth("DL1ABC", "Hamburg"));
  EXPECT_FALSE(source->StoreName("DK9NO", "Nobody"));
  store::StationEntry entry;
  ASSERT_EQ(db.Lookup("DL1ABC", entry), 1);
  EXPECT_EQ(entry.record.name, "Anne");
  EXPECT_EQ(entry.record.qth, "Hamburg");
  EXPECT_EQ(entry.record.level, 3);
}

TEST_F(StationFactsTest, AConnectionGivesThePreviousConnectAndNotesThisOne) {
  // A first-time station: no facts before, a record afterwards.
  const StationFacts first = source->Connected("DK9NEW-1", "01.02.2026 10:00");
  EXPECT_FALSE(first.known);
  auto now = source->Lookup("DK9NEW-1");
  ASSERT_TRUE(now.has_value());
  EXPECT_EQ(now->lastConnect, "01.02.2026 10:00");
  EXPECT_EQ(now->level, 1);  // the visitors' level

  const StationFacts second = source->Connected("DK9NEW-1", "03.02.2026 18:30");
  EXPECT_TRUE(second.known);
  EXPECT_EQ(second.lastConnect, "01.02.2026 10:00");
  EXPECT_EQ(source->Lookup("DK9NEW-1")->lastConnect, "03.02.2026 18:30");
}

}  // namespace
}  // namespace tarvik::channels
