#include "ui/form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "form_fixture.h"

namespace tarvik::ui {
namespace {

using testing::FormFixture;

// An owner of the station form: knows its names and states and records the
// commands it receives.
enum : int { kSave = 5, kSearch = 6, kCall = 8, kDate = 9, kTime = 10, kNum = 11, kRadio = 12,
             kRadio2 = 13, kList = 14, kHidden = 15, kDelete = 16, kInsert = 17, kHint = 18 };
enum : int { kCreate = 0, kUpdate = 1 };

Resolvers stationResolvers() {
  static const std::map<std::string, int, std::less<>> names = {
      {"SPEICHERN", kSave}, {"SUCHEN", kSearch}, {"RUFZ", kCall}, {"DATUM", kDate},
      {"ZEIT", kTime},      {"NUMMER", kNum},    {"R1", kRadio},  {"R2", kRadio2},
      {"AUSWAHL", kList},   {"VERSTECKT", kHidden}, {"LOESCHEN", kDelete}, {"NEU", kInsert},
      {"HINWEIS", kHint}};
  static const std::map<std::string, int, std::less<>> states = {{"CREATE", kCreate}, {"UPDATE", kUpdate}};
  auto in = [](const auto& m) {
    return [&m](std::string_view n, int& out) {
      auto it = m.find(n);
      if (it == m.end()) return false;
      out = it->second;
      return true;
    };
  };
  return Resolvers{in(names), in(states)};
}

constexpr char kStationForm[] =
    "[WINDOW=Station;POS=100,50,400,300;HEADER=30;FONT=helvetica,10;\n"
    "[MENU=&File\n"
    "&Save=SPEICHERN;{CREATE|UPDATE}\n"
    "&Search=SUCHEN;TAG=40;\n"
    "Editor=notepad.exe;\n"
    "&Close=CLOSE;\n"
    "[CONTROL\n"
    "HINWEIS=Station &data;CTL_ST POS=10,8,200,16; SYS=HINWEIS;\n"
    "RUFZ=;CTL_ED_UPPSTR(9) POS=10,40,100,22; SYS=RUFZ;\n"
    "DATUM=;CTL_ED_DATUM(10) POS=10,70,100,22; SYS=DATUM;\n"
    "ZEIT=;CTL_ED_ZEIT(5) POS=10,100,100,22; SYS=ZEIT;\n"
    "VERSTECKT=;CTL_ED_STRING(5) POS=10,130,100,22; SYS=VERSTECKT; INVISIBLE\n"
    "NUMMER=;CTL_ED_NUM(5) POS=10,160,100,22; SYS=NUMMER; {CHANGED}\n"
    "R1=One;CTL_RB(1) POS=200,40,80,20; SYS=R1; CHECKED\n"
    "R2=Two;CTL_RB(1) POS=200,60,80,20; SYS=R2;\n"
    "R3=Three;CTL_RB(1) POS=200,80,80,20;\n"
    "AUSWAHL=;CTL_LB(DL,OE,HB) POS=200,110,80,20; SYS=AUSWAHL;\n"
    "SPEICHERN=&Save;CTL_PB(DEF) POS=10,250,80,24; SYS=SPEICHERN; {CREATE|UPDATE}\n"
    "SUCHEN=Search;CTL_PB POS=100,250,80,24; SYS=SUCHEN;\n"
    "NEU=New;CTL_PB(INS) POS=190,250,80,24; SYS=NEU;\n"
    "LOESCHEN=Delete;CTL_PB(DEL) POS=280,250,80,24; SYS=LOESCHEN; {!CHANGED}\n"
    "EDIT=Edit;CTL_PB POS=280,200,80,24; SYS=(editor.exe);\n"
    "[GRAPHICS\n"
    "LINE=0,240,999,240;GRAY;\n";

class StationForm : public Form {
 public:
  using Form::Form;
  std::vector<int> commands;
  std::function<void(int)> onEachCommand;

