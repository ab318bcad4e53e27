// The session rules of a channel without a window: connect texts, the own
// SSID, received line assembly, the input line, connect paths through
// nodes, station file names and the connection log line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/channel_session.h"

namespace tarvik::channels {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// --- connect texts -----------------------------------------------------------------

struct ConnectCase {
  const char* text;
  bool parses;
  int port, radioChannel;
  const char* remote;
  std::vector<std::string> via;
  const char* path;
};

TEST(ConnectText, Table) {
  const ConnectCase cases[] = {
      {"1:2:DB0ABC-3 (DB0RPT DB0XX)", true, 1, 2, "DB0ABC-3", {"DB0RPT", "DB0XX"}, ""},
      {"DB0ABC", true, 0, 0, "DB0ABC", {}, ""},
      {"  db0abc-7", true, 0, 0, "DB0ABC-7", {}, ""},
      {"17:DB0ABC", true, 17, 0, "DB0ABC", {}, ""},
      {"3:DB0ABC", true, 3, 0, "DB0ABC", {}, ""},
      {"DB0ABC(DB0RPT)", true, 0, 0, "DB0ABC", {"DB0RPT"}, ""},
      {"DB0NOD DL1ABC (DB0DIG) @mail", true, 0, 0, "DB0NOD", {}, "DL1ABC (DB0DIG) @mail"},
      {"DB0NOD (DB0RPT) DL1ABC #T", true, 0, 0, "DB0NOD", {"DB0RPT"}, "DL1ABC #T"},
      // A ":" in a later path item is a node alias, not a port.
      {"DB0NOD DB0X:DL1ABC", true, 0, 0, "DB0NOD", {}, "DB0X:DL1ABC"},
      {"", false, 0, 0, "", {}, ""},
      {"1:2:", false, 0, 0, "", {}, ""},
      {"DB0ABC (DB0RPT", false, 0, 0, "", {}, ""},
      {"DB0ABC (DB0RPT D!G)", false, 0, 0, "", {}, ""},
      {"DB0ABC (A1 A2 A3 A4 A5 A6 A7 A8 A9)", false, 0, 0, "", {}, ""},
      {"DB0ABC-16", false, 0, 0, "", {}, ""},
      {"D#0ABC", false, 0, 0, "", {}, ""},
      {"DL1ABCDEFGHIJ", false, 0, 0, "", {}, ""},
  };
  for (const ConnectCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto t = ParseConnectText(c.text);
    ASSERT_EQ(t.has_value(), c.parses);
    if (!t) continue;
    EXPECT_EQ(t->port, c.port);
    EXPECT_EQ(t->radioChannel, c.radioChannel);
    EXPECT_EQ(ax25::FormatCall(t->remote), c.remote);
    std::vector<std::string> via;
    for (const auto& d : t->via)
      if (!d.empty()) via.push_back(ax25::FormatCall(d));
    EXPECT_EQ(via, c.via);
    EXPECT_EQ(t->path, c.path);
  }
}

TEST(ConnectText, PortsAndRadioChannelsThatCannotBeUsed) {
  core::PortTable ports;
  ports[0].portWindow = 5;
  ports[0].channels[0].window = 4;
  ports[1].portWindow = 6;
  ports[1].channels[1].window = 7;
  struct {
    int port, rc, message;
  } cases[] = {{0, 0, 0}, {1, 1, 0}, {1, 0, 22}, {0, 7, 22}, {0, 16, 22}, {2, 0, 21}, {16, 0, 21}, {17, 0, 21}};
  for (const auto& c : cases) EXPECT_EQ(CheckConnectPort(ports, c.port, c.rc), c.message) << c.port << ":" << c.rc;
}

TEST(OwnSsid, FirstFreeFromTheDefaultUpwardsPerRemoteStation) {
  ax25::ChannelTable table;
  auto use = [&](int slot, const char* remote, const char* own) {
    table[slot].channelWindow = static_cast<ui::WindowId>(100 + slot);
    table[slot].remote = *ax25::ParseCall(remote);
    table[slot].own = *ax25::ParseCall(own);
  };
  const auto abc = *ax25::ParseCall("DB0ABC");
  EXPECT_EQ(ChooseOwnSsid(0, abc, table), 0);
  use(0, "DB0ABC", "DL1ZZZ");
  EXPECT_EQ(ChooseOwnSsid(0, abc, table), 1);  // a second channel to the same station
  use(1, "DB0ABC", "DL1ZZZ-1");
  use(2, "DB0XYZ", "DL1ZZZ-2");  // another station's SSIDs do not count
  EXPECT_EQ(ChooseOwnSsid(0, abc, table), 2);
  EXPECT_EQ(ChooseOwnSsid(0, *ax25::ParseCall("DB0XYZ"), table), 0);
  use(3, "DB0ABC", "DL1ZZZ-15");
  EXPECT_EQ(ChooseOwnSsid(15, abc, table), 2);  // counts on past 15 from 0
  table[0] = {};                                // a closed channel frees its SSID
  EXPECT_EQ(ChooseOwnSsid(0, abc, table), 0);
}

// --- received lines ---------------------------------------------------------------------

TEST(LineAssembly, PiecesOfOneLineShareAScreenLine) {
  LineAssembler a;
  auto first = a.Take(Bytes("abc"));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].text, "abc");
  EXPECT_FALSE(first[0].continues);
  EXPECT_FALSE(first[0].complete);
  EXPECT_EQ(a.partial(), "abc");
  auto second = a.Take(Bytes("def\rghi"));
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].text, "def");
  EXPECT_TRUE(second[0].continues);
  EXPECT_TRUE(second[0].complete);
  EXPECT_EQ(second[0].line, "abcdef");
  EXPECT_EQ(second[1].text, "ghi");
  EXPECT_FALSE(second[1].continues);
  EXPECT_EQ(a.partial(), "ghi");
}

