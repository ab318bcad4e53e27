#pragma once
// The main window: owner of the program-wide heartbeat and of the channel
// table, the place where every received and sent frame is shown to the
// monitor and routed to the links, and the toolbox (window description
// 1040) from which the operator opens the monitor, channels, lists and tools.
//
// Heartbeat: a 1000 ms toolkit timer. Each timer event is passed to the task
// window (status line countdown); then, once for every wall-clock second
// that has passed since the previous tick, the heartbeat (user event 1000)
// goes to each link window of the channel table and to each open port
// window in port order, so a late tick never loses seconds of the link and port timers. A
// new minute runs the timer list, a new day loads the next list. While new
// mail waits the MAIL control blinks with the ticks.
//
// Routing: every received frame (user event 800) goes to the monitor and
// heard-list hook first, then through the router, which digipeats, accepts
// connections into channel slots (opening a channel for each), delivers
// frames to the links of the slots and answers pings.
//
// Toolbox: the entries open windows by number through the form runtime. An
// entry whose window no part of the program can open (no creator registered
// for its number, or no way to open an outgoing channel) is disabled, so the
// operator never meets a dead button. Closing asks message 1 first; a second
// close while the question is open ends the program at once.

#include <functional>
#include <memory>
#include <string>

#include "ax25/channel_table.h"
#include "ax25/link.h"
#include "ax25/router.h"
#include "channels/channel_bar.h"
#include "channels/channel_window.h"
#include "channels/heard_list.h"
#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kToolboxNumber = 1040;

// Symbolic ids of the toolbox: its commands.
enum ToolboxId : int {
  kToolClose = 0,
  kToolHelp = 1,       // "SYSHILFE"
  kToolConnect = 2,    // "CONNECT"
  kToolMonitor = 3,    // "MONITOR"
  kToolStatList = 4,   // "STATLIST"
  kToolHeard = 5,      // "HEARD"
  kToolMail = 6,       // "MAIL"
  kToolMyBbs = 7,      // "MYBBS"
  kToolMech = 8,       // "MECH"
  kToolLogbook = 9,    // "LOGBUCH"
  kToolConMan = 10,    // "CONMAN"
  kToolConfig = 11,    // "CONFIG"
  kToolSwl = 12,       // "SWL"
  kToolPing = 13,      // "PING"
  kToolTimerList = 14, // "TIMERLIST"
  // Menu items of the second variants: the second mailbox (MY2BBSPATH)
  // and a new station in the station form.
  kToolMy2Bbs = 15,    // "MY2BBS"
  kToolNewStation = 16, // "NEWSTATION"
  // The channel bar, "CHAN1" to "CHAN8": brings the channel's window up.
  kToolChannel1 = 20,
  kToolChannel8 = 27,
  kToolTile = 28,       // "TILE": the document windows side by side
  kToolCascade = 29,    // "CASCADE": ... overlapping
};

// The Windows menu lists the open windows as items from this number on.
inline constexpr int kWindowItemFirst = 1700;
inline constexpr int kWindowItemCount = 64;

bool ToolboxNames(std::string_view name, int& id);

// Window numbers the toolbox opens.
enum ToolboxWindow : int {
  kWindowStationList = 1060,
  kWindowStation = 1070,
  kWindowHeard = 1080,
  kWindowMail = 1120,
  kWindowLogbook = 1170,
  kWindowConMan = 1190,
  kWindowConfig = 1240,
  kWindowPing = 1280,
  kWindowTimerList = 1300,
};

// User events of the main window beyond the task window's.
enum MainWindowEvent : int {
  kEvtMainClose = 1016,
  kEvtTimerJobDone = 1018,
  kEvtTimerJobFailed = 1019,
  kEvtConnectTo = 1077,        // a TextPayload with the connect text
  kEvtConnectIgnored = 1078,
  kEvtOpenWatch = 1088,
  kEvtMailNone = 1120,
  kEvtMailUnread = 1121,
  kEvtMailNew = 1122,
  kEvtReloadTimerList = 1309,
};

// The exit question of the message file.
inline constexpr int kMsgExitQuestion = 1;

// Mail states as the mail store reports them.
enum class MailState : int { None = 0, Unread = 1, New = 2 };