 protected:
  void onCommand(int id, std::intptr_t) override {
    commands.push_back(id);
    if (onEachCommand) onEachCommand(id);
  }
};

class FormTest : public FormFixture {
 protected:
  WindowId openStation(int number = 1100) {
    FormRequest r;
    r.number = number;
    r.resolvers = stationResolvers();
    r.parent = task;
    return runtime.open(std::make_unique<StationForm>(runtime, std::move(r)));
  }
  StationForm& form(WindowId w) { return *tk.findAs<StationForm>(w); }
  int ctl(WindowId w, const char* name) { return tk.controlByName(w, name).value_or(kNoControl); }
  // Accelerator commands (help, mnemonics, INS and DEL) are no menu items;
  // they arrive as plain command events.
  void command(WindowId w, int number) {
    Event e(EventType::Command, number);
    tk.send(w, e);
  }
  // The operator types into a field and leaves it.
  void typeAndLeave(WindowId w, int control, const char* text) {
    tk.operatorFocus(w, control, true);
    tk.operatorSetText(w, control, text);
    tk.operatorFocus(w, control, false);
  }
};

TEST_F(FormTest, CreationBuildsNamedControlsMenusAndPaintsFixedTexts) {
  describe(1100, kStationForm);
  tk.recordDrawing(true);  // the header band and the line are read from the drawing log
  const WindowId w = openStation();
  ASSERT_NE(w, kNoWindow);
  EXPECT_TRUE(messages.empty());
  // Controls carry the toolkit numbers 105, 110, ... in description order;
  // the fixed text is drawn by the form and takes number 105 without a
  // toolkit control.
  EXPECT_EQ(ctl(w, "RUFZ"), 110);
  EXPECT_EQ(ctl(w, "HINWEIS"), kNoControl);
  const ControlState* call = tk.control(w, 110);
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->spec.kind, ui::ControlKind::Edit);
  EXPECT_EQ(call->spec.maxLength, 9);
  EXPECT_TRUE(call->spec.flags & kCtlUpperCase);
  EXPECT_EQ(call->spec.rect, (Rect{40, 10, 62, 110}));
  EXPECT_EQ(tk.listItems(w, ctl(w, "AUSWAHL")), (std::vector<std::string>{"DL", "OE", "HB"}));
  EXPECT_TRUE(tk.checked(w, ctl(w, "R1")));
  EXPECT_FALSE(tk.controlVisible(w, ctl(w, "VERSTECKT")));
  EXPECT_TRUE(tk.control(w, ctl(w, "SPEICHERN"))->spec.flags & kCtlDefault);

  const auto* bar = tk.menuBar(w);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->size(), 1u);
  EXPECT_EQ((*bar)[0].text, "&File");
  ASSERT_EQ((*bar)[0].children.size(), 4u);
  EXPECT_EQ((*bar)[0].children[0].number, 2);   // table index
  EXPECT_EQ((*bar)[0].children[1].number, 40);  // TAG

  tk.flushUpdates();
  auto* canvas = tk.headlessCanvas(w);
  ASSERT_NE(canvas, nullptr);
  const auto rows = canvas->rows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), "Station data"), rows.end());
  const auto& log = canvas->log();
  EXPECT_NE(std::find(log.begin(), log.end(), "rect 0,0,30,400"), log.end()) << "header band";
  EXPECT_NE(std::find(log.begin(), log.end(), "line 0,240 400,240"), log.end()) << "line to the right edge";
}

TEST_F(FormTest, ChecksumFaultsAreReportedBelow1610AndTheFormIsStillBuilt) {
  describe(1100, kStationForm, false);
  const WindowId w = openStation(1100);
  ASSERT_NE(w, kNoWindow);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], (testing::ShownMessage{task, 4, 1007, "M1100.CNX"}));
  EXPECT_EQ(ctl(w, "RUFZ"), 110);

  describe(1610, kStationForm, false);
  openStation(1610);
  EXPECT_EQ(messages.size(), 1u);  // the message dialogs are not checked

  // No description at all: an empty form, no message.
  const WindowId empty = openStation(1234);
  ASSERT_NE(empty, kNoWindow);
  EXPECT_FALSE(form(empty).descriptionFound());
  EXPECT_TRUE(tk.controlIds(empty).empty());
  EXPECT_EQ(messages.size(), 1u);
}

