#include "app/station.h"

#include "ax25/frame_events.h"
#include "channels/alerts.h"
#include "channels/capture_send.h"
#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "channels/heard_window.h"
#include "channels/link_statistics_window.h"
#include "channels/main_window.h"
#include "channels/monitor_window.h"
#include "channels/station_facts.h"
#include "channels/logbook_window.h"
#include "channels/station_windows.h"
#include "channels/watch_window.h"
#include "config/config_forms.h"
#include "config/connection_manager.h"
#include "devices/port_drivers.h"
#include "devices/tcp_server.h"
#include "remote/mail_receive.h"
#include "remote/remote_service.h"
#include "remote/transfer_parts.h"
#include "script/channel_scripts.h"
#include "script/checklist_window.h"
#include "script/mailbox_dialogue.h"
#include "script/timer_station.h"
#include "script/timer_windows.h"
#include "services/service_part.h"
#include "store/mail_windows.h"

namespace tarvik::app {

namespace {

// A channel's script learns the result of a uuencoded reception.
remote::TransferHooks TransferHooksFor(script::Scripting& scripting) {
  remote::TransferHooks hooks;
  hooks.setTransfer = [&scripting](channels::ChannelWindow& ch, const std::string& value) {
    if (script::Script* s = scripting.Find(ch.id())) s->variables().Define("TRANSFER", value);
  };
  hooks.scriptRunning = [&scripting](channels::ChannelWindow& ch) {
    const script::Script* s = scripting.Find(ch.id());
    return s && s->running();
  };
  return hooks;
}

// The parts every channel gets. The channel offers received lines in the
// order of their LineStage (channels/channel_part.h), whatever the order
// here; a new feature adds its part to this list and nothing else.
channels::ChannelSetup ChannelSetupFor(core::App& app, ui::FormRuntime& forms, script::Scripting& scripting,
                                       std::shared_ptr<channels::StationFactsSource> facts,
                                       std::shared_ptr<services::ServiceLibraries> serviceLibraries) {
  channels::ChannelSetup setup;
  setup.facts = std::move(facts);
  setup.parts.push_back(channels::LinkStatisticsPart(app));
  setup.parts.push_back(channels::CaptureAndSendPart(app));
  setup.parts.push_back(channels::StationFormPart(app, forms));
  setup.parts.push_back(scripting.Part());
  setup.parts.push_back(remote::RemoteServicePart(app));
  setup.parts.push_back(remote::MailReceivePart(app));
  setup.parts.push_back(remote::BinaryTransferPart(app, TransferHooksFor(scripting)));
  setup.parts.push_back(remote::SevenPlusPart(app));
  setup.parts.push_back(remote::XmodemPart(app));
  script::AddMailboxParts(app, forms, setup.parts);
  setup.parts.push_back(services::ServicePart(std::move(serviceLibraries)));
  setup.parts.push_back(channels::AlertPart(app));
  return setup;
}

}  // namespace

void BuildStation(core::App& app, ui::FormRuntime& forms, StationTaps taps) {
  // The toolbox opens the monitor and the frame generator through the runtime.
  channels::InstallChannelForms(app, forms);
  channels::InstallStationForms(app, forms);
  channels::InstallLogbookForms(app, forms);
  script::InstallTimerForms(app, forms);
  script::InstallCheckListForm(app, forms);
  store::InstallMailForms(app, forms);
  config::InstallConnectionManager(app, forms);
  config::InstallConfigForms(app, forms);
  core::CoreHooks& hooks = app.hooks();
  hooks.openPort = [](core::App& a, int port) { return devices::OpenPortWindow(a, port); };
  hooks.startTcpServer = [](core::App& a) { devices::StartTcpIp(a); };
  hooks.stopTcpServer = [](core::App& a) { devices::StopTcpIp(a); };
  hooks.encodeAndSend = [](core::App& a, ui::Event& e) { ax25::EncodeAndSendEvent(a, e); };
  // The service libraries: loaded with the ports, unloaded at the end.
  auto serviceLibraries = std::make_shared<services::ServiceLibraries>(app);
  hooks.startServices = [serviceLibraries](core::App&) { serviceLibraries->Load(); };
  hooks.stopServices = [serviceLibraries](core::App&) { serviceLibraries->Unload(); };
  // Scripts run remote commands ("!" and "." lines) and say goodbye
  // through the remote service of their channel.
  script::ScriptServices scriptServices;
  scriptServices.remoteCommand = [](channels::ChannelWindow& ch, const std::string& line, bool local) {
    remote::RunRemoteLine(ch, line, local ? remote::Origin::Local : remote::Origin::Station);
  };
  scriptServices.disconnect = [](channels::ChannelWindow& ch) { remote::DisconnectWithGoodbye(ch); };
  script::InstallMailboxServices(app, scriptServices);
  auto scripting = script::InstallScripting(app, std::move(scriptServices));
  auto facts = channels::StationDatabaseFacts(app);
  hooks.createMainWindow = [&forms, scripting, facts, serviceLibraries, taps = std::move(taps)](core::App& a) {
    channels::MainWindowHooks h;
    // The monitor reads every frame, received or sent, while it is open; the
    // heard list notes the pairs exchanging I frames.
    auto monitor = std::make_shared<ui::WindowCache<channels::MonitorWindow>>();
    auto heard = std::make_shared<channels::HeardFeed>();
    h.frameReceived = [&a, monitor, heard](ui::Event& e) {
      channels::MonitorFrameEvent(a.toolkit(), e, *monitor);
      channels::HeardFrameEvent(a, e, *heard);
    };
    h.frameSent = [&a, monitor](ui::Event& e) { channels::MonitorFrameEvent(a.toolkit(), e, *monitor); };
    // The toolbox's connect entries open outgoing channels from a connect text.
    h.openOutgoingChannel = [&a](const std::string& text) { channels::OpenOutgoingChannel(a, text); };
    h.channelSetup = [&a, &forms, scripting, facts, serviceLibraries] {
      return ChannelSetupFor(a, forms, *scripting, facts, serviceLibraries);
    };
    h.channelOpened = taps.channelOpened;
    // Mail left incomplete by the last run goes; the MAIL control shows the rest.
    h.mailState = [&a] { return static_cast<channels::MailState>(store::MailAtStart(a)); };
    script::InstallTimerList(a, h);
    channels::InstallWatchWindows(a, forms, h);
    return channels::MainWindow::Create(a, forms, std::move(h));
  };
}

}  // namespace tarvik::app
