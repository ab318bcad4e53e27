#include "channels/channel_window.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

#include "channels/charset.h"
#include "channels/connect_dialog.h"
#include "channels/link_statistics_window.h"
#include "channels/main_window.h"
#include "core/file_handle.h"
#include "core/port_opening.h"
#include "core/text.h"
#include "store/logbook.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

namespace {

// The second link has ended; it is closed once its report has returned.
constexpr int kEvtCloseSecondLink = 1032;
// The FIFO pane's double click on a received line.
constexpr std::intptr_t kPaneDoubleClick = ui::kFifoDoubleClick;

// Controls whose commands belong to the channel's parts.
constexpr int kPartCommands[] = {kChSnd,  kChSndBin, kChRcv,  kChStation, kChCheck,  kChStatistik, kChInfo,
                                 kChExec, kChMail,   kChPasswd, kChSysA7p, kChAuto7pl, kChAutobin};

bool ChannelNames(std::string_view name, int& id) {
  static constexpr std::pair<std::string_view, int> kNames[] = {
      {"HOLD", kChHold},         {"SND", kChSnd},         {"SNDBIN", kChSndBin},   {"RCV", kChRcv},
      {"STATION", kChStation},   {"CHECK", kChCheck},     {"STATISTIK", kChStatistik},
      {"7BITGR", kCh7BitGr},     {"7BITUS", kCh7BitGr + 1}, {"8BITIBM", kCh7BitGr + 2},
      {"8BITOEM", kCh7BitGr + 3}, {"UNTRANS", kChUntrans}, {"AUTO7PL", kChAuto7pl},
      {"AUTOBIN", kChAutobin},   {"REMOTE", kChRemote},   {"INFO", kChInfo},       {"EXEC", kChExec},
      {"MAIL", kChMail},         {"PASSWD", kChPasswd},   {"LISTE", kChListe},     {"PROMPT", kChPrompt},
      {"INPUT", kChInput},       {"SYS_A7P", kChSysA7p},  {"STATUS", kChStatus}};
  return ui::LookupName(name, id, kNames);
}

bool ChannelStates(std::string_view name, int& state) {
  static constexpr std::string_view kLamps[] = {"BOX",       "SQUEUE", "CON",    "HOLD",   "TXOV",
                                                "2NDCON",    "ISAUTO7PL", "DAMA", "SCRIPT", "SNDMAIL"};
  for (std::size_t i = 0; i < std::size(kLamps); ++i)
    if (kLamps[i] == name) {
      state = static_cast<int>(i);
      return true;
    }
  return false;
}

ui::FormRequest ChannelRequest(core::App& app) {
  ui::FormRequest r;
  r.number = kChannelWindowNumber;
  r.resolvers.names = ChannelNames;
  r.resolvers.states = ChannelStates;
  r.parent = app.taskWindow;
  r.name = "CHANNEL";
  r.kind = ui::WindowKind::Document;
  return r;
}

MainWindow* FindMainWindow(core::App& app) {
  return app.mainWindow == ui::kNoWindow ? nullptr : app.toolkit().findAs<MainWindow>(app.mainWindow);
}

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool NonEmptyFile(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size > 0;
}

}  // namespace

