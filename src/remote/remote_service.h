#pragma once
// The remote command service: what a connected station may do on this
// computer by sending lines that start with "//".
//
// Lines enter through the channel's remoteLine hook (received lines the
// other handlers declined), through the operator's "!//..." input and
// through RunRemoteLine (script lines "!" and "."). Each command is allowed
// by the ACCESS switch string of the station's level; the level and the
// DIGI mark come from the station database, reached through RemoteHooks.
// Replies go back on the channel (red on screen); in prompt mode each
// reply ends with the PROMPT text.
//
// Every file a station names is confined: the remote directory never
// leaves the level's HOME (or PUBPATH when HOME is empty), the save
// directory never leaves SAVEPATH (see remote_paths.h).
//
// The service also owns the channel's file sender, which sends text files
// block by block as the link's send queue drains, and the welcome and
// goodbye texts. Its state lives in an invisible window, child of the
// channel window, which ends with the channel and takes the service's
// timer ticks (the welcome delay, the program's end after EX).

#include <functional>
#include <optional>
#include <string>

#include "channels/channel_window.h"
#include "core/app.h"

namespace tarvik::remote {

// What the station database knows of a station.
struct StationInfo {
  int level = 0;     // 0..5; 0 takes no commands
  bool digi = false;  // a digipeater or node: no commands at all
  std::string name;
  std::string qth;
  std::string lastConnect;  // the previous connect time, as the database shows it
};

// Parts the service reaches but does not own. An empty hook means the part
// is not there: the commands needing it answer that they are not available.
struct RemoteHooks {
  std::function<std::optional<StationInfo>(const std::string& call)> station;
  std::function<bool(const std::string& call, const std::string& name)> storeName;
  std::function<bool(const std::string& call, const std::string& qth)> storeQth;
  // The mail store registers a mail to the operator from `call` and takes
  // the following received lines of the channel; false when it cannot.
  std::function<bool(channels::ChannelWindow&, const std::string& call, const std::string& subject)> startMail;
  // The uuencode receiver drops a reception in progress.
  std::function<void(channels::ChannelWindow&)> abandonBinary;
};

// Where a command line comes from.
enum class Origin {
  Station,  // received from the other station, or a script's "." line
  Local,    // the operator's "!//..." or a script's "!" line: no access test, nothing sent as reply
};

// File sender flags.
struct SendMode {
  bool expandMacros = false;
  bool deleteAfter = false;
  bool disconnectAfter = false;
  bool noClosingReply = false;
};

// Joins the service to a channel that is being opened: its hooks (remote
// lines, "!//" input, the send-queue report, the capture path) chained to
// those already there, and for a connection the other station opened,
// prompt mode and the welcome text a few ticks later.
void AddRemoteService(core::App& app, channels::ChannelWindow& channel, channels::ChannelHooks& hooks,
                      RemoteHooks remoteHooks = {});

// A line for the service of `channel` (scripts). False when the channel
// has no service or the line is not a command.
bool RunRemoteLine(channels::ChannelWindow& channel, const std::string& line, Origin origin);

// Sends a text file on the channel with its file sender; false when the
// file cannot be opened or the channel has no service.
bool SendFile(channels::ChannelWindow& channel, const std::string& path, SendMode mode);

// Sends the goodbye text and disconnects after it.
void DisconnectWithGoodbye(channels::ChannelWindow& channel);

// Fills the conversions of a reply text in order with texts ("%s", "%d",
// with flags and widths, all taking the next text); "%%" gives "%". Missing
// texts are empty; nothing in a format can read beyond `texts`.
std::string FillReply(std::string_view format, std::initializer_list<std::string_view> texts);

}  // namespace tarvik::remote
