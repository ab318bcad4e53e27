#include "channels/file_sender.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// An encoder's text on screen: each line red, without its line end.
void ShowLines(ChannelWindow& channel, std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\r'), text.size());
    channel.ShowText(text.substr(0, end), ui::kRed);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

void SendBytes(ChannelWindow& channel, const std::string& text) {
  if (!text.empty()) channel.SendData({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

long Position(std::FILE* file) { return file ? std::ftell(file) : 0; }

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool TextFileSender::Open(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file_.reset(::fdopen(fd, "rb"));
  if (!file_) ::close(fd);
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
  if (SameFile(request.path, channel.capturePath()) || !next.Open(request.path)) return false;
  if (sending_) end(channel, FileSendEnd::Replaced);
  file_ = std::move(next);
  request_ = std::move(request);
  sending_ = true;
  channel.SetState(kLampSqueue, 1);
  channel.SetCheck(kChSnd, 1);
  progress_ = request_.showProgress;
  if (progress_) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(request_.path, ec);
    const std::size_t slash = request_.path.rfind('/');
    channel.toolkit().sendUser(channel.id(), kEvtSendStart, 0,
                               std::make_unique<SendProgressArgument>(
                                   slash == std::string::npos ? request_.path : request_.path.substr(slash + 1),
                                   ec ? 0 : size));
  }
  if (request_.encoder) {
    const std::string begin = request_.encoder->Begin(request_.path);
    ShowLines(channel, begin);
    SendBytes(channel, begin);
  }
  // The first block goes out as soon as the channel takes its events.
  channel.toolkit().post(channel.id(), ui::Event::user(ax25::kEvtQueueDrained, 1));
  return true;
}

void ChannelFileSender::Stop(ChannelWindow& channel) {
  if (sending_) end(channel, FileSendEnd::Stopped);
}

void ChannelFileSender::Step(ChannelWindow& channel) {
  if (!sending_ || channel.sessionState() != SessionState::Connected) return;
  const long before = Position(file_.handle());
  const auto progress = [&] {
    const long taken = Position(file_.handle()) - before;
    if (progress_ && taken > 0) channel.toolkit().sendUser(channel.id(), kEvtSendProgress, taken);
  };
  if (request_.encoder) {
    const std::string block = request_.encoder->Block(file_.handle(), kSendBlockLimit);
    progress();
    if (block.empty()) {
      const std::string last = request_.encoder->End();
      ShowLines(channel, last);
      SendBytes(channel, last);
      end(channel, FileSendEnd::Done);
      return;
    }
    SendBytes(channel, block);
    return;
  }
  std::vector<std::string> shown;
  TextFileSender::Expand expand;
  if (request_.mode.expandMacros) expand = [&channel](const std::string& line) { return channel.ExpandMacros(line); };
  const std::string block = file_.NextBlock(&shown, expand);
  progress();
  if (block.empty()) {
    end(channel, FileSendEnd::Done);
    return;
  }
  for (const std::string& line : shown) channel.ShowText(line, ui::kRed);
  channel.SendData({reinterpret_cast<const std::uint8_t*>(block.data()), block.size()});
}

void ChannelFileSender::Abandon() {
  closeFile();
  progress_ = false;
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
    if (!SameFile(entry, channel.capturePath()) && file_.Open(entry)) {
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
  if (progress_) channel.toolkit().sendUser(channel.id(), how == FileSendEnd::Done ? kEvtSendEnd : kEvtSendBroken);
  progress_ = false;
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
