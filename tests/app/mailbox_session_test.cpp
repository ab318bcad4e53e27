// The mailbox session of a whole station against a typical mailbox (the
// mailbox peer of tools/mailbox): the shipped script logs in with the
// password, records the check list with the shipped box definition, reads
// the new messages into the mail store and sends the mail waiting to go
// out, one message per prompt.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/station.h"
#include "channels/terminal_fixture.h"
#include "store/mail_store.h"
#include "store/station_db.h"
#include "tools/mailbox/mailbox_peer.h"
#include "ui/list_control.h"
#include "ui/list_rows.h"

namespace tarvik::test {
namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The mailbox's password, its station record of the shipped type, and one
// mail written here waiting to go out, in an operator's LOGPATH.
void PrepareOperator(const fs::path& log, const tools::MailboxBook& book) {
  std::ofstream(log / "N0BBS.PWD") << "1\t" << book.password << "\n";
  store::StationRecord record;
  record.station = "N0BBS";
  record.level = 1;
  record.box = 1;
  std::int32_t position = 0;
  ASSERT_EQ(store::StationDatabase(log.string() + "/").Insert(record, position), 0);
  std::ofstream(log / "reply.txt") << "I will come.\n73 de N0CALL\nNNNN\n";
  ASSERT_TRUE(store::MailStore(log.string() + "/").NewOutgoing("DL1ABC", "Re: Meeting on Friday",
                                                                (log / "reply.txt").string()));
}

// The sections of the shipped configuration the mailbox dialogue reads.
std::string ShippedSections(const std::vector<std::string>& headers) {
  std::istringstream ini(ReadFile(fs::path(TARVIK_SOURCE_DIR) / "data" / "TARVIK.INI"));
  std::string out, line;
  bool in = false;
  while (std::getline(ini, line)) {
    if (!line.empty() && line.front() == '[')
      in = std::find(headers.begin(), headers.end(), line) != headers.end();
    if (in) out += line + "\n";
  }
  return out;
}

class MailboxSession : public TerminalFixture {
 protected:
  // The operator's station N0CALL, which knows the mailbox N0BBS as one of
  // the shipped type, has its password and one mail waiting; N0BBS holds
  // two new messages for N0CALL.
  void SetUp() override {
    stationIni = [](const std::string&) { return ShippedSections({"[BOX-1]", "[FROM]"}); };
    Terminal& a = AddStation("N0CALL", true);
    stationIni = {};
    Terminal& b = AddStation("N0BBS");
    book = tools::StandardBook("N0CALL");
    b.addParts = [this](channels::ChannelParts& parts) { parts.push_back(tools::MailboxPeerPart(book)); };
    log = a.dir / "log";
    fs::create_directories(a.dir / "script");
    fs::copy_file(fs::path(TARVIK_SOURCE_DIR) / "data" / "script" / "mailbox.scr", a.dir / "script" / "mailbox.scr");
    fs::copy_file(fs::path(TARVIK_SOURCE_DIR) / "data" / "PWDTYP.DAT", a.dir / "PWDTYP.DAT");
    PrepareOperator(log, book);
    // The check-list window's description.
    const std::string name = ui::DescriptionFileName(1200);
    std::ofstream(a.dir / "cnf" / name, std::ios::binary)
        << ui::EncodeCnx(ui::SealDescription(ReadFile(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / "M1200.txt")), name);
  }
  Terminal& Operator() { return *stations[0]; }
  // A channel of the operator to the mailbox, logged in by hand: PASSWD,
  // then PW. Null when that failed.
  channels::ChannelWindow* LoggedIn() {
    channels::ChannelWindow* ch = ConnectPair(Operator(), *stations[1]);
    if (!ch) return nullptr;
    Do("press " + Win(ch->id()) + " PASSWD");
    Do("type " + Win(ch->id()) + " INPUT PW{ENTER}");
    return ether.RunUntil([&] { return book.logins == 1; }) ? ch : nullptr;
  }

