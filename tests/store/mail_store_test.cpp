// The mail store: the bytes of "MAIL.DAT" and of the message files, new
// numbers, status changes, the send queue, deleting and the start-up
// clean-up; hostile texts from other stations; a mail received line by line.

#include "store/mail_store.h"

#include <gtest/gtest.h>

#include <sstream>

#include "store/mail_capture.h"
#include "store_fixture.h"

namespace tarvik::store {
namespace {

using testing::LogDir;

ui::LocalTime Noon() { return ui::LocalTime{2026, 3, 7, 12, 5, 0, 6}; }

// Reads a directory as its format says, independently of the store: six
// fields split at TAB, the addressee exactly 40 characters.
struct ReadLine {
  std::string status, number, date, to, from, subject;
};
std::vector<ReadLine> ReadDirectory(const std::string& bytes) {
  std::vector<ReadLine> lines;
  std::istringstream in(bytes);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::size_t at = 0;
    for (;;) {
      const std::size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    EXPECT_EQ(f.size(), 6u) << line;
    if (f.size() != 6) continue;
    EXPECT_EQ(f[3].size(), 40u) << line;
    lines.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
  }
  return lines;
}

class MailStoreTest : public LogDir {
 protected:
  MailStore store() const { return MailStore(prefix(), Noon); }
};

TEST_F(MailStoreTest, DirectoryAndMessageFilesAreWrittenByteForByte) {
  MailStore mail = store();
  const auto first = mail.NewIncoming("", "DL1ABC", "DB0XYZ", "Hello there");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number, 0);
  EXPECT_EQ(first->path, prefix() + "MAIL0000.TXT");
  const auto second = mail.NewIncoming("01.02.2026 03:04", "DL2QQ", "", "");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->number, 1);
  ASSERT_TRUE(mail.SetStatus(0, kMailNew));

  const std::string pad34(34, ' ');
  EXPECT_EQ(read("MAIL.DAT"),
            "2\t0\t07.03.2026 12:05\tDL1ABC" + pad34 + "\tDB0XYZ\tHello there\n"
            "3\t1\t01.02.2026 03:04\tDL2QQ" + pad34 + " \t\t\n");

  // A message written here: its text copied, status 4, no sender.
  write("draft.tmp", "line one\nNNNN\n");
  const auto out = mail.NewOutgoing("DK5ZZ @ DB0ABC", "Re:Hello there", prefix() + "draft.tmp");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->number, 2);
  EXPECT_EQ(read("MAIL0002.TXT"), "line one\nNNNN\n");
  const auto lines = ReadDirectory(read("MAIL.DAT"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].status, "4");
  EXPECT_EQ(lines[2].number, "2");
  EXPECT_EQ(lines[2].date, "07.03.2026 12:05");
  EXPECT_EQ(lines[2].to, "DK5ZZ @ DB0ABC" + std::string(26, ' '));
  EXPECT_EQ(lines[2].from, "");
  EXPECT_EQ(lines[2].subject, "Re:Hello there");
}

TEST_F(MailStoreTest, NewNumbersFillFromBelowThenGrow) {
  struct Case {
    const char* directory;
    int expected;
  };
  const Case cases[] = {
      {"", 0},
      {"1\t0\td\tt\tf\ts\n", 1},
      {"1\t0\td\tt\tf\ts\n1\t1\td\tt\tf\ts\n1\t2\td\tt\tf\ts\n", 3},
      {"1\t1\td\tt\tf\ts\n1\t2\td\tt\tf\ts\n", 0},  // 0 was deleted
      {"1\t7\td\tt\tf\ts\n1\t3\td\tt\tf\ts\n", 2},
      {"1\t0\td\tt\tf\ts\n1\t9999\td\tt\tf\ts\n", 1},  // past the highest: the lowest free
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    write("MAIL.DAT", c.directory);
    const auto mail = store().NewIncoming("", "A", "B", "C");
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->number, c.expected);
  }
}