// Places where later subsystems join the main window.
struct MainWindowHooks {
  std::function<void(ui::Event&)> frameReceived;  // monitor, heard list, routing
  std::function<void(ui::Event&)> frameSent;      // monitor
  std::function<void()> loadDayTimerList;          // also at the sixth tick and on 1309
  std::function<void()> runTimerList;              // each new minute
  std::function<void(bool success, ui::Event&)> timerJobDone;  // 1018, 1019
  std::function<MailState()> mailState;            // when the window opens
  // What a new channel is built with (its parts, the station facts); asked
  // before the channel window is created.
  std::function<ChannelSetup()> channelSetup;
  std::function<void(ui::WindowId channel)> channelOpened;  // a channel window was opened
  // Opens an outgoing channel; an empty connect text asks for the target.
  std::function<void(const std::string& connectText)> openOutgoingChannel;
  std::function<void(ui::Event&)> openWatch;       // 1088, a heard-list entry's watch window
  std::function<void(ui::WindowId)> windowClosed;  // 920 for windows the hooks keep
};


class MainWindow final : public ui::Form {
 public:
  MainWindow(core::App& app, ui::FormRuntime& forms, MainWindowHooks hooks);

  ax25::ChannelTable& channels() { return channels_; }
  ax25::Router& router() { return router_; }
  ui::FormRuntime& forms() { return *forms_; }
  // The SWL switch: listen only, accept no new connection.
  void setListenOnly(bool on);
  bool listenOnly() const { return router_.listenOnly(); }
  // Opens the channel of a slot (accepted or outgoing) with its link.
  ui::WindowId OpenChannel(int slot, const ax25::LinkCreation& creation);
  ui::TimerId heartbeatTimer() const { return timer_; }
  bool mailMark() const { return mailMark_; }
  bool mailBlinking() const { return mailBlink_; }
  bool exitAsked() const { return exitAsked_; }
  // The STRINGS value "HEARD": the header of the heard-list file.
  const std::string& heardHeader() const { return heardHeader_; }
  // The heard list of the pairs of stations exchanging I frames.
  HeardList& heard() { return heard_; }

  // The channel bar as it is shown.
  const ChannelBar& channelBar() const { return bar_; }
  // A channel's state, call or unread mark changed: the bar follows.
  void ChannelChanged();
  // Brings the window of channel `slot` (0..7) up with the focus in its
  // input line; nothing for a free channel.
  void BringUpChannel(int slot);
  // The windows the Windows menu lists, in its order.
  const std::vector<ui::WindowId>& listedWindows() const { return listed_; }

  // A toolbox command. The second variant of STATLIST (the station window)
  // and MYBBS (the second mailbox) is chosen by an argument whose value
  // modulo 10 is 1; the toolbox's own buttons and menu items give 0.
  void Command(int id, std::intptr_t argument = 0);

  // Creates the main window as a document of the frame (or a top-level
  // window without frame mode). `forms` opens the windows of the toolbox
  // and outlives the main window.
  static ui::WindowId Create(core::App& app, ui::FormRuntime& forms, MainWindowHooks hooks);

 protected:
  bool filterEvent(ui::Event& event) override;
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void onCreate();
  void onHeartbeat(ui::Event& event);
  void fanOut();
  void onUser(ui::Event& event);
  void enableEntries();
  void openNumber(int number);
  void openOutgoing(const std::string& connectText);
  void setMailState(MailState state);
  void askExit();
  void closeProgram();
  void refreshBar();
  void refreshWindowsMenu();
  bool programKey(int key, unsigned modifiers);

  core::App& app_;
  MainWindowHooks hooks_;
  ui::FormRuntime* forms_;
  ax25::ChannelTable channels_;
  ax25::Router router_;
  ui::TimerId timer_ = 0;
  int startupTicks_ = 0;
  int storedSecond_ = 0;
  int storedMinute_ = -1;
  int storedDay_ = -1;
  bool mailBlink_ = false;
  bool mailMark_ = false;
  bool exitAsked_ = false;
  std::string heardHeader_;
  HeardList heard_;
  ChannelBar bar_;
  bool barShown_ = false;
  std::vector<ui::WindowId> listed_;
  std::vector<std::string> listedTitles_;
};

}  // namespace tarvik::channels
