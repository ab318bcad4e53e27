#include "channels/station_facts.h"

#include "channels/channel_window.h"
#include "channels/main_window.h"
#include "channels/station_windows.h"
#include "store/station_db.h"

namespace tarvik::channels {

namespace {

constexpr int kHighestLevel = 5;
constexpr std::int16_t kVisitorLevel = 1;

StationFacts FactsOf(const store::StationRecord& record) {
  StationFacts facts;
  facts.known = true;
  facts.level = record.level >= 0 && record.level <= kHighestLevel ? record.level : 0;
  facts.name = record.name;
  facts.qth = record.qth;
  facts.lastConnect = record.lastConnect;
  facts.digi = record.digi;
  facts.box = record.box;
  return facts;
}

class DatabaseFacts final : public StationFactsSource {
 public:
  explicit DatabaseFacts(core::App& app) : app_(app) {}

  std::optional<StationFacts> Lookup(const std::string& call) override {
    store::StationDatabase& db = database();
    store::StationEntry entry;
    if (db.Lookup(call, entry) != store::kRecordFound) return std::nullopt;
    return FactsOf(entry.record);
  }

  StationFacts Connected(const std::string& call, const std::string& now) override {
    store::StationDatabase& db = database();
    store::StationEntry entry;
    const auto found = db.Lookup(call, entry);
    if (found == store::kRecordFound) {
      const StationFacts before = FactsOf(entry.record);
      entry.record.lastConnect = now;
      db.Update(entry.position, entry.record);
      return before;
    }
    if (found == 0) {  // a new station: its record starts now
      store::StationRecord fresh;
      fresh.station = call;
      fresh.lastConnect = now;
      // A first-time visitor gets the visitors' level, so the help the
      // welcome text promises is answered; the operator raises it.
      fresh.level = kVisitorLevel;
      std::int32_t position = store::kNoNode;
      db.Insert(fresh, position);
    }
    return {};
  }

  bool StoreName(const std::string& call, const std::string& name) override {
    return update(call, [&](store::StationRecord& r) { r.name = name; });
  }
  bool StoreQth(const std::string& call, const std::string& qth) override {
    return update(call, [&](store::StationRecord& r) { r.qth = qth; });
  }

 private:
  // One database for the station's life, so its files stay loaded between
  // lookups (a new one when LOGPATH changes).
  store::StationDatabase& database() {
    const std::string path = app_.config().GetSetting(core::kSettingLogPath);
    if (!db_ || path != dbPath_) {
      db_.emplace(path);
      dbPath_ = path;
    }
    return *db_;
  }

  template <class Change>
  bool update(const std::string& call, Change change) {
    store::StationDatabase& db = database();
    store::StationEntry entry;
    if (db.Lookup(call, entry) != store::kRecordFound) return false;
    change(entry.record);
    return db.Update(entry.position, entry.record) == store::kRecordFound;
  }

  core::App& app_;
  std::optional<store::StationDatabase> db_;
  std::string dbPath_;
};

class StationForm final : public ChannelPart {
 public:
  StationForm(core::App& app, ui::FormRuntime& forms) : app_(app), forms_(forms) {}
  std::vector<int> commands() const override { return {kChStation}; }
  void Command(ChannelWindow& channel, int, std::intptr_t) override {
    const StationStart start{StationStart::ByCall, store::kNoNode, channel.remoteText()};
    forms_.OpenWindowWith(channel.id(), kStationFormNumber, start);
  }
  // The form's Connect: a new connection to the station, as from the
  // station list (this channel stays as it is).
  bool UserEvent(ChannelWindow& channel, ui::Event& event) override {
    if (event.id != kEvtStationConnect) return false;
    if (auto text = event.take<ui::TextPayload>(); text && app_.mainWindow != ui::kNoWindow)
      channel.toolkit().sendUser(app_.mainWindow, kEvtConnectTo, 0, std::move(text));
    return true;
  }

 private:
  core::App& app_;
  ui::FormRuntime& forms_;
};

}  // namespace

std::unique_ptr<ChannelPart> StationFormPart(core::App& app, ui::FormRuntime& forms) {
  return std::make_unique<StationForm>(app, forms);
}

std::shared_ptr<StationFactsSource> StationDatabaseFacts(core::App& app) { return std::make_shared<DatabaseFacts>(app); }

}  // namespace tarvik::channels
