// TNC initialisation texts: byte notation, directive lines, and a run that
// waits by the clock without ever blocking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/init_text.h"

namespace tarvik::devices {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(InitTextLine, ByteNotation) {
  struct Case {
    const char* line;
    Bytes bytes;
  } cases[] = {
      {"<1B>K", {0x1B, 'K'}},
      {"KISS ON<0D>", {'K', 'I', 'S', 'S', ' ', 'O', 'N', 0x0D}},
      {"<1B,40,4B>", {0x1B, 0x40, 0x4B}},
      {"<<1B>", text("<1B>")},
      {"<c0,ff,C0>", {0xC0, 0xFF, 0xC0}},
      {"<123>", {0x23}},           // of a longer run only the last two digits count
      {"<1G>", text("G>")},        // a stranger ends the group unsent and stays
      {"AB<4", {'A', 'B', 0x04}},  // a group open at the line end still counts
      {"A<00>B", {'A'}},           // a zero byte ends the line
      {"<,>", {}},
      {"plain text", text("plain text")},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertInitLine(c.line), c.bytes) << c.line;
}

TEST(InitTextLine, DirectivesAndLines) {
  EXPECT_EQ(ParseInitLine("<DELAY>2").kind, InitLine::Kind::Delay);
  EXPECT_EQ(ParseInitLine("<DELAY>2").delaySeconds, 2);
  EXPECT_EQ(ParseInitLine("<DELAY> 2").delaySeconds, 0);   // blank after ">": no number
  EXPECT_EQ(ParseInitLine("<DELAY>").delaySeconds, 0);
  EXPECT_EQ(ParseInitLine("<DELAY>12345").delaySeconds, 123);  // at most three digits
  EXPECT_EQ(ParseInitLine("<DELAY>-5").delaySeconds, 0);
  const InitLine answer = ParseInitLine("<ANSWER>CONNECT 9600");
  EXPECT_EQ(answer.kind, InitLine::Kind::Answer);
  EXPECT_EQ(answer.answer, "CONNECT 9600");
  EXPECT_EQ(ParseInitLine("<ANSWER>" + std::string(200, 'x')).answer.size(), kAnswerCapacity);
  // "<DELAY>" is tested first.
  EXPECT_EQ(ParseInitLine("<ANSWER><DELAY>3").kind, InitLine::Kind::Delay);

  EXPECT_EQ(SplitInitText("A\r\nB\r\nC"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(SplitInitText("A\rB\nC"), (std::vector<std::string>{"A\rB\nC"}));
  EXPECT_TRUE(SplitInitText("").empty());
}

// A run on a clock the test moves by hand.
struct RunFixture {
  using Clock = InitTextRun::Clock;
  Clock::time_point now = Clock::from_time_t(1'700'000'000);  // on a whole second
  Bytes written;
  std::vector<std::string> answers;
  InitTextRun run;

  explicit RunFixture(const std::string& text)
      : run(text, [this](std::span<const std::uint8_t> b) { written.insert(written.end(), b.begin(), b.end()); },
            [this](const std::string& a) { answers.push_back(a); }) {}

  // Moves the clock in 100 ms steps, as the port window's poll timer does;
  // returns the milliseconds until the run was done.
  int msUntilDone(int limitMs = 20'000) {
    for (int ms = 0; ms <= limitMs; ms += 100) {
      if (run.Advance(now)) return ms;
      now += std::chrono::milliseconds(100);
    }
    return -1;
  }
};

TEST(InitTextRun, DelayWaitsWithoutBlockingAndFinalPauseFollows) {
  RunFixture f("<1B>@K\r\n<DELAY>2\r\nKISS ON<0D>");
  // The first line goes out at once; the run then waits and returns.
  EXPECT_FALSE(f.run.Advance(f.now));
  EXPECT_EQ(f.written, (Bytes{0x1B, '@', 'K'}));
  f.now += std::chrono::milliseconds(1900);
  EXPECT_FALSE(f.run.Advance(f.now));
  EXPECT_EQ(f.written.size(), 3u) << "two seconds have not passed yet";
  f.now += std::chrono::milliseconds(100);
  EXPECT_FALSE(f.run.Advance(f.now));  // the line after the delay, then the final pause
  EXPECT_EQ(f.written, (Bytes{0x1B, '@', 'K', 'K', 'I', 'S', 'S', ' ', 'O', 'N', 0x0D}));
  EXPECT_EQ(f.msUntilDone(), 3000);
  EXPECT_TRUE(f.run.Done());
}

TEST(InitTextRun, EmptyTextStillPausesAndAnswersAreRecorded) {
  RunFixture empty("");
  EXPECT_EQ(empty.msUntilDone(), 3000);
  EXPECT_TRUE(empty.written.empty());

  RunFixture modem("ATZ<0D>\r\n<ANSWER>CONNECT\r\n<DELAY> 2");
  EXPECT_EQ(modem.msUntilDone(), 3000);  // "<DELAY> 2" waits nothing
  EXPECT_EQ(modem.answers, (std::vector<std::string>{"CONNECT"}));
  EXPECT_EQ(modem.written, text("ATZ\r"));
}

TEST(InitTextRun, FinishWritesTheRestAtOnce) {
  RunFixture f("A\r\n<DELAY>50\r\nB\r\n<ANSWER>OK");
  EXPECT_FALSE(f.run.Advance(f.now));
  f.run.Finish();
  EXPECT_EQ(f.written, text("AB"));
  EXPECT_EQ(f.answers, (std::vector<std::string>{"OK"}));
  EXPECT_TRUE(f.run.Done());
}

}  // namespace
}  // namespace tarvik::devices
