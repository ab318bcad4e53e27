#pragma once
// The configuration windows: the port (1250), radio-channel (1230),
// station (1240), access-level (1260), TCP/IP (1270) and password (1330)
// windows. Each works on a copy of what it edits and writes it back only on
// OK: to memory, and, for the station, access levels, TCP/IP and passwords,
// to TARVIK.INI or the station's password file. A value the INI file could
// not hold as typed is refused in the window with a message naming it, and
// nothing is written.
//
// The port and radio-channel windows are opened by number with the port
// number as the argument; on OK they tell their parent (the connection
// manager) with user event 1198, whose argument is the port number. The
// radio-channel window has an open TNC port send the radio channel's KISS
// parameters (user event 953 to the port window). The station window is the
// toolbox's CONFIG entry; it opens the access-level and TCP/IP windows. The
// password window is opened for a call (ui::CallArgument).

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::config {

inline constexpr int kChannelFormNumber = 1230;
inline constexpr int kStationFormNumber = 1240;
inline constexpr int kPortFormNumber = 1250;
inline constexpr int kAccessFormNumber = 1260;
inline constexpr int kTcpIpFormNumber = 1270;
inline constexpr int kPasswordFormNumber = 1330;

// To the parent of the port and radio-channel windows: the port of the
// argument was changed in memory.
inline constexpr int kEvtPortChanged = 1198;

void InstallConfigForms(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::config