TEST_F(FormTest, ConditionsFollowStatesAndTheChangedFlag) {
  describe(1100, kStationForm);
  const WindowId w = openStation();
  StationForm& f = form(w);
  const int save = ctl(w, "SPEICHERN");
  auto saveMenuEnabled = [&] { return findMenuItem(*tk.menuBar(w), 2)->enabled; };
  // {CREATE|UPDATE} on both the button and the menu item of SPEICHERN.
  EXPECT_FALSE(tk.controlEnabled(w, save));
  EXPECT_FALSE(saveMenuEnabled());
  f.SetState(kUpdate, 1);
  EXPECT_TRUE(tk.controlEnabled(w, save));
  EXPECT_TRUE(saveMenuEnabled());
  f.SetState(kUpdate, 0);
  f.SetState(kCreate, 1);
  EXPECT_TRUE(tk.controlEnabled(w, save));
  f.SetState(kCreate, 0);
  EXPECT_FALSE(tk.controlEnabled(w, save));
  EXPECT_FALSE(saveMenuEnabled());

  // A state change re-evaluates only the conditions naming it: EnableId
  // on an id whose condition does not name the state stays.
  f.EnableId(kDelete, false);
  f.SetState(kCreate, 1);
  EXPECT_FALSE(tk.controlEnabled(w, ctl(w, "LOESCHEN")));

  // Typing marks the field and, once, the form changed (callback 1001);
  // {CHANGED} and {!CHANGED} follow.
  EXPECT_FALSE(tk.controlEnabled(w, ctl(w, "NUMMER")));
  EXPECT_TRUE(tk.operatorSetText(w, ctl(w, "RUFZ"), "dl1abc"));
  EXPECT_TRUE(tk.operatorSetText(w, ctl(w, "RUFZ"), "dl1abcd"));
  EXPECT_EQ(std::count(f.commands.begin(), f.commands.end(), kCallbackChanged), 1);
  EXPECT_TRUE(f.Changed());
  EXPECT_TRUE(f.ControlChanged(kCall));
  EXPECT_FALSE(f.ControlChanged(kDate));
  EXPECT_TRUE(tk.controlEnabled(w, ctl(w, "NUMMER")));
  EXPECT_FALSE(tk.controlEnabled(w, ctl(w, "LOESCHEN")));
  EXPECT_EQ(f.GetCtlText(kCall), "DL1ABCD");

  f.SetChanged(false);
  EXPECT_FALSE(f.ControlChanged(kCall));
  EXPECT_FALSE(tk.controlEnabled(w, ctl(w, "NUMMER")));
  EXPECT_TRUE(tk.controlEnabled(w, ctl(w, "LOESCHEN")));
}

