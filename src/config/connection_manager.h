#pragma once
// The connection manager (window 1190, "CONMAN"): the ports that are open,
// each with its live state, and what the operator does with them while the
// program runs: open a KISS port over TCP/IP (window 1210) or on a serial
// line (window 1220), close a port, open its port and radio-channel
// configuration windows, and save its configuration to TARVIK.INI or
// delete it there.
//
// The list is a display file of one line per open port, in port order:
// port, protocol, device, device type, mark (1 = changed since the last
// save) and the port's state (up, connecting, down), with the port number
// as the line's key. The manager looks at the port table once a second and
// writes the lines whose state changed, so a TCP/IP port that loses its
// peer reads "down" until it is back.
//
// The connect windows take the lowest port that is closed and has no
// configuration (only when every closed port has one, the lowest closed
// port), fill its record as the port sections of the INI file would, and
// open it through the same port drivers as the start-up; the driver sends
// the INI text and the KISS parameters as it does at start-up. A port that
// could not be opened leaves nothing behind: its record is emptied again.

#include <memory>
#include <string>

#include "core/app.h"
#include "core/port_table.h"
#include "ui/form.h"

namespace tarvik::config {

inline constexpr int kConManNumber = 1190;
inline constexpr int kTcpConnectNumber = 1210;
inline constexpr int kSerialConnectNumber = 1220;

// User events of the manager: a configuration window changed the port of
// the argument (1198); a connect window opened a port (1199, a
// PortOpenedPayload).
inline constexpr int kEvtManagerPortChanged = 1198;
inline constexpr int kEvtManagerPortOpened = 1199;

struct PortOpenedPayload : ui::Payload {
  PortOpenedPayload(int p, std::string proto, std::string dev, int type)
      : port(p), protocol(std::move(proto)), device(std::move(dev)), devType(type) {}
  int port;
  std::string protocol;
  std::string device;
  int devType;
};

// Messages of the manager and its connect windows.
inline constexpr int kMsgNoFreePort = 17;
inline constexpr int kMsgTcpClosed = 18;
inline constexpr int kMsgTcpOpened = 19;
inline constexpr int kMsgTcpFailed = 20;
inline constexpr int kMsgAskDelete = 23;
inline constexpr int kMsgAskSave = 24;
inline constexpr int kMsgSerialClosed = 25;
inline constexpr int kMsgSerialFailed = 27;
inline constexpr int kMsgUnknownEvent = 501;
inline constexpr int kMsgIniNotWritten = 1530;
inline constexpr int kMsgTcpIpNotRunning = 1531;

// The protocol's name in the list: "NO", "KISS", "SMACK", "RMNC", and
// "UNDEF" for any other value (a host-mode port).
std::string ProtocolName(int protocol);

// A line of the list: "%2d\t%6s\t%-40.40s\t%1d\t%1d\t%-12.12s\t%02d\n"
// with port, protocol name, device, device type, mark, state word and the
// port again as the key. Every line has the same length.
std::string PortListLine(int port, const std::string& protocol, const std::string& device, int devType,
                         int mark, const std::string& state);

// The port a connect window takes: the lowest closed port without
// configuration, else the lowest closed port; nothing when all are open.
std::optional<int> PortForConnect(const core::PortTable& ports);

// Registers the manager and the two connect windows with the form runtime.
void InstallConnectionManager(core::App& app, ui::FormRuntime& forms);

// Opens the manager (or raises the open one).
ui::WindowId OpenConnectionManager(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

}  // namespace tarvik::config
