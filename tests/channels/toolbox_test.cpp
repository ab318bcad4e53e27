// The toolbox of the main window as the operator uses it through the UI
// driver: entries open their windows or are disabled while no part of the
// program can open them, the exit question, listen only and the mail mark.

#include <string>
#include <vector>

#include "toolbox_fixture.h"

namespace tarvik::test {
namespace {

bool Has(const std::string& reply, const std::string& part) {
  return reply.find(part) != std::string::npos;
}

// Open windows of a description number.
std::size_t OpenWindows(ui::FormRuntime& forms, int number) { return forms.windowsOf(number).size(); }

using ToolboxTest = ToolboxFixture;

TEST_F(ToolboxTest, EntriesOpenTheirWindowsOrStayDisabled) {
  // The heard list and the ping window exist in this program: their entries
  // come alive, which those of the missing windows do not.
  Install(1080);
  Install(1280);
  Start();

  struct Entry {
    const char* control;
    const char* menu;   // the same entry in the menu bar
    int window;         // the window it opens; 0: it stays disabled
  };
  const std::vector<Entry> entries = {
      {"MONITOR", "Windows/Monitor", 1050},
      {"MECH", "Tools/Frame generator", 1140},
      {"HEARD", "Windows/Heard list", 1080},
      {"STATLIST", "Windows/Stations", 0},
      {"MAIL", "Windows/Mail", 0},
      {"LOGBUCH", "Windows/Logbook", 0},
      {"TIMERLIST", "Windows/Timer list", 0},
      {"PING", "Tools/Ping", 1280},
      {"CONMAN", "Tools/Connections", 0},
      {"CONFIG", "Tools/Configuration", 0},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.control);
    const std::string state = Drive(std::string("state MAIN ") + e.control);
    const std::string press = Drive(std::string("press MAIN ") + e.control);
    if (e.window == 0) {
      EXPECT_TRUE(Has(state, "enabled=0")) << state;
      EXPECT_TRUE(Has(press, "ERR")) << press;
      EXPECT_TRUE(Has(Drive(std::string("menu MAIN ") + e.menu), "ERR"));
      continue;
    }
    EXPECT_TRUE(Has(state, "enabled=1")) << state;
    EXPECT_EQ(press, "OK");
    EXPECT_EQ(OpenWindows(*forms, e.window), 1u);
    // Once open, the entry and its menu item raise the same window.
    EXPECT_EQ(Drive(std::string("menu MAIN ") + e.menu), "OK");
    EXPECT_EQ(OpenWindows(*forms, e.window), 1u);
    EXPECT_EQ(tk.parentOf(forms->windowsOf(e.window).front()), app->mainWindow);
  }
  EXPECT_EQ(channels::FindMonitorWindow(tk), forms->windowsOf(1050).front());

  // Connecting goes through the channels' entry point: the connect dialog
  // (empty text) or the own mailbox.
  EXPECT_EQ(Drive("press MAIN CONNECT"), "OK");
  EXPECT_EQ(Drive("menu MAIN File/Connect to my BBS"), "OK");
  EXPECT_EQ(Drive("menu MAIN File/Connect to my second BBS"), "OK");  // the second variant
  tk.sendUser(app->mainWindow, channels::kEvtConnectTo, 0,
              std::make_unique<ui::TextPayload>("2:DB0XYZ (DB0RPT)"));
  EXPECT_EQ(connects, (std::vector<std::string>{"", "DB0BOX", "1:DB0OTH", "2:DB0XYZ (DB0RPT)"}));

  EXPECT_EQ(Drive("press MAIN SYSHILFE"), "OK");
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0], std::make_pair((dir / "TARVIK.HLP").string(), 1040));
}

TEST_F(ToolboxTest, ClosedMonitorIsForgottenAndOpensAgain) {
  Start();
  ASSERT_EQ(Drive("press MAIN MONITOR"), "OK");
  const ui::WindowId first = forms->windowsOf(1050).front();
  ui::Event close(ui::EventType::Close, 0);
  tk.send(first, close);
  EXPECT_FALSE(tk.exists(first));
  EXPECT_EQ(channels::FindMonitorWindow(tk), ui::kNoWindow);
  ASSERT_EQ(Drive("press MAIN MONITOR"), "OK");
  EXPECT_NE(channels::FindMonitorWindow(tk), ui::kNoWindow);
}

TEST_F(ToolboxTest, ConnectEntriesNeedTheChannelsEntryPoint) {
  core::StartupOptions options;
  options.iniPath = (dir / "TARVIK.INI").string();
  app = std::make_unique<core::App>(tk, options);
  forms = ui::InstallForms(*app);
  app->hooks().createMainWindow = [this](core::App& a) {
    channels::MainWindowHooks h;
    // no outgoing channels, no windows registered
    return channels::MainWindow::Create(a, *forms, h);
  };
  ASSERT_TRUE(app->Start());
  tk.stepSeconds(1);
  for (const char* entry : {"CONNECT", "MYBBS", "MONITOR", "MECH"})
    EXPECT_TRUE(Has(Drive(std::string("state MAIN ") + entry), "enabled=0")) << entry;
  for (const char* entry : {"SWL", "SYSHILFE"})
    EXPECT_TRUE(Has(Drive(std::string("state MAIN ") + entry), "enabled=1")) << entry;
}

