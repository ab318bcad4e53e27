// Character-set conversion: what the screen shows of received bytes and what
// goes on the air of typed bytes, in each of the five modes.

#include "channels/charset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tarvik::channels {
namespace {

enum class Dir { Received, Sent };

struct ByteCase {
  int mode;
  Dir dir;
  unsigned char in;
  unsigned char out;
};

unsigned char Convert(int mode, Dir dir, unsigned char byte) {
  std::string text(1, static_cast<char>(byte));
  if (dir == Dir::Received) ConvertReceived(text, mode);
  else ConvertSent(text, mode);
  return static_cast<unsigned char>(text[0]);
}

std::string Describe(const ByteCase& c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "mode %d %s 0x%02X", c.mode,
                c.dir == Dir::Received ? "received" : "sent", c.in);
  return buf;
}

TEST(Charset, SingleBytesInEveryModeAndDirection) {
  const std::vector<ByteCase> cases = {
      // 7BITGR: the seven German places, both ways.
      {0, Dir::Received, 0x5B, 0xC4}, {0, Dir::Received, 0x5C, 0xD6},
      {0, Dir::Received, 0x5D, 0xDC}, {0, Dir::Received, 0x7B, 0xE4},
      {0, Dir::Received, 0x7C, 0xF6}, {0, Dir::Received, 0x7D, 0xFC},
      {0, Dir::Received, 0x7E, 0xDF},
      {0, Dir::Received, 0xE4, 0x20},  // an 8-bit umlaut is not German 7-bit text
      {0, Dir::Received, 0x80, 0x20}, {0, Dir::Received, 0xFF, 0x20},
      {0, Dir::Received, 'A', 'A'}, {0, Dir::Received, 0x0D, 0x0D},
      {0, Dir::Sent, 0xC4, 0x5B}, {0, Dir::Sent, 0xD6, 0x5C}, {0, Dir::Sent, 0xDC, 0x5D},
      {0, Dir::Sent, 0xE4, 0x7B}, {0, Dir::Sent, 0xF6, 0x7C}, {0, Dir::Sent, 0xFC, 0x7D},
      {0, Dir::Sent, 0xDF, 0x7E},
      {0, Dir::Sent, 0xE9, 0x20}, {0, Dir::Sent, 0x80, 0x20}, {0, Dir::Sent, 0xFF, 0x20},
      {0, Dir::Sent, '[', '['},  // typed brackets stay brackets
      {0, Dir::Sent, '~', '~'},
      // 7BITUS
      {1, Dir::Received, 0x5B, 0x5B}, {1, Dir::Received, 0x81, 0x20},
      {1, Dir::Received, 0xFF, 0x20}, {1, Dir::Sent, 0xE4, 0x20}, {1, Dir::Sent, 0x7E, 0x7E},
      // 8BITIBM, received: one or more places of every row of the table.
      {2, Dir::Received, 0x80, 0xC7}, {2, Dir::Received, 0x81, 0xFC},
      {2, Dir::Received, 0x87, 0xD5}, {2, Dir::Received, 0x8F, 0xC5},
      {2, Dir::Received, 0x94, 0xF6}, {2, Dir::Received, 0x9F, 0x20},
      {2, Dir::Received, 0xA5, 0xD1}, {2, Dir::Received, 0xAF, 0xBB},
      {2, Dir::Received, 0xB0, 0x20}, {2, Dir::Received, 0xB3, 0x7C},
      {2, Dir::Received, 0xBE, 0xA5}, {2, Dir::Received, 0xC4, 0x2D},
      {2, Dir::Received, 0xCF, 0xA4}, {2, Dir::Received, 0xD0, 0xF0},
      {2, Dir::Received, 0xDC, 0x1A}, {2, Dir::Received, 0xE1, 0xDF},
      {2, Dir::Received, 0xEF, 0x92}, {2, Dir::Received, 0xF0, 0x96},
      {2, Dir::Received, 0xF8, 0x95}, {2, Dir::Received, 0xFF, 0x20},
      {2, Dir::Received, 0x7E, 0x7E},
      // 8BITIBM, sent.
      {2, Dir::Sent, 0x80, 0x20}, {2, Dir::Sent, 0x91, 0xEF}, {2, Dir::Sent, 0x95, 0xF8},
      {2, Dir::Sent, 0xA3, 0x9C}, {2, Dir::Sent, 0xAF, 0x2D}, {2, Dir::Sent, 0xB4, 0x27},
      {2, Dir::Sent, 0xBF, 0xA8}, {2, Dir::Sent, 0xC4, 0x8E}, {2, Dir::Sent, 0xC0, 0xC1},
      {2, Dir::Sent, 0xD6, 0x99}, {2, Dir::Sent, 0xDF, 0xE1}, {2, Dir::Sent, 0xE4, 0x84},
      {2, Dir::Sent, 0xE9, 0x82}, {2, Dir::Sent, 0xFC, 0x81}, {2, Dir::Sent, 0xFF, 0x98},
      {2, Dir::Sent, 0x5B, 0x5B},
      // 8BITOEM: code page 437 <-> Windows-1252. 0x87 is c cedilla here,
      // unlike the IBM table; characters 1252 lacks take the IBM stand-in.
      {3, Dir::Received, 0x81, 0xFC}, {3, Dir::Received, 0x84, 0xE4},
      {3, Dir::Received, 0x87, 0xE7}, {3, Dir::Received, 0x8E, 0xC4},
      {3, Dir::Received, 0x9C, 0xA3}, {3, Dir::Received, 0xE1, 0xDF},
      {3, Dir::Received, 0xF8, 0xB0}, {3, Dir::Received, 0xB3, 0x7C},
      {3, Dir::Received, 0xB0, 0x20}, {3, Dir::Received, 0xC4, 0x2D},
      {3, Dir::Received, 0x41, 0x41},
      {3, Dir::Sent, 0xFC, 0x81}, {3, Dir::Sent, 0xE4, 0x84}, {3, Dir::Sent, 0xE7, 0x87},
      {3, Dir::Sent, 0xC4, 0x8E}, {3, Dir::Sent, 0xA3, 0x9C}, {3, Dir::Sent, 0xDF, 0xE1},
      {3, Dir::Sent, 0xB0, 0xF8}, {3, Dir::Sent, 0x80, 0x20}, {3, Dir::Sent, 0x7C, 0x7C},
      // UNTRANS
      {4, Dir::Received, 0x81, 0x81}, {4, Dir::Received, 0x5B, 0x5B},
      {4, Dir::Sent, 0xE4, 0xE4}, {4, Dir::Sent, 0xFF, 0xFF},
      // Modes outside 0..4 change nothing.
      {-1, Dir::Received, 0x5B, 0x5B}, {5, Dir::Received, 0x81, 0x81},
      {5, Dir::Sent, 0xE4, 0xE4}, {1000, Dir::Sent, 0xFF, 0xFF},
  };
  for (const ByteCase& c : cases) EXPECT_EQ(Convert(c.mode, c.dir, c.in), c.out) << Describe(c);
}

