// The normal bank as a typeface: every character of code page 852 in its
// place, letters on one baseline, one x-height and one cap height.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/glyphs/glyph_dots.h"

namespace voren::test {
namespace {

struct CodePoint {
  int code;
  long unicode;
};

// What the drawings say each code stands for (generated with the table).
constexpr CodePoint kDrawn[] = {
#include "glyph_codepoints.inc"
};

// The standard mapping, made independently with iconv.
constexpr CodePoint kCp852[] = {
#include "tests/glyphs/cp852_unicode.inc"
};

std::map<int, long> drawn() {
  std::map<int, long> m;
  for (auto [code, u] : kDrawn) m[code] = u;
  return m;
}

TEST(GlyphCharacters, UpperHalfFollowsCodePage852) {
  const auto d = drawn();
  ASSERT_EQ(std::size(kCp852), 128u);
  for (auto [code, u] : kCp852) {
    ASSERT_TRUE(d.count(code)) << std::hex << code;
    EXPECT_EQ(d.at(code), u) << "glyph 0x" << std::hex << code;
  }
}

TEST(GlyphCharacters, LowerHalfIsAsciiWithSmallDigitsAndTheHouse) {
  const auto d = drawn();
  for (int c = 0x20; c <= 0x7E; ++c) EXPECT_EQ(d.at(c), c) << std::hex << c;
  EXPECT_EQ(d.at(0x7F), 0x2302);
  const long small[10] = {0x2070, 0xB9, 0xB2, 0xB3, 0x2074, 0x2075, 0x2076, 0x2077, 0x2078, 0x2079};
  for (int c = 0; c < 10; ++c) EXPECT_EQ(d.at(c), small[c]);
  EXPECT_EQ(d.at(0x18), ',');
  EXPECT_EQ(d.at(0x19), '.');
}

int top(int code) {
  for (int r = 0; r < kRows; ++r)
    if (!rowEmpty(0, code, r)) return r;
  return kRows;
}

int bottom(int code) {
  for (int r = kRows - 1; r >= 0; --r)
    if (!rowEmpty(0, code, r)) return r;
  return -1;
}

bool isLetter(long u) {
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
         (u >= 0xC0 && u <= 0x17F && u != 0xD7 && u != 0xF7);
}

// Letters that reach below the baseline: descenders, ogoneks and cedillas.
const std::set<long> kDescending = {'g',   'j',   'p',  'q',  'y',   0xFD,  0x104, 0x105,
                                    0x118, 0x119, 0xC7, 0xE7, 0x15E, 0x15F, 0x162, 0x163};

TEST(GlyphMetrics, LettersSitOnTheBaselineAndOnlySomeDescend) {
  int letters = 0;
  for (auto [code, u] : kDrawn) {
    if (!isLetter(u)) continue;
    ++letters;
    if (kDescending.count(u)) {
      EXPECT_GE(bottom(code), 20) << "glyph 0x" << std::hex << code << " should descend";
      EXPECT_LE(bottom(code), 23);
    } else {
      EXPECT_EQ(bottom(code), 19) << "glyph 0x" << std::hex << code << " leaves the baseline";
    }
  }
  EXPECT_EQ(letters, 52 + 81);  // ASCII letters and the Latin-2 letters of the upper half
}

TEST(GlyphMetrics, LettersKeepADotClearOnEitherSide) {
  // Only the tail of Q, the bars of Ł Đ đ and the apostrophe of ď reach the
  // cell's edge dots; every other letter leaves a gap to its neighbours.
  const std::set<long> reaching = {'Q', 0x141, 0x110, 0x111, 0x10F};
  for (auto [code, u] : kDrawn) {
    if (!isLetter(u) || reaching.count(u)) continue;
    for (int r = 0; r < kRows; ++r) {
      EXPECT_FALSE(dot(0, code, r, 0)) << "glyph 0x" << std::hex << code << " row " << r;
      EXPECT_FALSE(dot(0, code, r, 9)) << "glyph 0x" << std::hex << code << " row " << r;
    }
  }
}

TEST(GlyphMetrics, CapitalsAndDigitsShareOneHeight) {
  for (int c = 'A'; c <= 'Z'; ++c) {
    EXPECT_EQ(top(c), 0) << static_cast<char>(c);
    EXPECT_EQ(bottom(c), 19) << static_cast<char>(c);
  }
  for (int c = '0'; c <= '9'; ++c) {
    EXPECT_EQ(top(c), 0) << static_cast<char>(c);
    EXPECT_EQ(bottom(c), 19) << static_cast<char>(c);
  }
  for (int c = 0x00; c <= 0x09; ++c) {
    EXPECT_EQ(top(c), 0) << c;
    EXPECT_EQ(bottom(c), 11) << c;
  }
}

TEST(GlyphMetrics, LowerCaseBodiesShareOneXHeight) {
  for (char c : std::string("acemnorsuvwxzgpqy")) EXPECT_EQ(top(c), 7) << c;
  for (char c : std::string("bdhklf")) EXPECT_EQ(top(c), 0) << c;
}

TEST(GlyphMetrics, AccentedCapitalsAreShortenedUnderTheirAccent) {
  // Á Ó Ś Ź Ż Ć Ń Ě Ů Ő: the accent from row 0, one free row, then the letter
  // down to the baseline, still clearly taller than the lower-case body.
  for (int code : {0xB5, 0xE0, 0x97, 0x8D, 0xBD, 0x8F, 0xE3, 0xB7, 0xDE, 0x8A}) {
    EXPECT_EQ(top(code), 0) << std::hex << code;
    int gap = 1;
    while (gap < kRows && !rowEmpty(0, code, gap)) ++gap;
    EXPECT_LE(gap, 3) << std::hex << code;
    EXPECT_FALSE(rowEmpty(0, code, gap + 1)) << std::hex << code;
    EXPECT_GE(bottom(code) - gap, 16) << std::hex << code;
  }
}

TEST(GlyphMetrics, BoxDrawingReachesTheEdgesWhereItsLinesGoOn) {
  // Each piece by its arms: up, down, left, right.
  const std::map<int, const char*> arms = {
      {0xB3, "UD"},   {0xB4, "UDL"},  {0xB9, "UDL"}, {0xBA, "UD"},  {0xBB, "DL"},  {0xBC, "UL"},
      {0xBF, "DL"},   {0xC0, "UR"},   {0xC1, "ULR"}, {0xC2, "DLR"}, {0xC3, "UDR"}, {0xC4, "LR"},
      {0xC5, "UDLR"}, {0xC8, "UR"},   {0xC9, "DR"},  {0xCA, "ULR"}, {0xCB, "DLR"}, {0xCC, "UDR"},
      {0xCD, "LR"},   {0xCE, "UDLR"}, {0xD9, "UL"},  {0xDA, "DR"}};
  for (auto [code, a] : arms) {
    const std::string s = a;
    bool up = false, down = false, left = false, right = false;
    for (int x = 0; x < kCell; ++x) {
      up |= dot(0, code, 0, x);
      down |= dot(0, code, kRows - 1, x);
    }
    for (int r = 0; r < kRows; ++r) {
      left |= dot(0, code, r, 0);
      right |= dot(0, code, r, kCell - 1);
    }
    EXPECT_EQ(up, s.find('U') != std::string::npos) << std::hex << code;
    EXPECT_EQ(down, s.find('D') != std::string::npos) << std::hex << code;
    EXPECT_EQ(left, s.find('L') != std::string::npos) << std::hex << code;
    EXPECT_EQ(right, s.find('R') != std::string::npos) << std::hex << code;
  }
  for (int r = 0; r < kRows; ++r) EXPECT_EQ(rowWord(0, 0xDB, r), 0xFFC0) << r;
}

}  // namespace
}  // namespace voren::test