TEST_F(FormTest, CommandsFromButtonsMenusKeysAndStandardActions) {
  describe(1100, kStationForm);
  const WindowId w = openStation();
  StationForm& f = form(w);
  f.SetState(kUpdate, 1);

  EXPECT_TRUE(tk.operatorClick(w, ctl(w, "SUCHEN")));
  EXPECT_TRUE(tk.operatorCommand(w, 40));            // menu item by TAG
  EXPECT_TRUE(tk.operatorCommand(w, 2));             // menu item by table index
  tk.operatorKey(w, kKeyEscape);                     // command 0
  tk.operatorKey(w, kKeyEnter);                      // the DEF button
  command(w, 1997);                                  // INS button
  command(w, 1998);                                  // DEL button
  command(w, 1037 + 2 * ('S' - 'B'));                // mnemonic S: the Save button
  tk.operatorKey(w, 's', kModAlt);                   // the same by Alt+S
  tk.sendUser(w, kFormFocusControl, ctl(w, "SUCHEN"));
  tk.operatorKey(w, kKeyDelete);                     // DEL button, focus not in a field
  tk.sendUser(w, kFormFocusControl, ctl(w, "RUFZ"));
  tk.operatorKey(w, kKeyDelete);                     // a field keeps its Delete key
  EXPECT_EQ(f.commands, (std::vector<int>{kSearch, kSearch, kSave, kActionExit, kSave, kInsert,
                                          kDelete, kSave, kSave, kDelete}));

  // Command texts go to the command executor.
  tk.operatorClick(w, ctl(w, "EDIT"));
  tk.operatorCommand(w, 4);
  EXPECT_EQ(executed, (std::vector<std::string>{"editor.exe", "notepad.exe"}));

  // Help for the window's own context number.
  command(w, 1001);
  EXPECT_EQ(helps, (std::vector<std::string>{"help.txt#1100"}));

  // One command at a time: a press while a command runs is dropped.
  f.commands.clear();
  f.onEachCommand = [&](int id) {
    if (id == kSearch) tk.operatorClick(w, ctl(w, "SPEICHERN"));
  };
  tk.operatorClick(w, ctl(w, "SUCHEN"));
  EXPECT_EQ(f.commands, (std::vector<int>{kSearch}));
  f.onEachCommand = nullptr;

  // CLOSE: the form's parent is the task window, which is told nothing
  // (920 there would mean shutdown); the form is simply gone.
  tk.operatorCommand(w, 5);
  EXPECT_FALSE(tk.exists(w));
  for (const auto& [id, arg] : taskEvents().events) EXPECT_NE(id, kFormChildClose);
}

TEST_F(FormTest, FieldChecksRewriteOrRejectAndRefocus) {
  describe(1100, kStationForm);
  const WindowId w = openStation();
  StationForm& f = form(w);
  const int date = ctl(w, "DATUM"), time = ctl(w, "ZEIT"), num = ctl(w, "NUMMER");

  typeAndLeave(w, date, "1.1.5");
  EXPECT_EQ(f.GetCtlText(kDate), "01.01.2005");
  typeAndLeave(w, time, "9:5");
  EXPECT_EQ(f.GetCtlText(kTime), "09:05");

  typeAndLeave(w, date, "31.04.97");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], (testing::ShownMessage{w, 1, 1000, "31.04.97"}));
  // While the rejection is open, a mnemonic command does not run.
  command(w, 1037 + 2 * ('S' - 'B'));
  EXPECT_TRUE(std::find(f.commands.begin(), f.commands.end(), kSave) == f.commands.end());
  // The message closes: the field's text is selected and it has the focus.
  tk.operatorFocus(w, time, true);
  tk.sendUser(w, 1651, 1000);
  EXPECT_EQ(tk.focusControl(w), date);
  EXPECT_EQ(tk.control(w, date)->selStart, 0);
  EXPECT_EQ(tk.control(w, date)->selEnd, 8);

  typeAndLeave(w, time, "24:00");
  EXPECT_EQ(messages.back(), (testing::ShownMessage{w, 1, 1008, "24:00"}));
  tk.sendUser(w, 1651, 1008);

  f.SetChanged(true);  // enables the digits field ({CHANGED})
  const int beeps = tk.beeps();
  typeAndLeave(w, num, "12a3");
  EXPECT_EQ(f.GetCtlText(kNum), "123");
  EXPECT_EQ(tk.beeps(), beeps + 1);
}

