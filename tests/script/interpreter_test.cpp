// The interpreter on a channel that exists only as a record of what the
// script did: lines sent, notices, the lamp, continue events. Each case is
// a script, the text the other station sends while it waits, the ticks that
// pass, and what must have been sent.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "script/script.h"

namespace tarvik::script {
namespace {

namespace fs = std::filesystem;

class RecordingChannel : public ScriptHost {
 public:
  std::vector<std::string> sent, notices, copyFailures, remote;
  bool lamp = false;
  int wakes = 0;
  bool leaving = false;
  std::string logPath, currentDir, exportDir;

  void SendLine(const std::string& t) override { sent.push_back(t); }
  void Notice(const std::string& t) override { notices.push_back(t); }
  void Wake() override { ++wakes; }
  void Running(bool on) override { lamp = on; }
  ChannelFacts Facts() override { return {"DL1AAA", "DB0BBB", "", "", ui::LocalTime{1997, 2, 22, 18, 21, 38, 6}}; }
  void Disconnect(Script&) override { leaving = true; }
  bool SendingFile() override { return leaving; }
  void RemoteCommand(const std::string& c, bool local) override { remote.push_back((local ? "!" : ".") + c); }
  void ReadMail(const std::string& c) override { sent.push_back("readmail " + c); }
  void SendMail() override {}
  void CheckListToRequests(Script&) override {}
  bool MailWaiting() override { return false; }
  void CheckListEntry(const std::string& entry, VariableTable& v) override { v.Define("CHK_TITLE", entry); }
  std::string LogPath() override { return logPath; }
  std::string CurrentDirectory() override { return currentDir; }
  std::string ExportDirectory() override { return exportDir; }
  void CopyFailed(const std::string& t) override { copyFailures.push_back(t); }
  std::string InvalidCommandText() override { return "Invalid script command !"; }
};

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_script_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    host.logPath = dir.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  // Delivers the continue events the script asked for, as the channel does.
  void Pump() {
    for (int guard = 0; host.wakes > 0 && guard < 10000; ++guard) {
      --host.wakes;
      script.Continue();
    }
  }
  bool Run(const std::string& text) {
    if (!script.Start(Write("s.scr", text))) return false;
    Pump();
    return true;
  }
  void Receive(const std::string& line) {
    script.ReceivedLine(line);
    Pump();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      script.Tick();
      Pump();
    }
  }

  fs::path dir;
  RecordingChannel host;
  Script script{host, ui::LocalTime{2024, 1, 1, 0, 0, 0, 1}};
};

