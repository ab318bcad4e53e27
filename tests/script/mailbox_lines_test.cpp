// The pieces of the mailbox dialogue that work on text alone: line formats,
// the check-list recorder, mailbox definitions, the password answer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "script/checklist_recorder.h"
#include "script/checklist_window.h"
#include "script/mailbox_definition.h"
#include "script/mailbox_password.h"

namespace tarvik::script {
namespace {

namespace fs = std::filesystem;

std::string Fields(const ListEntry& e) {
  std::string out;
  for (const std::string& f : e.fields) out += f + "|";
  return out;
}

TEST(LineFormat, ItemsWordsColumnsAndSeparators) {
  struct Case {
    const char* format;
    const char* line;
    const char* fields;  // CNUM|ABS|FILE|FNUM|DATUM|MBX|LEN|LTIM|TITLE|
  } cases[] = {
      {"!FNUM(11) !ABS(10) !FILE(33) !DATUM(20) !LEN(11) !TITLE(60)",
       "  101   DL1ABC    N0CALL    10.12.26  1200   Meeting on Friday",
       "|DL1ABC|N0CALL|101|10.12.26||1200||Meeting on Friday|"},
      // a word keeps n - 1 characters; the rest up to the separator is skipped
      {"!FNUM(3) !ABS(10)", "12345 DL1ABC", "|DL1ABC||12||||||"},
      // text before "!" is ignored; "@" separates; DMY skips a column
      {"x !FILE(9)@!MBX(8) !DMY(5) !TITLE(60)", "ALL@DB0XYZ 1.5k Hello world", "||ALL|||DB0XYZ|||Hello world|"},
      // columns counted from 0, cut to the field's size
      {"!DATUM(0,7) !TITLE(9,11)", "10.12.26 Hi!", "||||10.12.26||||Hi!|"},
      // any other name: every line, no fields
      {"!FNUM(5) !NOPE(5)", "123 DL1ABC", "|||||||||"},
      // control bytes from the air never reach a field
      {"!ABS(10) !TITLE(60)", "DL1\x01" "ABC tab\there", "|DL1 ABC|||||||tab|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(Fields(MatchListLine(CompileLineFormat(c.format), c.line)), c.fields);
  }
  EXPECT_EQ(CompileLineFormat("!ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) "
                              "!ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1) !ABS(1)")
                .items.size(),
            kLineFormatItems);
}

TEST(LineFormat, ListFileLineAndCheckListVariables) {
  ListEntry e;
  e[ListField::Datum] = "10.12.26";
  e[ListField::Abs] = "DL1ABC";
  e[ListField::File] = "N0CALL";
  e[ListField::Fnum] = "101";
  e[ListField::Len] = "1200";
  e[ListField::Title] = "Meeting on Friday";
  const std::string line = ListFileLine(e);
  EXPECT_EQ(line, "10.12.26  \tDL1ABC    \tN0CALL                          \t          \t101       \t1200      \t"
                  "Meeting on Friday                       ");
  VariableTable v;
  v.Define("CHK_MBX", "from an earlier entry");
  CheckListVariables(line, v);
  EXPECT_EQ(v.Value("CHK_DATE"), "10.12.26");
  EXPECT_EQ(v.Value("CHK_CALL"), "DL1ABC");
  EXPECT_EQ(v.Value("CHK_FILE"), "N0CALL");
  EXPECT_EQ(v.Value("CHK_MBX"), "");
  EXPECT_EQ(v.Value("CHK_FNUM"), "101");
  EXPECT_EQ(v.Value("CHK_TITLE"), "Meeting on Friday");
}

TEST(LineFormat, ListFileNamesStayInTheirDirectory) {
  struct Case {
    const char* call;
    const char* stem;
  } cases[] = {{"DB0XYZ", "DB0XYZ"}, {"DB0XYZ-2", "DB0XYZc"}, {"DB0XYZ-0", "DB0XYZa"}, {"DB0XYZ-16", "DB0XYZ"},
               {"../../etc", "et"},  {"..", ""},            {"A/B-3", "ABd"},        {"LONGCALL99-1", "LONGCALLb"}};
  for (const Case& c : cases) EXPECT_EQ(ListFileStem(c.call), c.stem) << c.call;
}

MailboxDefinition Typical() {
  return ParseMailboxDefinition({"NAME=Typical;", "PROMPT=%YOURCALL%*>", "C_START=Msg#  From",
                                 "C_LINE=!FNUM(11) !ABS(10) !FILE(33) !DATUM(20) !LEN(11) !TITLE(60)",
                                 "L_START=Files in", "L_LINE=!FNUM(11) !DATUM(20) !TITLE(60)", "L_FILE=Board:",
                                 "IGNORE=*** ", "READ=R !FNUM\tcomment"},
                                [](const std::string& t) { return t == "%YOURCALL%*>" ? "N0BBS*>" : t; });
}

TEST(MailboxDefinition, KeysAnywhereValuesUpToATab) {
  const MailboxDefinition d = Typical();
  EXPECT_EQ(d.prompt, "N0BBS*>");
  EXPECT_EQ(d.checkStart, "Msg#  From");
  EXPECT_EQ(d.read, "R !FNUM");
  EXPECT_EQ(d.ignore, "*** ");
  EXPECT_EQ(d.checkLine.items.size(), 6u);
  EXPECT_EQ(ReadCommand("R !FILE !FNUM !FNUM @ !MBX", "7", "ALL", "DB0XYZ"), "R ALL 7 !FNUM @ DB0XYZ");
  // An empty section leaves nothing of another mailbox in force.
  const MailboxDefinition none = ParseMailboxDefinition({}, {});
  EXPECT_TRUE(none.checkLine.empty());
  EXPECT_TRUE(none.ignore.empty());
}

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_lists_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::remove(dir / "N0BBS.lst");
    recorder.SetPath((dir / "N0BBS.lst").string());
  }
  void TearDown() override { fs::remove_all(dir); }
  std::vector<std::string> Recorded() {
    recorder.End();
    std::ifstream in(dir / "N0BBS.lst");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l.substr(0, l.find_last_not_of(' ') + 1));
    return lines;
  }
  // Feeds lines; a line "N0BBS>" is the prompt.
  void Feed(std::initializer_list<std::string> lines) {
    for (const std::string& l : lines) recorder.Line(definition, l, l == "N0BBS>");
  }
  fs::path dir;
  MailboxDefinition definition = Typical();
  ListRecorder recorder;
};

