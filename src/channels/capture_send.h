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
// Both use what the channel owns: its one capture (a station's "//CA"
// capture counts; the operator is asked before it is stopped) and its one
// file sender (SND while any file goes out stops that file).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_window.h"
#include "channels/file_sender.h"
#include "core/app.h"

namespace tarvik::channels {

// The question whether to stop the running capture.
inline constexpr int kMsgCaptureRunning = 2;
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
// The file sent last (the first line of "SNDDIR.$$$" in TMPPATH), if any,
// and remembering it.
std::optional<std::string> RememberedSendFile(core::App& app);
void RememberSendFile(core::App& app, const std::string& path);

// The channel part of RCV and SND (text).
std::unique_ptr<ChannelPart> CaptureAndSendPart(core::App& app);

}  // namespace tarvik::channels
