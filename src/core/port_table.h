#pragma once
// The fixed table of the 16 ports (0..15) and the link parameters of their
// radio channels (0..7). The INI file fills the configured fields at start;
// port drivers enter their window handles while they run; everything else
// addresses a port only by its number.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/toolkit/event.h"

namespace tarvik::core {

inline constexpr int kPortCount = 16;
inline constexpr int kRadioChannelCount = 8;

// Protocol codes kept in memory; the INI file holds their names.
inline constexpr std::int16_t kProtocolNone = 0;  // transparent data
inline constexpr std::int16_t kProtocolKiss = 1;
inline constexpr std::int16_t kProtocolSmack = 2;
inline constexpr std::int16_t kProtocolHost = 3;
inline constexpr std::int16_t kProtocolRmnc = 4;

// Device type codes; a port of type 0 is configured but never opened.
inline constexpr std::int16_t kDevTypeNone = 0;
inline constexpr std::int16_t kDevTypeTnc = 1;
inline constexpr std::int16_t kDevTypeCom = 2;
inline constexpr std::int16_t kDevTypeTcpIp = 3;

// Capacities: the number of characters a field keeps.
inline constexpr std::size_t kChannelTitleCapacity = 11;
inline constexpr std::size_t kChannelQrgCapacity = 11;
inline constexpr std::size_t kPortTitleCapacity = 31;
inline constexpr std::size_t kPortDeviceCapacity = 63;
inline constexpr std::size_t kIniTextCapacity = 399;

// What the driver of an open port knows of its line. A driver that tells
// nothing leaves its port up.
enum class PortState : std::int8_t {
  Up,          // frames go out
  Connecting,  // the port's first connection is being made; frames wait for it
  Down,        // the line or connection is lost: frames are dropped, not sent
};

// "KISS" = 1, "SMACK" = 2, "HOST" = 3, "RMNC" = 4, anything else 0.
std::int16_t ProtocolFromName(std::string_view name);
// "TNC" = 1, "COM" = 2, "TCPIP" = 3, anything else 0.
std::int16_t DevTypeFromName(std::string_view name);

// Link parameters of one radio channel. A radio channel is configured exactly
// when its window is above 0.
struct ChannelParams {
  std::string title;  // TITLE
  std::string qrg;    // QRG: frequency label
  std::int16_t window = 0;
  std::int16_t paclen = 0;
  std::int16_t t1 = 0;
  std::int16_t t2 = 0;
  std::int16_t t2dama = 0;
  std::int16_t t3 = 0;
  std::int16_t l2f = 0;  // tenths, applied to the timers on digipeated paths
  std::int16_t retry = 0;
  std::int16_t txdelay = 0;
  std::int16_t txtail = 0;
  std::int16_t persist = 0;
  std::int16_t slottime = 0;
  // The link layer's view of the air: BAUD, the radio channel's bit rate
  // (0: 1200), and LINKRULES (0: the link adapts to the airtime of its
  // frames; 1: the plain rules, timers counted from handing frames over).
  std::int16_t baud = 0;
  std::int16_t linkRules = 0;

  bool configured() const { return window > 0; }
  friend bool operator==(const ChannelParams&, const ChannelParams&) = default;
};

struct PortRecord {
  // The port window driving the port while it is open; kNoWindow while closed.
  ui::WindowId portWindow = ui::kNoWindow;
  // The link window of a transparent link currently using the port.
  ui::WindowId transparentLink = ui::kNoWindow;
  std::string iniText;    // sent when the port opens; CR LF between lines
  std::string deiniText;  // sent when the port closes
  std::array<ChannelParams, kRadioChannelCount> channels{};
  std::string title;
  std::string device;  // empty: the port is not configured and never opened
  std::int16_t protocol = kProtocolNone;
  std::int16_t devType = kDevTypeNone;
  std::int16_t mark = 0;  // working mark of the connection manager
  // Entered by the port's driver (core::SetPortState) while its window is
  // open; frames handed to a port that is down are counted, not sent.
  PortState state = PortState::Up;
  std::chrono::system_clock::time_point downSince{};  // when the port was last lost (toolkit clock)
  std::uint64_t framesDropped = 0;

  bool open() const { return portWindow != ui::kNoWindow; }
  // The state the operator sees: a closed port is down.
  PortState shownState() const { return open() ? state : PortState::Down; }
  // Frames given to the port go out (or wait for its first connection).
  bool takesFrames() const { return open() && state != PortState::Down; }
  // Configured: it has a device, or it was taken by an incoming connection.
  bool configured() const { return !device.empty(); }
};

class PortTable {
 public:
  static bool IsValidPort(int port) { return port >= 0 && port < kPortCount; }

  // `port` must be valid (IsValidPort).
  PortRecord& operator[](int port) { return ports_[static_cast<std::size_t>(port)]; }
  const PortRecord& operator[](int port) const { return ports_[static_cast<std::size_t>(port)]; }

  // Null for port numbers outside 0..15.
  PortRecord* Find(int port) { return IsValidPort(port) ? &(*this)[port] : nullptr; }
  const PortRecord* Find(int port) const { return IsValidPort(port) ? &(*this)[port] : nullptr; }

  // The lowest port number whose port window is none; nothing when every
  // port is open.
  std::optional<int> FindFreePort() const;

  // Back to the zero-filled state of a fresh table.
  void Clear() { ports_ = {}; }

  auto begin() { return ports_.begin(); }
  auto end() { return ports_.end(); }
  auto begin() const { return ports_.begin(); }
  auto end() const { return ports_.end(); }
  static constexpr std::size_t size() { return kPortCount; }

 private:
  std::array<PortRecord, kPortCount> ports_{};
};

}  // namespace tarvik::core