TEST_F(FormTest, TabRadioKeysAndMnemonicsMoveTheFocus) {
  describe(1100, kStationForm);
  const WindowId w = openStation();
  tk.pump();  // form message 901: the first control gets the focus
  EXPECT_EQ(tk.focusControl(w), ctl(w, "RUFZ"));
  tk.operatorKey(w, kKeyTab);
  EXPECT_EQ(tk.focusControl(w), ctl(w, "DATUM"));
  tk.operatorKey(w, kKeyTab);
  tk.operatorKey(w, kKeyTab);  // skips the invisible and the disabled field
  EXPECT_EQ(tk.focusControl(w), ctl(w, "R1"));
  tk.operatorKey(w, kKeyTab, kModShift);
  EXPECT_EQ(tk.focusControl(w), ctl(w, "ZEIT"));
  tk.operatorKey(w, kKeyTab, kModShift);
  tk.operatorKey(w, kKeyTab, kModShift);
  tk.operatorKey(w, kKeyTab, kModShift);  // wraps to the last enabled control
  EXPECT_EQ(tk.focusControl(w), ctl(w, "EDIT"));

  // Up and down go round the radio group and check as they go.
  tk.sendUser(w, kFormFocusControl, ctl(w, "R1"));
  tk.operatorKey(w, kKeyUp);
  EXPECT_EQ(tk.focusControl(w), ctl(w, "R3"));
  EXPECT_TRUE(tk.checked(w, ctl(w, "R3")));
  EXPECT_FALSE(tk.checked(w, ctl(w, "R1")));
  tk.operatorKey(w, kKeyDown);
  EXPECT_TRUE(tk.checked(w, ctl(w, "R1")));

  // The fixed text's mnemonic leads to the next control.
  command(w, 1039 + 2 * ('D' - 'C'));
  EXPECT_EQ(tk.focusControl(w), ctl(w, "RUFZ"));
}

TEST_F(FormTest, SetCtlTextSetCheckAndDefaults) {
  describe(1100, std::string(kStationForm) + "[DEFAULTS\nRUFZ=DL0XX\nAUSWAHL=OE\n");
  const WindowId w = openStation();
  StationForm& f = form(w);
  EXPECT_EQ(f.GetCtlText(kCall), "DL0XX");
  EXPECT_EQ(f.GetCtlText(kList), "OE");
  EXPECT_FALSE(f.Changed());  // what the program sets is no change

  f.SetCtlText(kHint, "New hint");
  EXPECT_EQ(f.GetCtlText(kHint), "New hint");
  tk.flushUpdates();
  const auto rows = tk.headlessCanvas(w)->rows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), "New hint"), rows.end());

  f.SetCheck(kRadio2, 1);
  EXPECT_TRUE(tk.checked(w, ctl(w, "R2")));
  EXPECT_FALSE(tk.checked(w, ctl(w, "R1")));
  f.SetCtlText(kCall, std::string(200, 'X'));
  EXPECT_EQ(f.GetCtlText(kCall).size(), kMaxCtlText);

  // A button named in DEFAULTS is pressed once the form is up.
  describe(1101, std::string(kStationForm) + "[DEFAULTS\nSUCHEN=1\n");
  const WindowId w2 = openStation(1101);
  EXPECT_TRUE(form(w2).commands.empty());
  tk.pump();
  EXPECT_EQ(form(w2).commands, (std::vector<int>{kSearch}));
}

