#pragma once
// The channel window (window 1010): one connection as the operator sees it.
//
// A channel lives in the slot of the channel table whose index is its
// number. Its window owns the link that carries the connection (the link
// window is its child) and is the window that link reports to:
//   1131 status changes   -> session state, title, lamps, messages, closing
//   1130 received data    -> lines in the receive pane (black), line handlers
//    890 queue drained    -> the TXOV lamp, the next piece of a transfer
// The operator types into the input line (red on screen, converted, sent);
// text that other parts hand in with user event 851 is shown blue and sent
// as it is. A channel may own a second link (the remote service's connect
// command): data then flows between both links.
//
// Opening: the main window opens a channel for an accepted SABM (kind 0,
// connected at once); the operator's connect commands open an outgoing one
// with a connect text ("port:radio channel:CALL (DIGI DIGI) path items"), or
// with an empty text through the connect dialog (window 1030).
//
// Features (scripts, remote commands, transfers, the mailbox dialogue, the
// station database, statistics, capture and send) join as channel parts
// (channel_part.h); the controls that lead to them stay disabled while no
// part owns their command.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "ax25/link.h"
#include "channels/channel_part.h"
#include "channels/channel_session.h"
#include "channels/file_sender.h"
#include "channels/station_facts.h"
#include "core/app.h"
#include "ui/form.h"
#include "ui/toolkit/drawing.h"

namespace tarvik::channels {

inline constexpr int kChannelWindowNumber = 1010;
inline constexpr int kConnectDialogNumber = 1030;

// User events a channel window takes besides those of the link.
enum ChannelEvent : int {
  kEvtPathScript = 1018,  // to the main window: a connect path reached its script
  kEvtPathFailed = 1019,  // to the main window: a connect path was dropped
  kEvtCloseChannel = 1038,
  kEvtSendText = 851,     // TextPayload: show blue, send unconverted
};

// Symbolic ids of the channel window's controls (its commands).
enum ChannelId : int {
  kChClose = 0,
  kChHold = 1,
  kChSnd = 2,
  kChSndBin = 3,
  kChRcv = 4,
  kChStation = 5,
  kChCheck = 6,
  kChStatistik = 7,
  kCh7BitGr = 8,  // ... kChUntrans: the conversion modes 0..4
  kChUntrans = 12,
  kChAuto7pl = 13,
  kChAutobin = 14,
  kChRemote = 15,
  kChInfo = 16,
  kChExec = 17,
  kChMail = 18,
  kChPasswd = 19,
  kChListe = 20,
  kChPrompt = 21,
  kChInput = 22,
  kChSysA7p = 23,
  kChStatus = 24,
  kChNothing = 1001,
};

// The lamps: state variables of the form, named in the description.
enum ChannelLamp : int {
  kLampBox = 0,
  kLampSqueue = 1,
  kLampCon = 2,
  kLampHold = 3,
  kLampTxov = 4,
  kLamp2ndCon = 5,
  kLampIsAuto7pl = 6,
  kLampDama = 7,
  kLampScript = 8,
  kLampSndMail = 9,
};

// Messages of the message file a channel shows.
enum ChannelMessage : int {
  kMsgCannotOpen = 7,
  kMsgAskDisconnect = 8,
  kMsgDisconnecting = 9,
  kMsgConnectFailed = 13,
  kMsgNoPort = 21,
  kMsgNoRadioChannel = 22,
  kMsgUnknownCommand = 503,
};

inline constexpr std::size_t kInputCapacity = 80;  // without a description's own length

// Ended: the link is gone and its slot free, the window stays for reading
// (the station's KEEPTEXT setting) until the operator closes it.
enum class SessionState : int { Ended = 0, SettingUp = 1, Connected = 2, Disconnecting = 4 };

// Kept conversations a station holds at most: an unattended station (no
// operator closes them) must not gather windows without end; the oldest
// goes when another is kept.
inline constexpr int kKeptConversations = 8;

// The line a kept conversation ends with (message file).
inline constexpr int kMsgKeptDisconnected = 1700;

class ChannelWindow;

// What a channel is built with, before its window is created: its parts in
// any order (the channel orders them by LineStage, keeping the given order
// within a stage) and where the station's facts come from.
struct ChannelSetup {
  ChannelParts parts;
  std::shared_ptr<StationFactsSource> facts;
};

// Who started the capture of the receive pane.
enum class CaptureOwner { None, Operator, Station };

// Taps on a channel's traffic (tests, automation).
struct ChannelObserver {
  std::function<void(std::span<const std::uint8_t>)> data;
  std::function<void(ax25::LinkStatus)> status;
  std::function<void()> drained;
};

class ChannelWindow final : public ui::Form {
 public:
  ChannelWindow(core::App& app, ui::FormRuntime& forms, int slot, ax25::LinkCreation creation,
                ChannelSetup setup = {});

