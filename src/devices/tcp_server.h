#pragma once
// The TCP/IP subsystem and its server.
//
// StartTcpIp brings TCP/IP up when the TCP/IP setting switches it on: it
// opens the invisible server window ("TCP/IP Server"), which listens on the
// PORT setting at the address of the LISTEN setting (127.0.0.1 when empty:
// only programs on this computer may transmit through the station; 0.0.0.0
// opens it to every network the computer is on). Each connection it accepts takes the lowest free port of the
// port table as a KISS port (tcp_port.h): title = the peer's host name (its
// dotted address until the name is known), device "Incomming TCP/IP " and the
// title, protocol KISS, device type TCP/IP, radio channel 0 a copy of the
// TCPCHAN parameters. While all 16 ports are taken, further connections
// wait, unaccepted, until a port becomes free. Outgoing TCP/IP ports open
// only while the server window exists. StopTcpIp closes the server.

#include <cstdint>
#include <string>

#include "core/app.h"
#include "devices/tcp_socket.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::devices {

inline constexpr const char* kTcpServerWindowName = "TCP/IP Server";
inline constexpr int kTcpListenBacklog = 5;
inline constexpr const char* kDefaultListenAddress = "127.0.0.1";

// User events of the server window.
inline constexpr int kEvtServerSocket = 1150;    // watch of the listening socket
inline constexpr int kEvtServerPortFreed = 1153;  // a TCP/IP port window has closed

class TcpServerWindow final : public ui::Window {
 public:
  // `address`: dotted IPv4 address to listen on; empty for 127.0.0.1.
  TcpServerWindow(core::App& app, std::string portText, std::string address = {});

  void onEvent(ui::Event& event) override;

  // The local TCP port listened on; 0 without a listening socket.
  std::uint16_t listeningPort() const;
  const std::string& address() const { return address_; }
  // The local address listened on as dotted text; empty without a
  // listening socket.
  std::string listeningAddress() const;
  // True while connections wait because every port is taken.
  bool waiting() const { return waiting_; }

 private:
  void listen();
  void accept();
  void wait();
  void resumeWhenFree();

  core::App& app_;
  std::string portText_;
  std::string address_;
  Socket socket_;
  ui::WatchId watch_ = 0;
  ui::TimerId retryTimer_ = 0;
  bool waiting_ = false;
};

// Starts TCP/IP when setting 38 begins with "J" or "Y" (either case) and the
// server is not running yet.
void StartTcpIp(core::App& app);
// Closes the server window and its listening socket.
void StopTcpIp(core::App& app);

// The server window, kNoWindow when TCP/IP is not running.
ui::WindowId FindTcpServer(const ui::Toolkit& toolkit);
TcpServerWindow* TcpServer(core::App& app);

}  // namespace tarvik::devices
