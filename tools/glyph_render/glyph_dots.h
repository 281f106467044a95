#pragma once
// Dots of a glyph in a table laid out as the printer takes it.
#include "tools/glyph_render/glyph_render.h"

namespace voren::render {

inline constexpr int kGlyphRows = 24;
inline constexpr int kCellDots = 10;

inline bool glyphDot(GlyphTable table, int bank, int code, int row, int x) {
  const std::size_t at = 12288 * bank + 48 * code + 2 * row + x / 8;
  return (table[at] & (0x80 >> (x % 8))) != 0;
}

// Paints one glyph's ten-dot cell with its top left at (x, y).
inline void paintGlyph(Image& image, GlyphTable table, int bank, int code, int x, int y, int scale,
                       Rgb ink) {
  for (int r = 0; r < kGlyphRows; ++r)
    for (int d = 0; d < kCellDots; ++d)
      if (glyphDot(table, bank, code, r, d)) image.dot(x + d * scale, y + r * scale, scale, ink);
}

}  // namespace voren::render