  // --- the session ------------------------------------------------------------
  int slot() const { return slot_; }
  ui::WindowId link() const { return link_; }
  ui::WindowId secondLink() const { return secondLink_; }
  bool outgoing() const { return outgoing_; }
  SessionState sessionState() const { return sessionState_; }
  bool dama() const { return dama_; }
  const std::string& remoteText() const { return remoteText_; }
  // The station the connection has reached: the remote call, or the
  // station a node reported connected on a connect path.
  const std::string& stationCall() const { return stationCall_; }
  const ConnectPath& path() const { return path_; }
  int peerState() const { return peerState_; }
  // True while the link's send queue holds data (the TXOV lamp).
  bool sendQueueBusy() const { return sendQueueBusy_; }
  int conversionMode() const { return conversionMode_; }
  bool busy() const { return busy_; }
  bool auto7pl() const { return auto7pl_; }
  bool autobin() const { return autobin_; }
  bool remoteOn() const { return remoteOn_; }
  // The link has ended and the window only keeps the conversation: it no
  // longer holds a slot, a link or anything of a later connection.
  bool ended() const { return sessionState_ == SessionState::Ended; }
  // Text arrived while the window was not the active one; cleared when the
  // operator brings the window up.
  bool unread() const { return unread_; }
  void MarkRead();
  // Brings the window up as the active one, the focus in its input line.
  void BringUp();
  // Remark of this connection for the connection log.
  void setRemark(std::string remark) { remark_ = std::move(remark); }

  void setObserver(ChannelObserver observer) { observer_ = std::move(observer); }

  // --- what the channel is asked to do -------------------------------------------
  // Starts an outgoing connection from a connect text; an empty text opens
  // the connect dialog. False when the text cannot be used (the channel
  // then closes; ports and radio channels that cannot be used are told).
  bool StartConnect(std::string_view connectText);
  // Connects to a parsed target: own SSID, QRG, the request (user event 1039).
  void ConnectTo(const ConnectTarget& target, std::string qrg, bool quiet);
  // A line the operator, a macro or a script sends: converted, then queued.
  void SendText(std::string_view text);
  // Bytes as they are (transfers).
  void SendData(std::span<const std::uint8_t> bytes);
  // A script's disconnect (after the queued data) or the operator's (now).
  void Disconnect(bool now);
  // Connects the connection through to a second station on a link of its
  // own (the remote service's connect command). False when no slot is free
  // or a second link is open already.
  bool OpenSecondLink(const ax25::ConnectRequest& request, std::string requestedCall);
  // A local notice or the text the channel sends, on its own screen line.
  void ShowText(std::string_view text, ui::Color colour);
  // Runs the command of a control (as the operator's click does).
  void Command(int command, std::intptr_t argument = 0);
  // Rebuilds the title (session state, capture path, DAMA).
  void UpdateTitle() { updateTitle(); }
  // Text through the text macros of this channel (unchanged without them).
  std::string ExpandMacros(const std::string& text);

  // --- the parts and what they share ------------------------------------------------
  // The first part of type T, or null.
  template <class T>
  T* FindPart() {
    for (const auto& part : parts_)
      if (auto* p = dynamic_cast<T*>(part.get())) return p;
    return nullptr;
  }
  // True when a part carries out the command of this control.
  bool Handles(int command) const { return commandOwner(command) != nullptr; }
  // The one file sender.
  ChannelFileSender& fileSender() { return fileSender_; }
  // The one capture of the receive pane: starts capturing into `path`
  // (appending when `append`); false when the pane cannot (a capture runs
  // already, or the file cannot be opened). The capture may wait for the
  // operator's answer whether to append to an existing file.
  bool StartCapture(const std::string& path, bool append, CaptureOwner owner);
  void StopCapture();
  const std::string& capturePath() const { return capturePath_; }
  CaptureOwner captureOwner() const { return captureOwner_; }
  // Counts the data blocks the link has handed to the channel; the lines
  // of one block are handled while the count stays.
  std::uint64_t receivedBlocks() const { return receivedBlocks_; }
  // The data diversion: while a part holds it, received data goes to that
  // part (shown, no line handling). False when it is taken.
  bool Divert(ChannelPart& part);
  void ReleaseDiversion(const ChannelPart& part);
  bool diverted() const { return diversion_ != nullptr || secondLink_ != ui::kNoWindow; }
  // The remote station's facts as they were before this connection came up
  // (the previous connect), and as they stand now with that previous
  // connect. Empty facts without a source.
  const StationFacts& stationFacts() const { return facts_; }
  StationFacts CurrentFacts();
  StationFactsSource* stationSource() { return factsSource_.get(); }
  // The file sender tells every part that a file ended.
  void NotifyFileSent(const FileSendResult& result);

