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
// When a file ends (sent, stopped or replaced) the sender puts out the
// SQUEUE lamp, unmarks SND and tells every part of the channel
// (ChannelPart::FileSent).

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channels/channel_part.h"

namespace tarvik::channels {

inline constexpr std::size_t kSendLineLimit = 255;
inline constexpr std::size_t kSendBlockLimit = 516;

// Reads a text file for sending, block by block.
class TextFileSender {
 public:
  using Expand = std::function<std::string(const std::string&)>;
  // Opens the file; false when it cannot be opened.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
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

struct FileSendRequest {
  std::string path;
  FileSendMode mode;
  const ChannelPart* requester = nullptr;  // told as the file's owner when it ends
  std::string listPath;                    // a file list the path is the first entry of
};

class ChannelFileSender {
 public:
  bool sending() const { return sending_; }
  const std::string& path() const { return request_.path; }
  const ChannelPart* requester() const { return request_.requester; }

  // Starts sending a file; a file still going out is replaced. False (and
  // nothing changed) when the file cannot be opened.
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
  FileSendRequest request_;
  bool sending_ = false;
};

}  // namespace tarvik::channels
