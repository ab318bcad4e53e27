// tarvik-mailbox: a typical packet-radio mailbox on KISS over TCP, for
// trying the mailbox session without a radio. It is a headless station of
// its own (the project's link layer and channels) whose every channel is
// played by the mailbox peer (mailbox_peer.h).
//
//   tarvik-mailbox <station directory> [user call]
//
// The station directory holds its TARVIK.INI (MYCALL is the mailbox's
// call, TCP/IP and PORT its KISS/TCP server) and the channel window's
// description in CNFPATH. Two new messages wait for the user call (default
// N0CALL); what happens is told on standard output.

#include <csignal>
#include <cstdio>
#include <string>

#include "ax25/frame_events.h"
#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "devices/port_drivers.h"
#include "devices/tcp_server.h"
#include "tools/mailbox/mailbox_peer.h"
#include "ui/form.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"

using namespace tarvik;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tarvik-mailbox <station directory> [user call]\n");
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);
  core::StartupOptions options;
  options.noGui = true;
  options.iniPath = std::string(argv[1]) + "/TARVIK.INI";
  options.iniGiven = true;

  tools::MailboxBook book = tools::StandardBook(argc > 2 ? argv[2] : "N0CALL");
  book.log = [](const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  };

  ui::HeadlessToolkit toolkit(ui::HeadlessToolkit::Mode::RealTime);
  toolkit.keepSurfaces(false);
  core::App app(toolkit, options);
  std::shared_ptr<ui::FormRuntime> forms = ui::InstallForms(app);
  channels::InstallChannelForms(app, *forms);
  core::CoreHooks& hooks = app.hooks();
  hooks.openPort = [](core::App& a, int port) { return devices::OpenPortWindow(a, port); };
  hooks.startTcpServer = [](core::App& a) { devices::StartTcpIp(a); };
  hooks.stopTcpServer = [](core::App& a) { devices::StopTcpIp(a); };
  hooks.encodeAndSend = [](core::App& a, ui::Event& e) { ax25::EncodeAndSendEvent(a, e); };
  hooks.createMainWindow = [&forms, &book](core::App& a) {
    channels::MainWindowHooks h;
    h.channelSetup = [&book] {
      channels::ChannelSetup setup;
      setup.parts.push_back(tools::MailboxPeerPart(book));
      return setup;
    };
    return channels::MainWindow::Create(a, *forms, std::move(h));
  };
  if (!app.Start()) {
    std::fprintf(stderr, "tarvik-mailbox: cannot start with %s\n", options.iniPath.c_str());
    return 2;
  }
  std::printf("Mailbox %s ready, port %s; %zu new messages for %s.\n", app.config().Record().myCall.c_str(),
              app.config().Record().port.c_str(), book.messages.size(), argc > 2 ? argv[2] : "N0CALL");
  std::fflush(stdout);
  return toolkit.run();
}
