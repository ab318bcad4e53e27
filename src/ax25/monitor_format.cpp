#include "ax25/monitor_format.h"

#include <algorithm>
#include <cstdio>

namespace tarvik::ax25 {

namespace {

constexpr std::size_t kBinaryProbeMin = 20;
constexpr std::size_t kBinaryProbe = 20;
constexpr int kBinaryLimit = 5;

template <class... Args>
void AppendF(std::string& out, const char* format, Args... args) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, format, args...);
  if (n > 0) out.append(buf, std::min(static_cast<std::size_t>(n), sizeof buf - 1));
}

// Every frame the monitor shows passes here: numbers are appended without
// the printf machinery.
void AppendInt(std::string& out, int value) {
  char digits[12];
  unsigned v = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  std::size_t n = sizeof digits;
  do {
    digits[--n] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (value < 0) digits[--n] = '-';
  out.append(digits + n, sizeof digits - n);
}

void AppendHex2(std::string& out, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

// " RR(3)", " I(2,5)": a name and the numbers in brackets.
void AppendNumbered(std::string& out, const char* name, int a, int b = -1) {
  out += name;
  out += '(';
  AppendInt(out, a);
  if (b >= 0) {
    out += ',';
    AppendInt(out, b);
  }
  out += ')';
}

void AppendType(std::string& out, const FrameRecord& f) {
  switch (f.type) {
    case FrameType::I:
      AppendNumbered(out, " I", f.nr, f.ns);
      out += " Pid ";
      AppendHex2(out, unsigned{f.pid});
      break;
    case FrameType::RR: AppendNumbered(out, " RR", f.nr); break;
    case FrameType::RNR: AppendNumbered(out, " RNR", f.nr); break;
    case FrameType::REJ: AppendNumbered(out, " REJ", f.nr); break;
    case FrameType::SABM: out += " SABM"; break;
    case FrameType::DISC: out += " DISC"; break;
    case FrameType::DM: out += " DM"; break;
    case FrameType::UA: out += " UA"; break;
    case FrameType::FRMR: out += " FRMR"; break;
    case FrameType::UI:
      out += " UI Pid ";
      AppendHex2(out, unsigned{f.pid});
      break;
    case FrameType::SIll: out += " ***SILL***"; break;
    case FrameType::UIll: out += " ***UILL***"; break;
    case FrameType::None: break;  // never decoded or built: nothing to name
  }
}

// The command/response mark; null for the old protocol version.
const char* CrPfMark(CrPf crpf) {
  switch (crpf) {
    case CrPf::Response: return " M";
    case CrPf::Command: return " C";
    case CrPf::CommandPoll: return " P";
    case CrPf::ResponseFinal: return " F";
    default: return nullptr;
  }
}

std::string_view BaseCall(std::string_view call) {
  const std::size_t dash = call.find('-');
  return dash == std::string_view::npos ? call : call.substr(0, dash);
}

}  // namespace

bool LooksBinary(std::span<const std::uint8_t> info) {
  if (info.size() <= kBinaryProbeMin) return false;
  int odd = 0;
  for (std::size_t i = 0; i < kBinaryProbe; ++i)
    if (info[i] < 0x20 || info[i] > 0x7F) ++odd;
  return odd > kBinaryLimit;
}

bool MonitorAccepts(const FrameRecord& frame, const MonitorFilter& filter,
                    std::string_view ownCall) {
  if (filter.ownOnly) {
    const std::string_view own = BaseCall(ownCall);
    if (frame.source.call != own && frame.destination.call != own) return false;
  }
  if (filter.iOnly && frame.type != FrameType::I) return false;
  return true;
}

bool HasProtocolMark(const FrameRecord& frame) { return CrPfMark(frame.crpf) != nullptr; }

std::string MonitorHeader(const FrameRecord& frame) {
  std::string out;
  out.reserve(96);
  AppendMonitorHeader(frame, out);
  return out;
}

void AppendMonitorHeader(const FrameRecord& frame, std::string& out) {
  AppendInt(out, frame.port);
  out += ':';
  AppendInt(out, frame.radioChannel & 0x0F);
  out += ':';
  FormatCall(frame.source, out);
  out += " to ";
  FormatCall(frame.destination, out);
  const std::size_t vias = ViaCount(frame.via);
  if (vias > 0) {
    out += "  via";
    for (std::size_t i = 0; i < vias; ++i) {
      out += ' ';
      FormatCall(frame.via[i], out);
      if (frame.via[i].cbit) out += '*';
    }
  }
  AppendType(out, frame);
  const char* mark = CrPfMark(frame.crpf);
  if (mark == nullptr) {
    out += " Old Version";
    return;
  }
  out += mark;
  if (frame.type == FrameType::I && !frame.info.empty()) {
    out += " [";
    AppendInt(out, frame.infoLength());
    out += ']';
  }
  if (frame.dama) out += " [DAMA]";
}

std::string ControlShortForm(std::uint8_t control) {
  std::string out;
  const int high = (control >> 5) & 7;
  if ((control & 0x01) == 0) {
    AppendF(out, "I(%d,%d)", high, (control >> 1) & 7);
  } else if ((control & 0x03) == 0x01) {
    static constexpr const char* kNames[] = {"RR", "RNR", "REJ", "S-ILL"};
    out += kNames[(control >> 2) & 3];
    AppendF(out, "(%d)", high);
  } else {
    switch (control & 0xEF) {
      case 0x03: out += "UI"; break;
      case 0x0F: out += "DM"; break;
      case 0x2F: out += "SABM"; break;
      case 0x43: out += "DISC"; break;
      case 0x63: out += "UA"; break;
      case 0x87: out += "FRMR"; break;
      default: out += "U-ILL"; break;
    }
  }
  out += ' ';
  return out;
}

std::string FrmrLine(std::span<const std::uint8_t> info) {
  const std::size_t n = info.size() < 3 ? info.size() : 3;
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    AppendF(out, "%02X", unsigned{info[i]});
  }
  out += "  Error in Frame ";
  if (n >= 1) out += ControlShortForm(info[0]);
  if (n >= 2) {
    const std::uint8_t v = info[1];
    out += (v & 0x10) ? " M" : " C";
    AppendF(out, " DXE: R(%d) S(%d)", (v >> 5) & 7, (v >> 1) & 7);
  }
  if (n >= 3) {
    const std::uint8_t w = info[2];
    if (w & 0x08) out += " Z.invalid N(R)";
    if (w & 0x04) out += " Y.I-Frame too long";
    if (w & 0x01) out += " W.invalid CTL Field";
    if (w & 0x02) out += " X.unexpected I-Field";
  }
  return out;
}

std::vector<std::string> MonitorInfoLines(const FrameRecord& frame, bool noBin) {
  std::vector<std::string> lines;
  std::string scratch;
  ForEachInfoLine(frame, noBin, scratch,
                  [&lines](MonitorLineKind, std::string_view text) { lines.emplace_back(text); });
  return lines;
}

std::vector<MonitorLine> MonitorLines(const FrameRecord& frame, bool noBin) {
  std::vector<MonitorLine> lines;
  std::string scratch;
  ForEachMonitorLine(frame, noBin, scratch, [&lines](MonitorLineKind kind, std::string_view text) {
    lines.push_back({kind, std::string(text)});
  });
  return lines;
}

}  // namespace tarvik::ax25