// How the operator closes the toolbox, and how the question is answered.
struct ExitCase {
  const char* name;
  bool viaMenu;            // File/Exit instead of the window's close box
  int answer;              // -1: closed a second time instead of answering
  bool programEnds;
};

class ExitQuestionTest : public ToolboxFixture, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitQuestionTest, Answers) {
  const ExitCase& c = GetParam();
  Start();
  auto close = [&] {
    if (c.viaMenu) {
      ASSERT_EQ(Drive("menu MAIN File/Exit"), "OK");
    } else {
      ui::Event e(ui::EventType::Close, 0);
      tk.send(app->mainWindow, e);
    }
  };
  close();
  ASSERT_EQ(tk.openMessageDialogs().size(), 1u);
  EXPECT_EQ(tk.openMessageDialogs()[0].lines[0], "Quit Tarvik?");
  EXPECT_TRUE(Main().exitAsked());
  if (c.answer < 0) {
    close();
  } else {
    tk.answerDialog(c.answer);
    tk.pump();
  }
  if (c.programEnds) {
    EXPECT_EQ(app->mainWindow, ui::kNoWindow);
    EXPECT_EQ(app->taskWindow, ui::kNoWindow);
    EXPECT_TRUE(tk.quitRequested());
    return;
  }
  ASSERT_NE(app->mainWindow, ui::kNoWindow);
  EXPECT_FALSE(Main().exitAsked());
  // The question is asked anew the next time.
  close();
  EXPECT_EQ(tk.openMessageDialogs().size(), 1u);
  EXPECT_NE(app->mainWindow, ui::kNoWindow);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitQuestionTest,
    ::testing::Values(ExitCase{"Yes", false, core::kAnswerYes, true},
                      ExitCase{"YesFromTheMenu", true, core::kAnswerYes, true},
                      ExitCase{"No", false, core::kAnswerNo, false},
                      ExitCase{"Cancel", true, core::kAnswerCancel, false},
                      ExitCase{"CloseTwice", false, -1, true}),
    [](const ::testing::TestParamInfo<ExitCase>& param_info) { return std::string(param_info.param.name); });

TEST_F(ToolboxTest, ListenOnlyFollowsItsControlAndMenuItem) {
  Start();
  EXPECT_FALSE(Main().listenOnly());
  auto menuLine = [&] {
    for (const std::string& line : DriveLines("menus MAIN"))
      if (Has(line, "Listen only")) return line;
    return std::string();
  };
  ASSERT_EQ(Drive("press MAIN SWL"), "OK");
  EXPECT_TRUE(Main().listenOnly());
  EXPECT_TRUE(Has(menuLine(), " 11 ")) << menuLine();
  EXPECT_TRUE(Main().router().listenOnly());
  EXPECT_TRUE(Has(Drive("state MAIN SWL"), "checked=1"));
  ASSERT_EQ(Drive("menu MAIN Tools/Listen only"), "OK");
  EXPECT_FALSE(Main().router().listenOnly());
  EXPECT_TRUE(Has(Drive("state MAIN SWL"), "checked=0"));
  EXPECT_TRUE(Has(menuLine(), " 10 ")) << menuLine();
}

TEST_F(ToolboxTest, MailStateMarksOrBlinksTheMailControl) {
  Start();
  auto marked = [&] { return Has(Drive("state MAIN MAIL"), "checked=1"); };
  EXPECT_FALSE(marked());
  tk.sendUser(app->mainWindow, channels::kEvtMailUnread);
  EXPECT_TRUE(marked());
  tk.stepSeconds(2);
  EXPECT_TRUE(marked());  // unread mail: marked, steady

  tk.sendUser(app->mainWindow, channels::kEvtMailNew);
  std::vector<bool> phases;
  for (int i = 0; i < 4; ++i) {
    tk.stepSeconds(1);
    phases.push_back(marked());
  }
  EXPECT_EQ(phases, (std::vector<bool>{false, true, false, true}));

  tk.sendUser(app->mainWindow, channels::kEvtMailNone);
  tk.stepSeconds(3);
  EXPECT_FALSE(marked());
}

TEST_F(ToolboxTest, UnknownEventsAndCommandsAreReported) {
  Start();
  tk.sendUser(app->mainWindow, channels::kEvtConnectIgnored);
  EXPECT_TRUE(tk.openMessageDialogs().empty());
  tk.sendUser(app->mainWindow, 4711);
  Main().Command(77);
  ASSERT_EQ(tk.openMessageDialogs().size(), 2u);
  EXPECT_EQ(tk.openMessageDialogs()[0].lines[0], "Unknown event 4711 BTNBOX");
  EXPECT_EQ(tk.openMessageDialogs()[1].lines[0], "Unknown command 77 TOOLBOX");
}

}  // namespace
}  // namespace tarvik::test