TEST_F(MailStoreTest, StatusAddresseeSummaryAndSendQueue) {
  write("MAIL.DAT",
        "4\t0\t01.01.2026 10:00\tDL1AAA                                  \t\tFirst\n"
        "1\t1\t01.01.2026 10:01\tME                                      \tDL1AAA\tOld\n"
        "4\t2\t01.01.2026 10:02\tDL2BBB                                  \t\tSecond\n");
  MailStore mail = store();
  EXPECT_EQ(mail.Summary(), kMailSome);

  // The queue in file order; sent mail leaves it.
  auto next = mail.NextToSend();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->number, 0);
  EXPECT_EQ(next->to, "DL1AAA");
  EXPECT_EQ(next->subject, "First");
  EXPECT_EQ(next->path, prefix() + "MAIL0000.TXT");
  EXPECT_EQ(mail.SetStatus(0, kMailSent), kMailSome);
  next = mail.NextToSend();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->number, 2);
  EXPECT_EQ(mail.SetStatus(2, kMailSent), kMailSome);
  EXPECT_FALSE(mail.NextToSend());
  EXPECT_EQ(mail.CleanUpForSending(), 0);

  EXPECT_EQ(mail.SetStatus(1, kMailNew), kMailHasNew);
  EXPECT_FALSE(mail.SetStatus(42, kMailNew));  // no such message
  EXPECT_TRUE(mail.SetAddressee(1, "ME @ DB0HOME.#BAY.DEU.EU"));
  EXPECT_EQ(read("MAIL.DAT"),
            "5\t0\t01.01.2026 10:00\tDL1AAA                                  \t\tFirst\n"
            "2\t1\t01.01.2026 10:01\tME @ DB0HOME.#BAY.DEU.EU                \tDL1AAA\tOld\n"
            "5\t2\t01.01.2026 10:02\tDL2BBB                                  \t\tSecond\n");
}

TEST_F(MailStoreTest, CleanUpDropsIncompleteLinesAndKeepsTheirText) {
  write("MAIL.DAT",
        "3\t0\td\tt\tf\tbeing received\n"
        "5\t1\td\tt\tf\tsent\n"
        "this line is no mail line\n");
  write("MAIL0000.TXT", "half a mail\n");
  MailStore mail = store();
  EXPECT_EQ(mail.CleanUp(), kMailSome);  // a line remains
  EXPECT_EQ(read("MAIL.DAT"), "5\t1\td\tt\tf\tsent\nthis line is no mail line\n");
  EXPECT_EQ(read("MAIL0000.TXT"), "half a mail\n");

  write("MAIL1.TXT", "");
  write("MAIL0001.TXT", "sent text");
  EXPECT_EQ(mail.Delete(1), kMailNone);
  EXPECT_FALSE(std::filesystem::exists(dir / "MAIL0001.TXT"));
  EXPECT_EQ(read("MAIL.DAT"), "this line is no mail line\n");
  EXPECT_FALSE(mail.Delete(1));
}

TEST_F(MailStoreTest, MissingOrInterruptedDirectory) {
  MailStore mail = store();
  EXPECT_TRUE(mail.Entries().empty());
  EXPECT_EQ(mail.Summary(), kMailNone);
  EXPECT_EQ(mail.CleanUp(), kMailNone);
  EXPECT_FALSE(std::filesystem::exists(dir / "MAIL.DAT"));

  // A rewrite interrupted after moving the directory aside: it is still read.
  write("MAIL.$$$", "2\t5\td\tt\tf\ts\n");
  EXPECT_EQ(mail.Summary(), kMailHasNew);
  ASSERT_TRUE(mail.SetStatus(5, kMailRead));
  EXPECT_EQ(read("MAIL.DAT"), "1\t5\td\tt\tf\ts\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "MAIL.$$$"));
  EXPECT_EQ(fileCount(), 1u);  // no temporary left
}

TEST_F(MailStoreTest, ADirectoryThatCannotBeReadIsNeverReplaced) {
  // The name leads to something that is no file: every change refuses
  // instead of writing a directory of one line in its place.
  std::filesystem::create_directories(dir / "elsewhere");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "MAIL.DAT");
  MailStore mail = store();
  EXPECT_TRUE(mail.Entries().empty());
  EXPECT_FALSE(mail.NewIncoming("", "A", "B", "C"));
  EXPECT_FALSE(mail.SetAddressee(0, "A"));
  EXPECT_FALSE(mail.CleanUp());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "MAIL.DAT"));
}

