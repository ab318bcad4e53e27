#pragma once
// KISS over TCP/IP: a port whose frames travel over a TCP connection instead
// of a serial line.
//
// Each connection is an invisible port window ("TCP/IP CLIENT") occupying one
// record of the port table, and towards the link layer it behaves exactly
// like a serial KISS port: user event 811 brings a RawFrameBuffer to send,
// and every KISS frame received is decoded and posted to the task window as
// user event 800. The connection is either outgoing, to the "host;port" of
// the port's device string, or incoming, accepted by the TCP/IP server
// (tcp_server.h).
//
// Everything runs on the user-interface thread, driven by a descriptor watch
// on the socket (the socket notifications FD_CONNECT, FD_READ, FD_WRITE and
// FD_CLOSE) and by the heartbeat, which gives an outgoing connection 40
// seconds to come up. The host-name lookup runs on a worker thread and comes
// back as a posted event. Bytes the socket cannot take at once wait in a
// bounded output queue and go out when it can.
//
// An outgoing port keeps its TNC: a connection that cannot be made, or that
// is lost while the program runs (the TNC or the peer station restarted),
// is tried again, first after one second, then after twice the pause each
// time, up to a minute, each pause varied by a tenth so that several
// stations do not come back in step. While it is away the port is down
// (core::SetPortState: the operator is told once of the loss and once of
// the return) and frames given to it are counted as dropped, not sent;
// the links on it recover them with their own retries when the port is
// back in time. Frames given to it while its first connection is being
// made wait for that connection.
//
// The window reports to its owner, the task window: 940 opened, 942 failed
// (core::PortStatus with the host name and the error text; only the first
// failure of an outgoing port, whose window stays and tries again). An
// incoming connection that ends closes its window, and its port is free
// again.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/frame_events.h"
#include "core/app.h"
#include "devices/kiss_port.h"
#include "devices/tcp_lookup.h"
#include "devices/tcp_socket.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::devices {

// Name of every TCP/IP port window, and its name in messages 501.
inline constexpr const char* kTcpPortWindowName = "TCP/IP CLIENT";
inline constexpr const char* kTcpPortEventName = "TCPIP";

// User events of TCP/IP port windows besides 801 and 811 (frame_events.h)
// and the reports 940..942 (core/app.h).
inline constexpr int kEvtTcpSocket = 1150;      // watch: ready bits in arg
inline constexpr int kEvtTcpLookupDone = 1151;  // HostLookupResult of the host name
inline constexpr int kEvtTcpPeerName = 1152;    // HostLookupResult of the peer's address

// Connection states.
inline constexpr int kTcpLookingUp = 0;  // outgoing: waiting for the host's address
inline constexpr int kTcpConnecting = 2;
inline constexpr int kTcpConnected = 3;
inline constexpr int kTcpWaiting = 5;  // outgoing: lost, waiting to try again
inline constexpr int kTcpFailed = 8;

// Pauses before an outgoing port tries again: the first, and the longest
// the doubling reaches (milliseconds).
inline constexpr int kTcpRetryFirstMs = 1000;
inline constexpr int kTcpRetryLongestMs = 60'000;

// Seconds (heartbeat ticks) an outgoing connection has to come up.
inline constexpr int kTcpConnectSeconds = 40;
// Bytes received per socket notification.
inline constexpr std::size_t kTcpReceiveChunk = 616;
// Bytes waiting for a socket that cannot take them. A frame that would not
// fit is dropped whole, so the KISS stream stays framed; the link layer's
// retries recover it as they recover a frame lost on the air.
inline constexpr std::size_t kTcpMaxPendingOutput = 256 * 1024;

// Prefix of the device text of a port taken by an incoming connection.
inline constexpr const char* kIncomingDevicePrefix = "Incomming TCP/IP ";

class TcpPortWindow final : public ui::Window {
 public:
  // `socket` is the accepted connection of an incoming port, or empty for an
  // outgoing one, which connects to host:portText.
  TcpPortWindow(core::App& app, int port, Socket socket, std::string host, std::string portText);

  void onEvent(ui::Event& event) override;
  void reportTo(ui::WindowId owner) { owner_ = owner; }

  int port() const { return port_; }
  int state() const { return state_; }
  int countdown() const { return countdown_; }
  const std::string& host() const { return host_; }
  const std::string& portText() const { return portText_; }
  // Bytes waiting for the socket; frames dropped because the queue was full.
  std::size_t pendingOutput() const { return output_.size() - outputStart_; }
  std::size_t droppedFrames() const { return droppedFrames_; }
  std::uint64_t bytesReceived() const { return bytesReceived_; }
  // The pause (milliseconds, varied) of the try an outgoing port waits
  // for, and whether one is due.
  int retryPauseMs() const { return pauseMs_; }
  bool retryPending() const { return retryTimer_ != 0; }

 private:
  void onCreate();
  void onDestroy();
  void onUser(ui::Event& event);
  void onHeartbeat();
  void onTimer(ui::Event& event);
  void onSocket(unsigned ready);
  void onLookupDone(const HostLookupResult& result);
  void onPeerName(const HostLookupResult& result);
  void connectTo(const in_addr& address);
  void onConnected();
  void receive();
  void send(std::vector<std::uint8_t> bytes);
  void flush();
  void updateWatch();
  // Sends report 940, 941 or 942 to the window itself (see onUser).
  void report(int event, int code);
  // An outgoing connection could not be made (a Winsock code; 0: it timed
  // out): the first failure is reported, then the port tries again.
  void connectFailed(int code);
  // The connection ended: an incoming port closes, an outgoing one is down
  // and tries again.
  void connectionLost(const std::string& reason);
  void dropConnection();
  void scheduleRetry();
  void retry();

  core::App& app_;
  ui::WindowId owner_;
  int port_;
  std::string host_;
  std::string portText_;
  KissReceiver receiver_;
  LookupTicket lookup_;
  LookupTicket peerLookup_;
  Socket socket_;
  ui::WatchId watch_ = 0;
  int state_;
  int countdown_ = -1;
  bool outgoing_;
  bool reconnecting_ = false;  // has failed or been lost once: tries again quietly
  ui::TimerId retryTimer_ = 0;
  int nextPauseMs_ = kTcpRetryFirstMs;  // the next pause before its variation
  int pauseMs_ = 0;
  std::minstd_rand jitter_;
  std::vector<std::uint8_t> output_;
  std::size_t outputStart_ = 0;
  std::size_t droppedFrames_ = 0;
  std::uint64_t bytesReceived_ = 0;
};

// The parts of an outgoing port's device string "host;port": the host up to
// ";" (at most 63 characters), the port up to "#" (at most 11), both without
// surrounding blanks; the port text is empty when the string names none.
struct TcpDevice {
  std::string host;
  std::string portText;
};
TcpDevice ParseTcpDevice(std::string_view device);

// Opens the window of a TCP/IP port and enters it in the port table.
// socketFd: an accepted connection (the window takes it over), or -1 for an
// outgoing connection to the port's device string "host;port" (host at most
// 63 characters up to ";", port at most 11 up to "#"; without a port the
// PORT setting). An outgoing port opens only while the TCP/IP server runs;
// kNoWindow otherwise. `owner` receives the reports until the port has
// opened (none: the task window).
ui::WindowId CreateTcpPortWindow(core::App& app, int port, int socketFd, ui::WindowId owner = ui::kNoWindow);

// Closes a TCP/IP port: its connection is dropped and the port is free.
void CloseTcpPort(core::App& app, ui::WindowId window);

}  // namespace tarvik::devices
