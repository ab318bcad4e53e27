#pragma once
// The station database on screen: the station list (window 1060), one line
// per station in key order, and the station form (window 1070) that shows,
// creates, searches and edits one record (store/station_db.h).
//
// The list shows a display file in TMPPATH written when the list opens; the
// station form tells the list of a changed record (user event 1078) or a
// new one (1079) with a StationLine, and the list rewrites or adds that one
// line. A connect text (1077, TextPayload) from either window goes on to
// the main window.
//
// The list's LISTE control is a list control (ui/list_control.h) on the display
// file; a line's last field is the record's position, its key for every
// later operation.

#include <cstdint>
#include <memory>
#include <string>

#include "channels/channel_window.h"
#include "core/app.h"
#include "store/station_db.h"
#include "ui/form.h"
#include "ui/list_control.h"

namespace tarvik::channels {

inline constexpr int kStationListNumber = 1060;
inline constexpr int kStationFormNumber = 1070;
inline constexpr int kPasswordWindowNumber = 1330;

enum StationEvent : int {
  kEvtStationConnect = 1077,
  kEvtStationChanged = 1078,
  kEvtStationAdded = 1079,
};

// How the station form starts (the argument of OpenWindowById 1070 points
// at one; argument 0 means create).
struct StationStart : ui::OpenArgument {
  enum Mode : int { Show = 10, Create = 11, ByCall = 12, Search = 13 };
  StationStart() = default;
  StationStart(int m, std::int32_t p, std::string c) : mode(m), position(p), call(std::move(c)) {}
  int mode = Create;
  std::int32_t position = store::kNoNode;
  std::string call;
};

// "%-9.9s\t%-40.40s\t%-40.40s\t%-11ld": shown call, name, location, position.
std::string StationListLine(const store::StationRecord& record, std::int32_t position);

struct StationLine : ui::Payload {
  StationLine(std::string l, std::int32_t p) : line(std::move(l)), position(p) {}
  std::string line;
  std::int32_t position;
};

// Registers windows 1060 and 1070 with the runtime.
void InstallStationForms(core::App& app, ui::FormRuntime& forms);


}  // namespace tarvik::channels