TEST_F(FormTest, PositionsAreOffsetForRepeatedWindowsAndRemembered) {
  describe(1100, kStationForm);
  const WindowId a = openStation();
  const WindowId b = openStation();
  EXPECT_EQ(tk.outerRect(a), (Rect{50, 100, 350, 500}));
  EXPECT_EQ(tk.outerRect(b), (Rect{70, 120, 370, 520}));
  tk.move(a, Rect{10, 20, 110, 220});
  tk.destroy(a);
  tk.destroy(b);
  const std::string saved = [&] {
    std::ifstream in(dir / "tmp" / "POS" / "1100.POS");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  // b was destroyed last and wrote its place.
  EXPECT_EQ(saved, "70;120;370;520;\nhelvetica,0,10\n");

  // Without SIZE only the place is taken; with SIZE the size as well.
  std::ofstream(dir / "tmp" / "POS" / "1100.POS") << "10;20;110;220;\ncourier,1,12\n";
  const WindowId c = openStation();
  EXPECT_EQ(tk.outerRect(c), (Rect{10, 20, 310, 420}));
  EXPECT_EQ(form(c).listFont(), (FontSpec{"courier", kFontBold, 12}));
  std::string sized = kStationForm;
  sized.replace(sized.find("HEADER"), 6, "SIZE;HEADER");
  describe(1102, sized);
  std::filesystem::copy_file(dir / "tmp" / "POS" / "1100.POS", dir / "tmp" / "POS" / "1102.POS");
  EXPECT_EQ(tk.outerRect(openStation(1102)), (Rect{10, 20, 110, 220}));

  // A window less than 40 pixels high leaves no position behind.
  describe(1103, "[WINDOW=Tiny;POS=1,1,100,30;\n");
  tk.destroy(openStation(1103));
  EXPECT_FALSE(std::filesystem::exists(dir / "tmp" / "POS" / "1103.POS"));
}

TEST_F(FormTest, ModalFormsDisableTheirOwnerUntilTheyClose) {
  describe(1100, kStationForm);
  describe(1200, "[WINDOW=Modal;POS=1,1,200,100;MODAL;\n");
  const WindowId owner = openStation();
  const WindowId modal = openStation(1200);
  EXPECT_FALSE(runtime.windowEnabled(owner));
  CloseForm(tk, modal, task);
  EXPECT_TRUE(runtime.windowEnabled(owner));
  EXPECT_EQ(runtime.activeForm(), owner);

  // Without an active form every window is disabled through the task window.
  tk.destroy(owner);
  taskEvents().events.clear();
  const WindowId alone = openStation(1200);
  tk.destroy(alone);
  EXPECT_EQ(taskEvents().events,
            (std::vector<std::pair<int, std::intptr_t>>{{kFormWindows, 2}, {kFormWindows, 4}}));
}

TEST_F(FormTest, ChildFormsCloseThroughTheirParentAndOpenWindowByIdReuses) {
  describe(1100, kStationForm);
  const WindowId parent = openStation();
  int created = 0;
  runtime.registerCreator(1300, [&](FormRuntime& rt, WindowId p, std::intptr_t) {
    ++created;
    FormRequest r;
    r.number = 1300;
    r.parent = p;
    return rt.open(std::make_unique<Form>(rt, std::move(r)));
  });
  const WindowId child = runtime.OpenWindowById(parent, 1300);
  ASSERT_NE(child, kNoWindow);
  EXPECT_EQ(runtime.OpenWindowById(parent, 1300), child);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(runtime.OpenWindowById(parent, 4321), kNoWindow);  // nobody creates it
  CloseForm(tk, child, task);
  EXPECT_FALSE(tk.exists(child));
  EXPECT_TRUE(tk.exists(parent));
}

TEST_F(FormTest, FormsDoNotOutliveTheirRuntime) {
  describe(1100, kStationForm);
  WindowId w = kNoWindow;
  {
    FormRuntime own(tk, environment());
    FormRequest r;
    r.number = 1100;
    w = own.open(std::make_unique<Form>(own, std::move(r)));
    ASSERT_TRUE(tk.exists(w));
  }
  // Gone in the orderly way, while its runtime was still there to save the
  // position.
  EXPECT_FALSE(tk.exists(w));
  EXPECT_TRUE(std::filesystem::exists(dir / "tmp" / "POS" / "1100.POS"));
}

TEST_F(FormTest, WinMenuRenamesMenuItems) {
  describe(1100, kStationForm);
  winMenu = {"&Search=&Find", "Missing=Other"};
  const WindowId w = openStation();
  tk.pump();
  EXPECT_EQ(findMenuItem(*tk.menuBar(w), 40)->text, "&Find");
}

}  // namespace
}  // namespace tarvik::ui
