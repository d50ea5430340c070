#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HexParse.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ParseHexValue, ReadsEveryCharacterAsADigitPosition) {
  struct Case {
    const char* catches;
    std::string text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"empty text is 0", "", 0},
      {"1B", "1B", 27},
      {"three digits", "123", 291},
      {"eight F wrap to -1", "FFFFFFFF", -1},
      {"nine digits: only the last eight count", "123456789", 0x23456789},
      {"lower-case b adds nothing but takes its place", "1b", 16},
      {"leading blank changes nothing", " 1B", 27},
      {"trailing blank shifts the digits", "1B ", 0x1B0},
      {"G is no digit", "G1", 1},
      {"bytes above 7F are no digits",
       "\xB2"
       "1",
       1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHexValue(c.text), c.value) << c.catches;
}

TEST(ParseHexPieces, SplitsAtCommasExactlyAsThePrinterExpects) {
  struct Case {
    const char* catches;
    std::string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {"the console's default", "1B,64,10", {0x1B, 0x64, 0x10}},
      {"empty text is one zero byte", "", {0x00}},
      {"no comma is one byte", "1B", {0x1B}},
      {"a lone comma is one zero byte", ",", {0x00}},
      {"trailing comma adds a zero byte", "1B,64,", {0x1B, 0x64, 0x00}},
      {"leading comma: the whole text is one piece", ",1B,64", {0x64}},
      {"double comma ends the splitting", "1B,,64,10", {0x1B, 0x10}},
      {"blank after a comma is a leading blank", "1B, 64", {0x1B, 0x64}},
      {"blank before a comma shifts the piece", "1B ,64", {0xB0, 0x64}},
      {"a value above FF keeps its low byte", "123", {0x23}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHexPieces(c.text), c.bytes) << c.catches;
}

TEST(ParseHexPieces, ALongListKeepsEveryPiece) {
  const Bytes all = ParseHexPieces("1B,40,1B,61,01,48,45,4C,4C,4F,0A,1D,56,00");
  ASSERT_EQ(all.size(), 14u);
  EXPECT_EQ(all.back(), 0x00);
  EXPECT_EQ(all[12], 0x56);
}

}  // namespace
