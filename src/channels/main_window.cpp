#include "channels/main_window.h"

#include <algorithm>
#include <array>
#include <utility>

#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "channels/frame_generator_window.h"
#include "channels/monitor_window.h"
#include "core/port_opening.h"
#include "core/run_program.h"
#include "ui/fifo_text.h"
#include "ui/message_dialog.h"

namespace tarvik::channels {

namespace {

constexpr int kStartupTicks = 6;
constexpr int kMsgUnknownEvent = 501;
constexpr int kMsgToolboxUnknown = 503;
using core::kSettingHelpFile;
using core::kSettingMy2BbsPath;
using core::kSettingMyBbsPath;

// Toolbox entries that open a window of a number, with the window.
constexpr std::array<std::pair<int, int>, 10> kEntryWindows{{
    {kToolMonitor, kMonitorWindowNumber},
    {kToolStatList, kWindowStationList},
    {kToolHeard, kWindowHeard},
    {kToolMail, kWindowMail},
    {kToolMech, kFrameGeneratorNumber},
    {kToolLogbook, kWindowLogbook},
    {kToolConMan, kWindowConMan},
    {kToolConfig, kWindowConfig},
    {kToolPing, kWindowPing},
    {kToolTimerList, kWindowTimerList},
}};

ui::FormRequest ToolboxRequest(core::App& app) {
  ui::FormRequest r;
  r.number = kToolboxNumber;
  r.resolvers = ui::Resolvers{ToolboxNames, ui::NoNames};
  r.parent = app.options().frameMode ? app.taskWindow : ui::kNoWindow;
  r.name = "MAIN";
  r.kind = ui::WindowKind::Document;
  return r;
}

}  // namespace

bool ToolboxNames(std::string_view name, int& id) {
  static constexpr std::array<std::pair<std::string_view, int>, 26> kNames{{
      {"SYSHILFE", kToolHelp},   {"CONNECT", kToolConnect}, {"MONITOR", kToolMonitor},
      {"STATLIST", kToolStatList}, {"HEARD", kToolHeard},   {"MAIL", kToolMail},
      {"MYBBS", kToolMyBbs},     {"MECH", kToolMech},       {"LOGBUCH", kToolLogbook},
      {"CONMAN", kToolConMan},   {"CONFIG", kToolConfig},   {"SWL", kToolSwl},
      {"PING", kToolPing},       {"TIMERLIST", kToolTimerList}, {"MY2BBS", kToolMy2Bbs},
      {"NEWSTATION", kToolNewStation}, {"CHAN1", kToolChannel1}, {"CHAN2", kToolChannel1 + 1},
      {"CHAN3", kToolChannel1 + 2}, {"CHAN4", kToolChannel1 + 3}, {"CHAN5", kToolChannel1 + 4},
      {"CHAN6", kToolChannel1 + 5}, {"CHAN7", kToolChannel1 + 6}, {"CHAN8", kToolChannel8},
      {"TILE", kToolTile},       {"CASCADE", kToolCascade},
  }};
  return ui::LookupName(name, id, kNames);
}

MainWindow::MainWindow(core::App& app, ui::FormRuntime& forms, MainWindowHooks hooks)
    : Form(forms, ToolboxRequest(app)),
      app_(app),
      hooks_(std::move(hooks)),
      forms_(&runtime()),
      router_(app, channels_, [this](int slot, const ax25::LinkCreation& creation) {
        OpenChannel(slot, creation);
      }) {}

ui::WindowId MainWindow::Create(core::App& app, ui::FormRuntime& forms, MainWindowHooks hooks) {
  return forms.open(std::make_unique<MainWindow>(app, forms, std::move(hooks)));
}

ui::WindowId MainWindow::OpenChannel(int slot, const ax25::LinkCreation& creation) {
  ChannelSetup setup;
  if (hooks_.channelSetup) setup = hooks_.channelSetup();
  const ui::WindowId channel = channels::OpenChannel(app_, *forms_, slot, creation, std::move(setup));
  if (channel != ui::kNoWindow && hooks_.channelOpened) hooks_.channelOpened(channel);
  return channel;
}

void MainWindow::setListenOnly(bool on) {
  router_.setListenOnly(on);
  SetCheck(kToolSwl, on ? 1 : 0);
}

bool MainWindow::filterEvent(ui::Event& event) {
  // An open window chosen in the Windows menu.
  if (event.type == ui::EventType::Command && event.id >= kWindowItemFirst &&
      event.id < kWindowItemFirst + kWindowItemCount) {
    const auto index = static_cast<std::size_t>(event.id - kWindowItemFirst);
    if (index < listed_.size()) {
      const ui::WindowId chosen = listed_[index];
      if (auto* channel = toolkit().findAs<ChannelWindow>(chosen)) channel->BringUp();
      else toolkit().activate(chosen);
    }
    return true;
  }
  // A window closed: forget it here, then let the form destroy it if it
  // was one of its child forms.
  if (event.type == ui::EventType::User && event.id == core::kEvtChildClosed) {
    const auto closed = static_cast<ui::WindowId>(event.arg);
    if (closed == router_.pingWindow()) router_.setPingWindow(ui::kNoWindow);
    if (hooks_.windowClosed) hooks_.windowClosed(closed);
  }
  return false;
}

bool MainWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); return true;
    case ui::EventType::Destroy:
      toolkit().setProgramKeyHook({});
      if (timer_) toolkit().destroyTimer(timer_);
      timer_ = 0;
      return true;
    case ui::EventType::Timer:
      if (static_cast<ui::TimerId>(event.id) == timer_) onHeartbeat(event);
      return true;
    case ui::EventType::User: onUser(event); return true;
    default: return Form::ownerEvent(event);  // Close runs command 0
  }
}

