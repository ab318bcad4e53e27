// Capture and send on a channel between whole stations: the receive pane
// copied byte for byte into a capture file, a text file sent over the link
// arriving complete, a transmission cancelled half-way, and files that
// cannot be opened. The block building and the dialog starting points are
// checked on their own.

#include <cstdio>
#include <fstream>

#include "channels/capture_send.h"
#include "channels/charset.h"
#include "terminal_fixture.h"

namespace tarvik::test {
namespace {

using channels::ChannelWindow;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(CaptureProposal, IsTheCallWithoutSsidAtMostSevenCharacters) {
  const std::pair<const char*, const char*> cases[] = {
      {"DL1ABC-7", "DL1ABC.txt"}, {"DL1ABC", "DL1ABC.txt"}, {"DB0ABCDE-3", "DB0ABCD.txt"}, {"", ".txt"}};
  for (const auto& [call, name] : cases) EXPECT_EQ(channels::CaptureProposal(call), name) << call;
}

TEST(SendDialogStart, FollowsTheRememberedFileOrTheSaveDirectory) {
  struct Case {
    std::optional<std::string> remembered;
    const char* directory;
    const char* filter;
  } cases[] = {
      {std::string("/home/op/files/news.bin"), "/home/op/files", "*.bin"},
      {std::string("/home/op/v1.2/README"), "/home/op/v1.2", "*"},  // a dot in the directory is no extension
      {std::string(""), "/save", "*.txt"},
      {std::nullopt, "/save", "*.txt"},
  };
  for (const Case& c : cases) {
    const auto start = channels::SendDialogStartFrom(c.remembered, "/save/");
    EXPECT_EQ(start.directory, c.directory) << c.remembered.value_or("(none)");
    EXPECT_EQ(start.filter, c.filter) << c.remembered.value_or("(none)");
  }
}

class TextFileSenderTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove(path_); }
  // The blocks a file gives, until the empty one that ends it.
  std::vector<std::string> Blocks(const std::string& contents, std::vector<std::string>* lines = nullptr) {
    WriteAll(path_, contents);
    channels::TextFileSender sender;
    EXPECT_TRUE(sender.Open(path_.string()));
    std::vector<std::string> blocks;
    for (int guard = 0; guard < 100; ++guard) {
      std::string block = sender.NextBlock(lines);
      if (block.empty()) break;
      blocks.push_back(std::move(block));
    }
    return blocks;
  }
  fs::path path_ = fs::temp_directory_path() / ("tvk_sender_" + std::to_string(::getpid()) + ".txt");
};

TEST_F(TextFileSenderTest, LineEndsBecomeCarriageReturns) {
  std::vector<std::string> lines;
  EXPECT_EQ(Blocks("abc\nde\r\n\nlast", &lines), std::vector<std::string>{"abc\rde\r\rlast"});
  EXPECT_EQ(lines, (std::vector<std::string>{"abc", "de", "", "last"}));
}

TEST_F(TextFileSenderTest, BlocksHoldAtMost516CharactersAndCarryTheRest) {
  const std::string line(200, 'x');
  std::string file;
  for (int i = 0; i < 3; ++i) file += line + "\n";
  const auto blocks = Blocks(file);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].size(), 516u);
  EXPECT_EQ(blocks[1].size(), 3u * 201 - 516);
  EXPECT_EQ(blocks[0] + blocks[1], line + "\r" + line + "\r" + line + "\r");
}

TEST_F(TextFileSenderTest, LongLinesAreReadIn255CharacterPieces) {
  std::vector<std::string> lines;
  const std::string text(300, 'y');
  const auto blocks = Blocks(text, &lines);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], text);  // no line end where there was none
  EXPECT_EQ(lines, (std::vector<std::string>{text.substr(0, 255), text.substr(255)}));
}

TEST_F(TextFileSenderTest, AnEmptyFileEndsAtOnceAndAMissingOneDoesNotOpen) {
  EXPECT_TRUE(Blocks("").empty());
  channels::TextFileSender sender;
  EXPECT_FALSE(sender.Open((fs::temp_directory_path() / "tvk_no_such_dir" / "x.txt").string()));
  EXPECT_FALSE(sender.isOpen());
}

