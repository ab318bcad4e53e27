// The mail list and the mail send window as the operator uses them, through
// the UI driver: reading marks a message read and opens it in the viewer,
// a reply is written in the editor and waits in the store to be sent,
// deleting removes line and text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "channels/toolbox_fixture.h"
#include "store/mail_store.h"
#include "store/mail_windows.h"
#include "ui/list_rows.h"

namespace tarvik::test {
namespace {

class MailWindows : public ToolboxFixture {
 protected:
  // The shipped windows and texts, a store, and an editor that adds a line
  // to a text it is given to write and notes every file it opens.
  void Prepare(const std::string& directory) {
    for (const int number : {1120, 1290, 1610, 1620, 1630, 1640}) Install(number);
    std::filesystem::copy_file(std::string(TARVIK_SOURCE_DIR) + "/data/TARVIK.MSG", dir / "TARVIK.MSG",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::create_directories(dir / "log");
    std::filesystem::create_directories(dir / "tmp");
    std::filesystem::create_directories(dir / "bin");
    std::ofstream(dir / "log" / "MAIL.DAT") << directory;
    const std::string editor = (dir / "bin" / "edit.sh").string();
    std::ofstream(editor) << "#!/bin/sh\ncase \"$1\" in *.\\$\\$\\$) echo 'See you there.' >> \"$1\";; esac\n"
                          << "echo \"$1\" >> " << (dir / "opened.txt").string() << "\n";
    ::chmod(editor.c_str(), 0755);
    std::ofstream(dir / "TARVIK.INI", std::ios::app) << "EDITOR=" << editor << "\n";
    std::ofstream(dir / "cnf" / "DL1ZZZ.sig") << "73 de DL1ZZZ\n";
    Start([this](ui::FormRuntime& f) { store::InstallMailForms(*app, f); });
    ASSERT_EQ(Drive("press MAIN MAIL"), "OK");
  }
  store::MailStore Mail() { return store::MailStore((dir / "log").string() + "/"); }
  std::string ClickRow(int row) {
    const std::string reply = Drive("mouse 1120 LISTE click 10 " + std::to_string(ListRowY(tk, 1120, row)));
    tk.stepMs(ui::kListClickMs + 100);  // a click is told once the double-click time has passed
    return reply;
  }
  // The files the editor opened so far, once there are `count`.
  std::vector<std::string> Opened(std::size_t count) {
    std::vector<std::string> files;
    for (int i = 0; i < 500 && files.size() < count; ++i) {
      files.clear();
      std::ifstream in(dir / "opened.txt");
      for (std::string l; std::getline(in, l);) files.push_back(l);
      if (files.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return files;
  }
  std::string Text(const std::string& name) {
    std::ifstream in(dir / "log" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
};

TEST_F(MailWindows, ReadReplyAndDelete) {
  Prepare("2\t0\t01.03.2026 09:00\tDL1ZZZ                                  \tDL9XX\tMeeting\n"
          "3\t1\t01.03.2026 09:05\tDL1ZZZ                                  \tDB0BOX\tstill coming\n"
          "4\t2\t01.03.2026 09:10\tDK2AB                                   \t\tWaiting\n");
  std::ofstream(dir / "log" / "MAIL0000.TXT") << "Shall we meet at eight?\n";

  // The message being received is not shown.
  auto lines = DriveLines("lines 1120 LISTE");
  ASSERT_EQ(lines.back(), "OK 2");
  EXPECT_EQ(lines[0], "= " + store::MailListLine(*Mail().Find(0)));

  // Reading: the message becomes read, the main window learns there is
  // mail but none new, and the viewer opens the text.
  ASSERT_EQ(ClickRow(0), "OK");
  ASSERT_EQ(Drive("press 1120 READ"), "OK");
  EXPECT_EQ(Mail().Find(0)->status, store::kMailRead);
  EXPECT_EQ(DriveLines("lines 1120 LISTE")[0].substr(0, 3), "= 1");
  EXPECT_TRUE(Main().mailMark());
  EXPECT_FALSE(Main().mailBlinking());
  EXPECT_EQ(Opened(1), std::vector<std::string>{(dir / "log" / "MAIL0000.TXT").string()});

  // A reply: to the sender, "Re:" and the subject, the text quoted.
  ASSERT_EQ(Drive("press 1120 REPLY"), "OK");
  EXPECT_EQ(Drive("get 1290 TO"), "OK DL9XX");
  EXPECT_EQ(Drive("get 1290 SUBJECT"), "OK Re:Meeting");
  EXPECT_NE(Drive("press 1290 SEND"), "OK");  // nothing written yet
  ASSERT_EQ(Drive("press 1290 EDIT"), "OK");
  ASSERT_EQ(Opened(2).size(), 2u);
  ASSERT_EQ(Drive("press 1290 SEND"), "OK");
  tk.pump(0);
  const auto reply = Mail().Find(3);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, store::kMailWaiting);
  EXPECT_EQ(reply->to, "DL9XX");
  EXPECT_EQ(reply->from, "");
  EXPECT_EQ(reply->subject, "Re:Meeting");
  EXPECT_EQ(Text("MAIL0003.TXT"), ">Shall we meet at eight?\n\n73 de DL1ZZZ\nSee you there.\nNNNN\n");
  EXPECT_EQ(DriveLines("lines 1120 LISTE").back(), "OK 3");
  EXPECT_FALSE(std::filesystem::exists(Opened(2)[1]));  // the send window's text went with it

  // Deleting: line, entry and text go.
  ASSERT_EQ(ClickRow(0), "OK");
  ASSERT_EQ(Drive("press 1120 DEL"), "OK");
  EXPECT_FALSE(Mail().Find(0));
  EXPECT_FALSE(std::filesystem::exists(dir / "log" / "MAIL0000.TXT"));
  lines = DriveLines("lines 1120 LISTE");
  ASSERT_EQ(lines.back(), "OK 2");
  EXPECT_EQ(lines[0].substr(0, 8), "= 4\t   2");
  EXPECT_FALSE(Main().mailMark());
}

// At most five viewers run at once, one per message: reading a message
// whose viewer runs starts none, a sixth message is refused with a notice.
TEST_F(MailWindows, AtMostFiveViewers) {
  std::string directory;
  for (int n = 0; n < 6; ++n)
    directory += "1\t" + std::to_string(n) + "\t01.03.2026 09:00\tDL1ZZZ" + std::string(34, ' ') + "\tDL9XX\tNo " +
                 std::to_string(n) + "\n";
  Prepare(directory);
  // A viewer that stays open until the file "stop" is there (or the test's
  // directory has gone), and then notes that it ended.
  std::ofstream(dir / "bin" / "edit.sh") << "#!/bin/sh\necho \"$1\" >> " << (dir / "opened.txt").string()
                                         << "\nwhile [ ! -e " << (dir / "stop").string() << " ] && [ -d "
                                         << dir.string() << " ]; do sleep 0.05; done\necho \"$1\" >> "
                                         << (dir / "ended.txt").string() << "\n";
  const auto shown = [&] { return DriveLines("dialogs").size() > 1; };
  for (int row = 0; row < 5; ++row) {
    ASSERT_EQ(ClickRow(row), "OK");
    ASSERT_EQ(Drive("press 1120 READ"), "OK");
  }
  ASSERT_EQ(Opened(5).size(), 5u);
  ASSERT_EQ(ClickRow(0), "OK");
  ASSERT_EQ(Drive("press 1120 READ"), "OK");  // still open: nothing new, no notice
  EXPECT_FALSE(shown());
  ASSERT_EQ(ClickRow(5), "OK");
  ASSERT_EQ(Drive("press 1120 READ"), "OK");
  const auto dialogs = DriveLines("dialogs");
  ASSERT_TRUE(shown());
  EXPECT_NE(dialogs[0].find("5 messages are open in the viewer."), std::string::npos) << dialogs[0];
  std::ofstream(dir / "stop") << "";
  EXPECT_EQ(Opened(5).size(), 5u);
  for (int i = 0; i < 500; ++i) {  // the viewers end
    std::ifstream in(dir / "ended.txt");
    if (std::count(std::istreambuf_iterator<char>(in), {}, '\n') == 5) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(MailReply, AddresseeOfAReply) {
  struct Case {
    const char* to;
    const char* from;
    const char* expected;
  };
  const Case cases[] = {
      {"DL1ZZZ", "DL9XX", "DL9XX"},
      {"DK2AB @ DB0BOX", "", "DK2AB @ DB0BOX"},          // written here
      {"DK2AB", "DL1ZZZ", "DK2AB"},                      // from the own call
      {"DK2AB", "DL1ZZZ-3 @ DB0BOX", "DK2AB"},
      {"DK2AB", "DL1ZZZA", "DL1ZZZA"},                   // another call that begins alike
  };
  for (const Case& c : cases) EXPECT_EQ(store::ReplyAddressee(c.to, c.from, "DL1ZZZ-1"), c.expected) << c.from;
}

}  // namespace
}  // namespace tarvik::test