  tools::MailboxBook book;
  fs::path log;
};

TEST_F(MailboxSession, TheScriptLogsInRecordsTheCheckListReadsAndSendsMail) {
  ASSERT_TRUE(channels::OpenOutgoingChannel(*Operator().app, "N0BBS @mailbox.scr"));
  ASSERT_TRUE(ether.RunUntil([&] { return !book.heard.empty(); }));
  ASSERT_TRUE(ether.RunUntil([&] { return Operator().openChannels() == 0; }, 10 * 60'000));

  EXPECT_EQ(book.logins, 1);
  // The check list, recorded in the list file's columns.
  std::istringstream list(ReadFile(log / "N0BBS.lst"));
  std::vector<std::string> rows;
  for (std::string row; std::getline(list, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 2u) << ReadFile(log / "N0BBS.lst");
  EXPECT_EQ(rows[0].substr(0, 22), "10.12.26  \tDL1ABC    \t");
  EXPECT_NE(rows[0].find("\t101       \t"), std::string::npos);
  EXPECT_NE(rows[1].find("Antenna for sale"), std::string::npos);

  // Both messages read into the store as new mail, with the sender the
  // header names; the written mail sent.
  store::MailStore mail(log.string() + "/");
  std::vector<store::MailEntry> entries = mail.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].status, store::kMailSent);
  for (const int i : {1, 2}) {
    EXPECT_EQ(entries[i].status, store::kMailNew);
    EXPECT_EQ(entries[i].from, "N0CALL");
  }
  EXPECT_EQ(entries[1].to, "DL1ABC @ N0BBS");
  EXPECT_EQ(entries[1].subject, "Meeting on Friday");
  EXPECT_EQ(ReadFile(mail.TextPath(entries[1].number)),
            "From: DL1ABC @ N0BBS (DL1ABC)\nTo:   N0CALL\nDate: 10.12.26\nSubject: Meeting on Friday\n\nHello,\n"
            "the club meets on Friday at 19:00.\n73 Hans\n");
  EXPECT_EQ(entries[2].to, "DL2XYZ @ N0BBS");
  EXPECT_NE(ReadFile(mail.TextPath(entries[2].number)).find("hardly used"), std::string::npos);

  ASSERT_EQ(book.received.size(), 1u);
  EXPECT_EQ(book.received[0].to, "DL1ABC");
  EXPECT_EQ(book.received[0].subject, "Re: Meeting on Friday");
  EXPECT_EQ(book.received[0].lines, (std::vector<std::string>{"I will come.", "73 de N0CALL"}));
  // The session was logged.
  EXPECT_NE(Operator().logFile().find("N0BBS"), std::string::npos);
}

// The operator's controls in a channel to the mailbox: INFO shows the
// station's information text, PASSWD arms the answer to the next challenge
// (or says why it cannot), MAIL sends the waiting mail.
TEST_F(MailboxSession, TheChannelsControlsByHand) {
  Terminal& a = Operator();
  std::ofstream(log / "N0BBS.txt") << "N0BBS: the club's mailbox, sysop DL1ABC\n";
  channels::ChannelWindow* ch = ConnectPair(a, *stations[1]);
  ASSERT_TRUE(ch);
  const std::string W = Win(ch->id());
  Do("press " + W + " INFO");
  EXPECT_TRUE(PaneHas(ch, {"N0BBS: the club's mailbox, sysop DL1ABC", ui::kBlue}));
  EXPECT_NE(Do("state " + W + " INFO").back().find("checked=1"), std::string::npos);

  const std::string password = ReadFile(log / "N0BBS.PWD");
  fs::remove(log / "N0BBS.PWD");
  Do("press " + W + " PASSWD");
  EXPECT_TRUE(PaneHas(ch, {"Password file not found !", ui::kBlue}));
  std::ofstream(log / "N0BBS.PWD") << "no tab here\n";
  Do("press " + W + " PASSWD");
  EXPECT_TRUE(PaneHas(ch, {"Password file corrupt !", ui::kBlue}));
  std::ofstream(log / "N0BBS.PWD") << password;
  Do("press " + W + " PASSWD");
  Do("type " + W + " INPUT PW{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return book.logins == 1; }));

  Do("press " + W + " MAIL");
  ASSERT_TRUE(ether.RunUntil([&] { return book.received.size() == 1; }));
  ASSERT_TRUE(ether.RunUntil([&] {
    const auto entries = store::MailStore(log.string() + "/").Entries();
    return !entries.empty() && entries[0].status == store::kMailSent;
  }));
}

// The check-list window of a channel to the mailbox, as the operator uses
// it: opened with CHECK, it takes the check list the mailbox sends while it
// is open; FILE reads the selected entry into the mail store with the
// command of the box definition's READ pattern, READ reads the selected
// entries one per prompt without storing them, a double click stores its
// line, DEL removes the selected lines and, without a selection, the list.
TEST_F(MailboxSession, TheCheckListWindowRecordsReadsAndDeletes) {
  Terminal& a = Operator();
  channels::ChannelWindow* ch = LoggedIn();
  ASSERT_TRUE(ch);
  const std::string W = Win(ch->id());

  Do("press " + W + " CHECK");
  ui::WindowId check = ui::kNoWindow;
  for (const ui::WindowId w : tk.windows())
    if (const ui::WindowSpec* spec = tk.specOf(w); spec && spec->name == "CHECK" && tk.parentOf(w) == ch->id())
      check = w;
  ASSERT_NE(check, ui::kNoWindow);
  const std::string C = Win(check);
  ui::ListControl* list = nullptr;
  for (const ui::WindowId w : tk.children(check))
    if (auto* l = tk.findAs<ui::ListControl>(w)) list = l;
  ASSERT_TRUE(list);
  // Pressing CHECK again raises the same window.
  Do("press " + W + " CHECK");
  int open = 0;
  for (const ui::WindowId w : tk.windows())
    if (const ui::WindowSpec* spec = tk.specOf(w); spec && spec->name == "CHECK") ++open;
  EXPECT_EQ(open, 1);

  // The list arrives into the open window, which is the list file.
  Do("type " + W + " INPUT L{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] { return list->Lines().size() == 2; }));
  const std::string row101 = "10.12.26  \tDL1ABC    \tN0CALL                          \t          \t101       \t"
                             "120       \tMeeting on Friday                       ";
  const std::string row102 = "10.12.26  \tDL2XYZ    \tN0CALL                          \t          \t102       \t"
                             "80        \tAntenna for sale                        ";
  EXPECT_EQ(list->Lines(), (std::vector<std::string>{row101, row102}));
  EXPECT_EQ(ReadFile(log / "N0BBS.lst"), row101 + "\n" + row102 + "\n");

  const auto click = [&](int row, int modifiers) {
    Do("mouse " + C + " LISTE click 10 " + std::to_string(ListRowY(tk, C, row)) + " 0 " + std::to_string(modifiers));
    ether.RunUntil([] { return false; }, ui::kListClickMs + 100);  // a click is told after the double-click time
  };
  // DEL waits while entries are being read.
  const auto reading = [&] { return Do("state " + C + " DEL").back().find("enabled=0") != std::string::npos; };
  const auto heardCount = [&](const std::string& line) { return std::count(book.heard.begin(), book.heard.end(), line); };
  store::MailStore mail(log.string() + "/");

  // FILE: "R 101" (shown in red), the answer stored as new mail.
  click(0, 0);
  Do("press " + C + " FILE");
  ASSERT_TRUE(ether.RunUntil([&] { return heardCount("R 101") == 1; }));
  EXPECT_TRUE(PaneHas(ch, {"R 101", ui::kRed}));
  ASSERT_TRUE(ether.RunUntil([&] { return !reading(); }));
  std::vector<store::MailEntry> entries = mail.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].status, store::kMailNew);
  EXPECT_EQ(entries[1].to, "DL1ABC @ N0BBS");
  EXPECT_EQ(entries[1].from, "N0CALL");
  EXPECT_EQ(entries[1].subject, "Meeting on Friday");
  EXPECT_EQ(entries[1].date, "10.12.26");
  EXPECT_EQ(ReadFile(mail.TextPath(entries[1].number)),
            "From: DL1ABC @ N0BBS (DL1ABC)\nTo:   N0CALL\nDate: 10.12.26\nSubject: Meeting on Friday\n\nHello,\n"
            "the club meets on Friday at 19:00.\n73 Hans\n");
  EXPECT_EQ(list->SelectedCount(), 0u);

  // READ of both lines: one request per prompt, in order, nothing stored.
  click(0, 0);
  click(1, 1);
  ASSERT_EQ(list->SelectedCount(), 2u);
  Do("press " + C + " READ");
  EXPECT_TRUE(reading());
  ASSERT_TRUE(ether.RunUntil([&] { return heardCount("R 102") == 1 && !reading(); }));
  EXPECT_EQ(heardCount("R 101"), 2);
  const auto last101 = std::find(book.heard.rbegin(), book.heard.rend(), "R 101");
  const auto last102 = std::find(book.heard.rbegin(), book.heard.rend(), "R 102");
  EXPECT_LT(last102 - book.heard.rbegin(), last101 - book.heard.rbegin());  // 102 came after 101
  EXPECT_EQ(mail.Entries().size(), 2u);

  // A double click stores its line.
  Do("mouse " + C + " LISTE double 10 " + std::to_string(ListRowY(tk, C, 1)));
  ASSERT_TRUE(ether.RunUntil([&] { return heardCount("R 102") == 2 && !reading(); }));
  entries = mail.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].subject, "Antenna for sale");
  EXPECT_EQ(entries[2].status, store::kMailNew);

