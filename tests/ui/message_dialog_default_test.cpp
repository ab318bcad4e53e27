// Message dialogs of questions asked with No as the default, and texts
// longer than the dialog's lines, on the program's own dialog descriptions.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/identification.h"
#include "form_fixture.h"
#include "ui/message_dialog.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

class QuestionDefaultTest : public testing::FormFixture {
 protected:
  void SetUp() override {
    FormFixture::SetUp();
    for (int n : {1600, 1620, 1630}) {
      const std::string name = "M" + std::to_string(n) + ".CNX";
      fs::copy_file(fs::path(TARVIK_BINARY_DIR) / "station-cnf" / name, dir / "cnf" / name);
    }
    std::ofstream(dir / "TARVIK.MSG") << "8 1 Disconnect from %s?\n"
                                      << "9 1 one\\ntwo\\nthree\\nfour\n"
                                      << "1064 2 Version %s, built %s\n";
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
    app.taskWindow = kNoWindow;
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

// Esc then Enter in a hurry must not end a contact: Enter answers NEIN in
// a question asked with No as its default, while the buttons answer as
// always.
TEST_F(QuestionDefaultTest, EnterAnswersNoWhenTheQuestionAsksSo) {
  enum class Act { Enter, Ja, Escape };
  struct Case {
    int kind;
    core::DefaultAnswer asked;
    Act act;
    int event;
  };
  const Case cases[] = {
      {2, core::DefaultAnswer::No, Act::Enter, 1650},  {3, core::DefaultAnswer::No, Act::Enter, 1650},
      {2, core::DefaultAnswer::No, Act::Ja, 1651},     {2, core::DefaultAnswer::No, Act::Escape, 1650},
      {2, core::DefaultAnswer::Yes, Act::Enter, 1651},
  };
  for (const Case& c : cases) {
    answers().clear();
    app.ShowMessage(asker, c.kind, 8, "N0ABC", {}, c.asked);
    Form* f = dialog(1600 + 10 * c.kind);
    ASSERT_NE(f, nullptr) << c.kind;
    const WindowId w = f->id();
    EXPECT_EQ(f->GetCtlText(kIdZeile1), "Disconnect from N0ABC?");
    switch (c.act) {
      case Act::Enter: tk.operatorKey(w, kKeyEnter); break;
      case Act::Escape: tk.operatorKey(w, kKeyEscape); break;
      case Act::Ja: tk.operatorClick(w, tk.controlByName(w, "JA").value_or(kNoControl)); break;
    }
    EXPECT_FALSE(tk.exists(w));
    tk.pump();
    EXPECT_EQ(answers(), (std::vector<std::pair<int, std::intptr_t>>{{c.event, 8}}))
        << c.kind << " act " << static_cast<int>(c.act);
  }
}

// A text of more lines than the dialog has is not cut: the last line holds
// the rest.
TEST_F(QuestionDefaultTest, TextLongerThanTheDialogEndsInItsLastLine) {
  app.ShowMessage(asker, 2, 9);
  Form* f = dialog(1620);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->GetCtlText(kIdZeile1), "one ");
  EXPECT_EQ(f->GetCtlText(kIdZeile2), "two ");
  EXPECT_EQ(f->GetCtlText(kIdZeile3), "three four");
  tk.destroy(f->id());
}

// The about box shows the program's own release and build day; the texts
// other stations see stay as they are.
TEST_F(QuestionDefaultTest, AboutShowsTheRealVersion) {
  const WindowId about = forms->OpenWindowById(task, 1600);
  ASSERT_NE(about, kNoWindow);
  tk.flushUpdates();
  const auto rows = tk.headlessCanvas(about)->rows();
  const std::string version = "Version " + core::ProgramVersion() + ", built " + core::ProgramBuildDate();
  std::string all;
  for (const auto& r : rows) all += r + "|";
  EXPECT_NE(std::find(rows.begin(), rows.end(), version), rows.end()) << all;
  EXPECT_EQ(core::ProductText(), "TARVIK/WIN32");
  tk.destroy(about);
}

}  // namespace
}  // namespace tarvik::ui
