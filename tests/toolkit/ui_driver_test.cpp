// The UI driver's line protocol on the headless backend: a scripted operator
// session, request by request, and the socket server.
#include "ui/toolkit/ui_driver.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::ui {
namespace {

// A form-like window: records what the operator did, as event texts.
struct Form : Window {
  std::vector<std::string>* log;
  explicit Form(std::vector<std::string>* l) : log(l) {}
  void onEvent(Event& e) override {
    switch (e.type) {
      case EventType::Control: log->push_back("control " + std::to_string(e.id) + " " + std::to_string(e.arg)); break;
      case EventType::Command: log->push_back("command " + std::to_string(e.id)); break;
      case EventType::Char: log->push_back("char " + std::to_string(e.id) + " " + std::to_string(e.arg)); break;
      case EventType::Mouse: {
        const auto* m = e.as<MouseRecord>();
        log->push_back("mouse " + std::to_string(e.id) + " " + std::to_string(m->where.x) + "," +
                       std::to_string(m->where.y));
        break;
      }
      default: break;
    }
  }
};

struct DriverTest : ::testing::Test {
  std::vector<std::string> events;
  HeadlessToolkit tk{HeadlessToolkit::Mode::Manual};
  WindowId form = kNoWindow, pane = kNoWindow;

  void SetUp() override {
    WindowSpec s;
    s.kind = WindowKind::Document;
    s.name = "STATION";
    s.number = 1010;
    s.title = "Stationen";
    s.rect = Rect{0, 0, 200, 300};
    form = tk.create(s, std::make_unique<Form>(&events));
    auto add = [&](ControlKind k, int id, const char* name, const char* text, unsigned flags = 0) {
      ControlSpec c;
      c.kind = k;
      c.id = id;
      c.name = name;
      c.text = text;
      c.flags = flags;
      c.group = 1;
      ASSERT_TRUE(tk.createControl(form, c));
    };
    add(ControlKind::Edit, 105, "CALL", "");
    add(ControlKind::CheckBox, 110, "AUTO", "&Auto");
    add(ControlKind::RadioButton, 115, "R1", "Eins", kCtlChecked);
    add(ControlKind::RadioButton, 120, "R2", "Zwei");
    add(ControlKind::PushButton, 125, "OK", "OK");
    add(ControlKind::PushButton, 130, "DEL", "L\xf6schen", kCtlDisabled);
    add(ControlKind::ListBox, 135, "LISTE", "");
    add(ControlKind::MultiLineEdit, 140, "TEXT", "");
    for (const char* t : {"DB0ABC", "DL1XYZ"}) tk.listAdd(form, 135, t);
    std::vector<MenuItem> bar(1);
    bar[0].text = "&Datei";
    bar[0].children = {MenuItem{1, "&Neu"}, MenuItem{0, "", true}, MenuItem{2, "&Ende", false, false}};
    tk.setMenuBar(form, bar);
    WindowSpec p;
    p.kind = WindowKind::Child;
    p.parent = form;
    p.name = "FIFO";
    p.rect = Rect{100, 0, 200, 300};
    pane = tk.create(p, std::make_unique<Form>(&events));
    tk.setLinesProvider(pane, [] { return std::vector<std::string>{"first", "second\\line"}; });
  }
};

TEST_F(DriverTest, AnOperatorSessionRequestByRequest) {
  UiDriver d(tk);
  const std::string f = "#" + std::to_string(form), pn = "#" + std::to_string(pane);
  struct Step {
    std::string request;
    std::vector<std::string> reply;
    std::vector<std::string> events;  // what the windows saw
  };
  const Step steps[] = {
      {"windows",
       {"= " + f + " STATION 1010 document - Stationen", "= " + pn + " FIFO 0 pane " + f + " ",
        "OK"},
       {}},
      {"get STATION CALL", {"OK"}, {}},
      {"set 1010 CALL dl1abc", {"OK"}, {"control 105 2"}},
      {"get station call", {"OK dl1abc"}, {}},
      {"set STATION OK text", {"ERR disabled, invisible or not applicable"}, {}},
      {"press STATION OK", {"OK"}, {"control 125 1"}},
      {"press STATION DEL", {"ERR disabled, invisible or not applicable"}, {}},
      {"check STATION AUTO 1", {"OK"}, {"control 110 1"}},
      {"check STATION AUTO 1", {"OK"}, {}},  // already so: nothing happens
      {"check STATION R2 1", {"OK"}, {"control 120 1"}},
      {"state STATION R1", {"OK kind=radio enabled=1 visible=1 checked=0"}, {}},
      {"select STATION LISTE DL1XYZ", {"OK"}, {"control 135 3"}},
      {"items STATION LISTE", {"=   DB0ABC", "= * DL1XYZ", "OK"}, {}},
      {"dblclick STATION LISTE 0", {"OK"}, {"control 135 3", "control 135 4"}},
      {"state STATION LISTE", {"OK kind=list enabled=1 visible=1 checked=0 sel=0 count=2"}, {}},
      {"select STATION LISTE 5", {"ERR disabled, invisible or not applicable"}, {}},
      {"menus STATION", {"= 1 10 Datei/Neu", "= 2 00 Datei/Ende", "OK"}, {}},
      {"menu STATION Datei/Neu", {"OK"}, {"command 1"}},
      {"menu STATION 2", {"ERR disabled, invisible or not applicable"}, {}},
      {"menu STATION Drucken", {"ERR no such menu item"}, {}},
      {"type STATION TEXT a\\nb{ENTER}c", {"OK"},
       {"control 140 5", "control 140 2", "control 140 2", "control 140 2", "control 140 2",
        "control 140 2", "control 140 2"}},
      {"get STATION TEXT", {"OK a\\\\nb\\nc"}, {}},
      {"set STATION TEXT x\\ny", {"OK"}, {"control 140 2"}},
      {"get STATION TEXT", {"OK x\\ny"}, {}},
      {"type STATION CALL {BS}{TAB}{BTAB}{A-X}", {"OK"},
       {"control 140 6", "control 105 5", "control 105 2", "char 9 0", "char 9 1", "char 88 4"}},
      {"type STATION FIFO hi{PGUP}", {"OK"}, {"char 104 0", "char 105 0", "char 304 0"}},
      {"type STATION FIFO {NOPE}", {"ERR bad key name"}, {}},
      {"mouse STATION FIFO click 3 4", {"OK"}, {"mouse 1 3,4", "mouse 2 3,4"}},
      {"lines STATION FIFO", {"= first", "= second\\\\line", "OK 2"}, {}},
      {"lines STATION", {"ERR no lines"}, {}},
      {"get NOWHERE CALL", {"ERR no such window"}, {}},
      {"get STATION NOTHING", {"ERR no such control"}, {}},
      {"png STATION /tmp/x.png", {"ERR no picture"}, {}},
      {"place STATION 10 20 310 420", {"OK"}, {}},
      {"place STATION 10 20 5", {"ERR bad rectangle"}, {}},
      {"place STATION 10 20 5 420", {"ERR bad rectangle"}, {}},
      {"frobnicate STATION", {"ERR unknown command"}, {}},
  };
  for (const Step& s : steps) {
    events.clear();
    EXPECT_EQ(d.execute(s.request), s.reply) << s.request;
    EXPECT_EQ(events, s.events) << s.request;
  }
  // The texts the driver set are the model's texts.
  EXPECT_EQ(tk.controlText(form, 105), "dl1ab");
  EXPECT_EQ(tk.focusControl(form), 105);
  EXPECT_EQ(tk.outerRect(form), (Rect{10, 20, 310, 420}));
}

TEST_F(DriverTest, DialogsAreAnsweredWhenOpenOrQueuedForTheNext) {
  UiDriver d(tk);
  std::vector<int> answers;
  tk.messageDialog(1026, "Tarvik", {"Datei existiert", "MONITOR.TXT"}, DialogButtons{true, true},
                   [&](int a) { answers.push_back(a); });
  EXPECT_EQ(d.execute("dialogs"),
            (std::vector<std::string>{"= 1026 Tarvik | Datei existiert | MONITOR.TXT", "OK"}));
  EXPECT_EQ(d.execute("answer 0"), std::vector<std::string>{"OK answered"});
  EXPECT_EQ(d.execute("answer 1"), std::vector<std::string>{"OK queued"});
  tk.messageDialog(1027, "", {}, DialogButtons{}, [&](int a) { answers.push_back(a); });
  EXPECT_EQ(answers, (std::vector<int>{0, 1}));
  EXPECT_EQ(d.execute("answer 2"), std::vector<std::string>{"ERR answer wants 0, 1 or 3"});

  EXPECT_EQ(d.execute("file /tmp/some file.txt"), std::vector<std::string>{"OK queued"});
  EXPECT_EQ(d.execute("file -"), std::vector<std::string>{"OK queued"});
  EXPECT_EQ(tk.fileDialog(false, "", "", ""), "/tmp/some file.txt");
  EXPECT_EQ(tk.fileDialog(false, "", "", ""), std::nullopt);
}

// A message dialog built from a description: its lines are fixed texts it
// paints itself, its answers are buttons (or Escape); it goes when answered.
struct DescribedDialog : Window {
  std::vector<std::string>* log;
  explicit DescribedDialog(std::vector<std::string>* l) : log(l) {}
  void onEvent(Event& e) override {
    if (e.type == EventType::Control) log->push_back("button " + tk().control(id(), e.id)->spec.name);
    else if (e.type == EventType::Char) log->push_back("key " + std::to_string(e.id));
    else return;
    tk().destroy(id());
  }
  Toolkit& tk() { return toolkit(); }
};

TEST_F(DriverTest, DescribedMessageDialogsAreReadAndAnsweredAsTheOperatorWould) {
  UiDriver d(tk);
  auto open = [&](int number, std::vector<const char*> buttons) {
    WindowSpec s;
    s.kind = WindowKind::Dialog;
    s.number = number;
    s.name = "M" + std::to_string(number);
    s.title = "Tarvik";
    s.rect = Rect{0, 0, 148, 384};
    const WindowId w = tk.create(s, std::make_unique<DescribedDialog>(&events));
    int id = 1;
    for (const char* b : buttons) {
      ControlSpec c;
      c.kind = ControlKind::PushButton;
      c.id = id++;
      c.name = b;
      c.text = b;
      tk.createControl(w, c);
    }
    tk.setDrawnTextsProvider(w, [] {
      return std::vector<Toolkit::DrawnText>{
          {"ZEILE1", "Delete station DL1ABC", true, true}, {"ZEILE2", "from the database?", true, true},
          {"ZEILE3", "", true, true}};
    });
    return w;
  };
  const WindowId question = open(1620, {"JA", "NEIN"});
  const std::string q = "#" + std::to_string(question);
  EXPECT_EQ(d.execute("dialogs"), (std::vector<std::string>{
                                       "= 1620 Tarvik | Delete station DL1ABC | from the database?", "OK"}));
  // Its fixed texts read like controls, but cannot be acted on.
  EXPECT_EQ(d.execute("get " + q + " zeile2"), std::vector<std::string>{"OK from the database?"});
  EXPECT_EQ(d.execute("state " + q + " ZEILE1"),
            std::vector<std::string>{"OK kind=text enabled=1 visible=1 checked=0"});
  EXPECT_EQ(d.execute("press " + q + " ZEILE1"),
            std::vector<std::string>{"ERR disabled, invisible or not applicable"});
  const auto controls = d.execute("controls " + q);
  EXPECT_NE(std::find(controls.begin(), controls.end(), "= - ZEILE1 text 110 Delete station DL1ABC"),
            controls.end());

  struct Case {
    int number;
    std::vector<const char*> buttons;
    std::string request, reply, event;
  };
  const Case cases[] = {
      {1620, {"JA", "NEIN"}, "answer 0", "OK answered", "button NEIN"},
      {1620, {"JA", "NEIN"}, "answer 3", "ERR the dialog offers no such answer", ""},
      {1630, {"JA", "NEIN", "ABBRUCH"}, "answer 3", "OK answered", "button ABBRUCH"},
      {1610, {"JA"}, "answer 1", "OK answered", "button JA"},
      {1610, {"JA"}, "answer 0", "ERR the dialog offers no such answer", ""},
      {1640, {}, "answer 1", "OK answered", "key " + std::to_string(kKeyEscape)},  // no button: Escape
      {1620, {"JA"}, "answer 0", "OK answered", "key " + std::to_string(kKeyEscape)},
  };
  tk.destroy(question);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " " + c.request);
    events.clear();
    const WindowId w = open(c.number, c.buttons);
    EXPECT_EQ(d.execute(c.request), std::vector<std::string>{c.reply});
    EXPECT_EQ(events, c.event.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.event});
    EXPECT_EQ(tk.exists(w), c.event.empty());  // an answered dialog is gone
    tk.destroy(w);
  }
  // With no dialog open the answer waits for the next toolkit dialog.
  EXPECT_EQ(d.execute("dialogs"), std::vector<std::string>{"OK"});
  EXPECT_EQ(d.execute("answer 1"), std::vector<std::string>{"OK queued"});
}

TEST_F(DriverTest, TheServerAnswersLinesOnALocalSocket) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("tarvik-driver-" + std::to_string(::getpid()))).string();
  const WindowId server = startDriverServer(tk, path);
  ASSERT_NE(server, kNoWindow);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, path.c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  // Two requests in one write, the second split over two writes.
  const std::string req = "get STATION AUTO\nset STATION CALL ab";
  ASSERT_EQ(::write(fd, req.data(), req.size()), static_cast<ssize_t>(req.size()));
  ASSERT_EQ(::write(fd, "c\n", 2), 2);
  std::string got;
  ASSERT_TRUE(tk.pumpUntil([&] {
    char buf[256];
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    return got.size() >= std::string("OK &Auto\nOK\n").size();
  }));
  EXPECT_EQ(got, "OK &Auto\nOK\n");
  EXPECT_EQ(tk.controlText(form, 105), "abc");
  ::close(fd);
  tk.destroy(server);
  EXPECT_FALSE(std::filesystem::exists(path));  // the socket file goes with the server
}

}  // namespace
}  // namespace tarvik::ui
