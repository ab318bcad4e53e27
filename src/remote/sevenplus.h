#pragma once
// 7PLUS parts and framed text files captured from a channel.
//
// Mailboxes send 7PLUS parts between a start line (7P_GO, " go_7+.") and a
// stop line (7P_STOP, " stop_7+."), and correction or error files between
// GO_TEXT and STOP_TEXT. A line is a start or stop line when it begins
// with a blank and with the configured text; an empty text marks nothing.
//
// A 7PLUS part is captured into SAVEPATH under a running number with
// ".$$$" and moved, at its stop line, to the name the stop line gives
// between "(" and "/" (a part received twice replaces the earlier one). A
// text file goes to SAVEPATH under the second word of its start line; a
// name ending in ERR or COR that is taken becomes ...01, ...02 up to ...99.
// Names from the air are untrusted: only their last part is used, and only
// inside SAVEPATH. Every captured line is written with a line feed.
//
// A lost stop line leaves the capture open: the following lines go into
// the file until a stop line or a new start line comes.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::remote {

struct SevenPlusMarkers {
  std::string go7p, stop7p, goText, stopText;
};

enum class SevenPlusLine { StartPart, StartText, Stop, Other };
SevenPlusLine ClassifySevenPlusLine(std::string_view line, const SevenPlusMarkers& markers);

// What the start line of a 7PLUS part says.
struct SevenPlusHeader {
  long part = 0, parts = 1, length = 0;
  std::string name;
};
SevenPlusHeader ParseSevenPlusStart(std::string_view line, std::string_view marker);

// The final name of a stop line: between "(" and ")" up to "/"; empty
// when there is none.
std::string SevenPlusStopName(std::string_view line);

// A name free for an ERR or COR file: the name itself when it is free or
// does not end so; else its last two characters replaced by 01..99 (the
// first free one; the name itself when all are taken).
std::string FreeCorrectionName(const std::string& path);

// One capture: the file being written and what it has taken so far.
class SevenPlusCapture {
 public:
  struct Places {
    std::string savePath;                     // SAVEPATH (the bound, too)
    std::function<std::string()> runningNumber;  // "%05d"
  };
  struct Started {
    bool ok = false;
    std::string shownName;   // FILENAME
    std::uintmax_t expected = 0;
    std::uintmax_t bytes = 0;
  };
  struct Stopped {
    std::string name;        // for the summary
    std::uintmax_t bytes = 0;
    bool moveFailed = false; // the part stays under its temporary name
    std::string moveText;    // "from -> to" for the message
  };

  ~SevenPlusCapture() { Close(); }
  Started Start(std::string_view line, SevenPlusLine kind, const SevenPlusMarkers& markers, const Places& places);
  void Data(std::string_view line);
  Stopped Stop(std::string_view line, const Places& places);
  // Closes the file as it is.
  void Close() { file_.reset(); }
  bool open() const { return file_ != nullptr; }
  std::uintmax_t bytes() const { return bytes_; }
  const std::string& target() const { return target_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  void write(std::string_view line);

  std::unique_ptr<std::FILE, Closer> file_;
  bool part_ = false;
  std::string target_;
  std::uintmax_t bytes_ = 0;
};

}  // namespace tarvik::remote