std::string FillText(std::string_view format, std::string_view argument) {
  std::string out;
  bool filled = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == 's') {
        if (!filled) out += argument;
        filled = true;
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

// --- opening ------------------------------------------------------------------------

ChannelWindow::ChannelWindow(core::App& app, ui::FormRuntime& forms, int slot, ax25::LinkCreation creation,
                             ChannelSetup setup)
    : ui::Form(forms, ChannelRequest(app)),
      app_(app),
      forms_(forms),
      slot_(slot),
      creation_(std::move(creation)),
      outgoing_(creation_.kind != 0),
      sessionState_(outgoing_ ? SessionState::SettingUp : SessionState::Connected),
      dama_(creation_.dama),
      remoteText_(ax25::FormatCall(creation_.remote)),
      connectText_(creation_.connectText),
      parts_(std::move(setup.parts)),
      factsSource_(std::move(setup.facts)) {
  creation_.slot = slot;
  portKnown_ = !outgoing_;  // an accepted connection came in on its port
  std::stable_sort(parts_.begin(), parts_.end(),
                   [](const auto& a, const auto& b) { return a->stage() < b->stage(); });
}

ui::WindowId OpenChannel(core::App& app, ui::FormRuntime& forms, int slot,
                         const ax25::LinkCreation& creation, ChannelSetup setup) {
  if (slot < 0 || slot >= ax25::kChannelSlots) return ui::kNoWindow;
  return forms.open(std::make_unique<ChannelWindow>(app, forms, slot, creation, std::move(setup)));
}

std::optional<int> OpenOutgoingChannel(core::App& app, std::string_view connectText) {
  MainWindow* main = FindMainWindow(app);
  if (!main) return std::nullopt;
  const std::optional<int> slot = main->channels().FindFree();
  if (!slot) return std::nullopt;
  ax25::LinkCreation creation;
  creation.kind = 1;
  creation.slot = *slot;
  creation.connectText = std::string(connectText);
  const ui::WindowId channel = main->OpenChannel(*slot, creation);
  auto* window = app.toolkit().findAs<ChannelWindow>(channel);
  if (!window || !window->StartConnect(connectText)) return std::nullopt;
  return slot;
}

std::optional<int> OpenOutgoingChannel(core::App& app, ax25::ConnectRequest request) {
  MainWindow* main = FindMainWindow(app);
  if (!main) return std::nullopt;
  const std::optional<int> slot = main->channels().FindFree();
  if (!slot) return std::nullopt;
  ax25::LinkCreation creation;
  creation.kind = 1;
  creation.slot = *slot;
  creation.port = request.port;
  creation.radioChannel = request.radioChannel;
  creation.own = request.own;
  creation.remote = request.remote;
  creation.via = request.via;
  const ui::WindowId channel = main->OpenChannel(*slot, creation);
  if (channel == ui::kNoWindow) return std::nullopt;
  request.channel = *slot;
  app.toolkit().sendUser(channel, ax25::kEvtConnectRequest, 0,
                         std::make_unique<ax25::ConnectRequest>(std::move(request)));
  return slot;
}

void InstallChannelPanes(core::App& app, ui::FormRuntime& forms) {
  if (forms.paneFactory(ui::ControlType::TextControl)) return;
  forms.setPaneFactory(ui::ControlType::TextControl, [&app](ui::Form& form, const ui::ControlDescription& c) {
    return std::make_unique<ui::FifoText>(app.messages(), ui::FifoOptionsFor(c, form.listFont()));
  });
}

bool ChannelWindow::StartConnect(std::string_view connectText) {
  connectText_ = std::string(connectText);
  if (connectText.find_first_not_of(" \t") == std::string_view::npos) {
    OpenConnectDialog(app_, forms_, id());
    return true;
  }
  const std::optional<ConnectTarget> target = ParseConnectText(connectText);
  int refusal = 0;
  if (target) refusal = CheckConnectPort(app_.ports(), target->port, target->radioChannel);
  const bool portDown = target && !refusal && core::TellPortDown(app_, target->port, target->requestedCall);
  if (!target || refusal || portDown) {
    // The channel was only opened for this connect; it does not stay
    // behind holding a slot.
    if (refusal) app_.messages().ShowMessageNumber(app_.taskWindow, 1, refusal, target->port);
    closing_ = true;
    toolkit().destroy(id());
    return false;
  }
  const core::ChannelParams& params = app_.ports()[target->port].channels[static_cast<std::size_t>(target->radioChannel)];
  ConnectTo(*target, params.qrg, connectText.find("#T") != std::string_view::npos);
  return true;
}

void ChannelWindow::ConnectTo(const ConnectTarget& target, std::string qrg, bool quiet) {
  path_ = ConnectPath(target.requestedCall, target.path, quiet);
  const core::ConfigRecord& config = app_.config().Record();
  ax25::AddressRecord own;
  if (const auto base = ax25::ParseCall(config.baseCall)) own = *base;
  own.ssid = config.defaultSsid;
  if (MainWindow* main = FindMainWindow(app_)) own.ssid = ChooseOwnSsid(config.defaultSsid, target.remote, main->channels());
  auto request = std::make_unique<ax25::ConnectRequest>();
  request->channel = slot_;
  request->port = target.port;
  request->radioChannel = target.radioChannel;
  request->qrg = std::move(qrg);
  request->remote = target.remote;
  request->own = own;
  request->via = target.via;
  // Sent, not posted: the next channel's SSID choice must see this one.
  toolkit().sendUser(id(), ax25::kEvtConnectRequest, 0, std::move(request));
}

// --- events ----------------------------------------------------------------------------

bool ChannelWindow::filterEvent(ui::Event& event) {
  if (event.type == ui::EventType::Control && event.id == inputControl() && inputControl() != ui::kNoControl &&
      event.arg == ui::kNotifyTextChanged)
    inputChanged();
  return false;
}

bool ChannelWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::Close: RunCommand(kChClose); break;
    case ui::EventType::Char: onKey(event.id, static_cast<unsigned>(event.arg)); break;
    case ui::EventType::Focus:
      // The operator's active window: what arrives here now is read.
      active_ = event.arg != 0;
      if (active_) MarkRead();
      return false;
    case ui::EventType::User: onUser(event); break;
    default: return false;
  }
  return true;
}

void ChannelWindow::onCommand(int id, std::intptr_t argument) { Command(id, argument); }

