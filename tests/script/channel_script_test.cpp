// Scripts on the channels of whole stations on one radio channel: the
// operator starts and stops them with EXEC, a connect path starts one by
// "@name", and a scripted peer answers what the script sends. The one-second
// ticks come from the stations' heartbeat on the stepped clock.

#include "channels/terminal_fixture.h"
#include "script/channel_scripts.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;
constexpr ui::Color kRed = ui::kRed, kBlack = ui::kBlack, kBlue = ui::kBlue;

class ChannelScripts : public TerminalFixture {
 protected:
  // A station whose channels run scripts, and a message file that knows
  // the script's questions.
  Terminal& ScriptStation(const std::string& call) {
    Terminal& t = AddStation(call, true);
    std::ofstream(t.dir / "TARVIK.MSG", std::ios::app)
        << "28 1 Script %s is running.\\nStop the script?\n1023 1 Cannot copy file:\\n%s\n";
    fs::create_directories(t.dir / "script");
    return t;
  }
  std::string WriteScript(Terminal& t, const std::string& name, const std::string& text) {
    const fs::path p = t.dir / "script" / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  // The peer answers lines it receives by the rules given: a received line
  // containing the key gets the reply (sent as it is: "\r" ends lines).
  void Answer(Terminal& peer, std::vector<std::pair<std::string, std::string>> rules) {
    peer.addParts = [this, rules](channels::ChannelParts& parts) {
      parts.push_back(std::make_unique<TestLinePart>([this, rules](ChannelWindow& w, const std::string& line) {
        heard.push_back(line);
        for (const auto& [key, reply] : rules)
          if (line.find(key) != std::string::npos) {
            w.SendText(reply);
            break;
          }
        return false;
      }));
    };
  }
  bool DialogStarts(const std::string& start) {
    for (const std::string& d : Dialogs())
      if (d.rfind(start, 0) == 0) return true;
    return false;
  }
  bool Heard(const std::string& line) { return std::find(heard.begin(), heard.end(), line) != heard.end(); }
  bool ExecChecked(ChannelWindow* ch) {
    const ui::ControlState* c = tk.control(ch->id(), ch->controlOf(channels::kChExec));
    return c && c->checked;
  }
  void Exec(ChannelWindow* ch, const std::string& path) {
    tk.queueFileDialogAnswer(path);
    Do("press " + Win(ch->id()) + " EXEC");
  }

  std::vector<std::string> heard;
};

TEST_F(ChannelScripts, MailboxLoginAgainstAScriptedPeer) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {{"Hello", "Welcome\rPassword:\r"}, {"secret", "\r\rOK DB0BBB ready\r"}});
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  const std::string path = WriteScript(a, "login.scr",
                                       "# log in to the box\n"
                                       "send Hello %YOURCALL% de %MYCALL%\n"
                                       "waitfor Password@30 :nopw\n"
                                       "send secret\n"
                                       "readln %answer%\n"
                                       "tokenize %answer%\n"
                                       "ifn (%T1%=OK) bad\n"
                                       "set n 5\ninc n 10\n"
                                       "send n=%n% box=%T2%\n"
                                       "stop\n"
                                       ":bad\nsend bad\n"
                                       ":nopw\nsend nopw\n");
  Exec(ca, path);
  EXPECT_EQ(ca->State(channels::kLampScript), 1);
  EXPECT_TRUE(ExecChecked(ca));
  ASSERT_TRUE(ether.RunUntil([&] { return Heard("n=15 box=DB0BBB"); })) << ::testing::PrintToString(heard) << ::testing::PrintToString(Pane(ca));
  ASSERT_TRUE(ether.RunUntil([&] { return ca->State(channels::kLampScript) == 0; }));
  EXPECT_EQ(heard, (std::vector<std::string>{"Hello DB0BBB de DL1AAA", "secret", "n=15 box=DB0BBB"}));
  EXPECT_FALSE(ExecChecked(ca));
  EXPECT_TRUE(PaneHas(ca, {"Hello DB0BBB de DL1AAA", kRed}));
  EXPECT_TRUE(PaneHas(ca, {"OK DB0BBB ready", kBlack}));
  // The variables stay with the channel; programs started for the channel
  // window see them through the macros.
  EXPECT_EQ(a.app->hooks().expandMacros(*a.app, ca->id(), "%answer%|%YOURCALL%|%n%"), "OK DB0BBB ready|DB0BBB|15");
  EXPECT_EQ(a.app->hooks().expandMacros(*a.app, a.app->mainWindow, "%n%|%PROD%"), "n undefined|TARVIK/WIN32");
}

TEST_F(ChannelScripts, ASilentPeerLetsTheWaitTimeOut) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {});
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  Exec(ca, WriteScript(a, "t.scr", "send ping\nwaitfor pong@3 :late\nsend ontime\nstop\n:late\nsend late\n"));
  ASSERT_TRUE(ether.RunUntil([&] { return Heard("late"); }));
  EXPECT_FALSE(Heard("ontime"));
  EXPECT_TRUE(ether.RunUntil([&] { return ca->State(channels::kLampScript) == 0; }));
}