TEST(LineAssembly, LongLinesAreCutAt255AcrossPieces) {
  LineAssembler a;
  auto pieces = a.Take(Bytes(std::string(300, 'x')));
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].text.size(), 255u);
  EXPECT_TRUE(pieces[0].complete);
  EXPECT_EQ(pieces[1].text.size(), 45u);
  EXPECT_FALSE(pieces[1].complete);

  LineAssembler b;
  b.Take(Bytes(std::string(200, 'y')));
  pieces = b.Take(Bytes(std::string(100, 'z')));
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].text, std::string(55, 'z'));
  EXPECT_TRUE(pieces[0].continues);
  EXPECT_EQ(pieces[0].line, std::string(200, 'y') + std::string(55, 'z'));
  EXPECT_EQ(pieces[1].text, std::string(45, 'z'));
}

TEST(LineAssembly, LineFeedsAndNulsAreDroppedEmptyLinesKept) {
  LineAssembler a;
  const auto pieces = a.Take(Bytes(std::string("a\r\n\r\nb\0c\r", 9)));
  std::vector<std::string> lines;
  for (const auto& p : pieces)
    if (p.complete) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "bc"}));
}

TEST(LineAssembly, AContinuationAfterOtherTextStartsANewScreenLine) {
  LineAssembler a;
  a.Take(Bytes("abc"));
  a.Interrupted();  // the operator's red line went below the partial line
  const auto pieces = a.Take(Bytes("def\r"));
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_FALSE(pieces[0].continues);
  EXPECT_EQ(pieces[0].line, "abcdef");
}

// --- the input line -----------------------------------------------------------------------