void ChannelWindow::onCreate() {
  link_ = ax25::CreateLink(app_, id(), creation_);
  if (MainWindow* main = FindMainWindow(app_)) main->channels().Claim(slot_, id(), link_);
  conversionMode_ = InitialCharsetMode(app_.config().Record().chrset);
  SetCheck(kCh7BitGr + conversionMode_, 1);
  SetCheck(kChAuto7pl, auto7pl_);
  SetCheck(kChAutobin, autobin_);
  SetCheck(kChRemote, remoteOn_);
  SetCheck(kChHold, busy_);
  if (dama_) SetState(kLampDama, 1);
  updateCommandControls();
  updateTitle();
  // Keys typed into a new channel window land in its input line, never on
  // a button.
  if (inputControl() != ui::kNoControl) toolkit().setFocus(id(), inputControl());
  for (const auto& part : parts_) part->Opened(*this);
  if (!outgoing_) connectionUp();
}

void ChannelWindow::onDestroy() {
  // The links, children of this window, are gone already: their slots are
  // free again.
  if (MainWindow* main = FindMainWindow(app_)) {
    main->channels().Release(slot_, id());
    if (secondSlot_ >= 0) main->channels().Release(secondSlot_, id());
  }
  link_ = secondLink_ = ui::kNoWindow;
  fileSender_.Abandon();
  if (!ended()) {
    for (const auto& part : parts_) part->Closing(*this);
    // The bar shows the slot free.
    channelChanged();
  }
  if (wasConnected_) writeConnectionLog();
  diversion_ = nullptr;
}

void ChannelWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case ax25::kEvtLinkStatus:
      if (const auto* report = event.as<ax25::LinkStatusReport>()) {
        if (report->link == link_ && link_ != ui::kNoWindow) onStatus(report->status);
        else if (report->link == secondLink_ && secondLink_ != ui::kNoWindow) onSecondStatus(report->status);
      }
      break;
    case ax25::kEvtLinkData:
      if (const auto* buffer = event.as<ax25::RawFrameBuffer>()) onData(buffer->owner, buffer->bytes());
      break;
    case ax25::kEvtQueueDrained:
      sendQueueBusy_ = event.arg == 0;
      SetState(kLampTxov, sendQueueBusy_);
      if (event.arg == 1) {
        fileSender_.Step(*this);
        for (const auto& part : parts_) part->QueueDrained(*this);
        if (observer_.drained) observer_.drained();
      }
      break;
    case ax25::kEvtConnectRequest:
      if (const auto* request = event.as<ax25::ConnectRequest>()) onConnectRequest(*request);
      break;
    case kEvtCloseChannel:
      // The link's end (argument 1) leaves a conversation on screen when
      // the station keeps them; every other close request closes.
      if (event.arg == 1 && wasConnected_ && app_.config().GetSetting(core::kSettingKeepText) != "0") {
        keepConversation();
        break;
      }
      closing_ = true;
      toolkit().destroy(id());
      break;
    case kEvtCloseSecondLink: closeSecondLink(); break;
    case kEvtSendText:
      if (const auto* text = event.as<ui::TextPayload>()) {
        ShowText(text->text, ui::kBlue);
        SendData(Bytes(text->text));
      }
      break;
    case core::kAnswerBase + core::kAnswerYes:
    case core::kAnswerBase + core::kAnswerNo:
    case core::kAnswerBase + core::kAnswerCancel: {
      const int answer = event.id - core::kAnswerBase;
      if (event.arg == kMsgAskDisconnect) {
        // The operator's disconnect is an orderly one: what was typed before
        // Close goes out and is acknowledged first, bounded by T1 and the
        // retry limit as every other disconnect.
        if (answer == core::kAnswerYes) ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::Disconnect);
        ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::HoldReports, 0);
        break;
      }
      for (const auto& part : parts_)
        if (part->Answered(*this, answer, static_cast<int>(event.arg))) break;
      break;
    }
    case core::kEvtHeartbeat:
      // The state line tells when the port under the connection is down.
      if (const core::PortRecord* port = portKnown_ ? app_.ports().Find(creation_.port) : nullptr;
          port && port->takesFrames() == noTnc_) {
        noTnc_ = !noTnc_;
        SetCtlText(kChStatus, Text(noTnc_ ? "NOTNC" : peerState_ == 11 ? "HOLD" : peerState_ == 12 ? "REJECT" : "READY"));
      }
      for (const auto& part : parts_) part->Tick(*this);
      break;
    case kChListe:  // the receive pane: a double click takes the line
      if (event.arg == kPaneDoubleClick) RunCommand(kChListe);
      else if (event.arg == ui::kFifoPaste) pasteSelection();
      break;
    default:
      // A kept conversation's parts have closed: nothing reaches them.
      if (ended()) break;
      for (const auto& part : parts_)
        if (part->UserEvent(*this, event)) break;
      break;
  }
}

void ChannelWindow::onConnectRequest(const ax25::ConnectRequest& request) {
  remoteText_ = ax25::FormatCall(request.remote);
  ownText_ = ax25::FormatCall(request.own);
  creation_.port = request.port;  // the port under the connection, for the state line
  portKnown_ = true;
  ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::SetQrg, 0, request.qrg);
  updateTitle();
  toolkit().sendUser(link_, ax25::kEvtConnectRequest, 0, std::make_unique<ax25::ConnectRequest>(request));
  // The main window puts both ends into our slot, so that routing finds us.
  if (app_.mainWindow != ui::kNoWindow)
    toolkit().sendUser(app_.mainWindow, ax25::kEvtConnectRequest, 0, std::make_unique<ax25::ConnectRequest>(request));
}