  // DEL with a selection removes that line from the list and the file;
  // without one it empties both, and the channel's CHECK mark goes.
  EXPECT_NE(Do("state " + W + " CHECK").back().find("checked=1"), std::string::npos);
  click(0, 0);
  Do("press " + C + " DEL");
  EXPECT_EQ(ReadFile(log / "N0BBS.lst"), row102 + "\n");
  EXPECT_EQ(list->Lines(), std::vector<std::string>{row102});
  EXPECT_NE(Do("state " + W + " CHECK").back().find("checked=1"), std::string::npos);
  Do("press " + C + " DEL");
  EXPECT_EQ(ReadFile(log / "N0BBS.lst"), "");
  EXPECT_TRUE(list->Lines().empty());
  EXPECT_NE(Do("state " + W + " CHECK").back().find("checked=0"), std::string::npos);

  // Closed, the window no longer takes the list: it goes to the file.
  tk.destroy(check);
  book.messages.push_back({103, "DL3QRP", "N0CALL", "11.12.26", "QRP contest", {"Sunday, 80 m."}});
  Do("type " + W + " INPUT L{ENTER}");
  const std::string row103 = "11.12.26  \tDL3QRP    \tN0CALL                          \t          \t103       \t"
                             "40        \tQRP contest                             \n";
  ASSERT_TRUE(ether.RunUntil([&] { return ReadFile(log / "N0BBS.lst") == row103; })) << ReadFile(log / "N0BBS.lst");