// The check-list window's request for a line of the list file: fields
// split at TABs without their padding, each cut to its size, and the read
// command made from the box's pattern.
TEST(CheckListWindow, ReadRequestOfAListLine) {
  struct Case {
    std::string line, pattern;
    std::string date, call, file, title, command;
  };
  const std::string board(40, 'B');
  const Case cases[] = {
      {"10.12.26  \tDL1ABC    \tN0CALL      \t          \t101       \t120       \tMeeting on Friday   ", "R !FNUM",
       "10.12.26", "DL1ABC", "N0CALL", "Meeting on Friday", "R 101"},
      {"01.01.27  \tDL2XYZ    \tPACKET      \tDB0XYZ    \t7         \t80        \tNew software", "R !FILE !FNUM @ !MBX",
       "01.01.27", "DL2XYZ", "PACKET", "New software", "R PACKET 7 @ DB0XYZ"},
      {"d\tc\t" + board + "\tm\t12345678901234\tl\t" + std::string(50, 'T'), "R !FILE !FNUM", "d", "c",
       board.substr(0, 31), std::string(31, 'T'), "R " + board.substr(0, 31) + " 1234567890"},
      {"only a date", "R !FNUM", "only a date", "", "", "", "R "},
  };
  for (const Case& c : cases) {
    const CheckListRequest r = ReadRequest(c.line, c.pattern);
    EXPECT_EQ(r.date, c.date) << c.line;
    EXPECT_EQ(r.call, c.call) << c.line;
    EXPECT_EQ(r.file, c.file) << c.line;
    EXPECT_EQ(r.title, c.title) << c.line;
    EXPECT_EQ(r.command, c.command) << c.line;
  }
}

