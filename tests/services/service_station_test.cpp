// Service libraries in whole stations: a visitor lists the services with
// "//S", opens one and talks to it until it ends or the visitor leaves.
#include <gtest/gtest.h>

#include <string>

#include "channels/terminal_fixture.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;

// Level 1 (every first-time visitor) may use services and nothing else.
constexpr const char* kVisitorAccess = "000000000000000000000010";

class ServiceStation : public TerminalFixture {
 protected:
  // The station offering the example game and the test services.
  Terminal& Host() {
    const std::string bin = TARVIK_BINARY_DIR;
    stationIni = [bin](const std::string&) {
      return "[SERVICES]\nSRV-0=GUESS;" + bin + "/station-services/guess.so;Guess a number\nSRV-1=PICKY;" + bin +
             "/test-services/test_service_picky.so;Members only\nSRV-2=RUDE;" + bin +
             "/test-services/test_service_rude.so;Misbehaves\n";
    };
    Terminal& t = AddStation("DA1AAA", true);
    stationIni = nullptr;
    t.app->config().SetLevelRecord(1, (t.dir / "tmp").string() + "/", kVisitorAccess);
    return t;
  }
  // A visitor connected to `host`, past the welcome.
  ChannelWindow* Visit(Terminal& visitor, Terminal& host) {
    ChannelWindow* ch = ConnectPair(visitor, host);
    if (!ch) return nullptr;
    ch->setObserver({.data = [this](std::span<const std::uint8_t> bytes) {
      received.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }});
    ether.Run(5000);
    received.clear();
    return ch;
  }
  // Sends a line and waits for `answer`.
  bool Ask(ChannelWindow* ch, const std::string& line, const std::string& answer) {
    received.clear();
    ch->SendText(line + "\r");
    return ether.RunUntil([&] { return received.find(answer) != std::string::npos; });
  }

  std::string received;
};

TEST_F(ServiceStation, AVisitorListsPlaysTheGameAndLeaves) {
  Terminal& a = Host();
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = Visit(b, a);
  ASSERT_TRUE(cb);
  // The list, its final line end, and the empty reply after a file.
  const auto line = [](const std::string& start, const std::string& description) {
    return start + description + std::string(64 - description.size(), ' ') + "\r";
  };
  const std::string list = "Service      Ver. Name            \r" + std::string(49, '-') + "\r" +
                           line("GUESS        1.00 ", "Guess a number") + line("PICKY        1.05 ", "Members only") +
                           line("RUDE         2.00 ", "Misbehaves") + "\r\r";
  ASSERT_TRUE(Ask(cb, "//S", list)) << received;
  EXPECT_EQ(received, list);
  ASSERT_TRUE(Ask(cb, "//S GUESS", "Your guess? (Q leaves)\r")) << received;
  EXPECT_EQ(received, "Hello DB2BBB! I think of a number from 1 to 100. Players now: 1. Your guess? (Q leaves)\r");
  // While the game runs, commands are the game's.
  ASSERT_TRUE(Ask(cb, "//V", "Send a number from 1 to 100")) << received;
  int low = 1, high = 100, tries = 0;
  for (;;) {
    ASSERT_LT(++tries, 8);
    const int guess = (low + high) / 2;
    ASSERT_TRUE(Ask(cb, std::to_string(guess), "\r")) << received;
    if (received.starts_with("Right, it is " + std::to_string(guess) + "!")) break;
    if (received == std::to_string(guess) + " is too low.\r") low = guess + 1;
    else if (received == std::to_string(guess) + " is too high.\r") high = guess - 1;
    else FAIL() << received;
  }
  // The visitor leaves in the middle of the next game: the library hears
  // it, and the next player is the only one.
  ASSERT_TRUE(Ask(cb, "50", " is too ")) << received;
  cb->Disconnect(true);
  ASSERT_TRUE(ether.RunUntil([&] { return a.openChannels() == 0; }));
  Terminal& c = AddStation("DC3CCC");
  ChannelWindow* cc = Visit(c, a);
  ASSERT_TRUE(cc);
  EXPECT_TRUE(Ask(cc, "//S GUESS", "Players now: 1.")) << received;
}

TEST_F(ServiceStation, QuittingTheGameGivesTheCommandsBack) {
  Terminal& a = Host();
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = Visit(b, a);
  ASSERT_TRUE(cb);
  ASSERT_TRUE(Ask(cb, "//S GUESS", "(Q leaves)\r"));
  ASSERT_TRUE(Ask(cb, "q", "Thanks for playing. 73!\r"));
  // The prompt (empty here) follows the library's goodbye; "//S" is a
  // command again.
  ASSERT_TRUE(Ask(cb, "//S NOPE", "\r")) << received;
  EXPECT_EQ(received, "unkowen service\r\r");
}

TEST_F(ServiceStation, RefusalsAndUnknownNamesAreRepliesAndOpenNothing) {
  Terminal& a = Host();
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = Visit(b, a);
  ASSERT_TRUE(cb);
  // Names from the air: compared exactly, cut at a blank and to 11
  // characters, never a format, a path or a second command.
  const std::string hostile[] = {"PICKY",  "guess",           "GUESS%s%n", "../GUESS", "GUESSGUESSGUESS",
                                 "GUE\tSS", "\x01GUESS",      "GUESS\x7f", "%%",       std::string(300, 'A')};
  for (const std::string& name : hostile) {
    const std::string expected = name == "PICKY" ? "Members only, sorry\r\r" : "unkowen service\r\r";
    ASSERT_TRUE(Ask(cb, "//S " + name, "\r\r")) << name;
    EXPECT_EQ(received, expected) << name;
  }
  // Still the commands' channel: nothing was opened.
  ASSERT_TRUE(Ask(cb, "//S BOGUS", "\r\r"));
  EXPECT_EQ(received, "unkowen service\r\r");
}

TEST_F(ServiceStation, WhatALibraryGetsWrongNeverReachesTheStation) {
  Terminal& a = Host();
  Terminal& b = AddStation("DB2BBB");
  ChannelWindow* cb = Visit(b, a);
  ASSERT_TRUE(cb);
  // Its greeting fills the whole text field without an end.
  ASSERT_TRUE(Ask(cb, "//S RUDE", "\r")) << received;
  EXPECT_EQ(received, std::string(129, 'x') + "\r");
  // Blocks with a bad length or for another window, and an end for
  // another window, are dropped; the echo goes out.
  ASSERT_TRUE(Ask(cb, "hello", "hello\r")) << received;
  ether.Run(1000);
  EXPECT_EQ(received, "hello\r");
  // A wrong notify code is ignored, the right one ends the service.
  ASSERT_TRUE(Ask(cb, "bye", "bye\r\r")) << received;
  ASSERT_TRUE(Ask(cb, "//S BOGUS", "unkowen service\r")) << received;
}

}  // namespace
}  // namespace tarvik::test