// --- link status ----------------------------------------------------------------------

void ChannelWindow::onStatus(ax25::LinkStatus status) {
  using ax25::LinkStatus;
  switch (status) {
    case LinkStatus::Connected:
      if (outgoing_ && sessionState_ == SessionState::SettingUp) connectionUp();
      break;
    case LinkStatus::Disconnecting:
      sessionState_ = SessionState::Disconnecting;
      app_.ShowMessage(id(), 1, kMsgDisconnecting, remoteText_);
      updateTitle();
      break;
    case LinkStatus::ConnectFailed:
      if (connectText_.find("#T") == std::string::npos) app_.ShowMessage(id(), 1, kMsgConnectFailed, remoteText_);
      closeSoon();
      break;
    case LinkStatus::Refused:
    case LinkStatus::Disconnected: closeSoon(); break;
    case LinkStatus::Dama:
      dama_ = true;
      SetState(kLampDama, 1);
      updateTitle();
      break;
    case LinkStatus::SabmReceived: sabmSeen_ = true; break;
    case LinkStatus::PeerReady:
    case LinkStatus::PeerBusy:
    case LinkStatus::PeerReject: setPeerState(static_cast<int>(status)); break;
    default: break;
  }
  if (observer_.status) observer_.status(status);
}

void ChannelWindow::onSecondStatus(ax25::LinkStatus status) {
  std::string notice;
  switch (status) {
    case ax25::LinkStatus::Connected:
      SetState(kLamp2ndCon, 1);
      notice = FillText(Text("CONCON"), secondCall_);
      break;
    case ax25::LinkStatus::ConnectFailed: notice = FillText(Text("CONFAIL"), secondCall_); break;
    case ax25::LinkStatus::Refused: notice = FillText(Text("CONBUS"), secondCall_); break;
    case ax25::LinkStatus::Disconnected:
      notice = FillText(Text("CONREC"), ax25::LinkInfo(toolkit(), link_, 2).value_or(""));
      break;
    default: return;
  }
  if (ax25::EndsLink(status)) {
    SetState(kLamp2ndCon, 0);
    toolkit().post(id(), ui::Event::user(kEvtCloseSecondLink));
  }
  // The station on the first link learns it as well.
  ShowText(notice, ui::kRed);
  SendText(notice + "\r");
}

void ChannelWindow::setPeerState(int state) {
  if (state == peerState_) return;
  const char* key = state == 11 ? "HOLD" : state == 12 ? "REJECT" : "READY";
  SetCtlText(kChStatus, Text(key));
  SetState(kLampHold, state == 11);
  peerState_ = state;
}

void ChannelWindow::connectionUp() {
  sessionState_ = SessionState::Connected;
  wasConnected_ = true;
  ui::Toolkit& tk = toolkit();
  if (auto remote = ax25::LinkInfo(tk, link_, 3)) remoteText_ = *remote;
  logRemote_ = remoteText_;
  logQrg_ = ax25::LinkInfo(tk, link_, 4).value_or("");
  logConnectTime_ = ax25::LinkInfo(tk, link_, 5).value_or("");
  logRadioChannel_ = ax25::LinkInfo(tk, link_, 6).value_or("");
  updateTitle();
  SetState(kLampCon, 1);
  reachedStation(remoteText_);
}

void ChannelWindow::reachedStation(const std::string& call) {
  stationCall_ = call;
  linkUp(call);
  const std::string files = app_.config().GetSetting(core::kSettingLogPath) + StationFileName(call);
  SetCheck(kChCheck, NonEmptyFile(files + ".lst"));
  SetCheck(kChInfo, NonEmptyFile(files + ".txt"));
  for (const auto& part : parts_) part->Connected(*this);
  runPath(call);
}

void ChannelWindow::linkUp(const std::string& call) {
  // The facts as they were before this connection; the record now says
  // the station was connected at this minute.
  if (factsSource_) facts_ = factsSource_->Connected(call, core::DateTimeText(toolkit().localTime()));
}

StationFacts ChannelWindow::CurrentFacts() {
  StationFacts now = facts_;
  if (factsSource_)
    if (auto found = factsSource_->Lookup(remoteText_)) {
      now = std::move(*found);
      now.lastConnect = facts_.lastConnect;
    }
  return now;
}

std::string ChannelWindow::ExpandMacros(const std::string& text) {
  if (app_.hooks().expandMacros) return app_.hooks().expandMacros(app_, id(), text);
  return text;
}

void ChannelWindow::NotifyFileSent(const FileSendResult& result) {
  for (const auto& part : parts_) part->FileSent(*this, result);
}

