// The sheet: banks 0, 1 and 2 side by side, each a 16 x 16 grid read row by
// row (code 0x41 is row 4, column 1). In the double-width banks the two
// halves of a character sit together, with the gap between characters.
#include <algorithm>

#include "tools/glyph_render/glyph_dots.h"
#include "tools/glyph_render/glyph_render.h"
#include "tools/glyph_render/hex_label.h"

namespace voren::render {

namespace {
constexpr Rgb kSheetPaper{255, 255, 255};
constexpr Rgb kSheetInk{20, 20, 28};
constexpr Rgb kBoundary{222, 226, 234};
constexpr Rgb kLabel{110, 120, 150};
constexpr Rgb kTitle{60, 70, 110};
constexpr int kLabelPixel = 2;
constexpr int kLabelHeight = kHexDigitHeight * kLabelPixel + 3;
constexpr int kGap = 8;  // pixels between characters
constexpr int kTitleHeight = 28;

// Left edge of grid column `col` within its bank.
int columnX(int bank, int col, int cellW) {
  if (bank == 0) return col * (cellW + kGap);
  return col / 2 * (2 * cellW + kGap) + col % 2 * cellW;
}
}  // namespace

Image renderSheet(GlyphTable table, int scale) {
  scale = std::max(scale, 1);
  const int cellW = kCellDots * scale, cellH = kGlyphRows * scale;
  const int pitchY = cellH + kLabelHeight + kGap;
  int bankLeft[3];
  int x = 2 * kGap;
  for (int bank = 0; bank < 3; ++bank) {
    bankLeft[bank] = x;
    x += columnX(bank, 15, cellW) + cellW + 4 * kGap;
  }
  Image image(x - 2 * kGap, kTitleHeight + 16 * pitchY + kGap, kSheetPaper);

  for (int bank = 0; bank < 3; ++bank) {
    drawHex(image, bank, 1, bankLeft[bank], 6, 3, kTitle);
    for (int code = 0; code < 256; ++code) {
      const int cx = bankLeft[bank] + columnX(bank, code % 16, cellW);
      const int cy = kTitleHeight + code / 16 * pitchY;
      drawHex(image, code, 2, cx, cy, kLabelPixel, kLabel);
      const int top = cy + kLabelHeight;
      image.frame(cx - 1, top - 1, cellW + 2, cellH + 2, kBoundary);
      paintGlyph(image, table, bank, code, cx, top, scale, kSheetInk);
    }
  }
  return image;
}

}  // namespace voren::render
