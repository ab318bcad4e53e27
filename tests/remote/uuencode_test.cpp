// Uuencoded files: the line format and its checksum, GNU sharutils on the
// other end, the receiver's handling of hostile lines and names, and two
// whole stations moving a file with //GB and the operator's Send binary.
#include <gtest/gtest.h>
#include <unistd.h>

#include "remote/transfer_fixture.h"
#include "remote/uu_receiver.h"
#include "remote/uu_sender.h"
#include "remote/uuencode.h"

namespace tarvik::remote::test {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Everything the encoder gives for a file: lines without their CR.
std::vector<std::string> EncodeFile(const fs::path& path) {
  auto encoder = UuencodeEncoder();
  std::string all = encoder->Begin(path.string());
  std::FILE* f = std::fopen(path.c_str(), "rb");
  for (std::string block; !(block = encoder->Block(f, 516)).empty();) {
    EXPECT_LE(block.size(), 516u);
    all += block;
  }
  std::fclose(f);
  all += encoder->End();
  std::vector<std::string> lines;
  std::stringstream in(all);
  for (std::string line; std::getline(in, line, '\r');) lines.push_back(line);
  return lines;
}

class UuFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_uu_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "save");
    fs::create_directories(dir / "tmp");
    save = (dir / "save").string() + "/";
  }
  void TearDown() override { fs::remove_all(dir); }

  // Feeds lines to a receiver; the last event.
  UuEvent Receive(UuReceiver& r, const std::vector<std::string>& lines) {
    UuEvent last;
    for (const std::string& line : lines) last = r.Line(line, save, save, [this] { return temp(); });
    return last;
  }
  std::string temp() { return (dir / "tmp" / ("t" + std::to_string(++temps))).string(); }

  fs::path dir;
  std::string save;
  int temps = 0;
};

TEST_F(UuFiles, LinesOfTheFormat) {
  // A file of 0 bytes: the begin line and the end line with the checksum of
  // both texts; 46 bytes: a full line ("M") and one of a single byte ("!").
  WriteFile(dir / "empty", "");
  auto lines = EncodeFile(dir / "empty");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "begin 0666 empty");
  EXPECT_EQ(lines[1], "end [" + UuChecksumText(UuCrc("end", UuCrc("begin 0666 empty"))) + "]");
  // CRC-16/ARC of "123456789" is 0xbb3d.
  EXPECT_EQ(UuCrc("123456789"), 0xbb3d);

  WriteFile(dir / "f46", std::string(46, 'x'));
  lines = EncodeFile(dir / "f46");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1][0], 'M');
  EXPECT_EQ(lines[1].size(), 61u);
  EXPECT_EQ(lines[2][0], '!');
  EXPECT_EQ(lines[2].size(), 5u);
  // Zero values go out as blanks.
  EXPECT_EQ(UuEncodeLine(Bytes(std::string(3, '\0'))), "#    ");
}

TEST_F(UuFiles, RoundTripAndChecksumDecideWhatIsStored) {
  const std::string data = RandomData(10'000, 1);
  WriteFile(dir / "prog.bin", data);
  const auto lines = EncodeFile(dir / "prog.bin");

  UuReceiver r;
  UuEvent e = Receive(r, lines);
  EXPECT_EQ(e.kind, UuEvent::Kind::Good) << e.text;
  EXPECT_EQ(e.text, "Binary file " + save + "prog.bin is ok");
  EXPECT_EQ(ReadFile(save + "prog.bin"), data);
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));  // the temporary file is gone

  // A damaged line: the checksum says so, the file stored before stays.
  auto damaged = lines;
  damaged[5][10] = damaged[5][10] == 'A' ? 'B' : 'A';
  e = Receive(r, damaged);
  EXPECT_EQ(e.kind, UuEvent::Kind::Bad);
  EXPECT_EQ(e.text.rfind("Binary file " + save + "prog.bin is NOT ok (", 0), 0u) << e.text;
  EXPECT_EQ(ReadFile(save + "prog.bin"), data);

  // The checksum in upper-case hexadecimal is not the same text.
  auto upper = lines;
  for (char& c : upper.back()) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  upper.back().replace(0, 3, "end");
  const bool hasLetters = upper.back() != lines.back();
  e = Receive(r, upper);
  EXPECT_EQ(e.kind, hasLetters ? UuEvent::Kind::Bad : UuEvent::Kind::Good);

  // Without a checksum the file is taken as it is.
  auto plain = lines;
  plain.back() = "end";
  e = Receive(r, plain);
  EXPECT_EQ(e.kind, UuEvent::Kind::Good);
  EXPECT_EQ(e.text, "Binary file " + save + "prog.bin is ok without CRC");
}

