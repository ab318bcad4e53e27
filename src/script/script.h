#pragma once
// The script language: a script automates the dialogue on one channel. It
// is a text file interpreted line by line straight from the file, and the
// interpreter never blocks: a command that has to wait (for a text, a
// line, the mailbox prompt or a delay) leaves the script in a wait state
// and returns. Received lines and tails, the one-second tick and the end of
// a file transfer wake it by asking the channel for the continue event
// (user event 1017), which calls Continue.
//
// Everything the script does to its channel goes through ScriptHost, so
// the interpreter knows nothing of windows and links. The variable table,
// the prompt, the check list and the date records belong to the channel's
// Script object and outlive each single script.
//
// Scripts are the operator's files, but what they work on (received lines
// kept in variables, macro values) comes from the air: every line, name and
// value is bounded, and nothing a script contains can make the interpreter
// read or write past a limit or run without end inside one event.

#include <array>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "script/date_record.h"
#include "script/macros.h"
#include "script/variables.h"

namespace tarvik::script {

inline constexpr int kEvtScriptContinue = 1017;
inline constexpr std::size_t kLineReadLimit = 249;
inline constexpr std::size_t kLineBufferLimit = 127;
inline constexpr std::size_t kNameLimit = 31;
inline constexpr std::size_t kValueLimit = 127;
inline constexpr std::size_t kConditionLimit = 255;
inline constexpr std::size_t kPromptPartLimit = 63;
inline constexpr int kTokenCount = 20;
inline constexpr std::size_t kTailLimit = 255;  // a received line is never longer
// A script that runs this many lines without waiting pauses until the
// next tick, so that the channel's other events always come in.
inline constexpr int kLinesPerEvent = 500;

enum class RunState : int { Running = 0, WaitText = 1, WaitLine = 2, Delay = 3, Stopped = 4, WaitPrompt = 5 };

// Facts of the channel that macros show.
class Script;

struct ChannelFacts {
  std::string myCall, yourCall, yourName, lastCon;
  ui::LocalTime now;
};

// The channel as a script sees it.
class ScriptHost {
 public:
  virtual ~ScriptHost() = default;
  // Shown red and sent with a carriage return.
  virtual void SendLine(const std::string& text) = 0;
  // A local notice in blue.
  virtual void Notice(const std::string& text) = 0;
  // Posts the continue event to the channel.
  virtual void Wake() = 0;
  // The SCRIPT lamp and the check mark of the EXEC control.
  virtual void Running(bool on) = 0;
  virtual ChannelFacts Facts() = 0;
  // Says goodbye and disconnects after what is queued.
  virtual void Disconnect(Script& script) = 0;
  // A file is being sent on the channel: the script pauses until it is done.
  virtual bool SendingFile() = 0;
  // A remote command run locally ("!") or as the connected station ("."),
  // the latter with access rights tested and replies sent.
  virtual void RemoteCommand(const std::string& command, bool local) = 0;
  // The mailbox dialogue: read a mail, send waiting mail, check list.
  virtual void ReadMail(const std::string& command) = 0;
  virtual void SendMail() = 0;
  virtual void CheckListToRequests(Script& script) = 0;
  virtual bool MailWaiting() = 0;
  // Turns a check-list entry into the CHK_ variables.
  virtual void CheckListEntry(const std::string& entry, VariableTable& variables) = 0;
  // clearlist: the channel's list file goes with the check list.
  virtual void ClearList() {}
  // passwd: the next received line or tail is a password challenge.
  virtual void ArmPassword() {}
  // The monthly log directory, the channel's current and export
  // directories (each ending with "/" or empty).
  virtual std::string LogPath() = 0;
  virtual std::string CurrentDirectory() = 0;
  virtual std::string ExportDirectory() = 0;
  // A copy for export failed: message 1023 with this text.
  virtual void CopyFailed(const std::string& text) = 0;
  // The notice for an unknown command word.
  virtual std::string InvalidCommandText() = 0;
};

class Script {
 public:
  explicit Script(ScriptHost& host, const ui::LocalTime& created);

  // Opens and starts a script file; false when it cannot be opened (the
  // caller tells the operator). A script that runs is replaced.
  bool Start(const std::string& path);
  // Runs lines until the script waits or ends (user event 1017).
  void Continue();
  // The operator's stop: the script ends and the check list goes.
  void Stop();
  void ReceivedLine(std::string_view line);
  void ReceivedTail(std::string_view tail);
  void Tick();
  void FileSendDone();

  // The channel's macros, with this script's variables and dates.
  std::string Expand(std::string_view text);
  bool IsPrompt(std::string_view text) const;

  bool running() const { return file_ != nullptr; }
  RunState state() const { return state_; }
  const std::string& path() const { return path_; }
  VariableTable& variables() { return variables_; }
  const VariableTable& variables() const { return variables_; }
  std::deque<std::string>& checkList() { return checkList_; }
  const std::array<std::string, 3>& prompt() const { return prompt_; }
  void SetPrompt(std::string_view definition);
  const DateRecord& gpsStart() const { return gpsStart_; }
  const DateRecord& gpsEnd() const { return gpsEnd_; }
  int timeout() const { return timeout_; }

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;

  bool open(const std::string& path);
  void scanLabels();
  std::string readLine();
  bool atEnd() const;
  void end();
  void resume();
  RunState execute(const std::string& line);
  void defineLabel(std::string_view name);
  void jump(std::string_view label);
  RunState waitFor(std::string_view argument);
  RunState wait(RunState state);
  bool satisfies(std::string_view text) const;
  void sent();
  RunState readLn(std::string_view argument);
  void timeoutPart(std::string_view& argument);
  void loop(std::string_view argument);
  bool condition(std::string_view text);
  void branch(std::string_view argument, bool when);
  void call(std::string_view argument);
  void doReturn();
  void set(std::string_view argument);
  void inc(std::string_view argument);
  void log(std::string_view argument);
  void tokenize(std::string_view argument);
  void exportFile(std::string_view argument);
  void gps(std::string_view argument, DateRecord& record);

  ScriptHost& host_;
  std::string path_;
  std::string returnPath_;
  long returnPosition_ = 0;
  File file_;
  RunState state_ = RunState::Stopped;
  std::string awaited_;
  bool promptWait_ = false;
  int delay_ = 0;
  int timeout_ = -1;
  std::string timeoutLabel_;
  bool yielded_ = false;  // paused by the line bound, goes on at the next tick
  std::string tail_;         // the received text after the last line end
  std::size_t consumed_ = 0;  // its beginning that a wait has taken
  VariableTable variables_;
  std::array<std::string, 3> prompt_;
  std::deque<std::string> checkList_;
  DateRecord reference_, gpsStart_, gpsEnd_;
};

}  // namespace tarvik::script