  // A script's clearlist closes the open window and deletes the list.
  Do("press " + W + " CHECK");
  ASSERT_EQ(a.forms->windowsOf(1200).size(), 1u);
  const std::string script = (a.dir / "script" / "clear.scr").string();
  std::ofstream(script) << "clearlist\n";
  tk.queueFileDialogAnswer(script);
  Do("press " + W + " EXEC");
  ASSERT_TRUE(ether.RunUntil([&] { return a.forms->windowsOf(1200).empty(); }));
  EXPECT_FALSE(fs::exists(log / "N0BBS.lst"));
  EXPECT_NE(Do("state " + W + " CHECK").back().find("checked=0"), std::string::npos);
}

// A list file the window's list cannot take entries into (written by hand,
// its lines of another length) still gets every entry recorded while the
// window is open.
TEST_F(MailboxSession, AForeignListFileStillGetsTheEntries) {
  Terminal& a = Operator();
  std::ofstream(log / "N0BBS.lst") << "written by hand\n";
  channels::ChannelWindow* ch = LoggedIn();
  ASSERT_TRUE(ch);
  const std::string W = Win(ch->id());
  Do("press " + W + " CHECK");
  ASSERT_EQ(a.forms->windowsOf(1200).size(), 1u);
  Do("type " + W + " INPUT L{ENTER}");
  ASSERT_TRUE(ether.RunUntil([&] {
    std::istringstream list(ReadFile(log / "N0BBS.lst"));
    int rows = 0;
    for (std::string row; std::getline(list, row);) ++rows;
    return rows == 3;
  })) << ReadFile(log / "N0BBS.lst");
  const std::string list = ReadFile(log / "N0BBS.lst");
  EXPECT_TRUE(list.starts_with("written by hand\n10.12.26  \tDL1ABC    \t")) << list;
  EXPECT_NE(list.find("Antenna for sale"), std::string::npos);
}