TEST_F(MailStoreTest, HostileTextsStayInTheirFields) {
  MailStore mail = store();
  const std::string longText(5000, 'x');
  struct Case {
    std::string to, from, subject;
  };
  const Case cases[] = {
      {"A\tB", "C\nD", "E\rF"},
      {"../../etc/passwd", "..", "/tmp/x"},
      {longText, longText, longText},
      {std::string("\0\x01\x7f", 3), std::string("\x1b[2J"), ""},
  };
  for (const Case& c : cases) {
    const auto m = mail.NewIncoming("", c.to, c.from, c.subject);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->path, mail.TextPath(m->number));
  }
  const auto lines = ReadDirectory(read("MAIL.DAT"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].to.substr(0, 3), "A B");
  EXPECT_EQ(lines[0].from, "C D");
  EXPECT_EQ(lines[0].subject, "E F");
  EXPECT_EQ(lines[1].to.substr(0, 16), "../../etc/passwd");
  EXPECT_EQ(lines[2].from.size(), kMailFromLimit);
  EXPECT_EQ(lines[2].subject.size(), kMailSubjectLimit);
  EXPECT_EQ(lines[3].from, " [2J");
  // Only the directory: nothing was made from the texts.
  EXPECT_EQ(fileCount(), 1u);
}

TEST_F(MailStoreTest, ReadsUntrustedDirectoryLines) {
  struct Case {
    std::string line;
    bool mail;
    int number;
    std::string subject;
  };
  const Case cases[] = {
      {"2\t17\td\tto\tfrom\tsubject", true, 17, "subject"},
      {"2\t17\td\tto\tfrom\tsub\tject with tab", true, 17, "sub\tject with tab"},
      {"2\t17", true, 17, ""},
      {"2\t17\r", true, 17, ""},
      {"2\t10000\td\tt\tf\ts", false, 0, ""},
      {"2\t-1\td\tt\tf\ts", false, 0, ""},
      {"x\t1\td\tt\tf\ts", false, 0, ""},
      {"2", false, 0, ""},
      {"", false, 0, ""},
      {"2\t1" + std::string(100000, 'z'), false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    const auto entry = ParseMailLine(c.line);
    ASSERT_EQ(entry.has_value(), c.mail);
    if (!entry) continue;
    EXPECT_EQ(entry->number, c.number);
    EXPECT_EQ(entry->subject, c.subject);
  }
  // A long line stays whole through a rewrite of another line.
  const std::string longSubject(3000, 's');
  write("MAIL.DAT", "2\t0\td\tt\tf\t" + longSubject + "\n2\t1\td\tt\tf\ts\n");
  ASSERT_TRUE(store().SetStatus(1, kMailRead));
  EXPECT_EQ(read("MAIL.DAT"), "2\t0\td\tt\tf\t" + longSubject + "\n1\t1\td\tt\tf\ts\n");
}

TEST_F(MailStoreTest, CaptureWritesTheTextAndNamesTheAddressee) {
  MailStore mail = store();
  const auto m = mail.NewIncoming("", "DL1ABC", "", "Greetings");
  ASSERT_TRUE(m);
  MailCapture capture;
  ASSERT_TRUE(capture.Begin(mail, *m, "DL1ABC", {"From:", "To:"}));
  EXPECT_EQ(capture.Line("To:  DL1ABC @ DB0XYZ.#BAY.DEU.EU (Hans)"), MailCapture::Result::Stored);
  EXPECT_EQ(capture.Line("From DL9XX: not a header"), MailCapture::Result::Stored);
  EXPECT_EQ(capture.Line("Hello\tworld"), MailCapture::Result::Stored);
  EXPECT_EQ(mail.Find(m->number)->status, kMailIncomplete);
  EXPECT_EQ(capture.Line("NNNN"), MailCapture::Result::Ended);
  EXPECT_FALSE(capture.active());
  EXPECT_EQ(read("MAIL0000.TXT"),
            "To:  DL1ABC @ DB0XYZ.#BAY.DEU.EU (Hans)\nFrom DL9XX: not a header\nHello\tworld\n");
  const auto entry = mail.Find(m->number);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->status, kMailNew);
  EXPECT_EQ(entry->to, "DL1ABC @ DB0XYZ.#BAY.DEU.EU");
}

