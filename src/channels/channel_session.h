#pragma once
// The rules of a channel session that need no window: reading a connect
// text, choosing the own SSID, assembling received bytes into screen lines,
// the operator's input line with its history and wrapping, the connect path
// through nodes, and the connection log line.
//
// The channel window (channel_window.h) applies these to its controls, its
// receive pane and its link; everything here is plain values in and out, so
// hostile bytes from the air and odd operator input are tested without a
// window.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/address.h"
#include "ax25/channel_table.h"
#include "core/config.h"

namespace tarvik::channels {

// --- connect texts ------------------------------------------------------------
//
// "port:radio channel:CALL (DIGI DIGI) further path items", where the port
// and radio channel (both default 0) and the digipeater list are optional.

inline constexpr std::size_t kCallWordCapacity = 10;  // the call word of a connect text
inline constexpr std::size_t kViaTextCapacity = 64;   // the text inside the parentheses

struct ConnectTarget {
  int port = 0;
  int radioChannel = 0;
  std::string requestedCall;  // the call word as typed, in capitals
  ax25::AddressRecord remote;
  ax25::ViaList via{};
  std::string path;  // what follows the call and its digipeaters
};

// Reads a connect text. Nothing when the call or a digipeater does not
// parse, when a parenthesis is not closed, or when there are more than eight
// digipeaters: such a text is dropped without a message.
std::optional<ConnectTarget> ParseConnectText(std::string_view text);

// The message that refuses a port and radio channel: 0 when both can be
// used, 21 when the port does not exist (has no port window), 22 when the
// radio channel is not configured.
int CheckConnectPort(const core::PortTable& ports, int port, int radioChannel);

// The own SSID for a new connection to `remote`: from `firstSsid` upwards
// (modulo 16) the first one no channel to the same remote station uses as
// its own SSID already.
int ChooseOwnSsid(int firstSsid, const ax25::AddressRecord& remote, const ax25::ChannelTable& table);

// --- received text ----------------------------------------------------------------

inline constexpr std::size_t kLineLimit = 255;  // a screen line never grows longer

// One piece of received text for the screen, in arrival order.
struct ReceivedPiece {
  std::string text;        // bytes to show (still in the line's character set)
  bool continues = false;  // appended to the screen line of the partial line shown before
  bool complete = false;   // ends a line (carriage return or the length limit)
  std::string line;        // complete: the whole line, from its start
};

// Collects received bytes into lines. A line ends at a carriage return or
// when it reaches 255 characters; line feeds and NUL bytes are dropped.
// What is left without a line end is shown at once as a partial line and
// continued on the same screen line by the next piece.
class LineAssembler {
 public:
  std::vector<ReceivedPiece> Take(std::span<const std::uint8_t> bytes);
  // Something else was written to the receive pane after the partial line:
  // its continuation can no longer be appended to that screen line.
  void Interrupted() { partialShown_ = false; }
  const std::string& partial() const { return partial_; }
  bool partialShown() const { return partialShown_; }

 private:
  std::string partial_;  // the line so far (shown or not)
  bool partialShown_ = false;
};

// --- the input line -----------------------------------------------------------------

inline constexpr int kHistorySize = 10;
inline constexpr std::size_t kWrapWindow = 20;  // a wrap looks for a blank this far back

// The last ten lines sent, and the operator's place in them.
class InputHistory {
 public:
  // A sent line becomes the newest entry; the place returns to it.
  void Store(std::string line);
  // Up: the entry at the place, then the place moves one back (from the
  // oldest line sent to the newest).
  const std::string& Up();
  // Down: the place moves one forward (from the newest to the oldest), then
  // its entry.
  const std::string& Down();

 private:
  int Step(int place, int by) const;
  std::array<std::string, kHistorySize> entries_{};
  int newest_ = kHistorySize - 1;
  int place_ = kHistorySize - 1;
  int stored_ = 0;  // lines kept, up to kHistorySize
};

enum class InputKind {
  Text,   // an ordinary line: shown red, kept in the history, sent
  Ui,     // "~": shown blue, sent as a UI frame
  Local,  // "!//": a remote command run locally
};

struct InputAction {
  InputKind kind = InputKind::Text;
  std::string shown;  // what the receive pane shows (and, for Text, the history keeps)
  std::string send;   // what goes to the link before conversion; Local: the command
};

// What Enter does with the input line.
InputAction ClassifyInput(std::string_view line);

struct WrappedInput {
  std::string first;  // handled as if Enter had been pressed
  std::string rest;   // stays in the input line
};
// An input line of `maxLength` − 1 characters or more is wrapped at the last
// blank of its last 20 characters (without one, all of it goes); a UI line's
// rest keeps its "~". Nothing while the line is shorter.
std::optional<WrappedInput> WrapInput(std::string_view text, std::size_t maxLength);

// --- connect paths through nodes ------------------------------------------------------

inline constexpr std::size_t kHopCapacity = 9;  // a call with SSID: "DL1ABC-15"

struct PathStep {
  enum class Kind {
    None,          // nothing to do
    RunScript,     // "@name": run script `text`; the job succeeded
    SendConnect,   // send `text` ("c CALL" and maybe its digipeaters) to the station
    Failed,        // a hop shorter than four characters ended the path
    WrongStation,  // another station answered: message 13 with `text` unless quiet
  } kind = Kind::None;
  std::string text;
  bool quiet = false;  // "#T" in the connect text: no beep, no message
};

// The items of a connect text after the first call, taken one at a time
// whenever the connection is reported up, by the link or by a node.
class ConnectPath {
 public:
  ConnectPath() = default;
  ConnectPath(std::string requestedCall, std::string items, bool quiet);

  // Active from the connect until the path ends one way or the other.
  bool active() const { return active_; }
  const std::string& requestedCall() const { return requested_; }
  // The connection reached `connectedCall`.
  PathStep Connected(std::string_view connectedCall);
  void Drop() { active_ = false; }

 private:
  std::string requested_;
  std::string items_;
  std::size_t next_ = 0;
  bool quiet_ = false;
  bool active_ = false;
};

// The call a node reports in a received line: one of `texts` (the
// configured "[CONNECT]" or "[FAIL]" list) followed by blanks and a call
// that runs to the end of the line (3 to 9 characters above ",", a ":"
// starting it anew). Nothing when the line is no such report.
std::optional<std::string> NodeReportCall(std::string_view line, const core::ConfigList* texts);

// Two call texts name the same station ("DB0ABC" and "db0abc-0" do).
bool SameCall(std::string_view a, std::string_view b);

// --- files of a station and the connection log ------------------------------------------

// The name under which a station's files are kept: the call without SSID
// (at most 8 characters), then "a" + SSID when the call is written with an
// SSID from 0 to 15 ("DL1ABC-2" gives "DL1ABCc").
std::string StationFileName(std::string_view call);

// One line of the connection log: remote call, radio channel, QRG and
// connect time, then the end time (only hour and minute when the day is the
// same) and the remark.
std::string ConnectionLogLine(std::string_view remote, std::string_view radioChannel,
                              std::string_view qrg, std::string_view connectTime,
                              std::string_view endTime, std::string_view remark);

}  // namespace tarvik::channels
