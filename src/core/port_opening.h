#pragma once
// Opening and closing every configured port at start and at shutdown.

#include <string>

#include "core/port_table.h"

namespace tarvik::core {

class App;

// User event to the main window: a port was lost or is back (a
// ui::TextPayload with the notice line for the monitor).
inline constexpr int kEvtPortNotice = 1095;

// Messages of port states: lost (port, reason), back (port, seconds), a
// connect on a port that is down (port, station), and the words of the
// states in the status line's port field.
inline constexpr int kMsgPortLost = 1070;
inline constexpr int kMsgPortBack = 1071;
inline constexpr int kMsgPortDownConnect = 1072;
inline constexpr int kMsgPortStateUp = 1073;
inline constexpr int kMsgPortStateConnecting = 1074;
inline constexpr int kMsgPortStateDown = 1075;
// The reason of a loss when the far end closed the connection in order.
inline constexpr int kMsgPortClosedByPeer = 1076;
// The reason of a loss when a serial line hung up or went away.
inline constexpr int kMsgPortHungUp = 1077;

// For each port with a device string and a device type 1..3 the port
// driver's window is created and entered in the port table; ports of type 0
// keep their configuration and stay closed.
void OpenAllPorts(App& app);
// Destroys every open port window in port order; each window's close-down
// runs and clears its table entry.
void CloseAllPorts(App& app);

// How a port is named to the operator in its error reports: its title and,
// in brackets, where it leads: host;port of a TCP/IP port from its device
// string, else the device the driver reported ("Neighbour (127.0.0.1;8101)",
// "TNC (/dev/ttyUSB0)"). A port without title is "port <n>".
std::string PortLabel(const PortTable& ports, int port, const std::string& reportedDevice);

// A port's driver tells how its line is. The state goes into the port
// table. A port that was up and is lost is told once, in the status line
// (message 1070 with `reason`); one that comes back after a loss is told
// with the time it was away (message 1071). Each loss and each return is
// also a notice line for the monitor (kEvtPortNotice to the main window)
// and a line of the debug file.
void SetPortState(App& app, int port, PortState state, const std::string& reason = {});

// The word for a state (messages 1073 to 1075); empty when the message
// file lacks it.
std::string PortStateWord(App& app, PortState state);

// The status line's port field: each configured port's number and state
// ("P0 up P3 down"), the words from messages 1073 to 1075.
std::string PortStateSummary(App& app);

// For a connect on `port`: when the port is open but down, message 1072
// names the port and the station, and the result is true (the connect is
// not made).
bool TellPortDown(App& app, int port, const std::string& station);

// The text of a message as the message file has it, with its places
// filled; `fallback` when the file lacks it.
std::string MessageText(App& app, int number, const std::string& text1 = {},
                        const std::string& text2 = {}, const std::string& fallback = {});

}  // namespace tarvik::core
