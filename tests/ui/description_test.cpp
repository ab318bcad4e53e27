#include "ui/description.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tarvik::ui {
namespace {

// An owner that knows a few control and menu names and two states.
Resolvers ownerResolvers() {
  static const std::map<std::string, int, std::less<>> names = {
      {"SPEICHERN", 5}, {"SUCHEN", 6}, {"LISTE", 7}, {"RUFZ", 8}, {"LOESCHEN", 9}};
  static const std::map<std::string, int, std::less<>> states = {{"CREATE", 0}, {"UPDATE", 1}};
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

constexpr char kStation[] =
    "# a comment before everything\n"
    "[WINDOW=Station database;POS=40,30,420,260;SIZE;MODAL;HEADER=24;BKG=1,2,3;FONT=courier,12,BOLD ITAL; # note\n"
    "first line for the owner\n"
    "[CONTROL\n"
    "CALL=&Call;CTL_ED_UPPSTR(9) POS=10,10,80,22; SYS=RUFZ; {CREATE|UPDATE}\n"
    "NOTYPE=Nothing;POS=1,1,1,1;\n"
    "SAVE=Save;CTL_PB(DEF) POS=10,40,80,24; SYS=SPEICHERN; DISABLED {CHANGED}\n"
    "&HINT=Hint text;CTL_ST POS=100,10,120,16;\n"
    "R1=One;CTL_RB(2) POS=10,70,60,20; CHECKED\n"
    "R2=Two;CTL_RB(2) POS=80,70,60,20;\n"
    "LIST=;CTL_TLB(10,60,120,MULTIPLE,SORT,HEADER=KOPF;) POS=10,100,-10,-40; SYS=LISTE;\n"
    "FIFO=;CTL_FIFO(5,MULTIPLE,NOCLIP) POS=0,0,0,0; INVISIBLE\n"
    "ICON=;CTL_IBTN(9001,2D,INS) POS=1,2,32,32; SYS=(RUN editor.exe)\n"
    "DATE=;CTL_ED_DATUM(10) POS=1,1,60,20;\n"
    "BOX=Choose;CTL_LB(Eins,Zwei,Drei) POS=1,1,60,20;\n"
    "X=Close;CTL_PB POS=1,1,60,20; SYS=CLOSE;\n"
    "Y=Unknown;CTL_PB POS=1,1,60,20; SYS=NOSUCH;\n"
    "[MENU=&File\n"
    "&Save=SPEICHERN;TAG=5;{CHANGED}\n"
    "-=\n"
    " not in a submenu=LEER;\n"
    "E&xit=EXIT;\n"
    "[MENU=&Edit;SUCHEN;TAG=7\n"
    "Cu&t=CUT;DISABLED;\n"
    "[SUBMENU=&More;ABOUT\n"
    " &Delete=LOESCHEN;CHECKABLE;TAG=9;\n"
    " Run=notepad readme.txt;CHECKED\n"
    "Back=\n"
    "=\n"
    "[STRINGS\n"
    "DISCONNECTED=Link gone\n"
    "CONNECTED=Link up = fine\n"
    "KOPF=Call Name\n"
    "TITLE only\n"
    "[DEFAULTS\n"
    "CALL=DL1ABC\n"
    "SAVE=1\n"
    "[GRAPHICS\n"
    "LINE=0,30,999,30;WIDTH=2;GRAY;\n"
    "LINE=5,6,7,8;WHITE;\n"
    "ICON=4,5;ID=9005;\n"
    "nonsense\n"
    "[//1234]\n"
    "[STRINGS\n"
    "AFTER=the end\n";

TEST(Description, WindowHeaderOptions) {
  const FormDescription d = ParseDescription(kStation, ownerResolvers());
  const WindowHeader& w = d.window;
  EXPECT_EQ(w.title, "Station database");
  ASSERT_TRUE(w.pos);
  EXPECT_EQ(*w.pos, (DescribedRect{40, 30, 420, 260}));
  EXPECT_TRUE(w.resizable);
  EXPECT_TRUE(w.modal);
  EXPECT_EQ(w.headerBand, 24);
  EXPECT_EQ(w.background, (Rgb{1, 2, 3}));
  EXPECT_EQ(w.font, (FontDescription{"courier", 12, true, true}));
  EXPECT_EQ(w.firstLine, "first line for the owner");

  const FormDescription plain = ParseDescription("[WINDOW=" + std::string(80, 'T') + "\n", {});
  EXPECT_EQ(plain.window.title.size(), kMaxTitle);
  EXPECT_FALSE(plain.window.pos || plain.window.modal || plain.window.font || plain.window.background);
}

TEST(Description, ControlsInFileOrderWithTheirAttributes) {
  const FormDescription d = ParseDescription(kStation, ownerResolvers());
  // The line without a type keyword is dropped: SAVE becomes control 2.
  ASSERT_EQ(d.controls.size(), 12u);
  const auto& call = d.controls[0];
  EXPECT_EQ(call.kind, ControlType::UpperField);
  EXPECT_EQ(call.label, "CALL");
  EXPECT_EQ(call.title, "&Call");
  EXPECT_EQ(call.mnemonic, 'C');
  EXPECT_EQ(call.maxLength, 9);
  EXPECT_EQ(call.pos, (DescribedRect{10, 10, 80, 22}));
  EXPECT_EQ(call.id, 8);
  EXPECT_EQ(call.condition, (Condition{0, kOpOr, 1}));

  const auto& save = d.controls[1];
  EXPECT_EQ(save.label, "SAVE");
  EXPECT_EQ(save.kind, ControlType::PushButton);
  EXPECT_EQ(save.role, kRoleDefault);
  EXPECT_TRUE(save.disabled);
  EXPECT_EQ(save.condition, (Condition{kOperandChanged}));
  EXPECT_EQ(save.mnemonic, 0);

  const auto& hint = d.controls[2];
  EXPECT_EQ(hint.kind, ControlType::FixedText);
  EXPECT_EQ(hint.mnemonic, 'H');  // from the label when the title has none

  EXPECT_EQ(d.controls[3].group, 2);
  EXPECT_TRUE(d.controls[3].checked);

  const auto& list = d.controls[5];
  EXPECT_EQ(list.kind, ControlType::ListControl);
  EXPECT_EQ(list.columns, (std::vector<int>{10, 60, 120}));
  EXPECT_TRUE(list.multiple && list.sorted);
  EXPECT_FALSE(list.noDelete);
  EXPECT_EQ(list.headerKey, "KOPF");
  EXPECT_EQ(list.pos, (DescribedRect{10, 100, -10, -40}));

  const auto& fifo = d.controls[6];
  EXPECT_EQ(fifo.kind, ControlType::TextControl);
  EXPECT_EQ(fifo.columns, (std::vector<int>{5}));
  EXPECT_TRUE(fifo.multiple && fifo.noClip && fifo.invisible);

  const auto& icon = d.controls[7];
  EXPECT_EQ(icon.kind, ControlType::IconButton);
  EXPECT_EQ(icon.icon, 9001);
  EXPECT_EQ(icon.pressedIcon, 9001);
  EXPECT_TRUE(icon.flat);
  EXPECT_EQ(icon.role, kRoleInsert);
  EXPECT_EQ(icon.id, kNoId);
  EXPECT_EQ(icon.command, "RUN editor.exe");

  EXPECT_EQ(d.controls[8].kind, ControlType::DateField);
  EXPECT_EQ(d.controls[9].listText, "Eins,Zwei,Drei");
  EXPECT_EQ(d.controls[10].id, kActionClose);
  EXPECT_EQ(d.controls[11].id, kNoId);  // a SYS name nobody knows

  // Toolkit control numbers.
  EXPECT_EQ(ToolkitControlNumber(1), 105);
  EXPECT_EQ(ToolkitControlNumber(2), 110);
  EXPECT_EQ(ControlFromToolkitNumber(110), 2);
}

TEST(Description, EveryControlKindIsKnown) {
  struct Case {
    const char* keyword;
    ControlType kind;
  };
  const Case cases[] = {
      {"CTL_PB", ControlType::PushButton},       {"CTL_RB(1)", ControlType::RadioButton},
      {"CTL_CB", ControlType::CheckBox},         {"CTL_LB(a)", ControlType::DropDownList},
      {"CTL_LBOX(a)", ControlType::ListBox},     {"CTL_ST", ControlType::FixedText},
      {"CTL_ED_STRING(5)", ControlType::TextField}, {"CTL_ED_UPPSTR(5)", ControlType::UpperField},
      {"CTL_ED_DATUM(5)", ControlType::DateField},  {"CTL_ED_ZEIT(5)", ControlType::TimeField},
      {"CTL_ED_NUM(5)", ControlType::DigitsField},  {"CTL_ED_PWD(5)", ControlType::PasswordField},
      {"CTL_TLB(1)", ControlType::ListControl},  {"CTL_FIFO(1)", ControlType::TextControl},
      {"CTL_IBTN(1)", ControlType::IconButton},
  };
  for (const auto& c : cases) {
    const auto d = ParseDescription(std::string("[CONTROL\nC=t;") + c.keyword + " POS=1,2,3,4;\n", {});
    ASSERT_EQ(d.controls.size(), 1u) << c.keyword;
    EXPECT_EQ(d.controls[0].kind, c.kind) << c.keyword;
    EXPECT_EQ(d.focusOrder.size(), c.kind == ControlType::FixedText ? 0u : 1u) << c.keyword;
  }
  EXPECT_TRUE(ParseDescription("[CONTROL\nC=t;CTL_PBX POS=1,2,3,4;\n", {}).controls.empty());
}

TEST(Description, MenuTableWithSubmenusTagsAndCommandTexts) {
  const FormDescription d = ParseDescription(kStation, ownerResolvers());
  ASSERT_EQ(d.menus.size(), 13u);
  EXPECT_EQ(d.menus[0].kind, MenuKind::Bar);
  EXPECT_EQ(d.menus[0].children, 2);

  const MenuEntry& file = d.menus[1];
  EXPECT_EQ(file.kind, MenuKind::Menu);
  EXPECT_EQ(file.title, "&File");
  EXPECT_EQ(file.mnemonic, 'F');
  EXPECT_EQ(file.children, 4);

  const MenuEntry& save = d.menus[2];
  EXPECT_EQ(save.kind, MenuKind::Item);
  EXPECT_EQ(save.id, 5);
  EXPECT_EQ(save.tag, 5);
  EXPECT_EQ(save.condition, (Condition{kOperandChanged}));
  EXPECT_EQ(d.menus[3].kind, MenuKind::Separator);
  // An indented item before any submenu stays an item of the menu.
  EXPECT_EQ(d.menus[4].kind, MenuKind::Item);
  EXPECT_EQ(d.menus[4].title, "not in a submenu");
  EXPECT_EQ(d.menus[4].id, kActionLeer);
  EXPECT_EQ(d.menus[5].id, kActionExit);
  EXPECT_EQ(d.menus[5].mnemonic, 'X');

  const MenuEntry& edit = d.menus[6];
  EXPECT_EQ(edit.title, "&Edit");
  EXPECT_EQ(edit.id, 6);
  EXPECT_EQ(edit.tag, 7);
  EXPECT_TRUE(d.menus[7].disabled);
  EXPECT_EQ(d.menus[7].id, kActionCut);

  const MenuEntry& more = d.menus[8];
  EXPECT_EQ(more.kind, MenuKind::Submenu);
  EXPECT_EQ(more.parent, 6);
  EXPECT_EQ(more.id, kActionAbout);
  EXPECT_EQ(more.children, 2);
  const MenuEntry& del = d.menus[9];
  EXPECT_EQ(del.kind, MenuKind::SubmenuItem);
  EXPECT_EQ(del.title, "&Delete");
  EXPECT_TRUE(del.checkable);
  // Submenus and their items always use their table index as toolkit tag.
  EXPECT_EQ(del.tag, 0);
  EXPECT_EQ(d.menuTag(9), 9);
  EXPECT_EQ(d.menuTag(2), 5);
  EXPECT_EQ(d.menuEntryForTag(7), 6);
  // Neither a standard action nor a known name: the action is a command.
  EXPECT_EQ(d.menus[10].id, kNoId);
  EXPECT_EQ(d.menus[10].command, "notepad readme.txt");
  EXPECT_TRUE(d.menus[10].checked);
  EXPECT_EQ(d.menus[11].kind, MenuKind::Item);
  EXPECT_EQ(d.menus[11].parent, 6);
  EXPECT_EQ(d.menus[12].kind, MenuKind::Empty);
}

TEST(Description, IdMapJoinsMenuItemsAndControlsOfOneName) {
  const FormDescription d = ParseDescription(kStation, ownerResolvers());
  EXPECT_EQ(d.idMap[5].menuEntry, 2);
  EXPECT_EQ(d.idMap[5].control, 1);
  EXPECT_EQ(d.idMap[5].focusPosition, 1);
  EXPECT_EQ(d.idMap[8].control, 0);
  EXPECT_EQ(d.idMap[8].menuEntry, -1);
  EXPECT_EQ(d.idMap[7].control, 5);
  EXPECT_EQ(d.idMap[7].focusPosition, 4);  // the fixed text is not in the focus order
  EXPECT_EQ(d.idMap[0].menuEntry, 5);      // EXIT
  EXPECT_EQ(d.idMap[20].control, -1);
}

TEST(Description, StringsDefaultsAndGraphics) {
  const FormDescription d = ParseDescription(kStation, ownerResolvers());
  EXPECT_EQ(LookupString(d, "CONNECTED"), "Link up = fine");  // the exact name wins
  EXPECT_EQ(LookupString(d, "NECTED"), "Link gone");          // else any line containing it
  EXPECT_EQ(LookupString(d, "TITLE"), "");                    // a line without "="
  EXPECT_EQ(LookupString(d, "AFTER"), std::nullopt);          // behind the checksum line
  EXPECT_EQ(LookupString(d, "MISSING"), std::nullopt);
  EXPECT_EQ(d.defaults, (std::vector<std::pair<std::string, std::string>>{{"CALL", "DL1ABC"}, {"SAVE", "1"}}));
  ASSERT_EQ(d.graphics.size(), 3u);
  EXPECT_EQ(d.graphics[0].x2, 999);
  EXPECT_EQ(d.graphics[0].width, 2);
  EXPECT_EQ(d.graphics[0].color, (Rgb{128, 128, 128}));
  EXPECT_EQ(d.graphics[1].color, (Rgb{255, 255, 255}));
  EXPECT_EQ(d.graphics[1].width, 1);
  EXPECT_EQ(d.graphics[2].kind, GraphicItem::Kind::Icon);
  EXPECT_EQ(d.graphics[2].icon, 9005);
  EXPECT_EQ(d.graphics[2].x1, 4);
}

TEST(Description, SectionKeywordsAreWholeWordsAndOrderIsFree) {
  // "[SUBMENU" is no MENU section, and a menu titled STRINGS starts no
  // STRINGS section.
  const auto d = ParseDescription(
      "[STRINGS\nK=v\n[SUBMENU=x\n[MENU=STRINGS list\nItem=EXIT;\n[WINDOW=Late\n", {});
  EXPECT_EQ(d.window.title, "Late");
  ASSERT_EQ(d.menus.size(), 3u);
  EXPECT_EQ(d.menus[1].title, "STRINGS list");
  EXPECT_EQ(d.strings, (std::vector<std::string>{"K=v"}));
}

TEST(Description, LimitsCutTheTables) {
  std::string text = "[MENU=M\n";
  for (int i = 0; i < 60; ++i) text += "Item" + std::to_string(i) + "=LEER;\n";
  text += "[STRINGS\n";
  for (int i = 0; i < 60; ++i) text += "S" + std::to_string(i) + "=x\n";
  text += "[DEFAULTS\n";
  for (int i = 0; i < 30; ++i) text += "D" + std::to_string(i) + "=x\n";
  text += "[GRAPHICS\n";
  for (int i = 0; i < 30; ++i) text += "LINE=1,2,3,4;\n";
  text += "[CONTROL\n";
  for (int i = 0; i < 60; ++i) text += "C=c;CTL_CB POS=1,1,1,1;\n";
  text += "T=t;CTL_TLB(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21) POS=1,1,1,1;\n";
  const auto d = ParseDescription(text, {});
  EXPECT_EQ(d.menus.size(), kMaxMenuEntries);
  EXPECT_EQ(d.strings.size(), kMaxStrings);
  EXPECT_EQ(d.defaults.size(), kMaxDefaults);
  EXPECT_EQ(d.graphics.size(), kMaxGraphics);
  EXPECT_EQ(d.controls.size(), 61u);
  EXPECT_EQ(d.focusOrder.size(), kMaxFocusOrder);
  EXPECT_EQ(d.controls.back().columns.size(), kMaxColumns);
}

}  // namespace
}  // namespace tarvik::ui
