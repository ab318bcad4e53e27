// Monitor text: frames in, header and information lines out, byte for byte.

#include "ax25/monitor_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ax25/frame_codec.h"

namespace tarvik::ax25 {
namespace {

AddressRecord Call(const char* text) { return ParseCall(text).value(); }

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// A frame from DL1ABC to DB0XYZ-2 on port 0, radio channel 1, as the
// decoder or BuildFrame would leave it.
FrameRecord Frame(FrameType type, CrPf crpf, int nr = 0, int ns = 0,
                  std::vector<std::uint8_t> info = {}) {
  return BuildFrame(0, 1, false, Call("DB0XYZ-2"), Call("DL1ABC"), ViaList{}, type, crpf,
                    kPidNoLayer3, nr, ns, info);
}

struct HeaderCase {
  FrameType type;
  CrPf crpf;
  int nr, ns;
  std::size_t infoLength;
  const char* expected;
};

TEST(MonitorHeader, EveryFrameTypeAndMark) {
  const std::vector<HeaderCase> cases = {
      {FrameType::I, CrPf::Command, 3, 5, 12, "0:1:DL1ABC to DB0XYZ-2 I(3,5) Pid f0 C [12]"},
      {FrameType::I, CrPf::CommandPoll, 0, 7, 1, "0:1:DL1ABC to DB0XYZ-2 I(0,7) Pid f0 P [1]"},
      {FrameType::I, CrPf::Command, 1, 2, 0, "0:1:DL1ABC to DB0XYZ-2 I(1,2) Pid f0 C"},
      {FrameType::RR, CrPf::Response, 4, 0, 0, "0:1:DL1ABC to DB0XYZ-2 RR(4) M"},
      {FrameType::RR, CrPf::CommandPoll, 7, 0, 0, "0:1:DL1ABC to DB0XYZ-2 RR(7) P"},
      {FrameType::RNR, CrPf::ResponseFinal, 2, 0, 0, "0:1:DL1ABC to DB0XYZ-2 RNR(2) F"},
      {FrameType::REJ, CrPf::Response, 6, 0, 0, "0:1:DL1ABC to DB0XYZ-2 REJ(6) M"},
      {FrameType::SABM, CrPf::CommandPoll, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 SABM P"},
      {FrameType::DISC, CrPf::CommandPoll, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 DISC P"},
      {FrameType::DM, CrPf::ResponseFinal, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 DM F"},
      {FrameType::UA, CrPf::ResponseFinal, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 UA F"},
      {FrameType::FRMR, CrPf::Response, 0, 0, 3, "0:1:DL1ABC to DB0XYZ-2 FRMR M"},
      // Only I frames carry their length in the header.
      {FrameType::UI, CrPf::Command, 0, 0, 5, "0:1:DL1ABC to DB0XYZ-2 UI Pid f0 C"},
      {FrameType::SIll, CrPf::Command, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 ***SILL*** C"},
      {FrameType::UIll, CrPf::Response, 0, 0, 0, "0:1:DL1ABC to DB0XYZ-2 ***UILL*** M"},
  };
  for (const HeaderCase& c : cases) {
    FrameRecord f = Frame(c.type, c.crpf, c.nr, c.ns, std::vector<std::uint8_t>(c.infoLength, 'x'));
    f.type = c.type;  // BuildFrame has no control pattern for the ILL types
    EXPECT_EQ(MonitorHeader(f), c.expected);
  }
}

TEST(MonitorHeader, PortsDigipeatersDamaAndPid) {
  // The received I frame of the monitor's own example: via a repeated digipeater.
  FrameRecord f = Frame(FrameType::I, CrPf::Command, 3, 5, std::vector<std::uint8_t>(12, 'a'));
  f.via[0] = Call("DB0RPT");
  f.via[0].cbit = true;
  EXPECT_EQ(MonitorHeader(f), "0:1:DL1ABC to DB0XYZ-2  via DB0RPT* I(3,5) Pid f0 C [12]");

  // Two digipeaters, only the first repeated; a foreign PID; DAMA; port 15,
  // radio channel shown from its low four bits.
  f.via[1] = Call("DB0ZZZ-15");
  f.pid = 0xCF;
  f.dama = true;
  f.port = 15;
  f.radioChannel = 0x14;
  EXPECT_EQ(MonitorHeader(f),
            "15:4:DL1ABC to DB0XYZ-2  via DB0RPT* DB0ZZZ-15 I(3,5) Pid cf C [12] [DAMA]");

  // Eight digipeaters, all repeated.
  FrameRecord u = Frame(FrameType::UI, CrPf::Command);
  for (std::size_t i = 0; i < kMaxVia; ++i) {
    u.via[i] = Call(("D" + std::to_string(i)).c_str());
    u.via[i].cbit = true;
  }
  EXPECT_EQ(MonitorHeader(u),
            "0:1:DL1ABC to DB0XYZ-2  via D0* D1* D2* D3* D4* D5* D6* D7* UI Pid f0 C");
}

TEST(MonitorLines, OldVersionShowsTheHeaderOnly) {
  FrameRecord f = Frame(FrameType::I, CrPf::Command, 1, 1, Bytes("hello\r"));
  f.crpf = CrPf::OldVersion;
  f.dama = true;
  const std::vector<MonitorLine> lines = MonitorLines(f, true);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "0:1:DL1ABC to DB0XYZ-2 I(1,1) Pid f0 Old Version");
  EXPECT_EQ(lines[0].kind, MonitorLineKind::Header);
}

TEST(MonitorLines, DecodedFromTheAir) {
  // KISS byte, destination DB0XYZ-2 (C/R 1), source DL1ABC (C/R 0, end),
  // SABM with poll: the monitor shows what the decoder made of the bytes.
  const std::vector<std::uint8_t> raw = {
      0x10, 'D' << 1, 'B' << 1, '0' << 1, 'X' << 1, 'Y' << 1, 'Z' << 1, 0xE4,
      'D' << 1, 'L' << 1, '1' << 1, 'A' << 1, 'B' << 1, 'C' << 1, 0x61, 0x3F};
  const std::optional<FrameRecord> f = DecodeFrame(3, raw);
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(MonitorLines(*f, true),
            (std::vector<MonitorLine>{{MonitorLineKind::Header, "3:1:DL1ABC to DB0XYZ-2 SABM P"}}));
}

struct FrmrCase {
  std::vector<std::uint8_t> info;
  const char* expected;
};

TEST(MonitorInfo, FrmrReasons) {
  const std::vector<FrmrCase> cases = {
      {{0x01, 0x5A, 0x01}, "01 5A 01  Error in Frame RR(0)  M DXE: R(2) S(5) W.invalid CTL Field"},
      {{0xA4, 0x00, 0x0F},
       "A4 00 0F  Error in Frame I(5,2)  C DXE: R(0) S(0) Z.invalid N(R) Y.I-Frame too long"
       " W.invalid CTL Field X.unexpected I-Field"},
      {{0x3F, 0xEE, 0x02}, "3F EE 02  Error in Frame SABM  C DXE: R(7) S(7) X.unexpected I-Field"},
      {{0x05, 0x10, 0x00}, "05 10 00  Error in Frame RNR(0)  M DXE: R(0) S(0)"},
      {{0x29, 0x00, 0x00}, "29 00 00  Error in Frame REJ(1)  C DXE: R(0) S(0)"},
      {{0xED, 0x00, 0x00}, "ED 00 00  Error in Frame S-ILL(7)  C DXE: R(0) S(0)"},
      {{0x13, 0x00, 0x00}, "13 00 00  Error in Frame UI  C DXE: R(0) S(0)"},
      {{0x1F, 0x00, 0x00}, "1F 00 00  Error in Frame DM  C DXE: R(0) S(0)"},
      {{0x43, 0x00, 0x00}, "43 00 00  Error in Frame DISC  C DXE: R(0) S(0)"},
      {{0x73, 0x00, 0x00}, "73 00 00  Error in Frame UA  C DXE: R(0) S(0)"},
      {{0x87, 0x00, 0x00}, "87 00 00  Error in Frame FRMR  C DXE: R(0) S(0)"},
      {{0xFF, 0x00, 0x00}, "FF 00 00  Error in Frame U-ILL  C DXE: R(0) S(0)"},
      // Short fields from a faulty station: what is there is decoded, nothing is read beyond.
      {{0x01, 0x5A}, "01 5A  Error in Frame RR(0)  M DXE: R(2) S(5)"},
      {{0x2F}, "2F  Error in Frame SABM "},
      // Bytes after the third are not part of the reason.
      {{0x01, 0x5A, 0x01, 0xFF}, "01 5A 01  Error in Frame RR(0)  M DXE: R(2) S(5) W.invalid CTL Field"},
  };
  for (const FrmrCase& c : cases) {
    const FrameRecord f = Frame(FrameType::FRMR, CrPf::Response, 0, 0, c.info);
    const std::vector<MonitorLine> lines = MonitorLines(f, true);
    ASSERT_EQ(lines.size(), 2u) << c.expected;
    EXPECT_EQ(lines[1], (MonitorLine{MonitorLineKind::Info, c.expected}));
  }
  // An FRMR without information shows its header only.
  EXPECT_EQ(MonitorLines(Frame(FrameType::FRMR, CrPf::Response), true).size(), 1u);
}

struct InfoCase {
  const char* name;
  std::string info;
  bool noBin;
  std::vector<std::string> expected;
};

TEST(MonitorInfo, TextLinesAndBinaryMarker) {
  const std::string sixControls = std::string("\x01\x02\x03\x04\x05\x06", 6) + std::string(24, 'a');
  const std::string fiveControls = std::string("\x01\x02\x03\x04\x05", 5) + std::string(25, 'a');
  const std::string highBytes = std::string(6, '\xE4') + std::string(15, 'b');  // 21 bytes
  const std::string twentyOdd(20, '\x01');                                      // only 20 bytes
  const std::string lateBinary = std::string(20, 'a') + std::string(10, '\x01');
  const std::string del = std::string(6, '\x7F') + std::string(15, 'c');        // 0x7F is not counted
  const std::string tailOdd = std::string(14, 'a') + std::string(3, '\x1F') + "\x80\x9F\xFF" + "z";
  const std::string blanks = std::string(20, ' ') + "x";  // 0x20 is text
  const std::vector<InfoCase> cases = {
      {"one line", "Hello\r", true, {"Hello"}},
      {"no final CR", "Hello", true, {"Hello"}},
      {"CR LF and lone LF", "one\r\ntwo\nthree\rfour", true, {"one", "two\nthree", "four"}},
      {"leading and repeated CRs", "\r\r\rA\r\r\rB\r", true, {"A", "B"}},
      {"CR LF LF", "A\r\n\nB", true, {"A", "\nB"}},
      {"only CRs", "\r\r", true, {}},
      {"six controls", sixControls, true, {"...BIN..."}},
      {"six controls, NOBIN off", sixControls, false, {sixControls}},
      {"five controls", fiveControls, true, {fiveControls}},
      {"8-bit bytes count", highBytes, true, {"...BIN..."}},
      {"20 bytes are never binary", twentyOdd, true, {twentyOdd}},
      {"only the first 20 bytes count", lateBinary, true, {lateBinary}},
      {"DEL is text", del, true, {del}},
      {"odd bytes at the end of the probe", tailOdd, true, {"...BIN..."}},
      {"blanks are text", blanks, true, {blanks}},
  };
  for (const InfoCase& c : cases) {
    const FrameRecord f = Frame(FrameType::I, CrPf::Command, 0, 0, Bytes(c.info));
    EXPECT_EQ(MonitorInfoLines(f, c.noBin), c.expected) << c.name;
  }
}

TEST(MonitorInfo, LongLinesFoldAfter127Characters) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('A' + i % 26);
  FrameRecord f = Frame(FrameType::UI, CrPf::Command, 0, 0, Bytes(text));
  const std::vector<std::string> lines = MonitorInfoLines(f, true);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], text.substr(0, 127));
  EXPECT_EQ(lines[1], text.substr(127, 127));
  EXPECT_EQ(lines[2], text.substr(254));
  EXPECT_EQ(lines[2].size(), 46u);

  // Exactly 127 characters and a CR: one line, no empty one after it.
  f.info = Bytes(text.substr(0, 127) + "\r" + "x");
  EXPECT_EQ(MonitorInfoLines(f, true), (std::vector<std::string>{text.substr(0, 127), "x"}));

  // A CR restarts the count.
  f.info = Bytes(text.substr(0, 100) + "\r" + text.substr(0, 127) + "y");
  EXPECT_EQ(MonitorInfoLines(f, true),
            (std::vector<std::string>{text.substr(0, 100), text.substr(0, 127), "y"}));
}

TEST(MonitorLines, HeaderThenInfoKinds) {
  const FrameRecord f = Frame(FrameType::I, CrPf::CommandPoll, 2, 1, Bytes("a\rb\r"));
  EXPECT_EQ(MonitorLines(f, true),
            (std::vector<MonitorLine>{
                {MonitorLineKind::Header, "0:1:DL1ABC to DB0XYZ-2 I(2,1) Pid f0 P [4]"},
                {MonitorLineKind::Info, "a"},
                {MonitorLineKind::Info, "b"}}));
}

struct FilterCase {
  const char* name;
  const char* source;
  const char* destination;
  const char* via;
  FrameType type;
  MonitorFilter filter;
  bool shown;
};

TEST(MonitorFilter, IOnlyAndOwnOnly) {
  const MonitorFilter none{false, false, true};
  const MonitorFilter iOnly{true, false, true};
  const MonitorFilter own{false, true, true};
  const MonitorFilter both{true, true, true};
  const std::vector<FilterCase> cases = {
      {"no filter", "DB1AA", "DB2BB", "", FrameType::RR, none, true},
      {"IONLY drops RR", "DB1AA", "DB2BB", "", FrameType::RR, iOnly, false},
      {"IONLY drops UI", "DB1AA", "DB2BB", "", FrameType::UI, iOnly, false},
      {"IONLY keeps I", "DB1AA", "DB2BB", "", FrameType::I, iOnly, true},
      {"OONLY: own source", "DL1ABC", "DB2BB", "", FrameType::UA, own, true},
      {"OONLY: own destination, other SSID", "DB2BB", "DL1ABC-7", "", FrameType::SABM, own, true},
      {"OONLY: others", "DB1AA", "DB2BB", "", FrameType::I, own, false},
      {"OONLY: own call only as digipeater", "DB1AA", "DB2BB", "DL1ABC", FrameType::I, own, false},
      {"OONLY: a longer call is not the own", "DL1ABCD", "DB2BB", "", FrameType::I, own, false},
      {"both: own RR", "DL1ABC", "DB2BB", "", FrameType::RR, both, false},
      {"both: own I", "DB2BB", "DL1ABC", "", FrameType::I, both, true},
  };
  for (const FilterCase& c : cases) {
    FrameRecord f = Frame(c.type, CrPf::Command);
    f.source = Call(c.source);
    f.destination = Call(c.destination);
    if (*c.via) f.via[0] = Call(c.via);
    // The own call as MYCALL gives it, with its SSID: the SSID is not compared.
    EXPECT_EQ(MonitorAccepts(f, c.filter, "DL1ABC-3"), c.shown) << c.name;
  }
}

}  // namespace
}  // namespace tarvik::ax25
