#include "ax25/monitor_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

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

namespace {

// Bytes of a word outside printable ASCII (below 0x20 or above 0x7F).
int OddBytes(std::uint64_t word) {
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  constexpr std::uint64_t kLows = 0x7F7F7F7F7F7F7F7FULL;
  // Bits 5 and 6 both clear: below 0x20 (or 0x80..0x9F, counted anyway).
  const std::uint64_t middle = word & 0x6060606060606060ULL;
  const std::uint64_t middleZero = ~(((middle & kLows) + kLows) | middle) & kHighs;
  // One flag per byte, in its lowest bit, summed into the top byte.
  return static_cast<int>((((word & kHighs) | middleZero) >> 7) * 0x0101010101010101ULL >> 56);
}

std::uint64_t LoadWord(const std::uint8_t* bytes, std::size_t n) {
  std::uint64_t word = 0x4141414141414141ULL;  // printable where no byte is loaded
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, bytes, n);
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      word = (word & ~(std::uint64_t{0xFF} << (8 * i))) | std::uint64_t{bytes[i]} << (8 * i);
    }
  }
  return word;
}

}  // namespace

bool LooksBinary(std::span<const std::uint8_t> info) {
  if (info.size() <= kBinaryProbeMin) return false;
  // Eight bytes at a time: every monitored frame with information passes
  // here.
  int odd = 0;
  for (std::size_t i = 0; i < kBinaryProbe; i += 8) {
    odd += OddBytes(LoadWord(info.data() + i, std::min<std::size_t>(8, kBinaryProbe - i)));
  }
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

namespace {

// An address takes its call and at most "-" and 11 digits (an SSID out of
// range in a built record), a digipeater a blank and "*" more.
constexpr std::size_t kAddressRoom = 16;

// Writes the header into room reserved beforehand (kHeaderRoom), without a
// capacity check per character: every frame the monitor shows passes here.
class HeaderWriter {
 public:
  explicit HeaderWriter(char* at) : at_(at) {}
  char* end() const { return at_; }

  void put(char c) { *at_++ = c; }
  template <std::size_t N>
  void put(const char (&text)[N]) {
    std::memcpy(at_, text, N - 1);
    at_ += N - 1;
  }
  void put(std::string_view text) {
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }
  void number(int value) {
    // Ports, radio channels, SSIDs and sequence numbers: one or two digits.
    if (value >= 0 && value < 100) {
      if (value >= 10) put(static_cast<char>('0' + value / 10));
      put(static_cast<char>('0' + value % 10));
      return;
    }
    char digits[12];
    unsigned v = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    std::size_t n = sizeof digits;
    do {
      digits[--n] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    if (value < 0) digits[--n] = '-';
    put(std::string_view(digits + n, sizeof digits - n));
  }
  void hex2(unsigned value) {
    static constexpr char kHex[] = "0123456789abcdef";
    put(kHex[(value >> 4) & 0xF]);
    put(kHex[value & 0xF]);
  }
  void call(const AddressRecord& address) {
    // The whole room of the call text is copied in one move and the writer
    // steps on by the call's length: the header's room has an address's
    // worth more for each call (kAddressRoom).
    static_assert(sizeof(CallText::Storage) <= kAddressRoom);
    std::memcpy(at_, address.call.data(), sizeof(CallText::Storage));
    at_ += address.call.size();
    if (address.ssid != 0) {
      put('-');
      number(address.ssid);
    }
  }
  // " RR(3)", " I(2,5)": a name and the numbers in brackets.
  template <std::size_t N>
  void numbered(const char (&name)[N], int a) {
    put(name);
    put('(');
    number(a);
    put(')');
  }
  void type(const FrameRecord& f) {
    switch (f.type) {
      case FrameType::I:
        put(" I(");
        number(f.nr);
        put(',');
        number(f.ns);
        put(") Pid ");
        hex2(unsigned{f.pid});
        break;
      case FrameType::RR: numbered(" RR", f.nr); break;
      case FrameType::RNR: numbered(" RNR", f.nr); break;
      case FrameType::REJ: numbered(" REJ", f.nr); break;
      case FrameType::SABM: put(" SABM"); break;
      case FrameType::DISC: put(" DISC"); break;
      case FrameType::DM: put(" DM"); break;
      case FrameType::UA: put(" UA"); break;
      case FrameType::FRMR: put(" FRMR"); break;
      case FrameType::UI:
        put(" UI Pid ");
        hex2(unsigned{f.pid});
        break;
      case FrameType::SIll: put(" ***SILL***"); break;
      case FrameType::UIll: put(" ***UILL***"); break;
      case FrameType::None: break;  // never decoded or built: nothing to name
    }
  }

 private:
  char* at_;
};

// Ports, separators, " to ", "  via", the type, numbers, marks.
constexpr std::size_t kFixedRoom = 128;

// The most a header takes: the fixed part and ten addresses.
constexpr std::size_t kHeaderRoom = kFixedRoom + (2 + kMaxVia) * (CallText::kCapacity + kAddressRoom);

}  // namespace

void AppendMonitorHeader(const FrameRecord& frame, std::string& out) {
  const std::size_t vias = ViaCount(frame.via);
  // Written on the stack, then appended: no clearing of room beforehand.
  std::array<char, kHeaderRoom> room;
  HeaderWriter w(room.data());
  w.number(frame.port);
  w.put(':');
  w.number(frame.radioChannel & 0x0F);
  w.put(':');
  w.call(frame.source);
  w.put(" to ");
  w.call(frame.destination);
  if (vias > 0) {
    w.put("  via");
    for (std::size_t i = 0; i < vias; ++i) {
      w.put(' ');
      w.call(frame.via[i]);
      if (frame.via[i].cbit) w.put('*');
    }
  }
  w.type(frame);
  const char* mark = CrPfMark(frame.crpf);
  if (mark == nullptr) {
    w.put(" Old Version");
  } else {
    w.put(std::string_view(mark, 2));
    if (frame.type == FrameType::I && !frame.info.empty()) {
      w.put(" [");
      w.number(frame.infoLength());
      w.put(']');
    }
    if (frame.dama) w.put(" [DAMA]");
  }
  out.append(room.data(), static_cast<std::size_t>(w.end() - room.data()));
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
