#pragma once
// The remote command service: what a connected station may do on this
// computer by sending lines that start with "//".
//
// The service is a part of every channel (RemoteServicePart) at the last
// line stage: it sees the received lines no earlier part took, the
// operator's "!//..." input, and script lines through RunRemoteLine
// ("!" and "."). Each command is allowed by the ACCESS switch string of the
// station's level; level, DIGI mark, name, QTH and previous connect are the
// channel's station facts (channels/station_facts.h). Replies go back on
// the channel (red on screen); in prompt mode each reply ends with the
// PROMPT text.
//
// Every file a station names is confined: the remote directory never
// leaves the level's HOME (or PUBPATH when HOME is empty), the save
// directory never leaves SAVEPATH (see remote_paths.h).
//
// Files go out through the channel's one file sender. While any file is
// being sent, a station's command waits as the deferred command (one, the
// latest) and runs when the file has gone; ES drops it. A station's "//CA"
// capture is the channel's one capture: it cannot replace one that runs,
// and "//CA off" ends only a capture the station started.
//
// For a connection the other station opened, the service switches prompt
// mode on and sends the welcome text three heartbeat ticks later.

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"

namespace tarvik::remote {

// Where a command line comes from.
enum class Origin {
  Station,  // received from the other station, or a script's "." line
  Local,    // the operator's "!//..." or a script's "!" line: no access test, nothing sent as reply
};

// File sender flags.
using SendMode = channels::FileSendMode;

// The service as a part of a channel.
std::unique_ptr<channels::ChannelPart> RemoteServicePart(core::App& app);

// A line for the service of `channel` (scripts). False when the channel
// has no service or the line is not a command.
bool RunRemoteLine(channels::ChannelWindow& channel, const std::string& line, Origin origin);

// Sends a text file on the channel's file sender for the service; false
// when the file cannot be opened or the channel has no service.
bool SendFile(channels::ChannelWindow& channel, const std::string& path, SendMode mode);

// Answers the station as a command does (shown red, with the prompt in
// prompt mode); without a service the text is shown and sent as it is.
void ReplyToStation(channels::ChannelWindow& channel, const std::string& text);

// The channel's save directory (SAVEPATH until the station's SC changes
// it); `savePath` without a service.
std::string SaveDirectory(channels::ChannelWindow& channel, const std::string& savePath);

// Sends the goodbye text and disconnects after it.
void DisconnectWithGoodbye(channels::ChannelWindow& channel);

// Fills the conversions of a reply text in order with texts ("%s", "%d",
// with flags and widths, all taking the next text); "%%" gives "%". Missing
// texts are empty; nothing in a format can read beyond `texts`.
std::string FillReply(std::string_view format, std::initializer_list<std::string_view> texts);

}  // namespace tarvik::remote