namespace {

// A script of a connect path in the script directory. Forms keep such paths
// in capitals ("@MAILBOX.SCR"), so a name that is not there as written is
// looked for regardless of case.
std::string ScriptFile(const std::string& directory, const std::string& name) {
  std::error_code ec;
  const std::string exact = directory + name;
  if (name.find('/') != std::string::npos || std::filesystem::exists(exact, ec)) return exact;
  const auto same = [&](const std::string& other) {
    return other.size() == name.size() &&
           std::equal(other.begin(), other.end(), name.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
  };
  for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
    if (const std::string found = entry.path().filename().string(); same(found)) return directory + found;
  return exact;
}

}  // namespace

// The middle button in the receive pane: the window system's selection
// goes to the end of the input line, as one line of printable characters.
void ChannelWindow::pasteSelection() {
  if (inputControl() == ui::kNoControl || ended()) return;
  std::string text = toolkit().controlText(id(), inputControl());
  if (text.size() + 1 < inputCapacity())
    text += core::PrintableLine(toolkit().selectionText(), inputCapacity() - 1 - text.size());
  toolkit().setControlText(id(), inputControl(), text);
  toolkit().setFocus(id(), inputControl());
}

void ChannelWindow::runPath(const std::string& call) {
  if (!path_.active()) return;
  const PathStep step = path_.Connected(call);
  switch (step.kind) {
    case PathStep::Kind::RunScript: {
      notifyMain(kEvtPathScript);
      const std::string file = ScriptFile(app_.config().GetSetting(core::kSettingIniDirectory) + "script/", step.text);
      bool started = false;
      for (const auto& part : parts_)
        if ((started = part->RunScript(*this, file))) break;
      if (!started) app_.ShowMessage(id(), 1, kMsgCannotOpen, file);
      break;
    }
    case PathStep::Kind::SendConnect:
      ShowText(step.text, ui::kRed);
      SendText(step.text + "\r");
      break;
    case PathStep::Kind::Failed: notifyMain(kEvtPathFailed); break;
    case PathStep::Kind::WrongStation:
      if (!step.quiet) {
        toolkit().beep();
        app_.ShowMessage(id(), 1, kMsgConnectFailed, step.text);
      }
      notifyMain(kEvtPathFailed);
      break;
    case PathStep::Kind::None: break;
  }
}

void ChannelWindow::notifyMain(int event) {
  if (app_.mainWindow != ui::kNoWindow) toolkit().sendUser(app_.mainWindow, event, slot_);
}

void ChannelWindow::closeSoon() {
  // Through the post: the link that reports is still at work.
  if (closing_) return;
  closing_ = true;
  toolkit().post(id(), ui::Event::user(kEvtCloseChannel, 1));
}

void ChannelWindow::keepConversation() {
  // Everything of the connection ends now, as if the window closed; only
  // the window with its text stays. The slot is free for the next
  // connection, which gets a window of its own: nothing routed to the slot
  // or to its link can reach this window any more.
  fileSender_.Abandon();
  for (const auto& part : parts_) part->Closing(*this);
  diversion_ = nullptr;
  if (wasConnected_) writeConnectionLog();
  wasConnected_ = false;
  closeSecondLink();
  // The link's statistics end with the link.
  for (const ui::WindowId child : toolkit().children(id()))
    if (const ui::WindowSpec* spec = toolkit().specOf(child); spec && spec->number == kStatisticsWindowNumber)
      toolkit().destroy(child);
  const ui::WindowId link = link_;
  link_ = ui::kNoWindow;
  if (MainWindow* main = FindMainWindow(app_)) main->channels().Release(slot_, id(), link);
  toolkit().destroy(link);
  sessionState_ = SessionState::Ended;
  sendQueueBusy_ = false;
  std::vector<ui::WindowId> kept;
  for (const ui::WindowId w : toolkit().windows())
    if (const auto* other = toolkit().findAs<ChannelWindow>(w);
        other && &other->app_ == &app_ && other->ended() && toolkit().exists(w))
      kept.push_back(w);  // in creation order: the oldest first
  for (std::size_t i = 0; i + kKeptConversations < kept.size(); ++i) toolkit().destroy(kept[i]);
  for (const int lamp : {kLampCon, kLampHold, kLampTxov, kLamp2ndCon, kLampDama}) SetState(lamp, 0);
  // What would act on the connection is off; reading, selecting and the
  // capture stay.
  for (const int command : kPartCommands) EnableId(command, false);
  for (const int command : {kChHold, kChRemote, kChInput, kChPrompt}) EnableId(command, false);
  if (const std::string line = core::MessageText(app_, kMsgKeptDisconnected, remoteText_, {}, {}); !line.empty())
    ShowText(line, ui::kRed);
  updateTitle();
}

void ChannelWindow::BringUp() {
  toolkit().activate(id());
  if (inputControl() != ui::kNoControl && toolkit().controlEnabled(id(), inputControl()))
    toolkit().setFocus(id(), inputControl());
  MarkRead();
}

void ChannelWindow::MarkRead() {
  if (!unread_) return;
  unread_ = false;
  channelChanged();
}

void ChannelWindow::channelChanged() {
  if (!toolkit().exists(app_.mainWindow)) return;  // the program ends
  if (MainWindow* main = FindMainWindow(app_)) main->ChannelChanged();
}

// --- received data --------------------------------------------------------------------

void ChannelWindow::onData(ui::WindowId from, std::span<const std::uint8_t> bytes) {
  if (from == link_ && link_ != ui::kNoWindow) {
    ++receivedBlocks_;
    if (secondLink_ != ui::kNoWindow) {
      showReceived(received_, bytes, ui::kBlack, false);
      ax25::LinkSendData(toolkit(), secondLink_, bytes);
    } else if (diversion_) {
      showReceived(received_, bytes, ui::kBlack, false);
      diversion_->Diverted(*this, bytes);
    } else {
      showReceived(received_, bytes, ui::kBlack, true);
    }
    if (observer_.data) observer_.data(bytes);
  } else if (from == secondLink_ && secondLink_ != ui::kNoWindow) {
    showReceived(relayed_, bytes, ui::kBlue, false);
    ax25::LinkSendData(toolkit(), link_, bytes);
  }
}

void ChannelWindow::showReceived(LineAssembler& assembler, std::span<const std::uint8_t> bytes, ui::Color colour,
                                 bool process) {
  for (ReceivedPiece& piece : assembler.Take(bytes)) {
    std::string shown = piece.text;
    ConvertReceived(shown, conversionMode_);
    if (piece.continues) {
      if (ui::FifoText* pane = ui::FindFifo(toolkit(), receivePane())) pane->AppendToLastLine(shown);
      (&assembler == &received_ ? relayed_ : received_).Interrupted();
    } else {
      writeLine(shown, colour, &assembler);
    }
    if (process && piece.complete) dispatchLine(piece.line);
  }
  if (process && !assembler.partial().empty())
    for (const auto& part : parts_) part->PartialLine(*this, assembler.partial());
}

void ChannelWindow::dispatchLine(const std::string& line) {
  // The takers in LineStage order; the channel's own node reports sit at
  // their stage. The uuencode and 7PLUS receivers see lines only while
  // AUTOBIN is on.
  const auto offer = [&] {
    bool pathSeen = false;
    for (const auto& part : parts_) {
      const LineStage stage = part->stage();
      if (stage == LineStage::None) break;  // the order puts the non-takers last
      if (!pathSeen && stage > LineStage::ConnectPath) {
        pathSeen = true;
        pathLine(line);
      }
      if ((stage == LineStage::Binary || stage == LineStage::SevenPlus) && !autobin_) continue;
      if (part->Line(*this, line) == LineResult::Taken) return;
    }
    if (!pathSeen) pathLine(line);
  };
  offer();
  for (const auto& part : parts_) part->SawLine(*this, line);
}

void ChannelWindow::pathLine(const std::string& line) {
  if (!path_.active()) return;
  const core::Configuration& config = app_.config();
  if (const auto call = NodeReportCall(line, config.GetConfigList(core::kListConnectTexts))) {
    reachedStation(*call);
  } else if (NodeReportCall(line, config.GetConfigList(core::kListFailTexts))) {
    path_.Drop();
    app_.ShowMessage(id(), 1, kMsgConnectFailed, line);
    notifyMain(kEvtPathFailed);
  }
}

void ChannelWindow::writeLine(std::string_view text, ui::Color colour, const LineAssembler* source) {
  // Whatever lands on the pane now, a partial line above it can no longer
  // be continued in place.
  if (source != &received_) received_.Interrupted();
  if (source != &relayed_) relayed_.Interrupted();
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), receivePane())) pane->AppendLine(text, colour);
  // Text from the air while the operator looks elsewhere marks the channel.
  if (source && !active_ && !unread_) {
    unread_ = true;
    channelChanged();
  }
}