// The mailbox type of the station changed while connected: the definition
// of the new type is loaded at once when the station form opened from the
// channel stores it, and within seconds when it was changed elsewhere.
TEST_F(MailboxSession, AChangedMailboxTypeLoadsItsDefinition) {
  const auto setBox = [&](int box) {
    store::StationDatabase db(log.string() + "/");
    store::StationEntry entry;
    ASSERT_EQ(db.Lookup("N0BBS", entry), store::kRecordFound);
    entry.record.box = static_cast<std::int16_t>(box);
    ASSERT_EQ(db.Update(entry.position, entry.record), store::kRecordFound);
  };
  setBox(0);
  channels::ChannelWindow* ch = LoggedIn();
  ASSERT_TRUE(ch);
  const std::string W = Win(ch->id());
  const auto listed = [&](const std::string& line) {
    const std::size_t before = std::count(book.heard.begin(), book.heard.end(), line);
    Do("type " + W + " INPUT " + line + "{ENTER}");
    EXPECT_TRUE(ether.RunUntil([&] { return std::size_t(std::count(book.heard.begin(), book.heard.end(), line)) > before; }));
    ether.RunUntil([] { return false; }, 2000);  // the mailbox's answer
    return ReadFile(log / "N0BBS.lst");
  };
  // No type: nothing is recorded.
  EXPECT_EQ(listed("L"), "");

  // The station form of the channel stores the shipped type.
  Do("press " + W + " STATION");
  ui::WindowId form = ui::kNoWindow;
  for (const ui::WindowId w : tk.windows())
    if (const ui::WindowSpec* spec = tk.specOf(w); spec && spec->name == "STATION") form = w;
  ASSERT_NE(form, ui::kNoWindow);
  Do("select " + Win(form) + " BOX 1");
  Do("press " + Win(form) + " OK");
  std::string list = listed("L");
  EXPECT_NE(list.find("Meeting on Friday"), std::string::npos) << list;
  EXPECT_NE(list.find("Antenna for sale"), std::string::npos) << list;

  // Changed elsewhere (the station list's form): taken up within seconds.
  setBox(0);
  fs::remove(log / "N0BBS.lst");
  ether.RunUntil([] { return false; }, 6000);
  EXPECT_EQ(listed("L"), "");
}

