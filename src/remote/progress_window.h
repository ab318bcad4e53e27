#pragma once
// The progress windows of a channel's transfers: window 1150 ("AUTO7P") for
// a 7PLUS part or text file being captured, window 1160 ("FILESND") for a
// file the operator sends. Both show the file name (FILENAME), the bytes
// so far (BYTES), the bytes expected (MAXBYTES) and the bytes per second
// (RATE), and draw a bar from x 100 to 300, y 105 to 130: blue up to 2
// pixels per percent, grey beyond, the percent in white.
//
// When a transfer ends the window sends its one-line summary to its
// channel (user event 899 with the text; shown blue, never sent) and
// closes itself one second later.

#include <cstdint>
#include <string>

#include "ui/form.h"

namespace tarvik::remote {

inline constexpr int kCaptureWindowNumber = 1150;
inline constexpr int kSendWindowNumber = 1160;
inline constexpr int kEvtSummary = 899;  // to the channel: TextPayload

// Percent of a progress bar: bytes * 100 / expected, at most 100; 0
// without an expectation.
int ProgressPercent(std::uintmax_t bytes, std::uintmax_t expected);

class ProgressWindow final : public ui::Form {
 public:
  ProgressWindow(ui::FormRuntime& forms, int number, ui::WindowId channel);

  // A new file: name, expected bytes (0: none), bytes so far; the clock
  // starts.
  void Start(const std::string& name, std::uintmax_t expected, std::uintmax_t bytes);
  void Add(std::uintmax_t bytes);
  // The end: the fields once more, the summary to the channel, closing in
  // one second. `what` is "received" or "sent", `title` the summary's
  // first word group ("<Tarvik Auto 7Plus> ").
  void Finish(const std::string& title, const std::string& name, const std::string& what);
  // A new start while the window waits to close keeps it open.
  void KeepOpen();

  std::uintmax_t bytes() const { return bytes_; }
  std::uintmax_t expected() const { return expected_; }
  int percent() const { return ProgressPercent(bytes_, expected_); }
  long seconds() const;
  std::uintmax_t rate() const;
  bool closing() const { return closeTimer_ != 0; }

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void show();
  void drawBar();

  ui::WindowId channel_;
  std::uintmax_t bytes_ = 0, expected_ = 0;
  ui::Clock::time_point started_{};
  ui::TimerId closeTimer_ = 0;
};

// Registers nothing: the windows are opened by the transfer parts with
// this, as children of their channel; kNoWindow when it failed.
ui::WindowId OpenProgressWindow(ui::FormRuntime& forms, int number, ui::WindowId channel);

}  // namespace tarvik::remote