TEST(InputLine, HistoryKeepsTenAndWrapsBothWays) {
  InputHistory h;
  for (int i = 1; i <= 12; ++i) h.Store("line " + std::to_string(i));
  std::vector<std::string> up;
  for (int i = 0; i < 11; ++i) up.push_back(h.Up());
  EXPECT_EQ(up.front(), "line 12");
  EXPECT_EQ(up[9], "line 3");   // the oldest of the ten kept
  EXPECT_EQ(up[10], "line 12"); // and round again
  EXPECT_EQ(h.Down(), "line 12");  // one forward from where Up left off
  EXPECT_EQ(h.Down(), "line 3");   // past the newest to the oldest
  h.Store("new");
  EXPECT_EQ(h.Up(), "new");  // sending returns to the newest entry

  // With fewer lines sent than places, the empty places never come up.
  InputHistory few;
  EXPECT_EQ(few.Up(), "");
  few.Store("one");
  few.Store("two");
  std::vector<std::string> seen;
  for (int i = 0; i < 5; ++i) seen.push_back(few.Up());
  EXPECT_EQ(seen, (std::vector<std::string>{"two", "one", "two", "one", "two"}));
  EXPECT_EQ(few.Down(), "two");
  EXPECT_EQ(few.Down(), "one");
}

TEST(InputLine, WhatEnterDoes) {
  struct {
    const char* typed;
    InputKind kind;
    std::string shown, send;
  } cases[] = {
      {"hello", InputKind::Text, "hello", "hello\r"},
      {"hello^", InputKind::Text, "hello^", "hello"},
      {"", InputKind::Text, "", "\r"},
      {"^", InputKind::Text, "", "\r"},
      {"^abc", InputKind::Text, "\x01" "abc", "\x01" "abc\r"},
      {"~beacon text", InputKind::Ui, "beacon text", "beacon text\r"},
      {"!//dir", InputKind::Local, "", "//dir"},
      {"!hello", InputKind::Text, "!hello", "!hello\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const InputAction a = ClassifyInput(c.typed);
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.shown, c.shown);
    EXPECT_EQ(a.send, c.send);
  }
}

TEST(InputLine, WrapsAtTheLastBlankOfTheLastTwentyCharacters) {
  const std::string words = std::string(60, 'a') + " " + std::string(10, 'b') + " " + std::string(7, 'c');  // 79
  struct {
    std::string text;
    bool wraps;
    std::string first, rest;
  } cases[] = {
      {std::string(78, 'a'), false, "", ""},
      {words, true, std::string(60, 'a') + " " + std::string(10, 'b'), std::string(7, 'c')},
      {std::string(79, 'a'), true, std::string(79, 'a'), ""},
      {std::string(30, 'a') + " " + std::string(48, 'a'), true, std::string(30, 'a') + " " + std::string(48, 'a'), ""},
      {"~" + words.substr(1), true, "~" + words.substr(1, 70), "~" + std::string(7, 'c')},
  };
  for (const auto& c : cases) {
    const auto w = WrapInput(c.text, 80);
    ASSERT_EQ(w.has_value(), c.wraps) << c.text;
    if (!w) continue;
    EXPECT_EQ(w->first, c.first);
    EXPECT_EQ(w->rest, c.rest);
  }
}

// --- connect paths ----------------------------------------------------------------------------

TEST(ConnectPathTest, HopsThroughANodeToAScript) {
  ConnectPath p("DB0NOD", "dl1abc (DB0DIG  DB0X) @mail", false);
  ASSERT_TRUE(p.active());
  PathStep s = p.Connected("DB0NOD");
  EXPECT_EQ(s.kind, PathStep::Kind::SendConnect);
  EXPECT_EQ(s.text, "c DL1ABC DB0DIG  DB0X");
  EXPECT_EQ(p.requestedCall(), "DL1ABC");
  s = p.Connected("DL1ABC");
  EXPECT_EQ(s.kind, PathStep::Kind::RunScript);
  EXPECT_EQ(s.text, "mail");
  EXPECT_FALSE(p.active());
  EXPECT_EQ(p.Connected("DL1ABC").kind, PathStep::Kind::None);
}