// A capture with a limit: a text that reaches the limit exactly is kept; one
// line more gives the text up, the lines up to "NNNN" are still taken, and
// then the mail leaves the store with its text file.
TEST_F(MailStoreTest, ACaptureWithALimitKeepsOrDropsTheWholeMail) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<MailCapture::Result> results;
    bool kept;
  };
  using R = MailCapture::Result;
  const std::vector<Case> cases = {
      {{"12345", "1234"}, {R::Stored, R::Stored, R::Ended}, true},  // 6 + 5 bytes: the limit
      {{"12345", "12345"}, {R::Stored, R::TooLong, R::Dropped}, false},
      {{"123456789012"}, {R::TooLong, R::Dropped}, false},
      {{"1234567890", "x", "more", "after"}, {R::Stored, R::TooLong, R::Stored, R::Stored, R::Dropped}, false},
  };
  for (const Case& c : cases) {
    MailStore mail = store();
    const auto m = mail.NewIncoming("", "DL1ABC", "", "Limited");
    ASSERT_TRUE(m);
    MailCapture capture;
    ASSERT_TRUE(capture.Begin(mail, *m, "DL1ABC", {}, 11));
    std::vector<R> results;
    for (const std::string& line : c.lines) results.push_back(capture.Line(line));
    results.push_back(capture.Line("NNNN"));
    EXPECT_EQ(results, c.results) << c.lines.front();
    EXPECT_FALSE(capture.active());
    EXPECT_EQ(mail.Find(m->number).has_value(), c.kept) << c.lines.front();
    EXPECT_EQ(std::filesystem::exists(mail.TextPath(m->number)), c.kept) << c.lines.front();
    if (c.kept) {
      EXPECT_EQ(read("MAIL0000.TXT"), "12345\n1234\n");
    }
    mail.Delete(m->number);
  }
}

TEST(MailHeader, AddresseeOfHeaderLines) {
  const std::vector<std::string> from = {"From:", "Von:"};
  struct Case {
    const char* line;
    const char* named;  // nullptr: not a header
  };
  const Case cases[] = {
      {"From: DL1ABC @ DB0AAA (Otto)", "DL1ABC @ DB0AAA"},
      {"Von:    DL1ABC", "DL1ABC"},
      {"From:DL1ABC", nullptr},  // no blank
      {"From: DL2XYZ", nullptr},  // another call
      {"To: DL1ABC", nullptr},
      {"From: ", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto named = HeaderAddressee(c.line, from, "DL1ABC");
    ASSERT_EQ(named.has_value(), c.named != nullptr);
    if (named) {
      EXPECT_EQ(*named, c.named);
    }
  }
  const std::string longName = "From: DL1ABC" + std::string(100, 'y');
  EXPECT_EQ(HeaderAddressee(longName, from, "DL1ABC")->size(), kMailAddresseeLimit);
}

}  // namespace
}  // namespace tarvik::store