TEST_F(ChannelScripts, AKeptConversationsScriptEndsWithTheLink) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {});
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  const ui::WindowId kept = ca->id();
  Exec(ca, WriteScript(a, "t.scr", "waitfor never@3 :late\nsend never\nstop\n:late\nsend late\n"));
  ASSERT_EQ(ca->State(channels::kLampScript), 1);
  b.channel(0)->Disconnect(true);
  ASSERT_TRUE(ether.RunUntil([&] { return a.channel(0) == nullptr; }));
  ASSERT_TRUE(tk.exists(kept));
  const auto lines = Pane(ca);
  EXPECT_EQ(ca->State(channels::kLampScript), 0);
  EXPECT_FALSE(ExecChecked(ca));
  // The wait's time runs out and heartbeats reach the window, but the kept
  // window's script has ended: it sends and shows nothing.
  for (int second = 0; second < 8; ++second) {
    tk.sendUser(kept, core::kEvtHeartbeat);
    ether.Run(1000);
  }
  ASSERT_TRUE(tk.exists(kept));
  EXPECT_EQ(Pane(ca), lines);
  EXPECT_FALSE(PaneHas(ca, {"late", kRed}));
  EXPECT_TRUE(heard.empty()) << ::testing::PrintToString(heard);
}

TEST_F(ChannelScripts, TheOperatorStopsAWaitingScript) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {});
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  const std::string path = WriteScript(a, "wait.scr", "waitfor never\nsend no\n");
  Exec(ca, path);
  // The channel still takes the other station's text while the script waits.
  ChannelWindow* cb = b.channel(0);
  Do("type " + Win(cb->id()) + " INPUT still here{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return PaneHas(ca, {"still here", kBlack}); }));
  EXPECT_EQ(ca->State(channels::kLampScript), 1);
  // EXEC while a script runs asks message 28; "no" keeps it running.
  tk.queueDialogAnswer(0);
  Do("press " + Win(ca->id()) + " EXEC");
  ether.Run(200);
  EXPECT_TRUE(DialogStarts("Script " + a.dir.string())) << ::testing::PrintToString(Dialogs());
  EXPECT_EQ(ca->State(channels::kLampScript), 1);
  EXPECT_TRUE(ExecChecked(ca));
  tk.queueDialogAnswer(1);
  Do("press " + Win(ca->id()) + " EXEC");
  ASSERT_TRUE(ether.RunUntil([&] { return ca->State(channels::kLampScript) == 0; }));
  EXPECT_FALSE(ExecChecked(ca));
  // A cancelled file dialog starts nothing; a missing file is reported.
  tk.queueFileDialogAnswer(std::nullopt);
  Do("press " + Win(ca->id()) + " EXEC");
  //EXPECT_EQ(ca->State(channels::kLampScript), 0);
  Exec(ca, (a.dir / "script" / "none.scr").string());
  EXPECT_TRUE(DialogStarts("Not found: " + a.dir.string().substr(0, 10))) << ::testing::PrintToString(Dialogs());
  EXPECT_FALSE(ExecChecked(ca));
}

TEST_F(ChannelScripts, MalformedScriptsReportAndGoOn) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {});
  ChannelWindow* ca = ConnectPair(a, b);
  ASSERT_TRUE(ca);
  std::string garbage = "snd typo\n";
  garbage += std::string(1000, '%') + "\n";
  garbage += std::string("\x01\x02\xff\0zz\n", 7);
  garbage += "if (%" + std::string(400, 'a') + "\nloop\ngoto\ncall /nonexistent/dir/\n";
  Exec(ca, WriteScript(a, "bad.scr", garbage));
  ASSERT_TRUE(ether.RunUntil([&] { return ca->State(channels::kLampScript) == 0; }));
  EXPECT_TRUE(PaneHas(ca, {"Invalid script command !", kBlue}));
  EXPECT_TRUE(PaneHas(ca, {"snd typo", kBlue}));
  EXPECT_TRUE(Connected(ca));
}

TEST_F(ChannelScripts, AConnectPathEndsInItsScript) {
  Terminal& a = ScriptStation("DL1AAA");
  Terminal& b = AddStation("DB0BBB");
  Answer(b, {{"who", "DB0BBB here\r"}});
  WriteScript(a, "hello.scr", "send who are you\nreadln reply\nsend got %reply%\ndisconnect\nsend never\n");
  // The name as written, and as a form that keeps calls in capitals stores
  // it: the script directory is searched regardless of case.
  for (const char* path : {"DB0BBB @hello.scr", "DB0BBB @HELLO.SCR"}) {
    SCOPED_TRACE(path);
    heard.clear();
    const auto slot = channels::OpenOutgoingChannel(*a.app, path);
    ASSERT_TRUE(slot);
    ASSERT_TRUE(ether.RunUntil([&] { return Heard("got DB0BBB here"); }));
    // disconnect ends the connection after what was queued.
    ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0 && b.openChannels() == 0; }));
    EXPECT_FALSE(Heard("never"));
  }
}

}  // namespace
}  // namespace tarvik::test