void ChannelWindow::ShowText(std::string_view text, ui::Color colour) {
  // One screen line per line of the text, none longer than a pane line.
  std::size_t start = 0;
  do {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    do {
      writeLine(line.substr(0, kLineLimit), colour, nullptr);
      line.remove_prefix(std::min(line.size(), kLineLimit));
    } while (!line.empty());
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  } while (start < text.size());
}

// --- sending ----------------------------------------------------------------------------

void ChannelWindow::SendText(std::string_view text) {
  std::string line(text);
  ConvertSent(line, conversionMode_);
  SendData(Bytes(line));
}

void ChannelWindow::SendData(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || link_ == ui::kNoWindow) return;
  sendQueueBusy_ = true;
  SetState(kLampTxov, 1);
  ax25::LinkSendData(toolkit(), link_, bytes);
}

void ChannelWindow::Disconnect(bool now) {
  ax25::LinkCommand(toolkit(), link_, now ? ax25::LinkCommandCode::DisconnectNow : ax25::LinkCommandCode::Disconnect);
}

bool ChannelWindow::OpenSecondLink(const ax25::ConnectRequest& request, std::string requestedCall) {
  if (diverted()) return false;  // a second link, a transfer or a service has the data
  MainWindow* main = FindMainWindow(app_);
  if (!main) return false;
  const std::optional<int> slot = main->channels().FindFree();
  if (!slot) return false;
  ax25::LinkCreation creation;
  creation.kind = 1;
  creation.slot = *slot;
  creation.port = request.port;
  creation.radioChannel = request.radioChannel;
  creation.own = request.own;
  creation.remote = request.remote;
  creation.via = request.via;
  secondLink_ = ax25::CreateLink(app_, id(), creation);
  secondSlot_ = *slot;
  secondCall_ = std::move(requestedCall);
  main->channels().Claim(*slot, id(), secondLink_);
  auto forLink = std::make_unique<ax25::ConnectRequest>(request);
  forLink->channel = *slot;
  ax25::LinkCommand(toolkit(), secondLink_, ax25::LinkCommandCode::SetQrg, 0, request.qrg);
  toolkit().sendUser(app_.mainWindow, ax25::kEvtConnectRequest, 0, std::make_unique<ax25::ConnectRequest>(*forLink));
  toolkit().sendUser(secondLink_, ax25::kEvtConnectRequest, 0, std::move(forLink));
  return true;
}

