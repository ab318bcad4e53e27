#include "devices/init_text.h"

#include <algorithm>

namespace tarvik::devices {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A leading decimal number as the C library reads it (optional sign, then
// digits); 0 when there is none. Negative waits are no waits.
int leadingNumber(std::string_view s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) v = v * 10 + (s[i] - '0');
  return negative ? -v : v;
}

long long epochSecond(InitTextRun::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

}  // namespace

std::vector<std::string> SplitInitText(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return lines;
}

std::vector<std::uint8_t> ConvertInitLine(std::string_view line) {
  std::vector<std::uint8_t> out;
  bool inGroup = false;
  unsigned value = 0;
  for (char c : line) {
    if (!inGroup) {
      if (c == '<') {
        inGroup = true;
        value = 0;
      } else {
        out.push_back(static_cast<std::uint8_t>(c));
      }
      continue;
    }
    const int digit = hexValue(c);
    if (digit >= 0) {
      value = (value * 16 + static_cast<unsigned>(digit)) & 0xFF;
    } else if (c == ',') {
      out.push_back(static_cast<std::uint8_t>(value));
      value = 0;
    } else if (c == '>') {
      out.push_back(static_cast<std::uint8_t>(value));
      inGroup = false;
    } else {
      // "<<" is a plain "<"; any other character ends the group unsent.
      out.push_back(static_cast<std::uint8_t>(c));
      inGroup = false;
    }
  }
  if (inGroup) out.push_back(static_cast<std::uint8_t>(value));
  // A TNC line cannot carry a zero byte: the line ends there.
  out.erase(std::find(out.begin(), out.end(), 0), out.end());
  return out;
}

InitLine ParseInitLine(std::string_view line) {
  InitLine result;
  const std::size_t gt = line.find('>');
  const std::string_view rest = gt == std::string_view::npos ? std::string_view() : line.substr(gt + 1);
  if (line.find("<DELAY>") != std::string_view::npos) {
    result.kind = InitLine::Kind::Delay;
    const std::string_view digits = rest.substr(0, std::min<std::size_t>(rest.find(' '), 3));
    result.delaySeconds = std::max(0, leadingNumber(digits));
  } else if (line.find("<ANSWER>") != std::string_view::npos) {
    result.kind = InitLine::Kind::Answer;
    result.answer = std::string(rest.substr(0, std::min(rest.find('\r'), kAnswerCapacity)));
  } else {
    result.bytes = ConvertInitLine(line);
  }
  return result;
}

InitTextRun::InitTextRun(std::string_view text, Writer write, AnswerSink answer)
    : write_(std::move(write)), answer_(std::move(answer)) {
  for (const std::string& line : SplitInitText(text)) lines_.push_back(ParseInitLine(line));
}

bool InitTextRun::Wait(Clock::time_point now) {
  const long long second = epochSecond(now);
  if (second > lastSecond_) changesLeft_ -= static_cast<int>(std::min<long long>(second - lastSecond_, changesLeft_));
  lastSecond_ = second;
  return changesLeft_ <= 0;
}

bool InitTextRun::Advance(Clock::time_point now) {
  for (;;) {
    if (waiting_) {
      if (!Wait(now)) return false;
      waiting_ = false;
      if (finalStarted_) finalPaused_ = true;
    }
    if (finalPaused_) return true;
    if (lines_.empty()) {
      // Every text ends with the pause that lets the TNC digest it.
      finalStarted_ = true;
      waiting_ = true;
      changesLeft_ = kFinalPauseChanges;
      lastSecond_ = epochSecond(now);
      continue;
    }
    InitLine line = std::move(lines_.front());
    lines_.pop_front();
    switch (line.kind) {
      case InitLine::Kind::Delay:
        waiting_ = line.delaySeconds > 0;
        changesLeft_ = line.delaySeconds;
        lastSecond_ = epochSecond(now);
        break;
      case InitLine::Kind::Answer:
        if (answer_) answer_(line.answer);
        break;
      case InitLine::Kind::Data:
        if (!line.bytes.empty() && write_) write_(line.bytes);
        break;
    }
  }
}

void InitTextRun::Finish() {
  for (InitLine& line : lines_) {
    if (line.kind == InitLine::Kind::Data && !line.bytes.empty() && write_) write_(line.bytes);
    if (line.kind == InitLine::Kind::Answer && answer_) answer_(line.answer);
  }
  lines_.clear();
  waiting_ = false;
  finalStarted_ = finalPaused_ = true;
}

}  // namespace tarvik::devices
