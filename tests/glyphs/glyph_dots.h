#pragma once
// Reading dots out of the glyph table, for the tests.
#include <cstdint>

#include "app/glyph_table.h"

namespace voren::test {

inline constexpr int kRows = 24;
inline constexpr int kCell = 10;

inline std::uint16_t rowWord(int bank, int code, int row) {
  const auto& t = glyphTable();
  const std::size_t at = 12288 * bank + 48 * code + 2 * row;
  return static_cast<std::uint16_t>(t[at] << 8 | t[at + 1]);
}

inline bool dot(int bank, int code, int row, int x) {
  return (rowWord(bank, code, row) & (0x8000 >> x)) != 0;
}

inline bool rowEmpty(int bank, int code, int row) { return rowWord(bank, code, row) == 0; }

inline bool blank(int bank, int code) {
  for (int r = 0; r < kRows; ++r)
    if (!rowEmpty(bank, code, r)) return false;
  return true;
}

// Double-width character c as 24 rows of 20 dots: left half, then right half.
inline bool wideDot(int c, int row, int x) {
  const int bank = c < 0x80 ? 1 : 2;
  const int left = 2 * (c & 0x7F);
  return x < kCell ? dot(bank, left, row, x) : dot(bank, left + 1, row, x - kCell);
}

}  // namespace voren::test
