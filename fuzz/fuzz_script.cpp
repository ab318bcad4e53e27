// Script files and the lines they see: a script is read line by line from
// its file, waits for texts, lines and prompts in what is received, keeps
// received words in variables and expands macros in everything it sends.
// Whatever the file and the received lines hold, the interpreter never
// crashes, never reads or writes past a limit and never runs without end.
//
// Input: the script file, a NUL byte, then received lines (LF separated);
// a received line starting with 0x01 is a partial line (a tail), 0x02 a
// heartbeat tick, 0x03 the end of a file transfer.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "script/script.h"

namespace {

namespace fs = std::filesystem;
fs::path g_dir;

class Host final : public tarvik::script::ScriptHost {
 public:
  void SendLine(const std::string& text) override { sent += text.size(); }
  void Notice(const std::string& text) override { sent += text.size(); }
  void Wake() override { wake = true; }
  void Running(bool) override {}
  tarvik::script::ChannelFacts Facts() override {
    return {"DA1AAA", "DB2BBB-3", "Bob", "01.02.2026 10:11", {2026, 12, 10, 17, 36, 5, 4}};
  }
  void Disconnect(tarvik::script::Script&) override {}
  bool SendingFile() override { return false; }
  void RemoteCommand(const std::string&, bool) override {}
  void ReadMail(const std::string&) override {}
  void SendMail() override {}
  void CheckListToRequests(tarvik::script::Script&) override {}
  bool MailWaiting() override { return false; }
  void CheckListEntry(const std::string&, tarvik::script::VariableTable&) override {}
  std::string LogPath() override { return (g_dir / "log").string() + "/"; }
  std::string CurrentDirectory() override { return (g_dir / "cur").string() + "/"; }
  std::string ExportDirectory() override { return (g_dir / "exp").string() + "/"; }
  void CopyFailed(const std::string&) override {}
  std::string InvalidCommandText() override { return "invalid"; }
  std::size_t sent = 0;
  bool wake = false;
};

// Runs the script as its channel would: every wake-up is a continue event.
void Settle(tarvik::script::Script& script, Host& host) {
  for (int i = 0; i < 8 && host.wake; ++i) {
    host.wake = false;
    script.Continue();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = fs::temp_directory_path() / ("tvk_fuzz_script_" + std::to_string(::getpid()));
  for (const char* sub : {"log", "cur", "exp"}) fs::create_directories(g_dir / sub);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const fs::path file = g_dir / "fuzz.scr";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << input.substr(0, split);
  Host host;
  tarvik::script::Script script(host, {2026, 12, 10, 17, 36, 5, 4});
  if (!script.Start(file.string())) return 0;
  Settle(script, host);
  std::string_view rest = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  while (!rest.empty() && script.running()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line[0] == '\x01') script.ReceivedTail(line.substr(1));
    else if (!line.empty() && line[0] == '\x02') script.Tick();
    else if (!line.empty() && line[0] == '\x03') script.FileSendDone();
    else script.ReceivedLine(line);
    Settle(script, host);
  }
  // A script left waiting is given its time-outs.
  for (int i = 0; i < 4 && script.running(); ++i) {
    script.Tick();
    Settle(script, host);
  }
  script.Stop();
  return 0;
}
