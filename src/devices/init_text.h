#pragma once
// TNC initialisation texts: what a serial port sends to switch its TNC into
// KISS mode when it opens (the INI text) and back when it closes (the DEINI
// text).
//
// A text is lines joined by CR LF. A line containing "<DELAY>" waits the
// number of seconds that follows its first ">" (up to the next blank, at most
// three characters); a line containing "<ANSWER>" records the answer a modem
// is expected to give; every other line is written to the line in a byte
// notation: "<1B>" is the byte 0x1B, "<1B,40,4B>" three bytes, "<<" a plain
// "<", and no line end is added. After the last line the TNC gets two to
// three seconds (three changes of the clock's seconds) before anything else
// is sent.
//
// InitTextRun never blocks: a port window starts it, writes what can be
// written at once, and advances it from a short toolkit timer until it is
// done, so the user interface keeps running while a TNC is being set up.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::devices {

inline constexpr std::size_t kAnswerCapacity = 127;
// Seconds changes of the final pause after every text.
inline constexpr int kFinalPauseChanges = 3;

// The lines of a text: split at CR LF; a last line without CR LF counts.
std::vector<std::string> SplitInitText(std::string_view text);

// The bytes a data line stands for, ending before its first zero byte.
std::vector<std::uint8_t> ConvertInitLine(std::string_view line);

struct InitLine {
  enum class Kind { Data, Delay, Answer };
  Kind kind = Kind::Data;
  int delaySeconds = 0;           // Delay: seconds to wait (0 when no number)
  std::string answer;             // Answer: the expected text
  std::vector<std::uint8_t> bytes;  // Data: what is written
};

// Classifies a line ("<DELAY>" before "<ANSWER>", anything else data).
InitLine ParseInitLine(std::string_view line);

class InitTextRun {
 public:
  using Clock = std::chrono::system_clock;
  using Writer = std::function<void(std::span<const std::uint8_t>)>;
  using AnswerSink = std::function<void(const std::string&)>;

  InitTextRun(std::string_view text, Writer write, AnswerSink answer);

  // Runs the text as far as it goes at `now`: writes data lines, records
  // answers, and counts the changes of the clock's seconds for delays and
  // the final pause. True once the text and its final pause are done.
  bool Advance(Clock::time_point now);

  // Writes the remaining data lines and records the remaining answers at
  // once, without waiting (the port is closing for good).
  void Finish();

  bool Done() const { return lines_.empty() && !waiting_ && finalPaused_; }

 private:
  bool Wait(Clock::time_point now);

  std::deque<InitLine> lines_;
  Writer write_;
  AnswerSink answer_;
  bool waiting_ = false;
  bool finalPaused_ = false;
  bool finalStarted_ = false;
  int changesLeft_ = 0;
  long long lastSecond_ = 0;
};

}  // namespace tarvik::devices
