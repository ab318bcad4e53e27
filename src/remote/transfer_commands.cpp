#include "remote/transfer_commands.h"

#include <filesystem>

#include "remote/remote_paths.h"
#include "remote/remote_service.h"
#include "remote/transfer_files.h"
#include "remote/uu_sender.h"
#include "remote/xmodem_part.h"

namespace tarvik::remote {

namespace fs = std::filesystem;
using channels::ChannelWindow;

namespace {

// The file name: the argument up to a vertical bar, at most 127
// characters, without trailing blanks.
std::string NameOf(std::string_view argument) {
  std::string name(argument.substr(0, argument.find('|')).substr(0, kNameLimit));
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  return name;
}

bool RegularFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

void GetUuencoded(ChannelWindow& channel, std::string_view argument, const TransferContext& context) {
  const std::string name = NameOf(argument.substr(0, argument.find(' ')));
  if (name.empty()) return context.reply("");
  const auto path = HasWildcard(name) ? std::nullopt : ConfinedPath(context.remoteBound, context.remoteDir, name);
  channels::FileSendRequest request;
  request.encoder = UuencodeEncoder();
  if (path && RegularFile(*path)) {
    request.path = *path;
    if (channel.fileSender().Start(channel, std::move(request))) return;
  }
  context.reply(FillReply(channel.Text("GETNOTF"), {context.remoteDir + name}) + "\r");
}

void XmodemReceive(ChannelWindow& channel, std::string_view argument, const TransferContext& context) {
  const std::string name = NameOf(channel.ExpandMacros(std::string(argument)));
  if (name.empty()) return context.reply("No File specified !\r");
  XmodemTransfer* transfer = channel.FindPart<XmodemTransfer>();
  const auto path = ConfinedPath(context.saveBound, context.saveDir, name);
  std::error_code ec;
  const auto announce = [&] { context.reply("Receiving File " + name + " with XMODEM protocol !\r"); };
  if (!transfer || !path || fs::is_directory(*path, ec) || !transfer->Receive(channel, *path, context.local, announce))
    context.reply("Could not open " + (path ? *path : context.saveDir + ShownName(name)) + " !\r");
}

void XmodemSend(ChannelWindow& channel, std::string_view argument, const TransferContext& context) {
  const std::string name = NameOf(argument);
  if (name.empty()) return context.reply("No File specified !\r");
  XmodemTransfer* transfer = channel.FindPart<XmodemTransfer>();
  const auto path = ConfinedPath(context.remoteBound, context.remoteDir, name);
  const auto announce = [&] { context.reply("Sending File " + name + " with XMODEM protocol !\r"); };
  if (!transfer || !path || !RegularFile(*path) || !transfer->Send(channel, *path, context.local, announce))
    context.reply("File " + (path ? *path : context.remoteDir + ShownName(name)) + " not found !\r");
}

}  // namespace tarvik::remote
