#pragma once
// The channel's one file sender.
//
// Every file that goes out on a channel goes through it: the operator's
// "SND", the remote service's replies (G, D, H, I, listings, the welcome
// and goodbye texts), and later transfers. It holds one file at a time, so
// two files never interleave on the air: a new Start replaces the file
// being sent (closed, removed when it was a temporary one), the operator's
// SND while a file goes out stops it, and the remote service keeps a
// station's command while a file is being sent (see remote_service.h).
//
// A text file goes out block by block, driven by the link's send-queue
// report (user event 890 with 1): each block is filled from lines of at
// most 255 characters, a line end becoming a carriage return, up to 516
// characters; what does not fit waits for the next block. Each line is
// shown red in the receive pane (through the macros first, when asked).
//
// A file list (the remote G command with a pattern) names more files, one
// full path a line: after the file just sent, the next listed one follows;
// the list file is removed at the end.
//
// A file may go out encoded instead (FileEncoder, e.g. uuencoded): the
// encoder's first text goes out as the file opens, each block is the
// encoder's (at most 516 characters), and its last text follows the end of
// the file. Its first and last texts are shown red.
//
// When the request asks for progress, the sender tells its channel (whose
// part shows the progress window 1160): the file's start (user event 1160
// with a SendProgressArgument), the file bytes each block took (1161 with
// the count), the end of the file (1162) and a file that was stopped or
// replaced (1163).
//
// Only regular files are sent (opened without blocking, so a FIFO never
// stalls the channel), and never the file the channel captures into: it
// would grow with every line sent and the sending would never end.
//
// When a file ends (sent, stopped or replaced) the sender puts out the
// SQUEUE lamp, unmarks SND and tells every part of the channel
// (ChannelPart::FileSent).

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channels/channel_part.h"
#include "ui/toolkit/event.h"

namespace tarvik::channels {

inline constexpr std::size_t kSendLineLimit = 255;
inline constexpr std::size_t kSendBlockLimit = 516;

// True when both paths name the same existing file (also through links).
bool SameFile(const std::string& a, const std::string& b);

// Reads a text file for sending, block by block.
class TextFileSender {
 public:
  using Expand = std::function<std::string(const std::string&)>;
  // Opens the file; false when it cannot be opened.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  std::FILE* handle() const { return file_.get(); }
  void Close() {
    file_.reset();
    carry_.clear();
  }
  // The next block; empty at the end of the file. The lines read for it
  // (without their line end, after `expand`) are added to `lines`.
  std::string NextBlock(std::vector<std::string>* lines = nullptr, const Expand& expand = {});

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::string carry_;  // the part of a line that did not fit into the last block
};

// The progress of a file, told to the channel.
inline constexpr int kEvtSendStart = 1160;     // SendProgressArgument
inline constexpr int kEvtSendProgress = 1161;  // arg: file bytes of the block just sent
inline constexpr int kEvtSendEnd = 1162;       // the file has gone
inline constexpr int kEvtSendBroken = 1163;    // stopped or replaced

struct SendProgressArgument : ui::Payload {
  SendProgressArgument(std::string n, std::uintmax_t s) : name(std::move(n)), size(s) {}
  std::string name;
  std::uintmax_t size;
};

// Turns a file into the texts that go on the air.
class FileEncoder {
 public:
  virtual ~FileEncoder() = default;
  // Sent as the file opens (the path is the file's).
  virtual std::string Begin(const std::string& path) = 0;
  // The next block read from `file`, at most `limit` characters; empty at
  // the end of the file.
  virtual std::string Block(std::FILE* file, std::size_t limit) = 0;
  // Sent after the end of the file.
  virtual std::string End() = 0;
};

struct FileSendRequest {
  std::string path;
  FileSendMode mode;
  const ChannelPart* requester = nullptr;  // told as the file's owner when it ends
  std::string listPath;                    // a file list the path is the first entry of
  std::shared_ptr<FileEncoder> encoder;    // none: a text file
  bool showProgress = false;               // opens the send progress window
};

class ChannelFileSender {
 public:
  bool sending() const { return sending_; }
  const std::string& path() const { return request_.path; }
  const ChannelPart* requester() const { return request_.requester; }

  // Starts sending a file; a file still going out is replaced. False (and
  // nothing changed) when the file cannot be opened, is no regular file or
  // is the channel's capture file.
  bool Start(ChannelWindow& channel, FileSendRequest request);
  // Stops the file being sent (nothing when none is).
  void Stop(ChannelWindow& channel);
  // The link's queue has drained: the next block, or the end of the file.
  void Step(ChannelWindow& channel);
  // The channel ends: the file is closed (a temporary one removed); nobody
  // is told.
  void Abandon();

 private:
  void end(ChannelWindow& channel, FileSendEnd how);
  bool nextFromList(ChannelWindow& channel);
  void closeFile();

  TextFileSender file_;
  bool progress_ = false;
  FileSendRequest request_;
  bool sending_ = false;
};

}  // namespace tarvik::channels
