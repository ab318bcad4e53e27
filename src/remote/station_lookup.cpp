#include "remote/station_lookup.h"

#include "store/station_db.h"

namespace tarvik::remote {

namespace {

store::StationDatabase Database(core::App& app) { return store::StationDatabase(app.config().GetSetting(4)); }

// Changes one field of a station's record; false when there is no record or
// the file cannot be written.
template <class Change>
bool UpdateRecord(core::App& app, const std::string& call, Change change) {
  store::StationDatabase db = Database(app);
  store::StationEntry entry;
  if (db.Lookup(call, entry) != 1) return false;
  change(entry.record);
  return db.Update(entry.position, entry.record) == 1;
}

}  // namespace

void AddStationDatabaseHooks(core::App& app, RemoteHooks& hooks) {
  hooks.station = [&app](const std::string& call) -> std::optional<StationInfo> {
    store::StationDatabase db = Database(app);
    store::StationEntry entry;
    if (db.Lookup(call, entry) != 1) return std::nullopt;
    StationInfo info;
    info.level = entry.record.level >= 0 && entry.record.level <= 5 ? entry.record.level : 0;
    info.name = entry.record.name;
    info.qth = entry.record.qth;
    info.lastConnect = entry.record.lastConnect;
    return info;
  };
  hooks.storeName = [&app](const std::string& call, const std::string& name) {
    return UpdateRecord(app, call, [&](store::StationRecord& r) { r.name = name; });
  };
  hooks.storeQth = [&app](const std::string& call, const std::string& qth) {
    return UpdateRecord(app, call, [&](store::StationRecord& r) { r.qth = qth; });
  };
}

}  // namespace tarvik::remote
