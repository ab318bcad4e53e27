#include "channels/file_sender.h"

#include <filesystem>
#include <fstream>

#include "ax25/link.h"
#include "channels/channel_window.h"

namespace tarvik::channels {

namespace {

void RemoveFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace

bool TextFileSender::Open(const std::string& path) {
  Close();
  file_.reset(std::fopen(path.c_str(), "rb"));
  return file_ != nullptr;
}

std::string TextFileSender::NextBlock(std::vector<std::string>* lines, const Expand& expand) {
  std::string block = std::move(carry_);
  carry_.clear();
  if (!file_) return block;
  char buffer[kSendLineLimit + 1];
  while (block.size() < kSendBlockLimit && std::fgets(buffer, sizeof buffer, file_.get())) {
    std::string line(buffer);  // a NUL inside a line ends it here, never beyond the buffer
    // A line end becomes the carriage return of the air; a CR LF pair (a
    // file written on another system) is one line end, not two.
    bool ended = false;
    if (!line.empty() && line.back() == '\n') {
      line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ended = true;
    }
    if (expand) line = expand(line);
    if (lines) lines->push_back(line);
    if (ended) line += '\r';
    const std::size_t room = kSendBlockLimit - block.size();
    block.append(line, 0, std::min(room, line.size()));
    if (line.size() > room) carry_ = line.substr(room);
  }
  return block;
}

bool ChannelFileSender::Start(ChannelWindow& channel, FileSendRequest request) {
  TextFileSender next;
  if (!next.Open(request.path)) return false;
  if (sending_) end(channel, FileSendEnd::Replaced);
  file_ = std::move(next);
  request_ = std::move(request);
  sending_ = true;
  channel.SetState(kLampSqueue, 1);
  channel.SetCheck(kChSnd, 1);
  // The first block goes out as soon as the channel takes its events.
  channel.toolkit().post(channel.id(), ui::Event::user(ax25::kEvtQueueDrained, 1));
  return true;
}

void ChannelFileSender::Stop(ChannelWindow& channel) {
  if (sending_) end(channel, FileSendEnd::Stopped);
}

void ChannelFileSender::Step(ChannelWindow& channel) {
  if (!sending_ || channel.sessionState() != SessionState::Connected) return;
  std::vector<std::string> shown;
  TextFileSender::Expand expand;
  if (request_.mode.expandMacros) expand = [&channel](const std::string& line) { return channel.ExpandMacros(line); };
  const std::string block = file_.NextBlock(&shown, expand);
  if (block.empty()) {
    end(channel, FileSendEnd::Done);
    return;
  }
  for (const std::string& line : shown) channel.ShowText(line, ui::kRed);
  channel.SendData({reinterpret_cast<const std::uint8_t*>(block.data()), block.size()});
}

void ChannelFileSender::Abandon() {
  closeFile();
  if (!request_.listPath.empty()) RemoveFile(request_.listPath);
  request_ = {};
  sending_ = false;
}

void ChannelFileSender::closeFile() {
  const bool remove = file_.isOpen() && request_.mode.deleteAfter;
  file_.Close();
  if (remove) RemoveFile(request_.path);
}

bool ChannelFileSender::nextFromList(ChannelWindow& channel) {
  std::ifstream list(request_.listPath);
  std::string entry;
  bool found = false;
  while (std::getline(list, entry)) {
    if (!found) {
      found = entry == request_.path;
      continue;
    }
    if (file_.Open(entry)) {
      request_.path = entry;
      request_.mode = {};
      channel.toolkit().post(channel.id(), ui::Event::user(ax25::kEvtQueueDrained, 1));
      return true;
    }
    // Gone since the listing: the next one.
  }
  return false;
}

void ChannelFileSender::end(ChannelWindow& channel, FileSendEnd how) {
  closeFile();
  if (how == FileSendEnd::Done && !request_.mode.disconnectAfter && !request_.listPath.empty() &&
      nextFromList(channel))
    return;
  if (!request_.listPath.empty()) RemoveFile(request_.listPath);
  FileSendResult result{request_.path, request_.mode, request_.requester, how};
  request_ = {};
  sending_ = false;
  if (how != FileSendEnd::Replaced) {
    channel.SetState(kLampSqueue, 0);
    channel.SetCheck(kChSnd, 0);
  }
  if (how == FileSendEnd::Done && result.mode.disconnectAfter) channel.Disconnect(false);
  channel.NotifyFileSent(result);
}

}  // namespace tarvik::channels