// Whole-range rules: 7-bit bytes pass unchanged in every mode except the
// German places of mode 0, and the 7-bit modes never let an 8-bit byte
// through except the umlauts typed in mode 0.
TEST(Charset, RangesOfEveryMode) {
  for (int mode = 0; mode < kCharsetModeCount; ++mode) {
    for (int b = 1; b < 256; ++b) {
      const auto byte = static_cast<unsigned char>(b);
      const unsigned char received = Convert(mode, Dir::Received, byte);
      const unsigned char sent = Convert(mode, Dir::Sent, byte);
      const bool germanLine = b == 0x5B || b == 0x5C || b == 0x5D || (b >= 0x7B && b <= 0x7E);
      const bool germanScreen = b == 0xC4 || b == 0xD6 || b == 0xDC || b == 0xE4 || b == 0xF6 ||
                                b == 0xFC || b == 0xDF;
      if (b < 0x80) {
        if (!(mode == 0 && germanLine)) {
          EXPECT_EQ(received, byte) << mode << " " << b;
        }
        EXPECT_EQ(sent, byte) << mode << " " << b;
      } else if (mode == 0) {
        EXPECT_EQ(received, 0x20) << b;
        if (germanScreen) {
          EXPECT_LT(sent, 0x80) << b;
        } else {
          EXPECT_EQ(sent, 0x20) << b;
        }
      } else if (mode == 1) {
        EXPECT_EQ(received, 0x20) << b;
        EXPECT_EQ(sent, 0x20) << b;
      } else if (mode == 4) {
        EXPECT_EQ(received, byte);
        EXPECT_EQ(sent, byte);
      }
    }
  }
}

// The two IBM tables are not each other's inverse: a received 0x87 shows as
// 0xD5, and a typed 0xD5 goes out as 0xE5.
TEST(Charset, IbmTablesAreUsedOnlyInTheirOwnDirection) {
  std::string text = "\x87";
  ConvertReceived(text, 2);
  EXPECT_EQ(text, "\xD5");
  ConvertSent(text, 2);
  EXPECT_EQ(text, "\xE5");
}

TEST(Charset, WholeTextsStopAtNulAndAfter2048Bytes) {
  std::string text = "[Hallo] {Welt} ~ \xE4";
  ConvertReceived(text, 0);
  EXPECT_EQ(text, "\xC4Hallo\xDC \xE4Welt\xFC \xDF \x20");

  std::string withNul("[a\0[b", 5);
  ConvertReceived(withNul, 0);
  EXPECT_EQ(withNul, std::string("\xC4" "a\0[b", 5));

  std::string longText(3000, '[');
  ConvertReceived(longText, 0);
  EXPECT_EQ(longText.substr(0, 2048), std::string(2048, '\xC4'));
  EXPECT_EQ(longText.substr(2048), std::string(952, '['));

  std::string longSent(3000, '\xE4');
  ConvertSent(longSent, 2);
  EXPECT_EQ(longSent.substr(0, 2048), std::string(2048, '\x84'));
  EXPECT_EQ(longSent.substr(2048), std::string(952, '\xE4'));

  std::string empty;
  ConvertSent(empty, 3);
  EXPECT_EQ(empty, "");
}

TEST(Charset, ModeNamesAndTheInitialMode) {
  EXPECT_EQ(CharsetModeName(0), "7BITGR");
  EXPECT_EQ(CharsetModeName(1), "7BITUS");
  EXPECT_EQ(CharsetModeName(2), "8BITIBM");
  EXPECT_EQ(CharsetModeName(3), "8BITOEM");
  EXPECT_EQ(CharsetModeName(4), "UNTRANS");
  EXPECT_EQ(CharsetModeName(5), "");
  for (int m = 0; m < kCharsetModeCount; ++m) {
    EXPECT_EQ(CharsetModeByName(CharsetModeName(m)), m);
    EXPECT_EQ(InitialCharsetMode(CharsetModeName(m)), m);
  }
  // Only the exact upper-case names count; anything else starts in 7BITGR.
  EXPECT_EQ(InitialCharsetMode("8bitibm"), 0);
  EXPECT_EQ(InitialCharsetMode("UNTRANS "), 0);
  EXPECT_EQ(InitialCharsetMode(""), 0);
  EXPECT_EQ(InitialCharsetMode("8BIT"), 0);
  EXPECT_FALSE(CharsetModeByName("7BITGRX").has_value());
}

}  // namespace
}  // namespace tarvik::channels
