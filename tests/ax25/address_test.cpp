// Call sign texts and the seven-byte address form on the air.

#include "ax25/address.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarvik::ax25 {
namespace {

struct ParseCase {
  std::string_view text;
  bool ok;
  std::string call;
  int ssid;
};

TEST(ParseCall, TableOfTexts) {
  const std::vector<ParseCase> cases = {
      {"dl1abc-15", true, "DL1ABC", 15},
      {"DL1ABC", true, "DL1ABC", 0},
      {"DB0ABC-7", true, "DB0ABC", 7},
      {"DL1ABC-05", true, "DL1ABC", 5},
      {"DL1ABC-123", true, "DL1ABC", 12},  // characters after two digits are ignored
      {"DL1ABC-1", true, "DL1ABC", 1},
      {"DL1ABC-16", false, "", 0},
      {"DL1ABC-X", false, "", 0},
      {"DL1ABC-1X", false, "", 0},
      {"DL1ABC-", false, "", 0},
      {"DL/ABC", false, "", 0},
      {"DL1 ABC", false, "", 0},
      {"DL\xC4" "BC", false, "", 0},  // Windows-1252 letters are not call characters
      {"", true, "", 0},
      {"ABCDEFG-3", true, "ABCDEFG", 3},
      {"ABCDEFGH", true, "ABCDEFG", 0},  // cut after seven characters
      {"-5", true, "", 5},
      {std::string_view("DL1\0ABC", 7), true, "DL1", 0},  // a NUL ends the text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const auto a = ParseCall(c.text);
    ASSERT_EQ(a.has_value(), c.ok);
    if (!a) continue;
    EXPECT_EQ(a->call, c.call);
    EXPECT_EQ(a->ssid, c.ssid);
    EXPECT_FALSE(a->cbit);
    EXPECT_FALSE(a->last);
  }
}

TEST(FormatCall, SuffixOnlyForNonZeroSsid) {
  EXPECT_EQ(FormatCall(AddressRecord{"DB0ABC", 7}), "DB0ABC-7");
  EXPECT_EQ(FormatCall(AddressRecord{"DL1ABC", 0}), "DL1ABC");
  EXPECT_EQ(FormatCall(AddressRecord{"DL1ABC", 15}), "DL1ABC-15");
  std::string text = "via ";
  FormatCall(AddressRecord{"DB0XYZ", 1}, text);
  EXPECT_EQ(text, "via DB0XYZ-1");  // appends
}

TEST(FormatCall, InvertsParseCallForCanonicalTexts) {
  for (std::string_view text : {"DL1ABC", "DL1ABC-1", "DB0XYZ-15", "K1A-9", "ABCDEFG-10"}) {
    const auto a = ParseCall(text);
    ASSERT_TRUE(a) << text;
    EXPECT_EQ(FormatCall(*a), text);
  }
}

TEST(SameAddress, CallAndSsidOnly) {
  const AddressRecord a{"DL1ABC", 3, false, false};
  EXPECT_TRUE(SameAddress(a, AddressRecord{"DL1ABC", 3, true, true}));
  EXPECT_FALSE(SameAddress(a, AddressRecord{"DL1ABC", 4}));
  EXPECT_FALSE(SameAddress(a, AddressRecord{"dl1abc", 3}));
  EXPECT_FALSE(SameAddress(a, AddressRecord{"DL1AB", 3}));
}

TEST(ReversePath, ReversesUsedEntriesOnly) {
  ViaList via;
  via[0] = {"DB0AAA", 1, true, false};
  via[1] = {"DB0BBB", 2, true, false};
  via[2] = {"DB0CCC", 3, false, true};
  via[4] = {"STALE", 0};  // after the end of the list: not part of it
  const ViaList back = ReversePath(via);
  EXPECT_EQ(ViaCount(back), 3u);
  EXPECT_EQ(back[0], via[2]);
  EXPECT_EQ(back[1], via[1]);
  EXPECT_EQ(back[2], via[0]);
  for (std::size_t i = 3; i < kMaxVia; ++i) EXPECT_TRUE(back[i].empty());

  EXPECT_EQ(ViaCount(ReversePath(ViaList{})), 0u);

  ViaList full;
  for (std::size_t i = 0; i < kMaxVia; ++i) full[i] = {"DIGI" + std::to_string(i), static_cast<int>(i)};
  const ViaList fullBack = ReversePath(full);
  for (std::size_t i = 0; i < kMaxVia; ++i) EXPECT_EQ(fullBack[i], full[kMaxVia - 1 - i]);
}

TEST(AddressBytes, EncodeShiftsPadsAndSetsBits) {
  EXPECT_EQ(EncodeAddress({"DL1ABC", 7, true, true}),
            (AddressBytes{'D' << 1, 'L' << 1, '1' << 1, 'A' << 1, 'B' << 1, 'C' << 1, 0xEF}));
  EXPECT_EQ(EncodeAddress({"K1A", 0, false, false}),
            (AddressBytes{'K' << 1, '1' << 1, 'A' << 1, 0x40, 0x40, 0x40, 0x60}));
  EXPECT_EQ(EncodeAddress({"TARVK", 15, false, true}),
            (AddressBytes{'T' << 1, 'A' << 1, 'R' << 1, 'V' << 1, 'K' << 1, 0x40, 0x7F}));
  // Only six characters exist on the air.
  EXPECT_EQ(EncodeAddress({"ABCDEFG", 1}),
            (AddressBytes{'A' << 1, 'B' << 1, 'C' << 1, 'D' << 1, 'E' << 1, 'F' << 1, 0x62}));
}

TEST(AddressBytes, DecodeStopsAtPaddingAndReadsSsidByte) {
  const AddressBytes k1a{'K' << 1, '1' << 1, 'A' << 1, 0x40, 0x40, 0x40, 0xE1};
  EXPECT_EQ(DecodeAddress(k1a), (AddressRecord{"K1A", 0, true, true}));
  // Bits 5 and 6 of the SSID byte are not part of the SSID.
  const AddressBytes dama{'D' << 1, 'B' << 1, '0' << 1, 'A' << 1, 'B' << 1, 'C' << 1, 0x4E};
  EXPECT_EQ(DecodeAddress(dama), (AddressRecord{"DB0ABC", 7, false, false}));
  // A padding byte ends the call even when characters follow.
  const AddressBytes gap{'A' << 1, 0x40, 'B' << 1, 0x40, 0x40, 0x40, 0x60};
  EXPECT_EQ(DecodeAddress(gap).call, "A");
  // A byte that shifts to NUL ends it too: nothing else could be in a call text.
  const AddressBytes nul{0x01, 'B' << 1, 0x40, 0x40, 0x40, 0x40, 0x60};
  EXPECT_TRUE(DecodeAddress(nul).empty());
  // Every byte value in every place of a full call: the call is the bytes
  // shifted down, up to the first blank (0x40 exactly) or NUL-shifting byte.
  for (std::size_t at = 0; at < 6; ++at) {
    for (int value = 0; value < 256; ++value) {
      AddressBytes bytes{'W' << 1, 'X' << 1, 'Y' << 1, 'Z' << 1, '1' << 1, '2' << 1, 0x60};
      bytes[at] = static_cast<std::uint8_t>(value);
      std::string expected;
      for (std::size_t i = 0; i < 6 && bytes[i] != 0x40 && bytes[i] > 1; ++i) {
        expected += static_cast<char>(bytes[i] >> 1);
      }
      ASSERT_EQ(DecodeAddress(bytes).call, expected) << "byte " << value << " at " << at;
    }
  }
}

TEST(AddressBytes, RoundTripOverAllSsidsAndBits) {
  for (int ssid = 0; ssid < 16; ++ssid) {
    for (int bits = 0; bits < 4; ++bits) {
      const AddressRecord a{"DL1ABC", ssid, (bits & 1) != 0, (bits & 2) != 0};
      EXPECT_EQ(DecodeAddress(EncodeAddress(a)), a);
    }
  }
}

// The call lives in the record itself: a text longer than it holds is cut,
// never written past, and the cut call still reads and compares as a text.
TEST(CallTextTest, LongTextIsCutAtCapacity) {
  const std::string longText(40, 'X');
  AddressRecord a{longText, 3};
  EXPECT_EQ(a.call.size(), CallText::kCapacity);
  EXPECT_EQ(a.call, std::string(CallText::kCapacity, 'X'));
  EXPECT_EQ(std::string_view(a.call.c_str()).size(), CallText::kCapacity);
  for (int i = 0; i < 5; ++i) a.call.push_back('Y');
  EXPECT_EQ(a.call.size(), CallText::kCapacity);
  // Typed calls of up to seven characters are kept whole.
  EXPECT_EQ(ParseCall("dl1abcd-9")->call, "DL1ABCD");
  EXPECT_EQ(FormatCall({"DL1ABCD", 9}), "DL1ABCD-9");
}

}  // namespace
}  // namespace tarvik::ax25