void MainWindow::onCreate() {
  timer_ = toolkit().createTimer(id(), 1000);
  const ui::LocalTime now = toolkit().localTime();
  storedSecond_ = now.second;
  storedMinute_ = now.minute;
  storedDay_ = now.day;
  heardHeader_ = LookupString("HEARD").value_or("");
  enableEntries();
  SetCheck(kToolSwl, listenOnly() ? 1 : 0);
  setMailState(hooks_.mailState ? hooks_.mailState() : MailState::None);
  // Alt+1 to Alt+8 bring a channel up from any window of the program.
  toolkit().setProgramKeyHook([this](int key, unsigned modifiers) { return programKey(key, modifiers); });
  EnableId(kToolTile, app_.options().frameMode);
  EnableId(kToolCascade, app_.options().frameMode);
  refreshBar();
  refreshWindowsMenu();
}

bool MainWindow::programKey(int key, unsigned modifiers) {
  if (modifiers != ui::kModAlt || key < '1' || key > '0' + ax25::kChannelSlots) return false;
  BringUpChannel(key - '1');
  return true;
}

void MainWindow::ChannelChanged() {
  refreshBar();
  refreshWindowsMenu();
}

void MainWindow::refreshBar() {
  const ChannelBar now = ReadChannelBar(toolkit(), channels_);
  if (barShown_ && now == bar_) return;
  const auto word = [this](std::string_view key) { return LookupString(key).value_or(""); };
  for (int slot = 0; slot < ax25::kChannelSlots; ++slot) {
    const ChannelBarEntry& entry = now[static_cast<std::size_t>(slot)];
    if (barShown_ && entry == bar_[static_cast<std::size_t>(slot)]) continue;
    SetCtlText(kToolChannel1 + slot, ChannelBarText(slot, entry, word));
  }
  bar_ = now;
  barShown_ = true;
}

void MainWindow::BringUpChannel(int slot) {
  if (slot < 0 || slot >= ax25::kChannelSlots) return;
  // A gateway's second link shows in the window that owns it.
  if (auto* channel = toolkit().findAs<ChannelWindow>(channels_[slot].channelWindow)) channel->BringUp();
}

void MainWindow::refreshWindowsMenu() {
  // The open document and dialog windows, as the operator sees them.
  std::vector<ui::WindowId> windows;
  std::vector<std::string> titles;
  for (const ui::WindowId w : toolkit().windows()) {
    const ui::WindowSpec* spec = toolkit().specOf(w);
    if (!spec || !toolkit().exists(w) || !spec->visible) continue;
    if (spec->kind != ui::WindowKind::Document && spec->kind != ui::WindowKind::Dialog) continue;
    if (windows.size() == static_cast<std::size_t>(kWindowItemCount)) break;
    windows.push_back(w);
    titles.push_back(spec->title);
  }
  if (windows == listed_ && titles == listedTitles_) return;
  const std::vector<ui::MenuItem>* shown = toolkit().menuBar(id());
  const int cascadeEntry = description().idMap[kToolCascade].menuEntry;
  if (!shown || cascadeEntry < 0) return;
  const int cascade = description().menuTag(cascadeEntry);
  std::vector<ui::MenuItem> bar = *shown;
  for (ui::MenuItem& menu : bar) {
    auto& items = menu.children;
    const auto at = std::find_if(items.begin(), items.end(), [&](const ui::MenuItem& m) { return m.number == cascade; });
    if (at == items.end()) continue;
    // What follows Cascade is the list of windows.
    items.erase(at + 1, items.end());
    if (!windows.empty()) {
      ui::MenuItem separator;
      separator.separator = true;
      items.push_back(std::move(separator));
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
      ui::MenuItem item;
      item.number = kWindowItemFirst + static_cast<int>(i);
      for (const char c : titles[i]) item.text += c == '&' ? std::string("&&") : std::string(1, c);
      if (item.text.empty()) item.text = "#" + std::to_string(windows[i]);
      items.push_back(std::move(item));
    }
    break;
  }
  listed_ = std::move(windows);
  listedTitles_ = std::move(titles);
  toolkit().setMenuBar(id(), std::move(bar));
}

