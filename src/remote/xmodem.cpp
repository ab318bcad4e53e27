#include "remote/xmodem.h"

#include <algorithm>

namespace tarvik::remote {

namespace {

constexpr int kStartSeconds = 60;
constexpr int kBlockSeconds = 20;
constexpr int kRepeatSeconds = 5;
constexpr int kMaxRetries = 11;
constexpr int kCrcRequests = 3;  // unanswered "C" before asking with NAK
constexpr int kMaxSilences = 10;  // block time-outs in a row before giving up
constexpr std::size_t kPacketData = 128;

}  // namespace

const char* XmodemEndWord(XmodemEnd end) {
  switch (end) {
    case XmodemEnd::Finished: return "Finished";
    case XmodemEnd::Error: return "Error";
    case XmodemEnd::Break: return "Break";
    case XmodemEnd::Timeout: return "Timeout";
  }
  return "";
}

std::uint16_t XmodemCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (const std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>(crc ^ (b << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

bool XmodemEngine::StartReceive(const std::string& path) {
  Abandon();
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) return false;
  state_ = State::ReceiveStart;
  sending_ = false;
  block_ = 0;
  crc_ = true;
  timer_ = kStartSeconds;
  blockSize_ = 128;
  retries_ = 0;
  requests_ = 0;
  silences_ = 0;
  bytes_ = 0;
  return true;
}

void XmodemEngine::Request() {
  if (state_ != State::ReceiveStart) return;
  ++requests_;
  sendByte(crc_ ? kCrcRequest : kNak);
}

bool XmodemEngine::StartSend(const std::string& path) {
  Abandon();
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) return false;
  state_ = State::SendStart;
  sending_ = true;
  block_ = 1;
  timer_ = kStartSeconds;
  blockSize_ = 128;
  retries_ = 0;
  buffered_ = sent_ = 0;
  bufferBytes_ = 0;
  bytes_ = 0;
  silences_ = 0;
  return true;
}

void XmodemEngine::Abandon() {
  file_.reset();
  state_ = State::Idle;
  timer_ = -1;
  retries_ = 0;
}

void XmodemEngine::end(XmodemEnd how) {
  Abandon();
  if (ended_) ended_(how);
}

void XmodemEngine::Tick() {
  if (state_ == State::Idle || timer_ < 0) return;
  if (timer_ == 0) {
    // A block's time-out asks again (the block, EOT or a NAK): on a radio
    // link the answer may be late, not lost. Ten in a row end it.
    const bool started = state_ != State::SendStart && state_ != State::ReceiveStart;
    if (!started || ++silences_ >= kMaxSilences) {
      end(XmodemEnd::Timeout);
      return;
    }
    timer_ = kBlockSeconds;
    if (state_ == State::SendBlock) sendPacket();
    else if (state_ == State::SendEot) sendByte(kEot);
    else sendByte(kNak);
    timer_ = kBlockSeconds;
    return;
  }
  --timer_;
  // Only the start is asked for again every few seconds (the sender may
  // not be running yet). Once blocks flow, a NAK goes only at the block's
  // time-out: data on a connected link arrives, late rather than lost, and
  // every early NAK would bring a copy of the block and, for it, another
  // ACK that the sender takes for the next block.
  if (timer_ % kRepeatSeconds != 0 || state_ != State::ReceiveStart) return;
  if (crc_ && requests_ >= kCrcRequests) crc_ = false;
  ++requests_;
  sendByte(crc_ ? kCrcRequest : kNak);
}

void XmodemEngine::Data(std::span<const std::uint8_t> bytes) {
  if (state_ == State::Idle) return;
  if (sending_) {
    senderAnswer(bytes.empty() ? 0 : bytes[0]);
    return;
  }
  receive(bytes);
}

// --- sending --------------------------------------------------------------------

void XmodemEngine::senderAnswer(std::uint8_t first) {
  if (first == kCan && state_ != State::SendEot) return end(XmodemEnd::Break);
  switch (state_) {
    case State::SendStart:
      if (first == kCrcRequest || first == kNak) {
        crc_ = first == kCrcRequest;
        nextBlock();
      } else {
        unexpected();
      }
      return;
    case State::SendBlock:
      if (first == kAck) {
        silences_ = 0;
        const std::uintmax_t left = bufferBytes_ - std::min<std::uintmax_t>(bufferBytes_, sent_ * kPacketData);
        bytes_ += std::min<std::uintmax_t>(left, kPacketData);
        ++block_;
        ++sent_;
        nextBlock();
      } else if (first == kNak) {
        sendPacket();
      } else {
        unexpected();
      }
      return;
    case State::SendEot:
      if (first == kAck) end(XmodemEnd::Finished);
      else unexpected();
      return;
    default: return;
  }
}

void XmodemEngine::unexpected() {
  if (retries_++ >= kMaxRetries) end(XmodemEnd::Error);
}

void XmodemEngine::nextBlock() {
  if (sent_ >= buffered_) {
    std::fill(buffer_.begin(), buffer_.end(), 0);
    const std::size_t n = file_ ? std::fread(buffer_.data(), 1, buffer_.size(), file_.get()) : 0;
    buffered_ = (n + kPacketData - 1) / kPacketData;
    bufferBytes_ = n;
    sent_ = 0;
    if (n == 0) {
      sendByte(kEot);
      state_ = State::SendEot;
      return;
    }
  }
  sendPacket();
}

void XmodemEngine::sendPacket() {
  std::vector<std::uint8_t> packet;
  packet.reserve(3 + kPacketData + 2);
  packet.push_back(kSoh);
  packet.push_back(block_);
  packet.push_back(static_cast<std::uint8_t>(255 - block_));
  const auto data = std::span<const std::uint8_t>(buffer_).subspan(sent_ * kPacketData, kPacketData);
  packet.insert(packet.end(), data.begin(), data.end());
  if (crc_) {
    const std::uint16_t crc = XmodemCrc(data);
    packet.push_back(static_cast<std::uint8_t>(crc >> 8));
    packet.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  } else {
    unsigned sum = 0;
    for (const std::uint8_t b : data) sum += b;
    packet.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  }
  state_ = State::SendBlock;
  timer_ = kBlockSeconds;
  retries_ = 0;
  out_(packet);
}

// --- receiving ------------------------------------------------------------------

void XmodemEngine::receive(std::span<const std::uint8_t> bytes) {
  if (state_ == State::ReceiveStart) {
    block_ = 1;
    state_ = State::ReceiveHeader;
  }
  if (bytes.empty()) {
    if (state_ == State::ReceiveHeader) sendByte(kNak);
    return;
  }
  std::size_t i = 0;
  // The first byte of a piece that does not continue a block is a header;
  // after a block, the rest of the piece is read on only when it starts
  // the next one (a sender may send on before its answer came).
  bool first = true;
  while (i < bytes.size() && state_ != State::Idle && !sending_) {
    timer_ = kBlockSeconds;
    if (state_ == State::ReceiveHeader) {
      const std::uint8_t b = bytes[i++];
      const bool known = b == kSoh || b == kStx || b == kEot || b == kCan;
      if (!first && !known) return;  // what follows a block is noise: dropped
      header(b);
      if (state_ != State::ReceiveBlock) return;
    } else {
      parse(bytes[i++]);
    }
    first = false;
  }
}

void XmodemEngine::header(std::uint8_t first) {
  switch (first) {
    case kSoh:
    case kStx:
      blockSize_ = first == kSoh ? 128 : 1024;
      headerPos_ = count_ = 0;
      check_ = 0;
      received_ = 0;
      checkBytes_ = 0;
      retries_ = 0;
      state_ = State::ReceiveBlock;
      if (buffer_.size() < blockSize_) buffer_.resize(blockSize_);
      return;
    case kEot:
      sendByte(kAck);
      end(XmodemEnd::Finished);
      return;
    case kCan: end(XmodemEnd::Break); return;
    default: sendByte(kNak); return;
  }
}

void XmodemEngine::parse(std::uint8_t b) {
  if (headerPos_ == 0) {
    number_ = b;
    ++headerPos_;
    return;
  }
  if (headerPos_ == 1) {
    complement_ = b;
    ++headerPos_;
    return;
  }
  if (count_ < blockSize_) {
    buffer_[count_++] = b;
    if (crc_) check_ = XmodemCrc(std::span<const std::uint8_t>(&b, 1), check_);
    else check_ = static_cast<std::uint16_t>((check_ + b) & 0xFF);
    return;
  }
  received_ = static_cast<std::uint16_t>((received_ << 8) | b);
  if (++checkBytes_ < (crc_ ? 2 : 1)) return;
  blockComplete();
}

void XmodemEngine::blockComplete() {
  bool ack = received_ == check_;
  if ((number_ & complement_) != 0) ack = false;
  bool store = ack;
  if (number_ != block_) {
    store = false;
    ack = number_ == static_cast<std::uint8_t>(block_ - 1);
  }
  state_ = State::ReceiveHeader;
  if (store) {
    // Written before the answer: what was acknowledged is on disk.
    if (std::fwrite(buffer_.data(), 1, blockSize_, file_.get()) != blockSize_ || std::fflush(file_.get()) != 0) {
      sendByte(kCan);
      sendByte(kCan);
      end(XmodemEnd::Error);
      return;
    }
    bytes_ += blockSize_;
    retries_ = 0;
    silences_ = 0;
    ++block_;
  }
  sendByte(ack ? kAck : kNak);
}

}  // namespace tarvik::remote
