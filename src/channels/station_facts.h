#pragma once
// What the program knows of the station at the other end of a channel:
// name, QTH, access level and DIGI mark from the station database, and when
// it was last connected before this connection.
//
// One source serves the channel, the remote service, scripts and macros
// alike. A channel asks it once when its connection comes up
// (Connected): the station's record is looked up, first with and then
// without SSID, or started when there is none, and its last-connect time
// becomes now; the channel keeps the facts as they were before, so that
// "previous connect" means the connection before this one.

#include <memory>
#include <optional>
#include <string>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

struct StationFacts {
  bool known = false;       // the station has a record
  int level = 0;            // access level 0..5; 0 takes no remote commands
  bool digi = false;        // a digipeater or node: no remote commands at all
  int box = 0;              // mailbox type: entry of the BOX list, 0 none
  std::string name;
  std::string qth;
  std::string lastConnect;  // "%02d.%02d.%04d %02d:%02d", empty when never
};

class StationFactsSource {
 public:
  virtual ~StationFactsSource() = default;
  // The facts of a call as they stand now; nothing when it has no record
  // or the database cannot be used.
  virtual std::optional<StationFacts> Lookup(const std::string& call) = 0;
  // A connection with `call` came up at `now`: the record is found or
  // started (at level 1, the visitors' level) and its last-connect time
  // set. The facts before the change.
  virtual StationFacts Connected(const std::string& call, const std::string& now) = 0;
  // Store a station's name or QTH; false without a record or a usable file.
  virtual bool StoreName(const std::string& call, const std::string& name) = 0;
  virtual bool StoreQth(const std::string& call, const std::string& qth) = 0;
};

// The station database in LOGPATH as the source.
std::shared_ptr<StationFactsSource> StationDatabaseFacts(core::App& app);

class ChannelPart;
// The channel part of the STATION control: the station form for the
// remote call; the form's Connect opens a new connection to the station.
std::unique_ptr<ChannelPart> StationFormPart(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::channels
