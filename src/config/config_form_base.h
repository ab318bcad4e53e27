#pragma once
// What the configuration windows share: the request that builds their form
// from its description, closing, refusing a value with its message, and the
// message for commands a window does not know.

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "config/config_forms_checks.h"
#include "core/app.h"
#include "ui/condition.h"
#include "ui/form.h"

namespace tarvik::config {

using NameTable = std::span<const std::pair<std::string_view, int>>;

// The port and radio-channel windows write their copy back over the port's
// record, all but what belongs to the running port: its window, its
// transparent link and its line state stay as they are now, so a port that
// was opened or closed while the window was open is not given a window that
// is gone or robbed of the one it has.
void WriteBackPort(core::PortRecord& live, const core::PortRecord& copy);

class ConfigForm : public ui::Form {
 public:
  // `owner` names the window in messages about events it does not know
  // ("PORTCONF", "CHANCONF", "CONFIG", "ACCESS", "TCPCONF", "PWD").
  ConfigForm(core::App& app, ui::FormRuntime& forms, int number, ui::WindowId parent, NameTable names,
             NameTable states, std::string owner);

 protected:
  // Creation fills the window; user events are the answers to the window's
  // own questions (ignored unless onUser takes them) or events it does not
  // know, which are reported.
  bool ownerEvent(ui::Event& event) override;
  virtual void onCreate() = 0;
  virtual void onUser(const ui::Event& event);

  core::App& app() { return app_; }
  void close();
  // Shows the refusal when there is one; true when the value was refused.
  bool refused(const Check& check);
  // A writer's result: on failure the operator is told that `file` stays as
  // it was, and false is returned.
  bool written(bool ok, const std::string& file);
  void unknownCommand(int command);
  void unknownEvent(int event);
  // "Title %s" of STRINGS with the text, or the text alone.
  void setNumberedTitle(const std::string& text);
  // The INI file the writers rewrite.
  std::string iniFile();

 private:
  core::App& app_;
  std::string owner_;
};

// The windows, each opened as a child of `parent`; kNoWindow when it cannot
// open (a port number outside 0..15, a call that is none).
ui::WindowId OpenPortForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port);
ui::WindowId OpenChannelForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port);
ui::WindowId OpenStationForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);
ui::WindowId OpenAccessForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);
ui::WindowId OpenTcpIpForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);
ui::WindowId OpenPasswordForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, const std::string& call);

}  // namespace tarvik::config