// A hostile mailbox: over-long lines, control bytes and names that climb
// out of directories in its check list, its messages and a node's report.
// The session goes on, every list line keeps its columns, mail texts are
// named by number, and nothing is written outside the station's directories.
TEST_F(MailboxSession, HostileMailboxOutputStaysInItsPlace) {
  Terminal& a = Operator();
  Terminal& b = *stations[1];
  std::ofstream(a.dir / "script" / "hostile.scr")
      << "waitfor PROMPT@30\nsend L\nwaitfor PROMPT@30\nchecklist\n:n\nif (CHECK_LIST_EMPTY) :e\n"
         "readmail R %CHK_FNUM%\nwaitfor PROMPT@30\ngoto n\n:e\nsend C EVIL\nwaitfor PROMPT@30\nsend B\n";
  const std::string junk = std::string(700, 'A') + "\x01\x02\x1b[2J\t\t\x7f";
  std::vector<std::string> heard;
  b.addParts = [&](channels::ChannelParts& parts) {
    parts.push_back(std::make_unique<TestLinePart>([&](channels::ChannelWindow& w, const std::string& line) {
      heard.push_back(line);
      if (line == "L")
        w.SendText("\rMsg#  From\r101 ../../../tvkclimb/" + junk + " ..\\..\\tvkclimb " + junk + "\r" +
                   "102   ../..   ../../..   10.12.26  1  " + junk + "\rN0BBS>");
      else if (line.rfind("R ", 0) == 0)
        w.SendText("\rFrom: ../../" + junk + " (x\r" + junk + "\r\x00\x00body\rN0BBS>");
      else if (line == "C EVIL")
        w.SendText("\r*** connected to ../../../tvkclimb\rN0BBS>");
      else if (line == "B")
        w.Disconnect(false);
      return true;
    }));
  };
  b.onChannel = [](channels::ChannelWindow& w) { w.SendText("N0BBS>"); };
  ASSERT_TRUE(channels::OpenOutgoingChannel(*a.app, "N0BBS @hostile.scr"));
  ASSERT_TRUE(ether.RunUntil([&] { return std::find(heard.begin(), heard.end(), "B") != heard.end(); }, 5 * 60'000));
  EXPECT_GE(std::count_if(heard.begin(), heard.end(), [](const std::string& l) { return l.rfind("R ", 0) == 0; }), 2);

  std::istringstream list(ReadFile(log / "N0BBS.lst"));
  int rows = 0;
  for (std::string row; std::getline(list, row); ++rows) {
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 6) << row;
    EXPECT_EQ(row.find_first_of(std::string("\x01\x02\x1b\r", 4)), std::string::npos) << row;
  }
  EXPECT_GE(rows, 2);
  const store::MailStore mail(log.string() + "/");
  for (const store::MailEntry& e : mail.Entries())
    EXPECT_TRUE(e.status == store::kMailWaiting || fs::exists(mail.TextPath(e.number))) << e.number;
  const fs::path outside = a.dir.parent_path();
  for (const char* name : {"tvkclimb", "tvkclimb.lst", "tvkclimb.PWD", ".lst", "tvkclim.lst", "tvkclim"}) {
    EXPECT_FALSE(fs::exists(outside / name)) << name;
    EXPECT_FALSE(fs::exists(a.dir / name)) << name;
  }
  for (const auto& entry : fs::directory_iterator(log))
    EXPECT_EQ(entry.path().filename().string().find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._$"),
              std::string::npos)
        << entry.path();
}

// The same session over KISS/TCP on 127.0.0.1 with the mailbox program
// (tarvik-mailbox, in the test mailbox's shipped station directory): the
// operator's station reaches it through a TCP/IP port, as the README's
// walk-through does.
class MailboxProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_mailbox_program_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    for (const char* sub : {"mailbox", "cnf", "op/log", "op/tmp", "op/script"}) fs::create_directories(dir / sub);
    const fs::path source(TARVIK_SOURCE_DIR);
    const std::uint16_t port = FreePort();
    // The shipped mailbox station with a port of this test's own.
    std::string ini = ReadFile(source / "data" / "mailbox" / "TARVIK.INI");
    ini.replace(ini.find("PORT=8102"), 9, "PORT=" + std::to_string(port));
    std::ofstream(dir / "mailbox" / "TARVIK.INI") << ini;
    fs::copy_file(fs::path(TARVIK_BINARY_DIR) / "station-cnf" / "M1010.CNX", dir / "cnf" / "M1010.CNX");
    fs::copy_file(source / "data" / "TARVIK.MSG", dir / "TARVIK.MSG");
    const std::string exe = std::string(TARVIK_BINARY_DIR) + "/tools/mailbox/tarvik-mailbox";
    std::vector<std::string> args{exe, ".", "N0CALL"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, (dir / "mailbox").c_str());
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "mailbox.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(WaitFor([&] { return Said("ready"); })) << ReadFile(dir / "mailbox.out");

    // The operator's station: the shipped script, types and box definition.
    const fs::path op = dir / "op";
    fs::copy_file(source / "data" / "script" / "mailbox.scr", op / "script" / "mailbox.scr");
    fs::copy_file(source / "data" / "PWDTYP.DAT", op / "PWDTYP.DAT");
    PrepareOperator(op / "log", tools::StandardBook("N0CALL"));
    const std::string d = op.string() + "/";
    std::ofstream(op / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=N0CALL\nMYNAME=Operator\nFLAGS=0000000000\nMESSAGEFILE=" << source.string()
        << "/data/TARVIK.MSG\nCNFPATH=" << TARVIK_BINARY_DIR << "/station-cnf/\nTMPPATH=" << d
        << "tmp/\nLOGPATH=" << d << "log/\nTCP/IP=Yes\nPORT=0\n"
        << "[P0]\nTITLE=Mailbox\nDEVICE=127.0.0.1;" << port << "\nPROTOCOL=KISS\nDEVTYPE=TCPIP\n"
        << "[P0CHAN0]\nTITLE=TCP\nWINDOW=4\nPACLEN=128\nT1=10\nT2=100\nT3=180\nRETRY=10\nL2F=10\n"
        << ShippedSections({"[BOX-1]", "[FROM]"});
    core::StartupOptions options;
    options.iniPath = (op / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    forms = ui::InstallForms(*app);
    app::BuildStation(*app, *forms);
    ASSERT_TRUE(app->Start());
    ASSERT_TRUE(RunUntil([&] { return app->mainWindow != ui::kNoWindow && app->ports()[0].state == core::PortState::Up; }));
  }
  void TearDown() override {
    for (const ui::WindowId w : tk.windows()) tk.destroy(w);
    app.reset();
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove_all(dir);
  }

  static std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }
  bool Said(const std::string& text) { return ReadFile(dir / "mailbox.out").find(text) != std::string::npos; }
  // Real time for the program beside; the station's clock goes with it.
  bool WaitFor(const std::function<bool()>& pred) { return RunUntil(pred); }
  bool RunUntil(const std::function<bool()>& pred, long long limitMs = 60'000) {
    for (long long t = 0; !pred(); t += 5) {
      if (t >= limitMs) return false;
      tk.pump(5);
      tk.stepMs(5);
    }
    return true;
  }

  fs::path dir;
  pid_t pid = -1;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
};