TEST_F(UuFiles, ChatIsNoFileAndNamesStayInTheSaveDirectory) {
  UuReceiver r;
  for (const char* chat : {"let us begin now", "begin", "begin 644", "begins 644 x", "begin abc x"})
    EXPECT_EQ(r.Line(chat, save, save, [this] { return temp(); }).kind, UuEvent::Kind::Pass) << chat;
  EXPECT_FALSE(r.receiving());

  const struct {
    std::string name;
    std::string stored;  // empty: refused
  } names[] = {
      {"../../etc/passwd", "passwd"},
      {"/etc/shadow", "shadow"},
      {"..\\..\\boot.ini", "boot.ini"},
      {"..", ""},
      {"a\x01" "b", ""},
      {std::string(200, 'n'), ""},
  };
  for (const auto& n : names) {
    const UuEvent e = r.Line("begin 644 " + n.name, save, save, [this] { return temp(); });
    if (n.stored.empty()) {
      EXPECT_EQ(e.kind, UuEvent::Kind::CannotOpen) << n.name;
      EXPECT_EQ(e.text.find('\x01'), std::string::npos);
      continue;
    }
    ASSERT_EQ(e.kind, UuEvent::Kind::Started) << n.name;
    EXPECT_EQ(r.target(), save + n.stored);
    r.Line("#86)C", save, save, {});
    EXPECT_EQ(r.Line("end", save, save, {}).kind, UuEvent::Kind::Good);
    EXPECT_EQ(ReadFile(save + n.stored), "abc");
  }
  // A data line containing "end" or "begin" is data.
  const std::string data = "xxxend yyybeginzz";
  WriteFile(dir / "d", data);
  auto lines = EncodeFile(dir / "d");
  lines.insert(lines.begin() + 1, 1, UuEncodeLine(Bytes(std::string(45, '\0'))));
  lines[1].replace(10, 3, "end");
  UuEvent e = Receive(r, lines);
  EXPECT_EQ(e.kind, UuEvent::Kind::Bad);  // changed, so the checksum tells
  EXPECT_FALSE(r.receiving());
}

