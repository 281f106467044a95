// Double-width characters against their normal glyphs: squeezed back to ten
// dots (each pair of dots read as one) they must look like the normal glyph.
#include <gtest/gtest.h>

#include <set>

#include "tests/glyphs/glyph_dots.h"

namespace voren::test {
namespace {

const std::set<int> kBlank = [] {
  std::set<int> s;
  for (int c = 0x0A; c <= 0x20; ++c)
    if (c != 0x18 && c != 0x19) s.insert(c);
  return s;
}();
const std::set<int> kNarrow = {0x21, 0x27, 0x2C, 0x2D, 0x2E, 0x3A, 0x3B};
const std::set<int> kShades = {0xB0, 0xB1, 0xB2};
// The shifted comma and period are drawn across both halves, like 0x2C and 0x2E.
const std::set<int> kShifted = {0x18, 0x19};

bool squeezed(int c, int row, int x) {
  return wideDot(c, row, 2 * x) || wideDot(c, row, 2 * x + 1);
}

// Dots where `wide` differs from `normal`, out of the dots of both.
template <typename Wide, typename Normal>
std::pair<int, int> difference(Wide wide, Normal normal) {
  int differ = 0, total = 0;
  for (int r = 0; r < kRows; ++r)
    for (int x = 0; x < kCell; ++x) {
      const bool w = wide(r, x), n = normal(r, x);
      differ += w != n;
      total += w || n;
    }
  return {differ, total};
}

TEST(GlyphWide, SqueezedDoubleWidthMatchesTheNormalGlyph) {
  for (int c = 0; c < 256; ++c) {
    if (kBlank.count(c) || kNarrow.count(c) || kShades.count(c) || kShifted.count(c) || c <= 0x09)
      continue;
    auto [differ, total] = difference([c](int r, int x) { return squeezed(c, r, x); },
                                      [c](int r, int x) { return dot(0, c, r, x); });
    // Hand corrections may move a few dots, not redraw the character.
    EXPECT_LE(differ * 8, total) << "character 0x" << std::hex << c << ": " << std::dec << differ
                                 << " of " << total << " dots differ";
  }
}

TEST(GlyphWide, NarrowPunctuationKeepsItsNormalGlyphInTheLeftHalf) {
  for (int c : kNarrow)
    for (int r = 0; r < kRows; ++r) EXPECT_EQ(rowWord(1, 2 * c, r), rowWord(0, c, r)) << c;
}

TEST(GlyphWide, SmallDigitsBecomeFullHeightDigits) {
  // Rows 0 to 11 of the small digit, each drawn twice, over the whole cell.
  for (int c = 0; c <= 9; ++c) {
    auto [differ, total] = difference([c](int r, int x) { return squeezed(c, r, x); },
                                      [c](int r, int x) { return dot(0, c, r / 2, x); });
    EXPECT_LE(differ * 8, total) << c;
    bool top = false, bottom = false;
    for (int x = 0; x < 2 * kCell; ++x) {
      top |= wideDot(c, 0, x);
      bottom |= wideDot(c, kRows - 1, x);
    }
    EXPECT_TRUE(top && bottom) << c;
  }
}

TEST(GlyphWide, ShadesKeepTheirDotPatternAcrossBothHalves) {
  for (int c : kShades)
    for (int r = 0; r < kRows; ++r) {
      EXPECT_EQ(rowWord(2, 2 * (c - 0x80), r), rowWord(0, c, r)) << c;
      EXPECT_EQ(rowWord(2, 2 * (c - 0x80) + 1, r), rowWord(0, c, r)) << c;
    }
}

TEST(GlyphWide, BoxDrawingJoinsAcrossTheHalvesAndWithItsNeighbours) {
  for (int c : {0xB3, 0xB4, 0xB9, 0xBA, 0xBB, 0xBC, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5,
                0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xD9, 0xDA, 0xDB, 0xDC, 0xDF}) {
    for (int r = 0; r < kRows; ++r) {
      // A line leaving the normal glyph at an edge leaves the double-width one there too,
      EXPECT_EQ(wideDot(c, r, 0), dot(0, c, r, 0)) << std::hex << c << " row " << r;
      EXPECT_EQ(wideDot(c, r, 19), dot(0, c, r, 9)) << std::hex << c << " row " << r;
      // and runs unbroken from the left half into the right.
      if (dot(0, c, r, 4) && dot(0, c, r, 5)) {
        EXPECT_TRUE(wideDot(c, r, 9) && wideDot(c, r, 10)) << std::hex << c << " row " << r;
      }
    }
    for (int x = 0; x < kCell; ++x) {
      EXPECT_EQ(squeezed(c, 0, x), dot(0, c, 0, x)) << std::hex << c;
      EXPECT_EQ(squeezed(c, 23, x), dot(0, c, 23, x)) << std::hex << c;
    }
  }
}

}  // namespace
}  // namespace voren::test