TEST(ConnectPathTest, EndsOnArrivalOnWrongStationsAndShortHops) {
  ConnectPath plain("DB0ABC-0", "", false);
  EXPECT_EQ(plain.Connected("DB0ABC").kind, PathStep::Kind::None);  // SSID 0 written or not
  EXPECT_FALSE(plain.active());

  ConnectPath wrong("DB0NOD", "DL1ABC", false);
  PathStep s = wrong.Connected("DB0OTH");
  EXPECT_EQ(s.kind, PathStep::Kind::WrongStation);
  EXPECT_EQ(s.text, "DB0NOD");
  EXPECT_FALSE(s.quiet);
  EXPECT_FALSE(wrong.active());

  ConnectPath quiet("DB0NOD", "DL1ABC #T", true);
  quiet.Connected("DB0NOD");
  EXPECT_TRUE(quiet.Connected("DL1XYZ").quiet);

  ConnectPath shortHop("DB0NOD", "DB0 DL1ABC", false);
  EXPECT_EQ(shortHop.Connected("DB0NOD").kind, PathStep::Kind::Failed);
  EXPECT_FALSE(shortHop.active());

  ConnectPath marked("DB0NOD", "#T DL1ABC", true);
  EXPECT_EQ(marked.Connected("DB0NOD").kind, PathStep::Kind::None);  // "#" items do nothing
  EXPECT_TRUE(marked.active());
  EXPECT_EQ(marked.Connected("DB0NOD").text, "c DL1ABC");
}

TEST(NodeReports, CallAtTheEndOfTheLine) {
  const core::ConfigList texts = {{"*** connected to", 0}, {"Connected to", 0}};
  struct {
    const char* line;
    const char* call;  // nullptr: no report
  } cases[] = {
      {"*** connected to DL1ABC", "DL1ABC"},
      {"DB0NOD:*** connected to   DL1ABC-2", "DL1ABC-2"},
      {"*** connected to DB0NOD:DL1ABC", "DL1ABC"},
      {"Connected to DL1ABC-15", "DL1ABC-15"},
      {"*** connected to DL1ABC ", nullptr},
      {"*** connected to DL1ABC, welcome", nullptr},
      {"*** connected to AB", nullptr},
      {"*** connected to DL1ABCDEFG", nullptr},
      {"*** connected to", nullptr},
      {"hello there", nullptr},
  };
  for (const auto& c : cases) {
    const auto call = NodeReportCall(c.line, &texts);
    if (c.call) {
      ASSERT_TRUE(call.has_value()) << c.line;
      EXPECT_EQ(*call, c.call);
    } else {
      EXPECT_FALSE(call.has_value()) << c.line;
    }
  }
  EXPECT_FALSE(NodeReportCall("*** connected to DL1ABC", nullptr));
}

// --- files of a station, the log -----------------------------------------------------------

TEST(StationFiles, NameCarriesTheSsidAsALetter) {
  EXPECT_EQ(StationFileName("DL1ABC"), "DL1ABC");
  EXPECT_EQ(StationFileName("DL1ABC-2"), "DL1ABCc");
  EXPECT_EQ(StationFileName("DL1ABC-0"), "DL1ABCa");
  EXPECT_EQ(StationFileName("DL1ABC-15"), "DL1ABCp");
  EXPECT_EQ(StationFileName("DL1ABC-16"), "DL1ABC");
  EXPECT_EQ(StationFileName("LONGCALL99-1"), "LONGCALLb");
}

TEST(ConnectionLog, LineFormatWithEndOnTheSameOrAnotherDay) {
  const std::string sp(1, ' ');
  auto blanks = [](int n) { return std::string(static_cast<std::size_t>(n), ' '); };
  // Call 0-11, " Ch ", channel, ",", QRG in 12, two blanks, start time in 16.
  EXPECT_EQ(ConnectionLogLine("DB0ABC-3", "1", "438.300", "05.03.2027 10:15", "05.03.2027 11:20", "mailbox"),
            "DB0ABC-3" + blanks(4) + " Ch 1," + "438.300" + blanks(5) + "  05.03.2027 10:15" + " - 11:20" +
                blanks(11) + sp + "mailbox" + blanks(25) + "\n");
  EXPECT_EQ(ConnectionLogLine("DB0ABC-3", "12", "A very long qrg text", "05.03.2027 23:50", "06.03.2027 00:10", ""),
            "DB0ABC-3" + blanks(4) + " Ch 1," + "A very long " + "  05.03.2027 23:50" + " - 06.03.2027 00:10" + sp +
                blanks(32) + "\n");
}

}  // namespace
}  // namespace tarvik::channels