TEST_F(MailboxProgram, TheSessionRunsOverKissTcp) {
  ASSERT_TRUE(channels::OpenOutgoingChannel(*app, "N0BBS @mailbox.scr"));
  ASSERT_TRUE(RunUntil([&] { return Said("N0CALL connected"); })) << ReadFile(dir / "mailbox.out");
  // The mailbox ends the connection after "B" once its goodbye has been
  // delivered; everything is done when the operator has said goodbye.
  ASSERT_TRUE(RunUntil([&] { return Said("N0CALL left"); }, 120'000)) << ReadFile(dir / "mailbox.out");
  EXPECT_TRUE(Said("N0CALL logged in"));
  EXPECT_TRUE(Said("N0CALL read message 101"));
  EXPECT_TRUE(Said("N0CALL read message 102"));
  EXPECT_TRUE(Said("stored message 200 from N0CALL for DL1ABC: Re: Meeting on Friday"));
  const fs::path log = dir / "op" / "log";
  std::istringstream list(ReadFile(log / "N0BBS.lst"));
  int rows = 0;
  for (std::string row; std::getline(list, row);) ++rows;
  EXPECT_EQ(rows, 2);
  const std::vector<store::MailEntry> entries = store::MailStore(log.string() + "/").Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].status, store::kMailSent);
  EXPECT_EQ(entries[1].status, store::kMailNew);
  EXPECT_EQ(entries[2].status, store::kMailNew);
}

}  // namespace
}  // namespace tarvik::test
