#include "ui/cnx_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tarvik::ui {
namespace {

// Made outside the program with the standard uuencode of another language
// (blanks for zero, as classic uuencode writes), for a description with
// Windows-1252 letters above 127, whose checksum was computed there too.
constexpr char kHandMadeCnx[] =
    "begin 600 M0642.MSK\n"
    "M6U=)3D1/5SU'<OS?93M03U,],3 L,C L,S P+#$R,#M-3T1!3#L*6T-/3E12\n"
    "M3TP*2D$])D]+.T-43%]00BA$148I(%!/4STQ,\"PX,\"PX,\"PR-#L@4UE3/4I!\n"
    "+.PI;+R\\X.#DX70H \n"
    " \n"
    "end\n";
constexpr char kHandMadeText[] =
    "[WINDOW=Gr\xfc\xdf" "e;POS=10,20,300,120;MODAL;\n[CONTROL\n"
    "JA=&OK;CTL_PB(DEF) POS=10,80,80,24; SYS=JA;\n[//8898]\n";

TEST(CnxFile, DecodesAHandMadeFileAndAcceptsItsChecksum) {
  const std::string text = DecodeCnx(kHandMadeCnx);
  EXPECT_EQ(text, kHandMadeText);
  EXPECT_TRUE(DescriptionChecksumOk(text));
  // The checksum of the bytes before "[//": the high letters are
  // sign-extended, so a checksum over unsigned bytes would not match.
  EXPECT_EQ(DescriptionChecksum(std::string_view(text).substr(0, text.find("[//"))), 0x8898);
  EXPECT_EQ(DescriptionChecksum(""), 0x3843);
}

TEST(CnxFile, EncodeThenDecodeGivesBackEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (std::size_t len : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 256u}) {
    const std::string text = all.substr(0, len);
    const std::string file = EncodeCnx(text, "X.MSK");
    EXPECT_EQ(DecodeCnx(file), text) << "length " << len;
    // Every encoded line fits the reader's 79 characters.
    for (auto line : SplitReaderLines(file, 1000)) EXPECT_LE(line.size(), kCnxLineLength);
  }
}

TEST(CnxFile, DecoderStopsAtEndOrZeroCountAndNeverReadsPastAShortLine) {
  struct Case {
    const char* name;
    std::string file;
    std::string text;
  };
  const Case cases[] = {
      {"no begin line", "#86)C\n`\nend\n", "abc"},
      {"CR LF line ends", "begin 644 x\r\n#86)C\r\n`\r\nend\r\n", "abc"},
      {"end line ends", "#86)C\nend\n#86)C\n", "abc"},
      {"zero count ends", "#86)C\n`\n#86)C\n", "abc"},
      {"empty line ends", "#86)C\n\n#86)C\n", "abc"},
      {"short line: missing characters count as 0", "#86\n", std::string("a`\0", 3)},
      {"count larger than the line", "M\n", std::string(45, '\0')},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeCnx(c.file), c.text) << c.name;
}

TEST(CnxFile, ChecksumLineMustMatchExactly) {
  const std::string sealed = SealDescription("[WINDOW=A\nline\n");
  ASSERT_TRUE(DescriptionChecksumOk(sealed));
  struct Case {
    const char* name;
    std::string text;
    bool ok;
  };
  std::string changedBody = sealed;
  changedBody[3] = 'w';
  const std::string noLine = sealed.substr(0, sealed.find("[//"));
  const std::string unclosed = noLine + "[//" + sealed.substr(sealed.find("[//") + 3, 4) + "\n";
  const Case cases[] = {
      {"sealed", sealed, true},
      {"body changed", changedBody, false},
      {"no checksum line", noLine, false},
      {"checksum without ]", unclosed, false},
      {"resealed after a change", SealDescription(changedBody), true},
      {"text after the checksum line is not counted", sealed + "[CONTROL\n", true},
  };
  for (const auto& c : cases) EXPECT_EQ(DescriptionChecksumOk(c.text), c.ok) << c.name;
}

TEST(CnxFile, LongDescriptionLinesAreCountedAsTheReaderSplitsThem) {
  // A line longer than 127 characters goes on as the next reader line; the
  // checksum line is found even when it follows such a line.
  const std::string text = SealDescription(std::string(300, 'x') + "\n");
  EXPECT_TRUE(DescriptionChecksumOk(text));
  EXPECT_EQ(ChecksumLineOffset(text), 301u);
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CnxFile, EncoderToolWritesAFileTheDecoderAccepts) {
  const auto dir = std::filesystem::temp_directory_path() / ("tvk_cnxenc_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string source = "[WINDOW=Tool test;POS=1,2,3,4;\n[STRINGS\nA=\xe4\xf6\xfc\n[//0]\n";
  std::ofstream(dir / "M0100.txt", std::ios::binary) << source;
  const std::string cmd = std::string(TARVIK_BINARY_DIR) + "/tools/cnxenc " + (dir / "M0100.txt").string() +
                          " " + (dir / "M0100.CNX").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const std::string text = DecodeCnx(readFile(dir / "M0100.CNX"));
  EXPECT_TRUE(DescriptionChecksumOk(text));
  // The source's stale checksum line is replaced, the rest kept byte for byte.
  EXPECT_EQ(text.substr(0, text.find("[//")), source.substr(0, source.find("[//")));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarvik::ui
