// A station leaves mail with "//M": the whole station takes the lines into
// its mail store up to "NNNN", answers "mail is ok" and the MAIL control
// blinks. A connection that ends half-way leaves nothing the store offers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "channels/main_window.h"
#include "channels/terminal_fixture.h"
#include "core/text.h"
#include "store/mail_store.h"
#include "store/station_db.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;

class MailStation : public TerminalFixture {
 protected:
  // A whole station on which DB2BBB may use every command.
  Terminal& Station(const std::string& call) {
    Terminal& t = AddStation(call, true);
    fs::create_directories(t.dir / "pub");
    const std::string home = (t.dir / "pub").string() + "/";
    t.app->config().SetSetting(core::kSettingPubPath, home);
    for (int l = 1; l <= 5; ++l) t.app->config().SetLevelRecord(l, home, "111111111111111111111111");
    store::StationDatabase db((t.dir / "log").string() + "/");
    store::StationRecord record;
    record.station = "DB2BBB";
    record.level = 1;
    std::int32_t position = 0;
    EXPECT_EQ(db.Insert(std::move(record), position), 0);
    return t;
  }
  store::MailStore Mail(const Terminal& t) { return store::MailStore((t.dir / "log").string() + "/"); }
  void Collect(ChannelWindow* ch) {
    ch->setObserver({.data = [this](std::span<const std::uint8_t> bytes) {
      received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }});
  }
  bool Received(const std::string& text) const { return received.find(text) != std::string::npos; }
  std::string received;
};

TEST_F(MailStation, AStationLeavesMailInTheStore) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  Collect(cb);
  ASSERT_TRUE(ether.RunUntil([&] { return !received.empty(); }));  // the welcome
  received.clear();
  EXPECT_FALSE(a.main()->mailBlinking());

  cb->SendText("//m Meeting on ../../etc\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Enter your message"); })) << received;
  // The body is the mail's, commands and all.
  cb->SendText("Hello Anna,\r//d\rsee you at \x01" "eight.\rNNNN\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("mail is ok\r"); })) << received;

  const auto entries = Mail(a).Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].status, store::kMailNew);
  EXPECT_EQ(entries[0].to, "DB2BBB");
  EXPECT_EQ(entries[0].from, "");
  EXPECT_EQ(entries[0].subject, "Meeting on ../../etc");
  EXPECT_EQ(entries[0].date.size(), 16u);
  EXPECT_TRUE(entries[0].date.starts_with(core::DateText(a.app->toolkit().localTime()))) << entries[0].date;
  std::ifstream in(Mail(a).TextPath(entries[0].number), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "Hello Anna,\n//d\nsee you at \x01" "eight.\n");
  EXPECT_FALSE(Received("Sorry"));  // "//d" never ran
  EXPECT_TRUE(a.main()->mailBlinking());

  // Lines after the mail are commands again.
  received.clear();
  cb->SendText("//m\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Enter your message"); })) << received;
  EXPECT_EQ(Mail(a).Entries().size(), 2u);
}

// No station can fill the disk: a text over 64 KiB is taken up to "NNNN"
// but not stored, and while the operator has 100 unread mails "//M" is
// refused.
TEST_F(MailStation, MailOfAStationIsBounded) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  Collect(cb);
  cb->SendText("//m Big\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Enter your message"); })) << received;
  const std::string line(99, 'x');
  std::string text;
  for (int i = 0; i < 660; ++i) text += line + "\r";  // 66,000 bytes
  cb->SendText(text + "//d\rNNNN\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Mail too long, not stored: at most 65536 bytes\r"); },
                             10 * 60'000))
      << received.substr(received.size() > 200 ? received.size() - 200 : 0);
  EXPECT_TRUE(Mail(a).Entries().empty());
  EXPECT_FALSE(fs::exists(Mail(a).TextPath(0)));
  EXPECT_FALSE(Received("Sorry"));  // "//d" was part of the mail

  // Lines after it are commands again; with 100 unread mails no mail is taken.
  std::ofstream dat(a.dir / "log" / "MAIL.DAT", std::ios::binary);
  for (int n = 0; n < 100; ++n)
    dat << "2\t" << n << "\t01.03.2026 09:00\t" << std::string(40, ' ') << "\tDL9XX\tOld\n";
  dat.close();
  received.clear();
  cb->SendText("//m One more\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Cannot take mail at the moment"); })) << received;
  EXPECT_EQ(Mail(a).Entries().size(), 100u);
}

TEST_F(MailStation, AMailCutOffByTheDisconnectIsNotOffered) {
  Terminal& a = Station("DA1AAA");
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = ConnectPair(b, a);
  ASSERT_TRUE(cb);
  Collect(cb);
  cb->SendText("//m Half\r");
  ASSERT_TRUE(ether.RunUntil([&] { return Received("Enter your message"); })) << received;
  cb->SendText("only a part\r");
  ASSERT_TRUE(ether.RunUntil([&] {
    const auto e = Mail(a).Entries();
    std::ifstream in(Mail(a).TextPath(0));
    return e.size() == 1 && std::string(std::istreambuf_iterator<char>(in), {}) == "only a part\n";
  }));
  cb->Disconnect(false);
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0; }));
  EXPECT_EQ(Mail(a).Entries().at(0).status, store::kMailIncomplete);
  EXPECT_FALSE(a.main()->mailBlinking());
  // What the next start does with it.
  EXPECT_EQ(Mail(a).CleanUp(), store::kMailNone);
  EXPECT_TRUE(Mail(a).Entries().empty());
}

}  // namespace
}  // namespace tarvik::test