class CaptureSendTest : public TerminalFixture {
 protected:
  // Two connected stations; A's channel has capture and send.
  void SetUp() override {
    a_ = &AddStation("DL1AAA");
    b_ = &AddStation("DB0BBB");
    for (Terminal* t : {a_, b_})
      std::ofstream(t->dir / "TARVIK.MSG", std::ios::app)
          << "2 2 %s: capture to %s runs. Stop?\n1026 2 %s exists. Append?\n";
    a_->addParts = [this](channels::ChannelParts& parts) { parts.push_back(channels::CaptureAndSendPart(*a_->app)); };
    ca_ = ConnectPair(*a_, *b_);
    ASSERT_TRUE(ca_);
    cb_ = b_->channel(0);
    ASSERT_TRUE(cb_);
    cb_->setObserver({.data = [this](std::span<const std::uint8_t> bytes) {
      atB_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }});
  }
  bool Checked(int id) {
    const ui::ControlState* c = tk.control(ca_->id(), ca_->controlOf(id));
    return c && c->checked;
  }
  bool Enabled(int id) {
    const ui::ControlState* c = tk.control(ca_->id(), ca_->controlOf(id));
    return c && c->enabled;
  }
  // Message 7 about `path` was shown (a dialog line keeps only the start
  // of a long path).
  bool NotFoundShown(const std::string& path) {
    const std::string full = "Not found: " + path;
    for (const std::string& d : Dialogs())
      if (d.size() > 20 && full.compare(0, d.size(), d) == 0) return true;
    return false;
  }
  std::string Title() { return tk.specOf(ca_->id())->title; }
  // B sends bytes; A has shown them once they arrived.
  void FromB(const std::string& text, const std::string& shownLast) {
    cb_->SendData({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    ASSERT_TRUE(ether.RunUntil([&] {
      const auto lines = Pane(ca_);
      return !lines.empty() && lines.back().text == shownLast;
    }));
  }

  Terminal* a_ = nullptr;
  Terminal* b_ = nullptr;
  ChannelWindow* ca_ = nullptr;
  ChannelWindow* cb_ = nullptr;
  std::string atB_;
};

TEST_F(CaptureSendTest, TheControlsWorkOnlyNowThatTheirPartIsThere) {
  EXPECT_TRUE(Enabled(channels::kChRcv));
  EXPECT_TRUE(Enabled(channels::kChSnd));
  EXPECT_FALSE(Enabled(channels::kChSndBin));  // uuencoded sending is not built yet
  const ChannelWindow* plain = b_->channel(0);
  const ui::ControlState* rcv = tk.control(plain->id(), plain->controlOf(channels::kChRcv));
  ASSERT_TRUE(rcv);
  EXPECT_FALSE(rcv->enabled);
}

TEST_F(CaptureSendTest, CaptureFileHoldsWhatThePaneShowsByteForByte) {
  for (const bool history : {false, true}) {
    SCOPED_TRACE(history ? "with history" : "without history");
    const fs::path file = a_->dir / (history ? "with.txt" : "without.txt");
    FromB(history ? "before\r" : "earlier\r", history ? "before" : "earlier");
    std::string expected;  // with history: the lines the pane holds now, oldest first
    if (history)
      for (const PaneLine& l : Pane(ca_))
        if (!l.text.empty()) expected += "\n" + l.text;
    tk.queueFileDialogAnswer(file.string());
    ca_->Command(channels::kChRcv, history ? 1 : 0);
    EXPECT_TRUE(Checked(channels::kChRcv));
    EXPECT_EQ(Title(), "1: DL1AAA <-> DB0BBB -> " + file.string());

    // A piece without line end shows at once and is continued in place.
    FromB("abc", "abc");
    FromB("def\rghi\r", "ghi");
    FromB("x\r\n", "x");  // a line feed is dropped

    tk.queueDialogAnswer(1);  // message 2: stop the capture? yes
    ca_->Command(channels::kChRcv);
    ether.Run(100);
    EXPECT_FALSE(Checked(channels::kChRcv));
    EXPECT_EQ(Title(), "1: DL1AAA <-> DB0BBB");

    expected += "\nabcdef\nghi\nx\n";
    EXPECT_EQ(ReadAll(file), expected);
    if (history) {
      EXPECT_NE(expected.find("\nearlier\n"), std::string::npos);
    }
  }
}

TEST_F(CaptureSendTest, CaptureHoldsTheTextAsShownAfterConversion) {
  ca_->Command(channels::kCh7BitGr);  // German 7-bit: brackets and braces are umlauts
  const std::string raw = "Gr{\x7e}e";
  std::string shown = raw;
  channels::ConvertReceived(shown, 0);
  ASSERT_NE(shown, raw);
  const fs::path file = a_->dir / "umlaut.txt";
  tk.queueFileDialogAnswer(file.string());
  ca_->Command(channels::kChRcv);
  FromB(raw + "\r", shown);
  tk.queueDialogAnswer(1);
  ca_->Command(channels::kChRcv);
  ether.Run(100);
  EXPECT_EQ(ReadAll(file), "\n" + shown + "\n");
}

TEST_F(CaptureSendTest, CaptureKeepsRunningWhenTheOperatorDoesNotStopIt) {
  const fs::path file = a_->dir / "keep.txt";
  tk.queueFileDialogAnswer(file.string());
  ca_->Command(channels::kChRcv);
  tk.queueDialogAnswer(0);  // stop? no
  ca_->Command(channels::kChRcv);
  ether.Run(100);
  EXPECT_TRUE(Checked(channels::kChRcv));
  FromB("still\r", "still");
  EXPECT_NE(ReadAll(file).find("\nstill"), std::string::npos);
}

TEST_F(CaptureSendTest, ACaptureThatCannotStartChangesNothing) {
  // Cancelled dialog: nothing; a file that cannot be created: the operator
  // is told, and the channel does not pretend to capture.
  tk.queueFileDialogAnswer(std::nullopt);
  ca_->Command(channels::kChRcv);
  EXPECT_FALSE(Checked(channels::kChRcv));
  const std::string bad = (a_->dir / "no_such_dir" / "x.txt").string();
  tk.queueFileDialogAnswer(bad);
  ca_->Command(channels::kChRcv);
  ether.Run(100);
  EXPECT_FALSE(Checked(channels::kChRcv));
  EXPECT_EQ(Title(), "1: DL1AAA <-> DB0BBB");
  EXPECT_TRUE(NotFoundShown(bad)) << ::testing::PrintToString(Dialogs());
}

TEST_F(CaptureSendTest, TextFileArrivesCompleteAndTheDirectoryIsRemembered) {
  std::string file, expected;
  for (int i = 0; i < 60; ++i) {
    const std::string line = "Line " + std::to_string(i) + " of the text, with some words to fill it up";
    file += line + "\n";
    expected += line + "\r";
  }
  const fs::path path = a_->dir / "files" / "news.txt";
  fs::create_directories(path.parent_path());
  WriteAll(path, file);
  tk.queueFileDialogAnswer(path.string());
  ca_->Command(channels::kChSnd);
  EXPECT_EQ(ca_->State(channels::kLampSqueue), 1);
  EXPECT_TRUE(Checked(channels::kChSnd));
  ASSERT_TRUE(ether.RunUntil([&] { return !Checked(channels::kChSnd); }, 300'000));
  ASSERT_TRUE(ether.RunUntil([&] { return atB_.size() >= expected.size(); }, 60'000));
  EXPECT_EQ(atB_, expected);
  EXPECT_EQ(ca_->State(channels::kLampSqueue), 0);
  EXPECT_TRUE(PaneHas(ca_, {"Line 59 of the text, with some words to fill it up", ui::kRed}));
  EXPECT_EQ(ReadAll(a_->dir / "tmp" / "SNDDIR.$$$"), path.string() + "\n");
  // The remembered file decides where the next dialog starts.
  const auto start = channels::SendDialogStartFrom(path.string(), "");
  EXPECT_EQ(start.directory, path.parent_path().string());
  EXPECT_EQ(start.filter, "*.txt");
}

TEST_F(CaptureSendTest, SndWhileSendingStopsTheTransmission) {
  std::string file;
  for (int i = 0; i < 400; ++i) file += std::string(70, static_cast<char>('a' + i % 26)) + "\n";
  const fs::path path = a_->dir / "long.txt";
  WriteAll(path, file);
  tk.queueFileDialogAnswer(path.string());
  ca_->Command(channels::kChSnd);
  ASSERT_TRUE(ether.RunUntil([&] { return atB_.size() > 1000; }));
  tk.queueFileDialogAnswer(path.string());  // must not be asked for
  ca_->Command(channels::kChSnd);
  EXPECT_FALSE(Checked(channels::kChSnd));
  EXPECT_EQ(ca_->State(channels::kLampSqueue), 0);
  EXPECT_EQ(tk.fileDialog(false, "", "", ""), path.string());  // the answer was never asked for
  // What was queued still arrives; nothing after it.
  ether.Run(60'000);
  const std::size_t arrived = atB_.size();
  ether.Run(30'000);
  EXPECT_EQ(atB_.size(), arrived);
  EXPECT_LT(arrived, file.size());
  std::string sent = file;
  std::replace(sent.begin(), sent.end(), '\n', '\r');
  EXPECT_EQ(atB_, sent.substr(0, arrived));  // a clean beginning of the file
}

TEST_F(CaptureSendTest, AFileThatCannotBeOpenedIsReportedAndSendsNothing) {
  const std::string missing = (a_->dir / "missing.txt").string();
  tk.queueFileDialogAnswer(missing);
  ca_->Command(channels::kChSnd);
  ether.Run(5'000);
  EXPECT_TRUE(NotFoundShown(missing)) << ::testing::PrintToString(Dialogs());
  EXPECT_FALSE(Checked(channels::kChSnd));
  EXPECT_EQ(ca_->State(channels::kLampSqueue), 0);
  EXPECT_TRUE(atB_.empty());
  // A cancelled dialog neither sends nor asks anything.
  const std::size_t dialogs = tk.dialogLog().size();
  tk.queueFileDialogAnswer(std::nullopt);
  ca_->Command(channels::kChSnd);
  EXPECT_FALSE(Checked(channels::kChSnd));
  EXPECT_EQ(tk.dialogLog().size(), dialogs);
}

}  // namespace
}  // namespace tarvik::test