  ui::WindowId receivePane() const { return GetCtlWindow(kChListe); }
  // The STRINGS value of the window description.
  std::string Text(std::string_view key) const;

 protected:
  bool filterEvent(ui::Event& event) override;
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void onCreate();
  void onDestroy();
  void onUser(ui::Event& event);
  void onKey(int key, unsigned modifiers);
  void onConnectRequest(const ax25::ConnectRequest& request);
  void onStatus(ax25::LinkStatus status);
  void onSecondStatus(ax25::LinkStatus status);
  void onData(ui::WindowId from, std::span<const std::uint8_t> bytes);
  void connectionUp();
  void reachedStation(const std::string& call);
  void runPath(const std::string& call);
  void pasteSelection();
  void dispatchLine(const std::string& line);
  void showReceived(LineAssembler& assembler, std::span<const std::uint8_t> bytes, ui::Color colour,
                    bool process);
  void writeLine(std::string_view text, ui::Color colour, const LineAssembler* source);
  void enterInput(const std::string& text);
  void inputChanged();
  int inputControl() const { return controlOf(kChInput); }
  std::size_t inputCapacity() const;
  void updateTitle();
  void setPeerState(int state);
  void closeSecondLink();
  void closeSoon();
  void keepConversation();
  void channelChanged();
  void writeConnectionLog();
  void notifyMain(int event);
  void updateCommandControls();
  void linkUp(const std::string& call);
  void pathLine(const std::string& line);
  ChannelPart* commandOwner(int command) const;

  core::App& app_;
  ui::FormRuntime& forms_;
  int slot_;
  ax25::LinkCreation creation_;
  ui::WindowId link_ = ui::kNoWindow;
  ui::WindowId secondLink_ = ui::kNoWindow;
  int secondSlot_ = -1;
  std::string secondCall_;  // the call the second link was asked for
  bool outgoing_;
  SessionState sessionState_;
  bool wasConnected_ = false;
  bool dama_;
  int peerState_ = 10;
  bool noTnc_ = false;  // the state line shows that the port is down
  bool portKnown_ = false;  // the connection's port is chosen (the state line watches it)
  bool sabmSeen_ = false;
  bool sendQueueBusy_ = false;
  bool closing_ = false;
  bool active_ = false;  // the operator's active window
  bool unread_ = false;
  bool busy_ = false;
  bool auto7pl_ = true, autobin_ = false, remoteOn_ = true;
  int conversionMode_ = 0;
  std::string remoteText_;
  std::string stationCall_;
  std::string ownText_;     // the own call of the connection, for the title
  std::string connectText_;
  ConnectPath path_;
  LineAssembler received_;  // from the own link
  LineAssembler relayed_;   // from the second link
  InputHistory history_;
  ChannelParts parts_;  // in LineStage order
  std::shared_ptr<StationFactsSource> factsSource_;
  StationFacts facts_;
  ChannelFileSender fileSender_;
  std::string capturePath_;
  std::uint64_t receivedBlocks_ = 0;
  CaptureOwner captureOwner_ = CaptureOwner::None;
  ChannelPart* diversion_ = nullptr;
  ChannelObserver observer_;
  // What the connection log needs, taken while the link is up.
  std::string logRemote_, logRadioChannel_, logQrg_, logConnectTime_, remark_;
};

// Creates the channel window of a slot with its link: accepted (kind 0) or
// outgoing. The slot of the main window's table gets the link and window.
ui::WindowId OpenChannel(core::App& app, ui::FormRuntime& forms, int slot,
                         const ax25::LinkCreation& creation, ChannelSetup setup = {});

// The operator's connect: an outgoing channel in the first free slot, which
// starts from the connect text (an empty text asks with the connect
// dialog). Nothing when every slot is taken; the slot otherwise.
std::optional<int> OpenOutgoingChannel(core::App& app, std::string_view connectText);

// An outgoing channel for a ready connect request (its channel number is
// set to the slot). Nothing when every slot is taken or there is no main
// window.
std::optional<int> OpenOutgoingChannel(core::App& app, ax25::ConnectRequest request);

// The receive pane of the forms: CTL_FIFO controls become FIFO text panes.
// Installed once per runtime; a factory already there stays.
void InstallChannelPanes(core::App& app, ui::FormRuntime& forms);

// Fills the "%s" of a description text with `argument` ("%%" gives "%");
// other conversions are shown as they are, so no text can misuse them.
std::string FillText(std::string_view format, std::string_view argument);

}  // namespace tarvik::channels