void ChannelWindow::closeSecondLink() {
  if (secondLink_ == ui::kNoWindow) return;
  const ui::WindowId second = secondLink_;
  secondLink_ = ui::kNoWindow;
  if (MainWindow* main = FindMainWindow(app_); main && secondSlot_ >= 0)
    main->channels().Release(secondSlot_, id(), second);
  secondSlot_ = -1;
  toolkit().destroy(second);
  SetState(kLamp2ndCon, 0);
}

// --- the input line ------------------------------------------------------------------

std::size_t ChannelWindow::inputCapacity() const {
  const ui::ControlState* input = toolkit().control(id(), inputControl());
  return input && input->spec.maxLength > 0 ? static_cast<std::size_t>(input->spec.maxLength) : kInputCapacity;
}

void ChannelWindow::inputChanged() {
  const int input = inputControl();
  const auto wrapped = WrapInput(toolkit().controlText(id(), input), inputCapacity());
  if (!wrapped) return;
  toolkit().setControlText(id(), input, wrapped->rest);
  const int end = static_cast<int>(wrapped->rest.size());
  toolkit().setTextSelection(id(), input, end, end);
  enterInput(wrapped->first);
}

void ChannelWindow::onKey(int key, unsigned modifiers) {
  const int input = inputControl();
  if (input == ui::kNoControl) return;
  ui::Toolkit& tk = toolkit();
  if (key == ui::kKeyEnter) {
    const std::string text = tk.controlText(id(), input);
    tk.setControlText(id(), input, "");
    enterInput(text);
    return;
  }
  if ((key == ui::kKeyUp || key == ui::kKeyDown) && tk.focusControl(id()) == input) {
    const std::string& entry = key == ui::kKeyUp ? history_.Up() : history_.Down();
    tk.setControlText(id(), input, entry);
    tk.setTextSelection(id(), input, static_cast<int>(entry.size()), static_cast<int>(entry.size()));
    return;
  }
  // Characters typed into the input line edit it and never arrive here: one
  // that does was typed while another control or the receive pane had the
  // focus, and goes on in the input line.
  if (modifiers == 0 && key >= 32 && key <= 122) {
    const std::string text = tk.controlText(id(), input);
    if (text.size() < inputCapacity()) tk.setControlText(id(), input, text + static_cast<char>(key));
    tk.setFocus(id(), input);
    inputChanged();
  }
}

void ChannelWindow::enterInput(const std::string& text) {
  const InputAction action = ClassifyInput(text);
  switch (action.kind) {
    case InputKind::Text:
      ShowText(action.shown, ui::kRed);
      history_.Store(action.shown);
      SendText(action.send);
      break;
    case InputKind::Ui: {
      ShowText(action.shown, ui::kBlue);
      std::string line = action.send;
      ConvertSent(line, conversionMode_);
      if (sessionState_ == SessionState::Connected) ax25::LinkSendUI(toolkit(), link_, line);
      break;
    }
    case InputKind::Local:
      for (const auto& part : parts_)
        if (part->LocalCommand(*this, action.send)) break;
      break;
  }
}

// --- commands, title, log ------------------------------------------------------------

