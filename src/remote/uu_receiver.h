#pragma once
// The receiver of uuencoded files on a channel.
//
// While AUTOBIN is on, every received line is offered to it. A begin line
// starts a reception into a temporary file (TMPPATH's next temporary
// name); data lines are decoded into it; the end line closes it and checks
// the checksum: a good file (or one whose end line carries no checksum) is
// copied into the save directory, replacing a file of that name only when
// the copy is whole; a bad one is dropped and an existing file of that
// name stays untouched. The temporary file is always removed.
//
// The received name is untrusted: only its last part is used, and only
// when it is a plain name that stays inside the save directory.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::remote {

// What a line did.
struct UuEvent {
  enum class Kind {
    Pass,        // not the receiver's line
    Data,        // a data line of a reception, taken
    Started,     // a begin line: "Save binary file to %s"
    CannotOpen,  // a begin line that cannot be received: "Can't open %s"
    Good,        // the end line, file stored: "Binary file %s is ok[ without CRC]"
    Bad,         // the end line, checksum wrong: "Binary file %s is NOT ok (%s!=%s)"
    CopyFailed,  // the end line, the file could not be stored
  };
  Kind kind = Kind::Pass;
  std::string text;  // the text for the channel (without line end)
  std::uintmax_t bytes = 0;
  std::string target;
};

class UuReceiver {
 public:
  ~UuReceiver() { Abandon(); }
  bool receiving() const { return file_ != nullptr; }
  const std::string& target() const { return target_; }
  std::uintmax_t bytes() const { return bytes_; }

  // `saveDir` is where the file goes, `bound` what it may not leave;
  // `tempPath` gives a fresh temporary file name (asked for a begin line).
  UuEvent Line(std::string_view line, const std::string& saveDir, const std::string& bound,
               const std::function<std::string()>& tempPath);
  // Ends a reception without a result (AUTOBIN switched); the temporary
  // file goes.
  void Abandon();

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  UuEvent begin(std::string_view line, const std::string& name, const std::string& saveDir,
                const std::string& bound, const std::function<std::string()>& tempPath);
  UuEvent finish(std::string_view line);

  std::unique_ptr<std::FILE, Closer> file_;
  std::uint16_t crc_ = 0;
  std::string target_, temporary_;
  std::uintmax_t bytes_ = 0;
  bool writeFailed_ = false;
};

}  // namespace tarvik::remote
