#pragma once
// The remote service's view of the station database: a connected station's
// access level, name, QTH and previous connect come from its record, and the
// N and QT commands store name and QTH back into it.

#include "core/app.h"
#include "remote/remote_service.h"

namespace tarvik::remote {

// Fills the station hooks from the database in LOGPATH. A station without
// a record, or a database that cannot be used, counts as level 0.
void AddStationDatabaseHooks(core::App& app, RemoteHooks& hooks);

}  // namespace tarvik::remote
