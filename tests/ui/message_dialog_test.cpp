#include "ui/message_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "form_fixture.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

// The program's own message dialog descriptions, as the build encoded them
// from data/forms, in a station whose message file holds one question.
class MessageDialogTest : public testing::FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    for (int n : {1610, 1620, 1630, 1640}) {
      const std::string name = "M" + std::to_string(n) + ".CNX";
      fs::copy_file(fs::path(TARVIK_BINARY_DIR) / "station-cnf" / name, dir / "cnf" / name);
    }
    std::ofstream(dir / "TARVIK.MSG") << "5 1 Really %s?\\nSecond line\n";
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL\nFLAGS=0000000000\n"
                                      << "TMPPATH=" << (dir / "tmp").string() << "/\n"
                                      << "CNFPATH=" << (dir / "cnf").string() << "/\n"
                                      << "MESSAGEFILE=" << (dir / "TARVIK.MSG").string() << "\n";
    ASSERT_TRUE(app.config().LoadConfiguration(dir / "TARVIK.INI"));
    app.taskWindow = task;
    app.messages().setTaskWindow(task);
    forms = InstallForms(app);
    asker = tk.create(WindowSpec{WindowKind::Invisible, "ASKER"}, std::make_unique<testing::Recorder>());
  }
  void TearDown() override {
    app.taskWindow = kNoWindow;  // nothing to shut down: the task window is a recorder
    FormFixture::TearDown();
  }

  Form* dialog(int number) {
    const auto open = forms->windowsOf(number);
    return open.empty() ? nullptr : tk.findAs<Form>(open.front());
  }
  std::vector<std::pair<int, std::intptr_t>>& answers() { return tk.findAs<testing::Recorder>(asker)->events; }

  core::App app{tk, core::StartupOptions{}};
  std::shared_ptr<FormRuntime> forms;
  WindowId asker = kNoWindow;
};

TEST_F(MessageDialogTest, DialogsAreFormsWithTheirLinesAndButtons) {
  struct Case {
    int kind;
    int number;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {{1, 1610, {"JA"}},
                        {2, 1620, {"JA", "NEIN"}},
                        {3, 1630, {"JA", "NEIN", "ABBRUCH"}},
                        {4, 1640, {"JA"}}};
  for (const auto& c : cases) {
    app.ShowMessage(asker, c.kind, 5, "now");
    Form* f = dialog(c.number);
    ASSERT_NE(f, nullptr) << c.number;
    EXPECT_EQ(f->GetCtlText(kIdZeile1), "Really now? ") << c.number;
    EXPECT_EQ(f->GetCtlText(kIdZeile2), "Second line") << c.number;
    EXPECT_EQ(f->GetCtlText(kIdZeile3), "") << c.number;
    for (const char* name : {"JA", "NEIN", "ABBRUCH"}) {
      const bool has = std::find(c.buttons.begin(), c.buttons.end(), name) != c.buttons.end();
      EXPECT_EQ(tk.controlByName(f->id(), name).has_value(), has) << c.number << " " << name;
    }
    // The lines are drawn on the dialog.
    tk.flushUpdates();
    const auto rows = tk.headlessCanvas(f->id())->rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "Second line"), rows.end()) << c.number;
    tk.destroy(f->id());
  }
  EXPECT_TRUE(tk.openMessageDialogs().empty());  // no toolkit dialog was needed
}

TEST_F(MessageDialogTest, AnswerRules) {
  enum class Act { Ja, Nein, Abbruch, Enter, Escape, Close };
  struct Case {
    int kind;
    Act act;
    int event;
  };
  const Case cases[] = {
      {1, Act::Ja, 1651},      {1, Act::Enter, 1651},   {1, Act::Escape, 1651},  {1, Act::Close, 1651},
      {2, Act::Ja, 1651},      {2, Act::Nein, 1650},    {2, Act::Enter, 1651},   {2, Act::Escape, 1650},
      {2, Act::Close, 1651},   {3, Act::Ja, 1651},      {3, Act::Nein, 1650},    {3, Act::Abbruch, 1653},
      {3, Act::Enter, 1651},   {3, Act::Escape, 1653},  {3, Act::Close, 1651},   {4, Act::Ja, 1651},
      {4, Act::Enter, 1651},   {4, Act::Escape, 1651},  {4, Act::Close, 1651},
  };
  for (const auto& c : cases) {
    answers().clear();
    app.ShowMessage(asker, c.kind, 5);
    const int number = 1600 + 10 * c.kind;
    Form* f = dialog(number);
    ASSERT_NE(f, nullptr);
    const WindowId w = f->id();
    auto click = [&](const char* name) { tk.operatorClick(w, tk.controlByName(w, name).value_or(kNoControl)); };
    switch (c.act) {
      case Act::Ja: click("JA"); break;
      case Act::Nein: click("NEIN"); break;
      case Act::Abbruch: click("ABBRUCH"); break;
      case Act::Enter: tk.operatorKey(w, kKeyEnter); break;
      case Act::Escape: tk.operatorKey(w, kKeyEscape); break;
      case Act::Close: {
        Event e(EventType::Close, 0);
        tk.send(w, e);
        break;
      }
    }
    EXPECT_FALSE(tk.exists(w)) << number << " act " << static_cast<int>(c.act);
    EXPECT_TRUE(answers().empty());  // answers travel through the post
    tk.pump();
    EXPECT_EQ(answers(), (std::vector<std::pair<int, std::intptr_t>>{{c.event, 5}}))
        << number << " act " << static_cast<int>(c.act);
  }
}

TEST_F(MessageDialogTest, TheFormActiveBeforeTheQuestionIsActiveAgain) {
  fs::copy_file(dir / "cnf" / "M1610.CNX", dir / "cnf" / "M1100.CNX");
  FormRequest r;
  r.number = 1100;
  r.parent = task;
  const WindowId owner = forms->open(std::make_unique<Form>(*forms, std::move(r)));
  app.ShowMessage(owner, 2, 5);
  Form* f = dialog(1620);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(forms->windowEnabled(owner));  // the dialog is modal
  EXPECT_EQ(forms->activeForm(), f->id());
  tk.operatorKey(f->id(), kKeyEnter);
  EXPECT_TRUE(forms->windowEnabled(owner));
  EXPECT_EQ(forms->activeForm(), owner);
}

TEST_F(MessageDialogTest, WithoutItsDescriptionTheToolkitDialogAsks) {
  fs::remove(dir / "cnf" / "M1630.CNX");
  app.ShowMessage(asker, 3, 5, "now");
  EXPECT_EQ(dialog(1630), nullptr);
  const auto open = tk.openMessageDialogs();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].number, 1630);
  EXPECT_EQ(open[0].lines, (std::vector<std::string>{"Really now? ", "Second line", ""}));
  tk.answerDialog(3);
  tk.pump();
  EXPECT_EQ(answers(), (std::vector<std::pair<int, std::intptr_t>>{{1653, 5}}));
}

TEST_F(MessageDialogTest, InstallSetsTheGlobalFlagsOfTheStartupSwitches) {
  EXPECT_TRUE(GlobalFlag(1002));   // frame mode is the default
  EXPECT_FALSE(GlobalFlag(1003));  // no CTL3D
}

}  // namespace
}  // namespace tarvik::ui