TEST_F(Interpreter, ScriptsAgainstReceivedLinesAndTicks) {
  struct Step {
    std::string received;  // a line from the other station, or "" for ticks
    int ticks = 0;
    bool tail = false;  // an unterminated tail instead of a line
  };
  struct Case {
    const char* name;
    std::string script;
    std::vector<Step> steps;
    std::vector<std::string> sent;
    bool stillRunning = false;
  } cases[] = {
      {"send and slash lines expand macros", "send de %MYCALL%\n/to %YOURCALL%\n# comment\n\n   send  indented\n", {},
       {"de DL1AAA", "to DB0BBB", " indented"}},
      {"waitfor in a line", "waitfor Password\nsend pw\n", {{"enter your Password:"}}, {"pw"}},
      {"waitfor ignores other lines", "waitfor Password\nsend pw\n", {{"password"}, {"hello"}}, {}, true},
      {"waitfor in a tail", "waitfor Password\nsend pw\n", {{"Password:", 0, true}}, {"pw"}},
      {"a tail never satisfies readln", "readln x\nsend %x%\n", {{"half", 0, true}}, {}, true},
      {"question mark waits too", "?>\nsend go\n", {{"DB0BBB>"}}, {"go"}},
      {"time-out jumps to its label after 31 ticks", "waitfor Password@30 :nopw\nsend pw\nstop\n:nopw\nsend nopw\n",
       {{"", 30}}, {}, true},
      {"time-out branch", "waitfor Password@30 :nopw\nsend pw\nstop\n:nopw\nsend nopw\n", {{"", 31}}, {"nopw"}},
      {"time-out without label goes on", "waitfor X@2\nsend next\n", {{"", 3}}, {"next"}},
      {"time-out to a missing label goes on", "waitfor X@1 nolabel\nsend next\n", {{"", 2}}, {"next"}},
      {"text in time stops the time-out", "waitfor X@2 :late\nsend ok\ndelay 10\n:late\nsend late\n",
       {{"X"}, {"", 5}}, {"ok"}, true},
      {"delay 2 ends at the third tick", "delay 2\nsend after\n", {{"", 2}}, {}, true},
      {"delay ends", "delay 2\nsend after\n", {{"", 3}}, {"after"}},
      {"negative delay never ends", "delay -1\nsend after\n", {{"", 50}}, {}, true},
      {"readln skips empty lines", "readln %answer%\nsend got %answer%\n", {{""}, {"  yes sir\r"}},
       {"got   yes sir"}},
      {"set, inc and the counter", "set A 5\ninc A\ninc A 10\nsend %A%\nset B=hello world\nsend %B%\n", {},
       {"16", "hello"}},
      {"set without value deletes", "set A 5\nset A\nsend %A%\n", {}, {"A undefined"}},
      {"tokenize", "set X 1\nset T5 old\nreadln line\ntokenize %line%\nsend %T1%|%T2%|%T3%|%T4%|%T5%\n",
       {{"de DB0ABC ok"}}, {"de|DB0ABC|ok|T4 undefined|T5 undefined"}},
      {"tokenize keeps empty words", "readln l\ntokenize %l%\nsend [%T1%][%T2%][%T3%]\n", {{"a  b"}}, {"[a][][b]"}},
      {"loop runs the body three times", ":L\nsend x%L%\nloop L 3\nsend v%L%\n", {}, {"x0", "x1", "x2", "v2"}},
      {"loop of zero never jumps", ":L\nsend x\nloop L 0\nsend end\n", {}, {"x", "end"}},
      {"loop can be entered again", "set n 0\n:outer\n:L\nsend x\nloop L 2\ninc n\nif (%n%=2) done\ngoto outer\n:done\n",
       {}, {"x", "x", "x", "x"}},
      {"goto skips", "goto :there\nsend no\n:there\nsend yes\n", {}, {"yes"}},
      {"goto a missing label goes on", "goto nowhere\nsend on\n", {}, {"on"}},
      {"later label definition holds after the scan", "goto L\n:L\nsend first\nstop\n:L\nsend second\n", {},
       {"second"}},
      {"conditions", "set A OK\nset B x\n"
                     "if (%A%=OK) a1\nsend no-a1\n:a1\n"
                     "ifn (%A%=OK) a2\nsend yes-a2\n:a2\n"
                     "if (K~%A%) a3\nsend no-a3\n:a3\n"
                     "if (%B%) a4\nsend no-a4\n:a4\n"
                     "if (%C%) a5\nsend yes-a5\n:a5\n"
                     "if (%MYCALL%=MYCALL undefined) a6\nsend no-a6\n:a6\n"
                     "if (%A%=OK  #comment) a7\nsend no-a7\n:a7\n"
                     "if () a8\nsend yes-a8\n:a8\n"
                     "if (CHECK_LIST_EMPTY) a9\nsend no-a9\n:a9\n"
                     "if (SEND_MAIL_EMPTY) a10\nsend no-a10\n:a10\n"
                     "if (%A%=OK)\nsend no-label\n",
       {}, {"yes-a2", "yes-a5", "yes-a8", "no-label"}},
      {"unknown commands are shown and skipped", "sned oops\nsend after\n", {}, {"after"}},
      {"stop ends", "send a\nstop\nsend b\n", {}, {"a"}},
      {"last waitfor without line break ends at once", "send a\nwaitfor X", {}, {"a"}},
      {"last waitfor with line break waits", "send a\nwaitfor X\n", {}, {"a"}, true},
      {"prompt wait", "set PROMPT=%YOURCALL%*>\nwaitfor PROMPT\nsend at prompt\n", {{"DB0BBB de"}, {"DB0BBB>"}},
       {"at prompt"}},
      {"prompt wait needs a prompt", "waitfor the PROMPT please\nsend x\n", {{"anything>"}}, {}, true},
      {"readmail sends the command", "readmail R 12\n", {}, {"readmail R 12"}},
      {"disconnect pauses the script", "disconnect\nsend never\n", {}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host = RecordingChannel{};
    host.logPath = dir.string() + "/";
    script.Stop();
    ASSERT_TRUE(Run(c.script));
    for (const Step& s : c.steps) {
      if (s.ticks) Ticks(s.ticks);
      else if (s.tail) {
        script.ReceivedTail(s.received);
        Pump();
      } else Receive(s.received);
    }
    EXPECT_EQ(host.sent, c.sent);
    EXPECT_EQ(script.running(), c.stillRunning);
    EXPECT_EQ(host.lamp, c.stillRunning);
  }
}

// The prompt without a line end: a tail that came before the wait counts
// once; what the script sends makes the tail received so far old; the line
// end that completes a prompt already taken is no new prompt.
TEST_F(Interpreter, TailsReceivedBeforeAWaitCountOnce) {
  script.ReceivedTail("DB0BBB>");  // with the connection, before the script
  ASSERT_TRUE(Run("set PROMPT=DB0BBB>\nwaitfor PROMPT@60 :late\nsend L\nwaitfor PROMPT\nsend B\nstop\n"
                  ":late\nsend late\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"L"}));
  EXPECT_EQ(script.timeout(), -1);
  script.ReceivedTail("DB0BBB> ");  // the same tail, grown by a blank
  Pump();
  Receive("DB0BBB> ");  // its line end
  EXPECT_EQ(host.sent, (std::vector<std::string>{"L"}));
  Receive("list line");
  script.ReceivedTail("DB0BBB>");
  Pump();
  EXPECT_EQ(host.sent, (std::vector<std::string>{"L", "B"}));

  // A prompt that was on screen before the script sent is not the answer.
  host.sent.clear();
  script.ReceivedTail("DB0BBB>");
  ASSERT_TRUE(Run("send X\nwaitfor PROMPT\nsend Y\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"X"}));
  EXPECT_TRUE(script.running());

  // A text wait sees only what came after the part of the tail it took.
  host.sent.clear();
  Receive("");
  ASSERT_TRUE(Run("waitfor word:\nsend 1\nwaitfor word:\nsend 2\n"));
  script.ReceivedTail("word:");
  Pump();
  script.ReceivedTail("word: more");
  Pump();
  EXPECT_EQ(host.sent, (std::vector<std::string>{"1"}));
  script.ReceivedTail("word: more word:");
  Pump();
  EXPECT_EQ(host.sent, (std::vector<std::string>{"1", "2"}));
}

TEST_F(Interpreter, UnknownCommandShowsTheNoticeAndTheLine) {
  ASSERT_TRUE(Run("Frobnicate now\n"));
  EXPECT_EQ(host.notices, (std::vector<std::string>{"Invalid script command !", "Frobnicate now"}));
  EXPECT_FALSE(script.running());
}

TEST_F(Interpreter, CommandWordsIgnoreCaseNamesDoNot) {
  ASSERT_TRUE(Run("SET a 1\nSend %a%/%A%\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"1/A undefined"}));
}

TEST_F(Interpreter, CallAndReturn) {
  const std::string sub = Write("sub.scr", "send in sub\nreturn\nsend never\n");
  ASSERT_TRUE(Run("send before\ncall " + sub + "\nsend back\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"before", "in sub", "back"}));
  EXPECT_FALSE(script.running());

  host.sent.clear();
  ASSERT_TRUE(Run("send a\ncall " + (dir / "missing.scr").string() + "\nsend b\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"a"}));
  EXPECT_FALSE(script.running());
  EXPECT_FALSE(host.lamp);

  host.sent.clear();
  ASSERT_TRUE(Run("return\nsend fine\n"));  // no caller: nothing happens
  EXPECT_EQ(host.sent, (std::vector<std::string>{"fine"}));
}

TEST_F(Interpreter, VariablesOutliveTheScriptAndTheTableHoldsAHundred) {
  ASSERT_TRUE(Run("set keep yes\n"));
  ASSERT_TRUE(Run("send %keep%\n"));
  EXPECT_EQ(host.sent, (std::vector<std::string>{"yes"}));
  std::string many;
  for (int i = 0; i < 120; ++i) many += "set v" + std::to_string(i) + " " + std::to_string(i) + "\n";
  ASSERT_TRUE(Run(many + "send %v97%|%v98%|%v99%\n"));
  EXPECT_EQ(script.variables().size(), kVariableCapacity);
  EXPECT_EQ(host.sent.back(), "97|98|v99 undefined");  // "keep" holds the hundredth entry
}

TEST_F(Interpreter, LogExportAndGps) {
  host.currentDir = (dir / "save").string() + "/";
  host.exportDir = (dir / "export").string() + "/";
  fs::create_directories(dir / "save");
  fs::create_directories(dir / "export");
  std::ofstream(dir / "save" / "a.txt") << "data";
  ASSERT_TRUE(Run("log hello %MYCALL%\nlog second\nexport a.txt\nexport ../s.scr\nexport gone.txt\n"
                  "gpsstart 06.01.1980 00:00:00+90\ngpsend 13.01.80 00:00:00-1\n"));
  std::ifstream log(dir / "199702.log");
  std::string text((std::istreambuf_iterator<char>(log)), {});
  EXPECT_EQ(text, "hello DL1AAA\nsecond\n");
  EXPECT_TRUE(fs::exists(dir / "export" / "a.txt"));
  EXPECT_FALSE(fs::exists(dir / "save" / "a.txt"));
  ASSERT_EQ(host.copyFailures.size(), 2u);
  EXPECT_EQ(host.copyFailures[1], "DosCopy " + host.currentDir + "gone.txt nach " + host.exportDir + "gone.txt");
  EXPECT_TRUE(fs::exists(dir / "s.scr"));  // a name leaving the directory is refused
  EXPECT_EQ(script.gpsStart().minute, 1);
  EXPECT_EQ(script.gpsStart().second, 30);
  EXPECT_EQ(script.gpsEnd().gpsWeek, 0);
  EXPECT_EQ(script.gpsEnd().gpsDay, 6);
  EXPECT_EQ(script.Expand("%GPSS.GPS%"), "0/0/00:01:30");
}

TEST_F(Interpreter, RemoteCommandLines) {
  ASSERT_TRUE(Run("!//dir\n.//help %MYCALL%\n"));
  EXPECT_EQ(host.remote, (std::vector<std::string>{"!//dir", ".//help DL1AAA"}));
  EXPECT_EQ(host.notices, (std::vector<std::string>{".//help DL1AAA"}));
}

TEST_F(Interpreter, AScriptThatNeverWaitsYieldsToTheChannel) {
  ASSERT_TRUE(script.Start(Write("s.scr", ":a\ngoto a\n")));
  ASSERT_EQ(host.wakes, 1);
  for (int events = 0; events < 5; ++events) {
    host.wakes = 0;
    script.Continue();  // returns after a bounded number of lines ...
    EXPECT_EQ(host.wakes, 0);
    script.Tick();  // ... and goes on at the next tick
    ASSERT_EQ(host.wakes, 1);
  }
  EXPECT_TRUE(script.running());
  script.Stop();
  EXPECT_FALSE(script.running());
  EXPECT_FALSE(host.lamp);
}

TEST_F(Interpreter, MalformedScriptsNeverOverrun) {
  std::mt19937 random(1017);
  std::vector<std::string> hostile = {
      std::string(5000, 'x') + "\nsend after\n",
      "send " + std::string(400, '%') + "\n",
      "if (" + std::string(600, 'a') + "\n",
      "if (%" + std::string(300, 'v') + "=%x) y\n",
      "set " + std::string(300, 'n') + "=" + std::string(300, 'v') + "\nloop " + std::string(80, 'n') + "\n",
      "waitfor @@@ :::\nreadln %\nreadln %%\nreadln\n",
      "delay 99999999999999999999\nset A 99999999999999999\ninc A 99999999999999\ninc A 99999999999999\n",
      "gpsstart ..:::+99999999999999\ngpsend -\ngpsstart 99.99.99999 99:99:99\n",
      std::string("send a\0b\nsend c\n", 16),
      ":\n:\ngoto\nloop\nloop :\nif\nifn ()\ntokenize\ntokenize %\nexport\nset\ninc\ncall\n",
  };
  for (int i = 0; i < 30; ++i) {
    std::string noise(300, '\0');
    for (char& c : noise) c = static_cast<char>(random() % 256);
    hostile.push_back(noise);
  }
  for (const std::string& text : hostile) {
    host = RecordingChannel{};
    host.logPath = dir.string() + "/";
    ASSERT_TRUE(Run(text));
    for (int i = 0; i < 3 && script.running(); ++i) {
      Receive(std::string(300, 'r'));
      Ticks(2);
    }
    script.Stop();
    for (const std::string& line : host.sent) EXPECT_LE(line.size(), kExpandedLimit);
  }
  // The over-long line is dropped as a whole, the next line runs.
  host = RecordingChannel{};
  ASSERT_TRUE(Run("send " + std::string(300, 'y') + "tail\nsend after\n"));
  ASSERT_EQ(host.sent.size(), 2u);
  EXPECT_EQ(host.sent[0], std::string(kLineBufferLimit - 5, 'y'));
  EXPECT_EQ(host.sent[1], "after");
}

TEST_F(Interpreter, StartOfAMissingFileLeavesEverythingAsItWas) {
  EXPECT_FALSE(script.Start((dir / "none.scr").string()));
  EXPECT_FALSE(script.running());
  EXPECT_EQ(host.wakes, 0);
  EXPECT_FALSE(host.lamp);
}

}  // namespace
}  // namespace tarvik::script

namespace tarvik::script {
namespace {

// The example scripts of the default station run as they are meant to.
TEST_F(Interpreter, ShippedExamples) {
  const std::string data = std::string(TARVIK_SOURCE_DIR) + "/data/script/";
  ASSERT_TRUE(script.Start(data + "boxlogin.scr"));
  Pump();
  script.ReceivedTail("DB0BOX>");
  Pump();
  Receive("DB0BOX>");  // the mailbox's answer ends the prompt's line first
  Receive("1 DL1ABC list line");
  script.ReceivedTail("DB0BOX>");
  Pump();
  EXPECT_EQ(host.sent, (std::vector<std::string>{"L", "B"}));
  EXPECT_FALSE(script.running());

  host.sent.clear();
  ASSERT_TRUE(script.Start(data + "vianode.scr"));
  Pump();
  Receive("*** connected to DB0XYZ");
  Receive("hello there");
  EXPECT_EQ(host.sent, (std::vector<std::string>{"C DB0XYZ", "Hello DB0BBB, greetings from DL1AAA (TARVIK/WIN32 2.10)",
                                                 "73 de DL1AAA"}));
  EXPECT_FALSE(script.running());

  host.sent.clear();
  ASSERT_TRUE(script.Start(data + "vianode.scr"));
  Pump();
  Ticks(91);
  EXPECT_TRUE(host.leaving);  // the node could not connect: the script leaves
}

}  // namespace
}  // namespace tarvik::script
