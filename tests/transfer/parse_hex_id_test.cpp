#include "sim_test.h"
#include "transfer/target.h"

namespace {

TEST(ParseHexIdTest, ReadsUpperCaseHexDigits) {
  EXPECT_EQ(ParseHexId("7C5E"), 0x7C5E);
  EXPECT_EQ(ParseHexId("4A86"), 0x4A86);
  EXPECT_EQ(ParseHexId("FFFF"), 0xFFFF);
  EXPECT_EQ(ParseHexId("0000"), 0);
}

TEST(ParseHexIdTest, OtherCharactersCountAsNothingButKeepTheirPlace) {
  EXPECT_EQ(ParseHexId("7c5e"), 0x7050) << "lower-case letters are not digits";
  EXPECT_EQ(ParseHexId("1G"), 0x10);
  EXPECT_EQ(ParseHexId(" 1 "), 0x10);
}

TEST(ParseHexIdTest, EmptyAndLongTextsAreDefined) {
  EXPECT_EQ(ParseHexId(""), 0);
  EXPECT_EQ(ParseHexId(nullptr), 0);
  EXPECT_EQ(ParseHexId("12345678"), 0x12345678);
  // Digits beyond the eighth wrap out of 32 bits instead of overflowing.
  EXPECT_EQ(ParseHexId("F12345678"), 0x12345678);
}

}  // namespace