// GNU uuencode's output (backquotes for zero, a zero-length line, no
// checksum) arrives whole; our data lines decode with GNU uudecode.
TEST_F(UuFiles, GnuSharutilsOnTheOtherEnd) {
  const std::string uuencode = Program("uuencode"), uudecode = Program("uudecode");
  if (uuencode.empty() || uudecode.empty()) GTEST_SKIP() << "sharutils not installed";
  for (const std::size_t size : {0u, 1u, 45u, 46u, 4096u, 100'003u}) {
    const std::string data = RandomData(size, static_cast<unsigned>(size) + 7);
    WriteFile(dir / "in.bin", data);
    const std::string encoded = (dir / "gnu.uue").string();
    ASSERT_EQ(std::system((uuencode + " " + (dir / "in.bin").string() + " gnu.bin > " + encoded).c_str()), 0);
    std::vector<std::string> lines;
    std::ifstream in(encoded);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    UuReceiver r;
    const UuEvent e = Receive(r, lines);
    EXPECT_EQ(e.kind, UuEvent::Kind::Good) << size << ": " << e.text;
    EXPECT_EQ(ReadFile(save + "gnu.bin"), data) << size;

    // Ours, with GNU's own end line: uudecode gives the same bytes.
    auto ours = EncodeFile(dir / "in.bin");
    ours.back() = "`\nend";
    ours.front() = "begin 644 " + (dir / "decoded.bin").string();
    std::string text;
    for (const std::string& line : ours) text += line + "\n";
    WriteFile(dir / "ours.uue", text);
    ASSERT_EQ(std::system((uudecode + " " + (dir / "ours.uue").string()).c_str()), 0) << size;
    EXPECT_EQ(ReadFile(dir / "decoded.bin"), data) << size;
  }
}

class UuStations : public TransferFixture {};

TEST_F(UuStations, GetUuencodedAndSendBinaryBetweenTwoStations) {
  Connect();
  const std::string data = RandomData(20'000, 3);
  WriteFile(a->dir / "pub" / "prog.bin", data);
  // B fetches it: A sends it uuencoded; B's receiver (AUTOBIN on) stores it
  // and tells A.
  chB->Command(channels::kChAutobin);
  ASSERT_TRUE(chB->autobin());
  FromB("//gb prog.bin");
  const std::string storedAtB = (b->dir / "save" / "prog.bin").string();
  ASSERT_TRUE(Wait([&] { return atA.find("is ok\r") != std::string::npos; })) << atA;
  EXPECT_NE(atA.find("Save binary file to " + storedAtB + "\r"), std::string::npos) << atA;
  EXPECT_NE(atA.find("Binary file " + storedAtB + " is ok\r"), std::string::npos);
  EXPECT_EQ(ReadFile(storedAtB), data);
  EXPECT_NE(atB.find("begin 0666 prog.bin\r"), std::string::npos);
  // A name from outside the remote directory is not found.
  atB.clear();
  FromB("//gb ../save/x");
  ASSERT_TRUE(Wait([&] { return atB.find("File not found") != std::string::npos; })) << atB;

  // B's operator sends a file uuencoded (SNDBIN); A receives it once its
  // switch is on (the station's //BI on), with the progress window at B.
  FromB("//bi on");
  ASSERT_TRUE(Wait([&] { return chA->autobin(); }));
  const std::string back = RandomData(7'000, 4);
  WriteFile(b->dir / "back.bin", back);
  tk.queueFileDialogAnswer((b->dir / "back.bin").string());
  chB->Command(channels::kChSndBin);
  const auto windows = chB->runtime().windowsOf(1160);
  ASSERT_EQ(windows.size(), 1u);
  const std::string storedAtA = (a->dir / "save" / "back.bin").string();
  ASSERT_TRUE(Wait([&] { return ReadFile(storedAtA) == back; }));
  // The window sums up in B's pane and closes itself.
  ASSERT_TRUE(Wait([&] { return chB->runtime().windowsOf(1160).empty(); }));
  EXPECT_TRUE(PaneHas(chB, {"<Tarvik send file> back.bin", ui::kBlue}));
  bool summary = false;
  for (const auto& line : Pane(chB))
    summary |= line.colour == ui::kBlue && line.text.rfind("7000 Bytes sent in ", 0) == 0;
  EXPECT_TRUE(summary);

  // The operator's text file (SND) has the progress window too.
  WriteFile(b->dir / "note.txt", "line one\nline two\n");
  tk.queueFileDialogAnswer((b->dir / "note.txt").string());
  chB->Command(channels::kChSnd);
  EXPECT_EQ(chB->runtime().windowsOf(1160).size(), 1u);
  ASSERT_TRUE(Wait([&] { return PaneHas(chB, {"<Tarvik send file> note.txt", ui::kBlue}); }));
  ASSERT_TRUE(Wait([&] { return chB->runtime().windowsOf(1160).empty(); }));
  bool textSummary = false;
  for (const auto& line : Pane(chB)) textSummary |= line.text.rfind("18 Bytes sent in ", 0) == 0;
  EXPECT_TRUE(textSummary);
}

}  // namespace
}  // namespace tarvik::remote::test