TEST_F(Recorder, ACheckListEndsAtThePromptOrAShortLine) {
  Feed({"Welcome", "Msg#  From      Board     Date      Bytes  Subject", "",
        "101   DL1ABC    N0CALL    10.12.26  1200   Meeting on Friday",
        "*** 102 DL2XYZ  N0CALL    10.12.26  800    ignored", "102   DL2XYZ    N0CALL    10.12.26  800    Antenna",
        "N0BBS>", "103   DL3QQQ    N0CALL    10.12.26  800    after the prompt"});
  const auto lines = Recorded();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 20), "10.12.26  \tDL1ABC   ");
  EXPECT_NE(lines[1].find("Antenna"), std::string::npos);

  // a blank line after the last list line ends it as well
  Feed({"Msg#  From", "104   DL4ABC    N0CALL    11.12.26  100    Four", "", "105   DL5ABC    X  11.12.26 1 Five"});
  EXPECT_EQ(Recorded().size(), 3u);
  EXPECT_EQ(recorder.mode(), ListMode::Idle);
}

TEST_F(Recorder, AFileListTakesItsBoard) {
  Feed({"Board: RUNDSPRUCH @ all", "Files in the board", "7     09.12.26  A bulletin of the week", "N0BBS>"});
  const auto lines = Recorded();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\tRUNDSPRUCH "), std::string::npos);
  EXPECT_NE(lines[0].find("\t7 "), std::string::npos);
}

TEST_F(Recorder, HostileListLinesStayInTheirColumns) {
  std::string longLine(4000, 'X');
  Feed({"Msg#  From", longLine, "1  \x1b[31m\r\n  " + std::string(300, '\t') + " x", "N0BBS>"});
  for (const std::string& line : Recorded()) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6) << line;
    EXPECT_LE(line.size(), 150u);
    EXPECT_EQ(line.find_first_of("\r\x1b"), std::string::npos);
  }
}

TEST(Password, MethodsAndFiles) {
  struct Case {
    int method;
    std::string password;
    std::string line;
    const char* answer;  // null: the method is not known
  } cases[] = {
      {0, "1234", "DB0XYZ (box) 56", "39"},           // 4*6 + 3*5 only, from the lowest digit
      {0, "1234", "(x) 5 6", "39"},                   // blanks between the digits ignored
      {0, "1234", "(x)> 56", "0"},                    // the digits must follow the ")"
      {0, "0", "(1) 9999", "0"},                      // a password of 0 answers 0
      {0, "105", ") 111", "6"},                       // a 0 inside still counts as a digit
      {0, "99", "no challenge here", "0"},
      {0, std::string(200, '9'), ") " + std::string(200, '9'), "16200"},
      {1, "SECRET", "DB0XYZ> 1 3 3 9 0 6", "SCCT"},   // out of range adds nothing; repetitions kept
      {11, "SECRET", "> 2 x 5a", "EE"},
      {1, "SECRET", "no marker 1 2", ""},
      {1, "SECRET", "> 99999999999999999999 1", "S"},
      {7, "SECRET", "> 1", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto answer = AnswerChallenge(c.method, c.password, c.line);
    if (c.answer) EXPECT_EQ(answer, std::optional<std::string>(c.answer));
    else EXPECT_FALSE(answer);
  }
  EXPECT_EQ(ParsePasswordLine("1\tSECRET\tremark\r")->password, "SECRET");
  EXPECT_EQ(ParsePasswordLine("11\tSECRET")->type, 11);
  EXPECT_FALSE(ParsePasswordLine("SECRET"));
  EXPECT_FALSE(ParsePasswordLine("1\t"));
  EXPECT_EQ(ParsePasswordLine("1\t" + std::string(200, 'p'))->password.size(), kPasswordLimit);
  const std::string types = "DIEBOX=0:digits\nBAYCOM=1:letters\r\nbroken line\nFBB=11:\n";
  EXPECT_EQ(PasswordMethod(types, 0), 0);
  EXPECT_EQ(PasswordMethod(types, 1), 1);
  EXPECT_EQ(PasswordMethod(types, 2), std::nullopt);
  EXPECT_EQ(PasswordMethod(types, 3), 11);
  EXPECT_EQ(PasswordMethod(types, 9), std::nullopt);
}

}  // namespace
}  // namespace tarvik::script