void ChannelWindow::Command(int command, std::intptr_t argument) {
  switch (command) {
    case kChClose:
      if (sessionState_ == SessionState::Connected) {
        // The link's end reports wait for the operator's answer.
        ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::HoldReports, 1);
        app_.ShowMessage(id(), 2, kMsgAskDisconnect, remoteText_, {}, core::DefaultAnswer::No);
      } else {
        closing_ = true;
        toolkit().destroy(id());
      }
      return;
    case kChHold:
      busy_ = !busy_;
      ax25::LinkCommand(toolkit(), link_, ax25::LinkCommandCode::ToggleBusy);
      SetCheck(kChHold, busy_);
      return;
    case kChAuto7pl:
    case kChAutobin:
      // The switches act only when a receiver is there to switch.
      if (!commandOwner(command)) return;
      if (command == kChAuto7pl) auto7pl_ = !auto7pl_;
      else autobin_ = !autobin_;
      SetCheck(command, command == kChAuto7pl ? auto7pl_ : autobin_);
      if (ChannelPart* owner = commandOwner(command)) owner->Command(*this, command, argument);
      return;
    case kChRemote:
      remoteOn_ = !remoteOn_;
      SetCheck(kChRemote, remoteOn_);
      return;
    case kChListe: {
      std::vector<std::string> lines;
      const ui::FifoText* pane = ui::FindFifo(toolkit(), receivePane());
      if (pane && pane->GetSelection(lines) && inputControl() != ui::kNoControl) {
        std::string line = lines.front();
        if (line.size() >= inputCapacity()) line.resize(inputCapacity() - 1);
        toolkit().setControlText(id(), inputControl(), line);
      }
      return;
    }
    case kChPrompt:
    case kChInput:
    case kChStatus:
    case kChNothing: return;
    default: break;
  }
  if (command >= kCh7BitGr && command <= kChUntrans) {
    conversionMode_ = command - kCh7BitGr;
    SetCheck(command, 1);
    return;
  }
  if (ChannelPart* owner = commandOwner(command)) {
    owner->Command(*this, command, argument);
    return;
  }
  for (const int partCommand : kPartCommands)
    if (partCommand == command) return;  // its part is not there: its control is disabled
  app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownCommand, command, "CHANNEL");
}

std::string ChannelWindow::Text(std::string_view key) const { return LookupString(key).value_or(""); }

void ChannelWindow::updateTitle() {
  const char* key = sessionState_ == SessionState::Connected       ? "CONNECTED"
                    : sessionState_ == SessionState::Disconnecting ? "DISCONNECT"
                    : sessionState_ == SessionState::Ended         ? "ENDED"
                                                                   : "CONNECTING";
  const std::string format = Text(key);
  // The title starts with the channel's number and the own call, so that
  // eight windows (and the desktop's task bar) tell which contact is which.
  // A kept conversation holds no channel any more: no number.
  std::string title = ended() ? std::string() : std::to_string(slot_ + 1) + ": ";
  if (const auto own = ax25::LinkInfo(toolkit(), link_, 2); own && !own->empty()) ownText_ = *own;
  if (!ownText_.empty()) title += ownText_ + " ";
  title += format.empty() ? remoteText_ : FillText(format, remoteText_);
  if (!capturePath_.empty()) title += " -> " + capturePath_;
  if (dama_) title += " [DAMA]";
  toolkit().setTitle(id(), title);
  channelChanged();
}

ChannelPart* ChannelWindow::commandOwner(int command) const {
  for (const auto& part : parts_) {
    const std::vector<int> owned = part->commands();
    if (std::find(owned.begin(), owned.end(), command) != owned.end()) return part.get();
  }
  return nullptr;
}

void ChannelWindow::updateCommandControls() {
  for (const int command : kPartCommands) EnableId(command, commandOwner(command) != nullptr);
}

// --- what the parts share -------------------------------------------------------------

bool ChannelWindow::StartCapture(const std::string& path, bool append, CaptureOwner owner) {
  ui::FifoText* pane = ui::FindFifo(toolkit(), receivePane());
  if (!pane || !capturePath_.empty() || pane->capturing()) return false;
  pane->Capture(path, append);
  // Without a capture and without the question whether to append, nothing
  // would be written.
  if (!pane->capturing() && !pane->captureQuestionOpen()) return false;
  capturePath_ = path;
  captureOwner_ = owner;
  SetCheck(kChRcv, 1);
  updateTitle();
  return true;
}

void ChannelWindow::StopCapture() {
  if (ui::FifoText* pane = ui::FindFifo(toolkit(), receivePane())) pane->Capture("", false);
  capturePath_.clear();
  captureOwner_ = CaptureOwner::None;
  SetCheck(kChRcv, 0);
  updateTitle();
}

bool ChannelWindow::Divert(ChannelPart& part) {
  if (diversion_ == &part) return true;
  if (diverted()) return false;
  diversion_ = &part;
  return true;
}

void ChannelWindow::ReleaseDiversion(const ChannelPart& part) {
  if (diversion_ != &part) return;
  diversion_ = nullptr;
  // What the taker had (binary data, shown only) never starts the next line.
  received_ = LineAssembler{};
}

void ChannelWindow::writeConnectionLog() {
  const std::string logPath = app_.config().GetSetting(core::kSettingLogPath);
  if (logPath.empty() || logConnectTime_.empty()) return;  // never litter the working directory
  const std::string line = ConnectionLogLine(logRemote_, logRadioChannel_, logQrg_, logConnectTime_,
                                             core::DateTimeText(toolkit().localTime()), remark_);
  store::AppendLogbookLine(store::LogbookPath(logPath, app_.config().GetSetting(core::kSettingMyCall)), line);
}

}  // namespace tarvik::channels
