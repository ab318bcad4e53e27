#include "script/timer_station.h"

#include <memory>

#include "channels/channel_window.h"
#include "devices/serial_port_window.h"
#include "script/timer_list.h"

namespace tarvik::script {

void InstallTimerList(core::App& app, channels::MainWindowHooks& hooks) {
  TimerList::Actions actions;
  actions.now = [&app] { return app.toolkit().localTime(); };
  actions.connect = [&app](const std::string& text) {
    return channels::OpenOutgoingChannel(app, text).has_value();
  };
  actions.beep = [&app] { app.toolkit().beep(); };
  actions.exit = [&app] { app.RequestShutdown(); };
  actions.reinitTncs = [&app] {
    for (const core::PortRecord& port : app.ports())
      if (port.devType == core::kDevTypeTnc && port.portWindow != ui::kNoWindow)
        app.toolkit().sendUser(port.portWindow, devices::kEvtReinitTnc);
  };
  actions.run = [&app](const std::string& program) { return app.RunProgram(app.mainWindow, program); };
  actions.status = [&app](const std::string& text) {
    if (app.taskWindow != ui::kNoWindow)
      app.toolkit().sendUser(app.taskWindow, core::kEvtStatusField1, 0,
                             std::make_unique<ui::TextPayload>(text));
  };
  auto timers = std::make_shared<TimerList>(
      app.config().GetSetting(core::kSettingIniDirectory) + "script/",
      app.config().GetSetting(core::kSettingTmpPath), std::move(actions));
  hooks.loadDayTimerList = [timers] { timers->LoadNext(); };
  hooks.runTimerList = [timers] { timers->MinuteTick(); };
  hooks.timerJobDone = [timers](bool success, ui::Event&) { timers->PathEnded(success); };
}

}  // namespace tarvik::script
