// The mailbox session of a whole station against a typical mailbox (the
// mailbox peer of tools/mailbox): the shipped script logs in with the
// password, records the check list with the shipped box definition, reads
// the new messages into the mail store and sends the mail waiting to go
// out, one message per prompt.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "channels/terminal_fixture.h"
#include "store/mail_store.h"
#include "store/station_db.h"
#include "tools/mailbox/mailbox_peer.h"

namespace tarvik::test {
namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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
    std::ofstream(log / "N0BBS.PWD") << "1\t" << book.password << "\n";
    store::StationRecord record;
    record.station = "N0BBS";
    record.level = 1;
    record.box = 1;
    std::int32_t position = 0;
    ASSERT_EQ(store::StationDatabase(log.string() + "/").Insert(record, position), 0);
    std::ofstream(a.dir / "tmp" / "reply.txt") << "I will come.\n73 de N0CALL\nNNNN\n";
    ASSERT_TRUE(store::MailStore(log.string() + "/").NewOutgoing("DL1ABC", "Re: Meeting on Friday",
                                                                  (a.dir / "tmp" / "reply.txt").string()));
  }
  Terminal& Operator() { return *stations[0]; }

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

}  // namespace
}  // namespace tarvik::test
