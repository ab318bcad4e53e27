// The heard list: which pairs are recorded, replaced and dropped as I frames
// come in, in which order, the lines of the heard window and of HEARD.TXT
// byte for byte, and the window as the operator uses it from the toolbox
// (live lines, capture to a file).

#include "channels/heard_list.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channels/heard_window.h"
#include "toolbox_fixture.h"

namespace tarvik::test {
namespace {

using ax25::CrPf;
using ax25::FrameType;

ax25::AddressRecord Call(const char* text) { return ax25::ParseCall(text).value(); }

ax25::FrameRecord Frame(const char* from, const char* to, FrameType type = FrameType::I,
                        int port = 0, int radioChannel = 0) {
  const std::string info = "hello";
  return ax25::BuildFrame(port, radioChannel, false, Call(to), Call(from), ax25::ViaList{}, type,
                          CrPf::Command, ax25::kPidNoLayer3, 0, 0,
                          std::vector<std::uint8_t>(info.begin(), info.end()));
}

bool Has(const std::string& reply, const std::string& part) {
  return reply.find(part) != std::string::npos;
}

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "port:rc source>destination@time" of every entry, oldest first.
std::vector<std::string> Summary(const channels::HeardList& list) {
  std::vector<std::string> out;
  for (const channels::HeardEntry& e : list.Entries())
    out.push_back(std::to_string(e.port) + ":" + std::to_string(e.radioChannel) + " " +
                  ax25::FormatCall(e.source) + ">" + ax25::FormatCall(e.destination) + "@" + e.time);
  return out;
}

struct Heard {
  const char* from;
  const char* to;
  FrameType type = FrameType::I;
  int port = 0;
  int radioChannel = 0;
  std::vector<int> changed;  // places reported, the written one last
};

struct NoteCase {
  const char* name;
  std::vector<Heard> frames;  // frame i is heard at minute i
  std::vector<std::string> entries;
};

std::string At(int minute) { return channels::HeardTime(9, 3, 2026, 10, minute); }

class HeardNoteTest : public ::testing::TestWithParam<NoteCase> {};

TEST_P(HeardNoteTest, RecordsPairsNewestLast) {
  channels::HeardList list;
  const NoteCase& c = GetParam();
  for (std::size_t i = 0; i < c.frames.size(); ++i) {
    const Heard& h = c.frames[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(list.Note(Frame(h.from, h.to, h.type, h.port, h.radioChannel), At(static_cast<int>(i))),
              h.changed);
  }
  EXPECT_EQ(Summary(list), c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, HeardNoteTest,
    ::testing::Values(
        // The reply of B comes right after A's frame only in the same
        // conversation, which the list skips; after another pair's frame
        // it refreshes the one entry with its direction and time.
        NoteCase{"BothDirectionsAreOnePair",
                 {{"DL1AA", "DL2BB", FrameType::I, 0, 0, {0}}, {"DB0CC", "DL3DD", FrameType::I, 0, 0, {1}},
                  {"DL2BB", "DL1AA", FrameType::I, 1, 3, {0, 1}}},
                 {"0:0 DB0CC>DL3DD@" + At(1), "1:3 DL2BB>DL1AA@" + At(2)}},
        NoteCase{"ConsecutiveFramesOfAPairLeaveTheListAlone",
                 {{"DL1AA", "DL2BB", FrameType::I, 0, 0, {0}}, {"DL1AA", "DL2BB", FrameType::I, 2, 1, {}},
                  {"DL2BB", "DL1AA", FrameType::I, 2, 1, {}}},
                 {"0:0 DL1AA>DL2BB@" + At(0)}},
        NoteCase{"OnlyIFramesCount",
                 {{"DL1AA", "DL2BB", FrameType::UI, 0, 0, {}}, {"DL1AA", "DL2BB", FrameType::SABM, 0, 0, {}},
                  {"DL1AA", "DL2BB", FrameType::RR, 0, 0, {}}},
                 {}},
        NoteCase{"AnotherSsidIsAnotherPair",
                 {{"DL1AA", "DL2BB", FrameType::I, 0, 0, {0}}, {"DL1AA-1", "DL2BB", FrameType::I, 0, 0, {1}}},
                 {"0:0 DL1AA>DL2BB@" + At(0), "0:0 DL1AA-1>DL2BB@" + At(1)}},
        NoteCase{"APairHeardAgainMovesToTheEnd",
                 {{"DL1AA", "DL2BB", FrameType::I, 0, 0, {0}},
                  {"DB0CC", "DL3DD", FrameType::I, 0, 0, {1}},
                  {"DL4EE", "DL5FF", FrameType::I, 0, 0, {2}},
                  {"DL2BB", "DL1AA", FrameType::I, 0, 0, {0, 1, 2}},
                  {"DL4EE", "DL5FF", FrameType::I, 0, 0, {1, 2}}},
                 {"0:0 DB0CC>DL3DD@" + At(1), "0:0 DL2BB>DL1AA@" + At(3),
                  "0:0 DL4EE>DL5FF@" + At(4)}},
        NoteCase{"AFrameBetweenTwoOfAPairRefreshesIt",
                 {{"DL1AA", "DL2BB", FrameType::I, 0, 0, {0}},
                  {"DB0CC", "DL3DD", FrameType::I, 0, 0, {1}},
                  {"DB0CC", "DL3DD", FrameType::UI, 0, 0, {}},
                  {"DL3DD", "DB0CC", FrameType::I, 0, 0, {}},
                  {"DL1AA", "DL2BB", FrameType::I, 0, 0, {0, 1}}},
                 {"0:0 DB0CC>DL3DD@" + At(1), "0:0 DL1AA>DL2BB@" + At(4)}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The stations of pair i: distinct calls DA0A..DA0T and DB0A..DB0T.
std::string Station(char prefix, int i) { return std::string("D") + prefix + "0" + char('A' + i); }

TEST(HeardListTest, TwentyPairsKeepTheLastNineteen) {
  channels::HeardList list;
  for (int i = 0; i < 20; ++i) {
    const std::vector<int> changed =
        list.Note(Frame(Station('A', i).c_str(), Station('B', i).c_str()), At(i));
    SCOPED_TRACE(i);
    if (i < 19) {
      EXPECT_EQ(changed, std::vector<int>{i});  // a new place each
    } else {
      // Full: every place moves one towards the start, the last takes the new pair.
      ASSERT_EQ(changed.size(), 19u);
      EXPECT_EQ(changed.front(), 0);
      EXPECT_EQ(changed.back(), 18);
    }
  }
  const std::vector<channels::HeardEntry> entries = list.Entries();
  ASSERT_EQ(entries.size(), 19u);
  EXPECT_EQ(list.size(), 19);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(entries[i].source.call, Station('A', i + 1));
  // Places and positions agree with the entries.
  for (int position = 0; position < 19; ++position) {
    const int place = list.PlaceOf(position);
    EXPECT_EQ(list.PositionOf(place), position);
    EXPECT_EQ(list.AtPlace(place)->source.call, entries[position].source.call);
  }
  EXPECT_EQ(list.PlaceOf(19), -1);
  EXPECT_EQ(list.AtPlace(list.end()), nullptr);
  EXPECT_EQ(list.AtPlace(-1), nullptr);
  EXPECT_EQ(list.AtPlace(20), nullptr);

  // The oldest kept pair heard again goes to the end; nothing is lost now.
  list.Note(Frame(Station('B', 1).c_str(), Station('A', 1).c_str()), At(30));
  const std::vector<channels::HeardEntry> after = list.Entries();
  ASSERT_EQ(after.size(), 19u);
  EXPECT_EQ(after.front().source.call, Station('A', 2));
  EXPECT_EQ(after.back().source.call, Station('B', 1));
  EXPECT_EQ(after.back().time, At(30));
}

TEST(HeardListTest, PairKeyIgnoresDirectionAndWrapsIn32Bits) {
  struct Case {
    const char* a;
    const char* b;
    std::int32_t key;
  };
  // Worked by hand from the key's weights: call characters 16, 16, 16, 64,
  // 64 apart, SSIDs added.
  const std::vector<Case> cases = {
      {"A", "B", 65 + 66},
      {"A-1", "B-2", 65 + 66 + 3},
      {"AB-1", "C", (65 + 67) + 16 * 66 + 1},
      {"ABCD", "", 65 + 16 * (66 + 16 * (67 + 16 * 68))},
      {"ZZZZZZ-15", "ZZZZZZ-15", -1227096046},  // 3067871250 modulo 2^32
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.b);
    const ax25::AddressRecord a = Call(c.a), b = Call(c.b);
    EXPECT_EQ(channels::PairKey(a, b), c.key);
    EXPECT_EQ(channels::PairKey(b, a), c.key);
  }
}

TEST(HeardListTest, LinesOfTheWindowAndTheFile) {
  channels::HeardList list;
  list.Note(Frame("DL1ABC-7", "DB0XYZ", FrameType::I, 3, 1), At(5));
  list.Note(Frame("OE1X", "DL2BB-15", FrameType::I, 0, 0), At(6));
  const std::vector<channels::HeardEntry> e = list.Entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(channels::HeardWindowLine(e[0]), "3:1\tDL1ABC-7\tto\t DB0XYZ\t09.03.2026 10:05");

  const auto dir = std::filesystem::temp_directory_path() / ("tvk_heard_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "HEARD.TXT").string();

  ASSERT_TRUE(channels::WriteHeardFile(path, list, "Heard by %s (100%%), 5%d", "DL1ZZZ-1"));
  EXPECT_EQ(Read(path),
            "Heard by DL1ZZZ-1 (100%), 5%d\n"
            "3:1 DL1ABC-7   to DB0XYZ      09.03.2026 10:05\n"
            "0:0 OE1X       to DL2BB-15    09.03.2026 10:06\n");
  // Without a header only the entries; the file is written anew.
  ASSERT_TRUE(channels::WriteHeardFile(path, channels::HeardList{}, "", "DL1ZZZ"));
  EXPECT_EQ(Read(path), "");
  EXPECT_FALSE(channels::WriteHeardFile((dir / "missing" / "HEARD.TXT").string(), list, "", ""));
  std::filesystem::remove_all(dir);
}

// --- the window, opened from the toolbox -------------------------------------------

class HeardWindowTest : public ToolboxFixture {
 protected:
  void Receive(ax25::FrameRecord f) {
    tk.sendUser(app->mainWindow, core::kEvtFrameReceived, 0,
                std::make_unique<ax25::FrameRecord>(std::move(f)));
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (const std::string& l : DriveLines("lines HEARD LISTE"))
      if (l.rfind("= ", 0) == 0) out.push_back(l.substr(2));
    return out;
  }
};

TEST_F(HeardWindowTest, ShowsTheListLiveAndCapturesIt) {
  Install(1080);
  std::ofstream(dir / "TARVIK.MSG", std::ios::app) << "2 1 %s: capture to %s is running.\n";
  Start();
  Receive(Frame("DL1AA", "DL2BB"));  // heard before the window opens

  ASSERT_EQ(Drive("press MAIN HEARD"), "OK");
  ASSERT_NE(channels::FindHeardWindow(tk), ui::kNoWindow);
  const std::string first = "0:0\tDL1AA\tto\t DL2BB\t09.03.2026 10:00";
  EXPECT_EQ(Lines(), std::vector<std::string>{first});
  EXPECT_TRUE(Has(Drive("state HEARD OPEN"), "enabled=0"));

  tk.stepSeconds(60);  // 10:01
  Receive(Frame("DB0CC", "DL3DD", FrameType::I, 1, 2));
  const std::string second = "1:2\tDB0CC\tto\t DL3DD\t09.03.2026 10:01";
  EXPECT_EQ(Lines(), (std::vector<std::string>{first, second}));

  // Capture: the list as it stands, then every pair heard.
  const std::string path = (dir / "save" / "HEARD.TXT").string();
  std::filesystem::create_directories(dir / "save");
  tk.queueFileDialogAnswer(path);
  ASSERT_EQ(Drive("press HEARD SAVE"), "OK");
  EXPECT_EQ(tk.specOf(channels::FindHeardWindow(tk))->title, "Heard list --> " + path);

  tk.stepSeconds(60);  // 10:02: the first pair again, now in the other direction
  Receive(Frame("DL2BB", "DL1AA"));
  const std::string again = "0:0\tDL2BB\tto\t DL1AA\t09.03.2026 10:02";
  EXPECT_EQ(Lines(), (std::vector<std::string>{second, again}));
  Receive(Frame("DL2BB", "DL1AA"));  // the same conversation: nothing new
  Receive(Frame("DL4EE", "DL5FF"));
  const std::string third = "0:0\tDL4EE\tto\t DL5FF\t09.03.2026 10:02";
  EXPECT_EQ(Lines(), (std::vector<std::string>{second, again, third}));

  tk.queueDialogAnswer(core::kAnswerYes);  // SAVE again: stop
  ASSERT_EQ(Drive("press HEARD SAVE"), "OK");
  tk.pump();
  EXPECT_EQ(static_cast<channels::HeardWindow*>(tk.find(channels::FindHeardWindow(tk)))->captureFile(), "");
  Receive(Frame("DL6GG", "DL7HH"));  // after it

  EXPECT_EQ(Read(path), "\n" + first + "\n" + second + "\n" + again + "\n" + third + "\n");

  // The toolbox entry raises the open window instead of a second one.
  ASSERT_EQ(Drive("press MAIN HEARD"), "OK");
  EXPECT_EQ(forms->windowsOf(1080).size(), 1u);
}

}  // namespace
}  // namespace tarvik::test
