// The table's layout as the printer takes it: size, cell width, blanks, and
// the glyphs whose bytes are fixed.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "tests/glyphs/glyph_dots.h"

namespace voren::test {
namespace {

TEST(GlyphLayout, SizeIsThreeBanksOf256GlyphsOf48Bytes) {
  EXPECT_EQ(glyphTable().size(), 36864u);
  EXPECT_EQ(glyphTable().size(), 144u * 256u);
}

TEST(GlyphLayout, NothingPrintsRightOfTheTenDotCell) {
  for (int bank = 0; bank < 3; ++bank)
    for (int code = 0; code < 256; ++code)
      for (int r = 0; r < kRows; ++r)
        EXPECT_EQ(rowWord(bank, code, r) & 0x003F, 0)
            << "bank " << bank << " glyph " << code << " row " << r;
}

TEST(GlyphLayout, BlankGlyphsAreExactlyTheControlCodesSpaceAndNarrowPunctuation) {
  std::set<std::pair<int, int>> expected;
  for (int c = 0x0E; c <= 0x17; ++c) expected.insert({0, c});
  for (int c = 0x1A; c <= 0x20; ++c) expected.insert({0, c});
  for (int c = 0x0A; c <= 0x20; ++c) {
    if (c == 0x18 || c == 0x19) continue;
    expected.insert({1, 2 * c});
    expected.insert({1, 2 * c + 1});
  }
  for (int c : {0x21, 0x27, 0x2C, 0x2D, 0x2E, 0x3A, 0x3B}) expected.insert({1, 2 * c + 1});
  ASSERT_EQ(expected.size(), 66u);

  std::set<std::pair<int, int>> found;
  for (int bank = 0; bank < 3; ++bank)
    for (int code = 0; code < 256; ++code)
      if (blank(bank, code)) found.insert({bank, code});
  for (auto [bank, code] : found)
    EXPECT_TRUE(expected.count({bank, code}))
        << "bank " << bank << " glyph " << code << " is blank";
  for (auto [bank, code] : expected)
    EXPECT_TRUE(found.count({bank, code})) << "bank " << bank << " glyph " << code << " is drawn";
}

TEST(GlyphLayout, TableOpensWithTheSmallZero) {
  const std::uint16_t zero[12] = {0x1E00, 0x3F00, 0x7380, 0x6180, 0x6180, 0x6180,
                                  0x6180, 0x6180, 0x6180, 0x7380, 0x3F00, 0x1E00};
  for (int r = 0; r < kRows; ++r) EXPECT_EQ(rowWord(0, 0x00, r), r < 12 ? zero[r] : 0) << r;
  const auto& t = glyphTable();
  EXPECT_EQ(t[0], 0x1E);
  EXPECT_EQ(t[1], 0x00);
  EXPECT_EQ(t[2], 0x3F);
  EXPECT_EQ(t[3], 0x00);
  EXPECT_EQ(t[4], 0x73);
  EXPECT_EQ(t[5], 0x80);
}

TEST(GlyphLayout, CapitalAIsTheHouseStyle) {
  const std::uint16_t a[kRows] = {0x0C00, 0x0C00, 0x1E00, 0x1E00, 0x3F00, 0x3300, 0x7380, 0x6180,
                                  0x6180, 0x6180, 0x6180, 0x7F80, 0x7F80, 0x6180, 0x6180, 0x6180,
                                  0x6180, 0x6180, 0x6180, 0x6180, 0,      0,      0,      0};
  for (int r = 0; r < kRows; ++r) EXPECT_EQ(rowWord(0, 0x41, r), a[r]) << r;
}

TEST(GlyphLayout, DoubleWidthAMeetsAcrossItsHalvesAtTheTop) {
  EXPECT_EQ(rowWord(1, 0x82, 0), 0x00C0);
  EXPECT_EQ(rowWord(1, 0x83, 0), 0x8000);
}

TEST(GlyphLayout, DoubleWidthOgonekHangsFromTheRightHalf) {
  // ą is character 0xA5: bank 2, glyphs 0x4A and 0x4B.
  bool left = false, right = false;
  for (int r = 20; r < kRows; ++r) {
    left |= !rowEmpty(2, 0x4A, r);
    right |= !rowEmpty(2, 0x4B, r);
  }
  EXPECT_TRUE(right);
  EXPECT_FALSE(left);
}

TEST(GlyphLayout, BanksAndGlyphSixteenStartOnBlockBoundaries) {
  // The updater sends block k from byte 256 * k: glyph 0x10 of bank 0 opens block 3,
  // bank 1 opens block 48 (with the tall digit 0) and bank 2 opens block 96.
  const auto& t = glyphTable();
  for (int r = 0; r < kRows; ++r) {
    EXPECT_EQ(rowWord(0, 0x10, r), t[256 * 3 + 2 * r] << 8 | t[256 * 3 + 2 * r + 1]);
    EXPECT_EQ(rowWord(1, 0x00, r), t[256 * 48 + 2 * r] << 8 | t[256 * 48 + 2 * r + 1]);
    EXPECT_EQ(rowWord(2, 0x00, r), t[256 * 96 + 2 * r] << 8 | t[256 * 96 + 2 * r + 1]);
  }
  EXPECT_FALSE(blank(1, 0x00));
}

}  // namespace
}  // namespace voren::test
