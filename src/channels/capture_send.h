#pragma once
// Capture and send on a channel: the operator copies everything the
// receive pane shows into a text file ("RCV"), and sends a text file to the
// other station ("SND").
//
// A capture is the receive pane's own (ui::FifoText::Capture): every line
// the pane takes is written after a "\n", text added to a partial line is
// written as it comes, and the end of the capture writes a final "\n". The
// channel's title shows " -> " and the path while it runs.
//
// A text file goes out block by block, driven by the link's send-queue
// report (user event 890 with 1): each block is filled from lines of at
// most 255 characters, a line end becoming a carriage return, up to 516
// characters; what does not fit waits for the next block. The file's
// directory is remembered in "SNDDIR.$$$" of TMPPATH, so that the next
// dialog starts there with the file's extension as filter.
//
// AddCaptureAndSend puts both into a channel's hooks; the state lives in
// the hooks, so it ends (files closed) with the channel window.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_window.h"
#include "core/app.h"

namespace tarvik::channels {

// The question whether to stop the running capture.
inline constexpr int kMsgCaptureRunning = 2;
inline constexpr std::size_t kSendLineLimit = 255;
inline constexpr std::size_t kSendBlockLimit = 516;
inline constexpr std::string_view kSendDirFile = "SNDDIR.$$$";

// The capture file name proposed for a remote call: the call without SSID,
// at most seven characters, and ".txt".
std::string CaptureProposal(std::string_view remoteCall);

// Where the send dialog starts: the remembered file's directory and "*"
// with its extension, or SAVEPATH (without its final "/") and "*.txt".
struct SendDialogStart {
  std::string directory;
  std::string filter;
};
SendDialogStart SendDialogStartFrom(const std::optional<std::string>& remembered, std::string_view savePath);

// Reads a text file for sending, block by block.
class TextFileSender {
 public:
  // Opens the file; false when it cannot be opened.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  void Close() { file_.reset(); carry_.clear(); }
  // The next block; empty at the end of the file. The lines read for it
  // (without their line end) are added to `lines`.
  std::string NextBlock(std::vector<std::string>* lines = nullptr);

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::string carry_;  // the part of a line that did not fit into the last block
};

// Enables RCV, SND (text) and their state on a channel's hooks.
void AddCaptureAndSend(core::App& app, ChannelHooks& hooks);

}  // namespace tarvik::channels
