#pragma once
// Channel parts: the one way a feature joins a channel.
//
// A channel window holds an ordered list of parts, given to it before its
// window is created, so that a part sees everything from the first event
// on (an accepted connection is up at once). Every part overrides only the
// events it cares about; the defaults do nothing and let lines pass.
//
// Received lines. A completed line meets the parts that take lines in the
// order of their LineStage and stops at the first that takes it; the
// channel's own connect-path handling sits at its stage among them. After
// that, every part sees the line (SawLine): scripts and the mailbox prompt
// test see every line, taken or not. The unterminated tail goes to every
// part (PartialLine).
//
// Exclusive resources of a channel are the channel's, and parts ask for
// them instead of keeping their own: the file sender (ChannelFileSender,
// one file at a time), the capture of the receive pane (one file, with its
// owner), and the data diversion (one part that takes the raw received data
// instead of line handling, e.g. a transfer engine or a service library;
// the second link of a gateway connection claims it too).
//
// Commands. A part names the controls of the channel window it carries out
// (commands()); those controls are enabled exactly when a part owns them.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ui/toolkit/event.h"

namespace tarvik::channels {

class ChannelWindow;

// Where a part stands among those that take received lines; lower stages
// see a line first. This is the only place that order is written down:
//   mailbox dialogue and mail reception -> uuencode receiver -> 7PLUS
//   receiver -> connect-path node reports -> check list -> remote commands.
enum class LineStage : int {
  Mailbox = 10,      // the mailbox dialogue waiting for a prompt; a mail being received
  Binary = 20,       // the uuencode receiver (only while AUTOBIN is on)
  SevenPlus = 30,    // the 7PLUS receiver
  ConnectPath = 40,  // the channel's own: node reports while a connect path runs
  CheckList = 50,    // the check-list recorder
  Remote = 60,       // "//" commands of the other station
  None = 1000,       // takes no lines
};

enum class LineResult { Pass, Taken };

// How a file went out, told to every part when the sender stops.
enum class FileSendEnd {
  Done,      // the whole file was sent
  Stopped,   // stopped by the operator (SND) or a station (ES, Q)
  Replaced,  // another file took the sender
};

struct FileSendMode {
  bool expandMacros = false;     // each line through the text macros
  bool deleteAfter = false;      // a temporary file: removed when it ends
  bool disconnectAfter = false;  // the link ends after the file (the goodbye text)
  bool noClosingReply = false;   // the remote service gives no empty reply after it
};

struct FileSendResult {
  std::string path;
  FileSendMode mode;
  const class ChannelPart* requester = nullptr;
  FileSendEnd end = FileSendEnd::Done;
};

class ChannelPart {
 public:
  virtual ~ChannelPart() = default;

  virtual LineStage stage() const { return LineStage::None; }
  // The channel window's controls (symbolic ids) whose command this part
  // carries out.
  virtual std::vector<int> commands() const { return {}; }

  // The channel window exists (its controls can be set).
  virtual void Opened(ChannelWindow&) {}
  // The connection on the channel's own link is up; the station's facts
  // are known (ChannelWindow::stationFacts).
  virtual void Connected(ChannelWindow&) {}
  // The channel window is being destroyed; its links are gone.
  virtual void Closing(ChannelWindow&) {}

  // A completed received line (bytes before conversion, no carriage
  // return), offered in LineStage order until one part takes it.
  virtual LineResult Line(ChannelWindow&, const std::string&) { return LineResult::Pass; }
  // Every completed line, after the takers.
  virtual void SawLine(ChannelWindow&, const std::string&) {}
  // The received tail after the last line end.
  virtual void PartialLine(ChannelWindow&, const std::string&) {}
  // Raw received data while this part holds the channel's diversion.
  virtual void Diverted(ChannelWindow&, std::span<const std::uint8_t>) {}

  // The one-second heartbeat, passed on by the channel's link.
  virtual void Tick(ChannelWindow&) {}
  // The link's send queue has drained (after the file sender's step).
  virtual void QueueDrained(ChannelWindow&) {}
  // The channel's file sender stopped sending a file.
  virtual void FileSent(ChannelWindow&, const FileSendResult&) {}

  // A control command this part owns (0 from the operator's click).
  virtual void Command(ChannelWindow&, int /*command*/, std::intptr_t /*argument*/) {}
  // The answer (core::kAnswerYes, kAnswerNo, kAnswerCancel) to a message
  // the channel did not ask itself; true when it was this part's question.
  virtual bool Answered(ChannelWindow&, int /*answer*/, int /*message*/) { return false; }
  // "!//..." typed by the operator: true when taken.
  virtual bool LocalCommand(ChannelWindow&, const std::string&) { return false; }
  // "@name" in a connect path: true when the script at `path` started.
  virtual bool RunScript(ChannelWindow&, const std::string& /*path*/) { return false; }
  // A user event the channel does not know itself: true when taken.
  virtual bool UserEvent(ChannelWindow&, ui::Event&) { return false; }
};

using ChannelParts = std::vector<std::unique_ptr<ChannelPart>>;

}  // namespace tarvik::channels
