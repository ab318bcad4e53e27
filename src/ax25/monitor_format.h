#pragma once
// Monitor text of a frame: what the monitor window shows of every frame the
// program receives or sends.
//
// A frame becomes one header line (ports, addresses, digipeaters, frame
// type, command/response mark, length, DAMA) and then its information
// field: the decoded reason of an FRMR, one "...BIN..." line for binary
// data, or the text cut into lines at carriage returns and after 127
// characters. The filters of the monitor decide first whether a frame is
// shown at all. Everything here only reads the frame; the bytes come from
// other stations and may be anything.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/frame.h"

namespace tarvik::ax25 {

// The monitor's three switches.
struct MonitorFilter {
  bool iOnly = false;    // IONLY: I frames only
  bool ownOnly = false;  // OONLY: only frames from or to the own call
  bool noBin = true;     // NOBIN: binary information as one marker line
};

// True when the filters let the frame through. With ownOnly the call text
// of source or destination must equal ownCall; SSIDs are not compared, so
// ownCall is the call without SSID (an SSID given in it is ignored).
bool MonitorAccepts(const FrameRecord& frame, const MonitorFilter& filter,
                    std::string_view ownCall);

enum class MonitorLineKind {
  Header,  // shown in the colour of the frame's direction
  Info,    // information and the FRMR reason, shown in black
};

struct MonitorLine {
  MonitorLineKind kind;
  std::string text;
  friend bool operator==(const MonitorLine&, const MonitorLine&) = default;
};

// Longest information line; longer runs without carriage return continue
// on the next line.
inline constexpr std::size_t kMonitorLineWidth = 127;

// The header line, e.g. "0:1:DL1ABC to DB0XYZ-2  via DB0RPT* I(3,5) Pid f0 C [12]".
// A frame of the old protocol version ends with " Old Version".
std::string MonitorHeader(const FrameRecord& frame);

// Short form of a control byte followed by one blank, as in the FRMR line:
// "I(2,5) ", "RR(0) ", "SABM ", "U-ILL ".
std::string ControlShortForm(std::uint8_t control);

// The second line of an FRMR: "01 5A 01  Error in Frame RR(0)  M DXE: R(2) S(5) W.invalid CTL Field".
// With fewer than three bytes only what the bytes present say is decoded;
// bytes after the third are not looked at.
std::string FrmrLine(std::span<const std::uint8_t> info);

// The information lines of a frame (empty when it has no information).
std::vector<std::string> MonitorInfoLines(const FrameRecord& frame, bool noBin);

// All lines the monitor shows of the frame, header first. A frame of the
// old protocol version shows its header only.
std::vector<MonitorLine> MonitorLines(const FrameRecord& frame, bool noBin);

// The same lines one by one, for the monitor that shows every frame: the
// header is appended to `scratch` (cleared by the caller, so it may put a
// prefix first), text lines are views into the frame's information field.
// Calls onLine(kind, text); the text is valid during the call only.
void AppendMonitorHeader(const FrameRecord& frame, std::string& out);
bool HasProtocolMark(const FrameRecord& frame);
template <class OnLine>
void ForEachInfoLine(const FrameRecord& frame, bool noBin, std::string& scratch, OnLine&& onLine);
template <class OnLine>
void ForEachMonitorLine(const FrameRecord& frame, bool noBin, std::string& scratch, OnLine&& onLine) {
  AppendMonitorHeader(frame, scratch);
  onLine(MonitorLineKind::Header, std::string_view(scratch));
  if (HasProtocolMark(frame)) ForEachInfoLine(frame, noBin, scratch, onLine);
}

// --- details of ForEachInfoLine -------------------------------------------------

// Information longer than kBinaryProbeMin is tested for binary content on
// its first kBinaryProbe bytes; with more than kBinaryLimit of them outside
// printable ASCII the field is taken as binary.
bool LooksBinary(std::span<const std::uint8_t> info);

// Text cut into lines: leading carriage returns skipped, a line ends at a
// carriage return (a line feed right after it is dropped) or after
// kMonitorLineWidth characters; empty lines are not shown.
template <class OnText>
void ForEachTextLine(std::span<const std::uint8_t> info, OnText&& onText) {
  const char* const data = reinterpret_cast<const char*>(info.data());
  const std::size_t size = info.size();
  std::size_t i = 0;
  while (i < size && data[i] == '\r') ++i;
  while (i < size) {
    const std::size_t room = std::min(size - i, kMonitorLineWidth);
    const void* cr = std::memchr(data + i, '\r', room);
    if (cr == nullptr) {
      // No carriage return within a line's width: a full line, or the rest.
      onText(std::string_view(data + i, room));
      i += room;
      continue;
    }
    const auto end = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
    if (end > i) onText(std::string_view(data + i, end - i));
    i = end + 1;
    if (i < size && data[i] == '\n') ++i;
  }
}

template <class OnLine>
void ForEachInfoLine(const FrameRecord& frame, bool noBin, std::string& scratch, OnLine&& onLine) {
  const std::span<const std::uint8_t> info(frame.info);
  if (info.empty()) return;
  if (frame.type == FrameType::FRMR) {
    scratch = FrmrLine(info);
    onLine(MonitorLineKind::Info, std::string_view(scratch));
  } else if (noBin && LooksBinary(info)) {
    onLine(MonitorLineKind::Info, std::string_view("...BIN..."));
  } else {
    ForEachTextLine(info, [&onLine](std::string_view text) { onLine(MonitorLineKind::Info, text); });
  }
}

}  // namespace tarvik::ax25
