// 7PLUS capture: a scripted mailbox (station B) sends parts and a
// correction file to A, whose channel captures them into its save
// directory under their final names, with window 1150 and a summary.
#include <gtest/gtest.h>

#include "remote/progress_window.h"
#include "remote/sevenplus.h"
#include "remote/transfer_fixture.h"

namespace tarvik::remote::test {
namespace {

// A part as a mailbox sends it: start line, data lines, stop line.
std::vector<std::string> Part(int part, int parts, const std::string& body, bool stop = true) {
  char start[96];
  std::snprintf(start, sizeof start, " go_7+. %03d of %03d TEST.7PL 0002000 1234 (7PLUS v2.2)", part, parts);
  std::vector<std::string> lines{start};
  for (int i = 0; i < 5; ++i) lines.push_back(body + std::to_string(i) + std::string(60, 'x'));
  if (stop) {
    char end[64];
    std::snprintf(end, sizeof end, " stop_7+. (TEST.P%02d/1A2B)", part);
    lines.push_back(end);
  }
  return lines;
}

std::string FileText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

class SevenPlus : public TransferFixture {
 protected:
  void Send(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) FromB(line);
  }
  fs::path Saved(const std::string& name) { return a->dir / "save" / name; }
};

TEST_F(SevenPlus, PartsRepeatsCorrectionsAndALostStopLine) {
  Connect();
  chA->Command(channels::kChAutobin);  // AUTOBIN on; AUTO7PL is on from the start
  ASSERT_TRUE(chA->autobin() && chA->auto7pl());

  const auto p1 = Part(1, 2, "one"), p2 = Part(2, 2, "two");
  Send(p1);
  ASSERT_TRUE(Wait([&] { return ReadFile(Saved("TEST.P01")) == FileText(p1); }));
  // The window shows the part; its summary lands in A's pane and it closes.
  ASSERT_TRUE(Wait([&] { return PaneHas(chA, {"<Tarvik Auto 7Plus> TEST.P01", ui::kBlue}); }));
  ASSERT_TRUE(Wait([&] { return chA->runtime().windowsOf(kCaptureWindowNumber).empty(); }));
  std::uintmax_t bytes = 0;
  for (std::size_t i = 0; i + 1 < p1.size(); ++i) bytes += p1[i].size() + 2;
  bytes += p1.back().size();
  bool summary = false;
  for (const auto& line : Pane(chA))
    summary |= line.text.rfind(std::to_string(bytes) + " Bytes received in ", 0) == 0 && line.colour == ui::kBlue;
  EXPECT_TRUE(summary) << bytes;

  Send(p2);
  // Part 1 again, changed: it replaces the earlier file.
  const auto again = Part(1, 2, "ONE");
  Send(again);
  ASSERT_TRUE(Wait([&] { return ReadFile(Saved("TEST.P01")) == FileText(again); }));
  EXPECT_EQ(ReadFile(Saved("TEST.P02")), FileText(p2));

  // Correction files: the second of a name becomes ...C01.
  const std::vector<std::string> cor{" go_text. TEST.COR", "correction line", " stop_text."};
  Send(cor);
  ASSERT_TRUE(Wait([&] { return fs::exists(Saved("TEST.COR")); }));
  Send(cor);
  ASSERT_TRUE(Wait([&] { return fs::exists(Saved("TEST.C01")); }));
  EXPECT_EQ(ReadFile(Saved("TEST.C01")), FileText(cor));

  // A lost stop line: what follows goes into the file, commands too, until
  // the next start line begins a new one.
  const auto lost = Part(2, 2, "lost", false);
  Send(lost);
  FromB("//v");
  const auto p2b = Part(2, 2, "fresh");
  Send(p2b);
  ASSERT_TRUE(Wait([&] { return ReadFile(Saved("TEST.P02")) == FileText(p2b); }));
  bool kept = false;
  for (const auto& entry : fs::directory_iterator(a->dir / "save"))
    if (entry.path().extension() == ".$$$") kept |= ReadFile(entry.path()) == FileText(lost) + "//v\n";
  EXPECT_TRUE(kept);
  EXPECT_EQ(atB.find(" V "), std::string::npos);  // no version reply: the line went into the file

  // A stop line without a capture is taken (nothing else sees it); names
  // from the air stay in the save directory.
  atB.clear();
  Send({" stop_7+. (x/y)", " go_7+. 001 of 001 ../../evil 0000100", "data", " stop_7+. (..\\..\\evil/1234)"});
  ASSERT_TRUE(Wait([&] { return fs::exists(Saved("evil")); }));
  EXPECT_FALSE(fs::exists(a->dir / "evil"));
  EXPECT_FALSE(fs::exists(a->dir.parent_path() / "evil"));
  // Part counts and lengths from the air as large as they come.
  Send({" go_7+. 001 of 555555555555555555 BIG.7PL 9223372036854775807", "data", " stop_7+. (BIG.P01/1234)"});
  ASSERT_TRUE(Wait([&] { return fs::exists(Saved("BIG.P01")); }));

  // AUTO7PL off: no capture, lines go on to the remote commands.
  chA->Command(channels::kChAuto7pl);
  Send(Part(1, 1, "off"));
  FromB("//e still here");
  ASSERT_TRUE(Wait([&] { return atB.find("still here") != std::string::npos; }));
  EXPECT_EQ(ReadFile(Saved("TEST.P01")), FileText(again));
}

TEST(SevenPlusLines, StartLinesAndNames) {
  const SevenPlusMarkers m{" go_7+.", " stop_7+.", "", ""};
  EXPECT_EQ(ClassifySevenPlusLine(" go_7+. 001 of 003", m), SevenPlusLine::StartPart);
  EXPECT_EQ(ClassifySevenPlusLine("go_7+. 001 of 003", m), SevenPlusLine::Other);  // no leading blank
  EXPECT_EQ(ClassifySevenPlusLine(" anything", m), SevenPlusLine::Other);         // empty markers mark nothing
  const SevenPlusHeader h = ParseSevenPlusStart(" go_7+. 002 of 003 PROG.7PL 0012345", m.go7p);
  EXPECT_EQ(h.part, 2);
  EXPECT_EQ(h.parts, 3);
  EXPECT_EQ(h.name, "PROG.7PL");
  EXPECT_EQ(h.length, 12345);
  EXPECT_EQ(ParseSevenPlusStart(" go_7+. 001 of 000 X 10", m.go7p).parts, 1);  // no division by zero
  EXPECT_EQ(SevenPlusStopName(" stop_7+. (PROG.P02/0A3B)"), "PROG.P02");
  EXPECT_EQ(SevenPlusStopName(" stop_7+. no name"), "");
  EXPECT_EQ(ProgressPercent(50, 200), 25);
  EXPECT_EQ(ProgressPercent(500, 200), 100);
  EXPECT_EQ(ProgressPercent(5, 0), 0);
}

}  // namespace
}  // namespace tarvik::remote::test
