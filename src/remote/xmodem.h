#pragma once
// The XMODEM engine of a channel: one transfer at a time, either way.
//
// Sending: 128-byte blocks (SOH), the last one filled with zero bytes, with
// the one-byte checksum or CRC-16/XMODEM as the receiver asked ("C" or
// NAK), read ahead 1024 bytes at a time; EOT after the last block.
// Receiving: asks with "C" (CRC-16) and falls back to the one-byte
// checksum with NAK after three unanswered requests, so that a sender
// that knows only checksums works too; takes 128-byte (SOH) and 1024-byte
// (STX) blocks; a block received twice is acknowledged again and stored
// once.
//
// The engine is fed the channel's received data as it comes (a block may
// be split over several pieces or share one with the next) and the
// one-second heartbeat: 60 seconds for the start, then "Timeout"; 20 per
// block, after which the sender sends the block (or EOT) again and the
// receiver asks with NAK; ten such time-outs in a row end the transfer with
// "Timeout". While waiting for the start, the receiver repeats its request
// every 5 seconds; once blocks flow it asks again only at the time-out. CAN ends it with "Break", eleven unexpected
// answers with "Error", the last answer to EOT with "Finished".
//
// The engine writes what it receives into the file it was given; the
// caller decides what becomes of it when the transfer ends.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tarvik::remote {

inline constexpr std::uint8_t kSoh = 1, kStx = 2, kEot = 4, kAck = 6, kNak = 21, kCan = 24, kCrcRequest = 'C';

enum class XmodemEnd { Finished, Error, Break, Timeout };
const char* XmodemEndWord(XmodemEnd end);

// CRC-16/XMODEM (0x1021, initial 0, high bit first).
std::uint16_t XmodemCrc(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

class XmodemEngine {
 public:
  using Output = std::function<void(std::span<const std::uint8_t>)>;
  using Ended = std::function<void(XmodemEnd)>;

  // `out` sends bytes on the channel; `ended` hears the end, after the
  // file was closed.
  XmodemEngine(Output out, Ended ended) : out_(std::move(out)), ended_(std::move(ended)) {}

  // Creates `path` for a reception. False when it cannot be created.
  bool StartReceive(const std::string& path);
  // Asks the sender to start (the first "C"), after StartReceive.
  void Request();
  // Opens `path` for sending. False when it cannot be opened.
  bool StartSend(const std::string& path);
  // Received data of the channel.
  void Data(std::span<const std::uint8_t> bytes);
  // The one-second heartbeat.
  void Tick();
  // Ends a running transfer (the channel goes), telling nobody.
  void Abandon();

  bool active() const { return state_ != State::Idle; }
  bool sending() const { return sending_; }
  bool crcMode() const { return crc_; }
  // File bytes stored (receiving) or acknowledged (sending).
  std::uintmax_t bytes() const { return bytes_; }

 private:
  enum class State { Idle, SendStart, SendBlock, SendEot, ReceiveStart, ReceiveHeader, ReceiveBlock };
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  void sendByte(std::uint8_t b) { out_(std::span<const std::uint8_t>(&b, 1)); }
  void end(XmodemEnd how);
  // Sending.
  void senderAnswer(std::uint8_t first);
  void unexpected();
  void nextBlock();
  void sendPacket();
  // Receiving.
  void receive(std::span<const std::uint8_t> bytes);
  void header(std::uint8_t first);
  void parse(std::uint8_t b);
  void blockComplete();

  Output out_;
  Ended ended_;
  std::unique_ptr<std::FILE, Closer> file_;
  State state_ = State::Idle;
  bool sending_ = false;
  bool crc_ = true;
  std::uint8_t block_ = 0;
  std::size_t blockSize_ = 128;
  int timer_ = -1;
  int retries_ = 0;
  int requests_ = 0;  // "C" sent without an answer
  int silences_ = 0;  // block time-outs since the last progress
  std::uintmax_t bytes_ = 0;
  // Sending: the data read ahead.
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(1024);
  std::size_t buffered_ = 0, sent_ = 0;
  std::uintmax_t bufferBytes_ = 0;
  // Receiving: the block being parsed.
  std::size_t headerPos_ = 0, count_ = 0;
  std::uint8_t number_ = 0, complement_ = 0;
  std::uint16_t check_ = 0;
  std::uint16_t received_ = 0;
  int checkBytes_ = 0;
};

}  // namespace tarvik::remote
