#pragma once
// Scripts and macros on the channels of a station.
//
// InstallScripting gives the application its macro expansion for programs
// started for a window (CoreHooks::expandMacros) and returns the object
// that makes every new channel's script part (Part()):
//   - the EXEC control (choose a "*.scr" file below "script/" of the
//     program directory and start it; while a script runs, ask message 28
//     and stop it),
//   - the connect path's "@name",
//   - every received line and tail, the heartbeat tick and the continue
//     event (user event 1017) that drive the interpreter,
//   - the channel's file sender: a script waits while a file goes out and
//     goes on when it has gone.
// Each channel's Script (variables, prompt, dates) lives in its part and so
// ends with the channel window. The station's name and previous connect
// come from the channel's station facts.
//
// Parts of the station that scripts reach but that live elsewhere (remote
// commands, the mailbox dialogue) are optional functions of ScriptServices.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"
#include "script/script.h"

namespace tarvik::script {

inline constexpr int kMsgStopScript = 28;
inline constexpr int kMsgCopyFailed = 1023;

struct ScriptServices {
  std::function<void(channels::ChannelWindow&, const std::string& command, bool local)> remoteCommand;
  std::function<void(channels::ChannelWindow&, const std::string& command)> readMail;
  std::function<void(channels::ChannelWindow&)> sendMail;
  std::function<void(channels::ChannelWindow&, Script&)> checkList;
  std::function<bool()> mailWaiting;
  std::function<void(const std::string& entry, VariableTable&)> checkListEntry;
  // clearlist: the list file goes as well; passwd: arms the password answer.
  std::function<void(channels::ChannelWindow&)> clearList;
  std::function<void(channels::ChannelWindow&)> armPassword;
  // Says goodbye and disconnects after it (the file sender's way).
  std::function<void(channels::ChannelWindow&)> disconnect;
  // The channel's current directory (the remote command CD changes it).
  std::function<std::string(channels::ChannelWindow&)> currentDirectory;
};

class Scripting {
 public:
  Scripting(core::App& app, ScriptServices services);
  ~Scripting();
  Scripting(const Scripting&) = delete;
  Scripting& operator=(const Scripting&) = delete;

  // The script part of a new channel.
  std::unique_ptr<channels::ChannelPart> Part();
  // The script of a channel window, while the channel exists.
  Script* Find(ui::WindowId channel);
  // Macros of a window: a channel's with its variables, others with none.
  std::string ExpandFor(ui::WindowId window, const std::string& text);

 private:
  core::App& app_;
  ScriptServices services_;
  DateRecord reference_;  // %NOW% of windows without a channel
};

// The script of a channel (its variables, prompt and check list), or null
// when the channel has no script part.
Script* FindScript(channels::ChannelWindow& channel);

// Creates the station's scripting and installs the macro expansion of
// RunProgram; the caller keeps the object alive as long as the app.
std::shared_ptr<Scripting> InstallScripting(core::App& app, ScriptServices services = {});

}  // namespace tarvik::script