void MainWindow::enableEntries() {
  const bool outgoing = static_cast<bool>(hooks_.openOutgoingChannel);
  EnableId(kToolConnect, outgoing);
  EnableId(kToolMyBbs, outgoing);
  EnableId(kToolMy2Bbs, outgoing);
  EnableId(kToolNewStation, forms_->hasCreator(kWindowStation));
  for (const auto& [entry, number] : kEntryWindows) EnableId(entry, forms_->hasCreator(number));
}

void MainWindow::onCommand(int id, std::intptr_t) {
  // The form hands over the control's notification code as argument; the
  // toolbox's buttons mean the first variant, the menu items MY2BBS and
  // NEWSTATION the second.
  if (id >= kToolChannel1 && id <= kToolChannel8) BringUpChannel(id - kToolChannel1);
  else if (id == kToolMy2Bbs) Command(kToolMyBbs, 1);
  else if (id == kToolNewStation) Command(kToolStatList, 1);
  else Command(id, 0);
}

void MainWindow::Command(int command, std::intptr_t argument) {
  const bool second = argument % 10 == 1;
  switch (command) {
    case kToolClose: askExit(); break;
    case kToolHelp:
      if (const auto& help = forms_->env().showHelp) help(app_.config().GetSetting(kSettingHelpFile), kToolboxNumber);
      break;
    case kToolConnect: openOutgoing(""); break;
    case kToolMyBbs:
      openOutgoing(app_.config().GetSetting(second ? kSettingMy2BbsPath : kSettingMyBbsPath));
      break;
    case kToolMonitor: openNumber(kMonitorWindowNumber); break;
    case kToolStatList: openNumber(second ? kWindowStation : kWindowStationList); break;
    case kToolHeard: openNumber(kWindowHeard); break;
    case kToolMail:
      openNumber(kWindowMail);
      SetCheck(kToolMail, mailMark_ ? 1 : 0);  // the click toggled it; the mail state decides
      break;
    case kToolMech: openNumber(kFrameGeneratorNumber); break;
    case kToolLogbook: openNumber(kWindowLogbook); break;
    case kToolConMan: openNumber(kWindowConMan); break;
    case kToolConfig: openNumber(kWindowConfig); break;
    case kToolSwl: setListenOnly(!listenOnly()); break;
    case kToolPing:
      if (const ui::WindowId ping = forms_->OpenWindowById(id(), kWindowPing); ping != ui::kNoWindow)
        router_.setPingWindow(ping);
      break;
    case kToolTimerList: openNumber(kWindowTimerList); break;
    case kToolTile: toolkit().arrangeWindows(ui::Toolkit::Arrangement::Tile); break;
    case kToolCascade: toolkit().arrangeWindows(ui::Toolkit::Arrangement::Cascade); break;
    case ui::kCallbackChanged: break;  // clicking MAIL or SWL marks the form changed
    default:
      app_.messages().ShowMessageNumber(id(), 1, kMsgToolboxUnknown, command, "TOOLBOX");
      break;
  }
}

void MainWindow::openNumber(int number) { forms_->OpenWindowById(id(), number); }

void MainWindow::openOutgoing(const std::string& connectText) {
  if (hooks_.openOutgoingChannel) hooks_.openOutgoingChannel(connectText);
}

void MainWindow::askExit() {
  if (exitAsked_) {
    closeProgram();  // a second close while the question is open
    return;
  }
  exitAsked_ = true;
  // Ending the program ends every connection: No is the default.
  app_.ShowMessage(id(), 2, kMsgExitQuestion, {}, {}, core::DefaultAnswer::No);
}

void MainWindow::closeProgram() {
  if (app_.taskWindow != ui::kNoWindow)
    toolkit().sendUser(app_.taskWindow, core::kEvtShutdown);
  else
    toolkit().destroy(id());
}

