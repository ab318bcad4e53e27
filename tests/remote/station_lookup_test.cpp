// A connected station's level, name and QTH come from its record in the
// station database, and the N and QT commands write back into it.
#include "remote/station_lookup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/station_db.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::remote {
namespace {

namespace fs = std::filesystem;

TEST(StationLookup, LevelNameAndQthFromTheRecord) {
  const fs::path dir = fs::temp_directory_path() / ("tvk_lookup_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "log");
  std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL\nLOGPATH=" << (dir / "log").string() << "/\n";
  ui::HeadlessToolkit tk(ui::HeadlessToolkit::Mode::Manual);
  core::StartupOptions options;
  core::App app(tk, options);
  ASSERT_TRUE(app.config().LoadConfiguration(dir / "TARVIK.INI"));

  store::StationDatabase db((dir / "log").string() + "/");
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
  ASSERT_EQ(db.Insert(odd, position), 0);

  RemoteHooks hooks;
  AddStationDatabaseHooks(app, hooks);
  const auto anna = hooks.station("DL1ABC-2");  // found without the SSID
  ASSERT_TRUE(anna.has_value());
  EXPECT_EQ(anna->level, 3);
  EXPECT_EQ(anna->name, "Anna");
  EXPECT_EQ(anna->qth, "Kiel");
  EXPECT_EQ(hooks.station("DB0XYZ")->level, 0);
  EXPECT_FALSE(hooks.station("DK9NO").has_value());

  EXPECT_TRUE(hooks.storeName("DL1ABC", "Anne"));
  EXPECT_TRUE(hooks.storeQth("DL1ABC", "Hamburg"));
  EXPECT_FALSE(hooks.storeName("DK9NO", "Nobody"));
  store::StationEntry entry;
  ASSERT_EQ(db.Lookup("DL1ABC", entry), 1);
  EXPECT_EQ(entry.record.name, "Anne");
  EXPECT_EQ(entry.record.qth, "Hamburg");
  EXPECT_EQ(entry.record.level, 3);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::remote
