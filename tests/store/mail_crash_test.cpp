// A station killed (SIGKILL) while it writes mail and logbook entries, 50
// times over: the mail directory always reads whole, every message it
// offers (new or read) has its whole text, the logbook holds only whole
// lines, and both go on working after each kill.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/atomic_file.h"
#include "store/logbook.h"
#include "store/mail_capture.h"
#include "store/mail_store.h"

namespace tarvik::store {
namespace {

namespace fs = std::filesystem;

constexpr int kTextLines = 20;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TextOf(const std::string& subject) {
  std::string text;
  for (int k = 0; k < kTextLines; ++k) text += "line " + std::to_string(k) + " of " + subject + "\n";
  return text;
}

// A finished connection as the logbook notes it.
std::string LogLine(const std::string& subject) {
  char line[160];
  std::snprintf(line, sizeof line, "%-12.12s Ch %1.1s,%-12.12s  %-16.16s - %-16.16s %-32.32s\n", "DB0BOX", "1",
                "438.300", "07.03.2026 12:05", "12:09", subject.c_str());
  return line;
}

// The writer: receives mail, reads it, deletes the oldest, notes each
// connection in the logbook, until killed.
[[noreturn]] void WriteMailForever(const std::string& logPath, int round) {
  MailStore mail(logPath);
  const std::string logbook = LogbookPath(logPath, "DL1ABC");
  for (long i = 0;; ++i) {
    const std::string subject = "mail " + std::to_string(round) + "." + std::to_string(i);
    const auto m = mail.NewIncoming("", "DL1ABC", "DB0BOX", subject);
    if (!m) ::_exit(2);
    MailCapture capture;
    if (!capture.Begin(mail, *m, "DL1ABC", {})) ::_exit(3);
    for (int k = 0; k < kTextLines; ++k) capture.Line("line " + std::to_string(k) + " of " + subject);
    if (capture.Line("NNNN") != MailCapture::Result::Ended) ::_exit(4);
    if (i % 2) mail.SetStatus(m->number, kMailRead);
    const auto entries = mail.Entries();
    if (entries.size() > 5) mail.Delete(entries.front().number);
    if (!AppendLogbookLine(logbook, LogLine(subject))) ::_exit(5);
  }
}

TEST(MailCrash, KilledWriterLeavesAWholeStore) {
  // A kill stops the process, not the machine: memory files behave the same
  // and keep the rounds fast.
  std::error_code ec;
  const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path dir = base / ("tvk_mailcrash_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string logPath = dir.string() + "/";
  const fs::path directory = dir / "MAIL.DAT";

  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    const std::string before = Read(directory);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) WriteMailForever(logPath, round);
    // Kill once the writer has changed the directory, after a number of
    // reads that varies with the round, so the kill lands at different
    // moments of its work.
    bool changed = false;
    for (int i = 0; i < 1000000 && !changed; ++i) changed = Read(directory) != before;
    for (int i = 0; i < 7 * (round % 10); ++i) (void)Read(directory);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    ASSERT_TRUE(changed) << "the writer never wrote";

    // Every line of the directory is a whole mail line.
    const std::string bytes = Read(directory);
    ASSERT_TRUE(bytes.empty() || bytes.back() == '\n');
    std::size_t lines = 0;
    for (std::size_t at = 0; at < bytes.size(); at = bytes.find('\n', at) + 1, ++lines)
      EXPECT_TRUE(ParseMailLine(bytes.substr(at, bytes.find('\n', at) - at))) << bytes.substr(at, 80);
    MailStore mail(logPath);
    const auto entries = mail.Entries();
    EXPECT_EQ(entries.size(), lines);
    // What is offered is whole; only a mail still being received may be cut.
    for (const MailEntry& e : entries) {
      if (e.status == kMailIncomplete) continue;
      EXPECT_EQ(Read(mail.TextPath(e.number)), TextOf(e.subject)) << e.subject;
    }
    // The logbook: whole lines, each one the writer wrote.
    const std::string log = Read(LogbookPath(logPath, "DL1ABC"));
    ASSERT_TRUE(log.empty() || log.back() == '\n');
    for (std::size_t at = 0; at < log.size(); at = log.find('\n', at) + 1) {
      const std::string line = log.substr(at, log.find('\n', at) + 1 - at);
      EXPECT_EQ(line, LogLine(line.substr(68, line.find_last_not_of(" \n", line.size()) - 67))) << line;
    }

    // The next start clears the interrupted mail, and the store goes on.
    mail.RemoveStaleTemporaries();
    core::RemoveStaleTemporaries(LogbookPath(logPath, "DL1ABC"));
    ASSERT_TRUE(mail.CleanUp());
    for (const MailEntry& e : mail.Entries()) EXPECT_NE(e.status, kMailIncomplete);
  }
  // No temporary file is left.
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "MAIL.DAT" || name.ends_with(".TXT") || name == "DL1ABC.log") << name;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::store