void MainWindow::setMailState(MailState state) {
  mailBlink_ = state == MailState::New;
  if (state != MailState::New) mailMark_ = state == MailState::Unread;
  SetCheck(kToolMail, mailMark_ ? 1 : 0);
}

void MainWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case core::kEvtFrameReceived:
      if (hooks_.frameReceived) hooks_.frameReceived(event);  // monitor and heard list first
      router_.RouteReceivedFrame(event);
      break;
    case core::kEvtFrameSend:
      // A frame for a port that is down was not sent: the monitor does not
      // list it (its port counted it as dropped).
      if (const auto* frame = event.as<ax25::FrameRecord>()) {
        const core::PortRecord* port = app_.ports().Find(frame->port);
        if (port && port->open() && port->state == core::PortState::Down) break;
      }
      if (hooks_.frameSent) hooks_.frameSent(event);
      break;
    case core::kEvtPortNotice:
      // A port lost or back: a line in the monitor, between the frames.
      if (const auto* text = event.as<ui::TextPayload>()) {
        if (auto* monitor = toolkit().findAs<MonitorWindow>(FindMonitorWindow(toolkit())))
          if (ui::FifoText* pane = ui::FindFifo(toolkit(), monitor->textPane())) pane->AppendLine(text->text, ui::kBlue);
      }
      break;
    case ax25::kEvtConnectRequest:
      // An outgoing channel's request passes here: its slot learns both ends.
      if (const auto* request = event.as<ax25::ConnectRequest>())
        channels_.SetEnds(request->channel, request->remote, request->own);
      break;
    case kEvtMainClose: closeProgram(); break;
    case kEvtTimerJobDone:
    case kEvtTimerJobFailed:
      if (hooks_.timerJobDone) hooks_.timerJobDone(event.id == kEvtTimerJobDone, event);
      break;
    case kEvtConnectTo:
      if (const auto* text = event.as<ui::TextPayload>()) openOutgoing(text->text);
      break;
    case kEvtConnectIgnored: break;
    case kEvtOpenWatch:
      if (hooks_.openWatch) hooks_.openWatch(event);
      break;
    case kEvtMailNone: setMailState(MailState::None); break;
    case kEvtMailUnread: setMailState(MailState::Unread); break;
    case kEvtMailNew: setMailState(MailState::New); break;
    case kEvtReloadTimerList:
      if (hooks_.loadDayTimerList) hooks_.loadDayTimerList();
      break;
    case core::kAnswerBase + core::kAnswerNo:
    case core::kAnswerBase + core::kAnswerCancel:
      if (event.arg == kMsgExitQuestion) exitAsked_ = false;
      break;
    case core::kAnswerBase + core::kAnswerYes:
      if (event.arg == kMsgExitQuestion) {
        core::PlaySound("SOUND/TVKEND.WAV");
        closeProgram();
      }
      break;
    default:
      app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "BTNBOX");
      break;
  }
}

void MainWindow::onHeartbeat(ui::Event& event) {
  // Windows that came, went or were renamed since the last look.
  refreshWindowsMenu();
  if (startupTicks_ == 0) app_.DebugLog("first heartbeat");
  if (startupTicks_ < kStartupTicks && ++startupTicks_ == kStartupTicks) {
    toolkit().sendUser(app_.taskWindow, core::kEvtStartupComplete);
    if (hooks_.loadDayTimerList) hooks_.loadDayTimerList();
  }
  toolkit().send(app_.taskWindow, event);

  const ui::LocalTime now = toolkit().localTime();
  // After a minute change the stored second is ahead of the clock: count the
  // tick once instead of a whole minute.
  if (storedSecond_ > now.second) storedSecond_ = now.second - 1;
  for (int s = storedSecond_; s < now.second; ++s) fanOut();
  storedSecond_ = now.second;

  if (mailBlink_) {
    mailMark_ = !mailMark_;
    SetCheck(kToolMail, mailMark_ ? 1 : 0);
  }

  if (now.minute != storedMinute_) {
    storedMinute_ = now.minute;
    if (hooks_.runTimerList) hooks_.runTimerList();
    if (now.day != storedDay_) {
      storedDay_ = now.day;
      if (hooks_.loadDayTimerList) hooks_.loadDayTimerList();
    }
  }
}

void MainWindow::fanOut() {
  for (const ax25::ChannelSlot& slot : channels_.slots)
    if (slot.linkWindow != ui::kNoWindow) toolkit().sendUser(slot.linkWindow, core::kEvtHeartbeat);
  for (const core::PortRecord& port : app_.ports())
    if (port.portWindow != ui::kNoWindow) toolkit().sendUser(port.portWindow, core::kEvtHeartbeat);
}

}  // namespace tarvik::channels
