// Text as the printer puts it on paper: each byte is one glyph of bank 0, or
// in double width the two halves from bank 1 (bytes below 0x80) or bank 2.
#include <algorithm>

#include "tools/glyph_render/glyph_dots.h"
#include "tools/glyph_render/glyph_render.h"

namespace voren::render {

namespace {
constexpr Rgb kPrintPaper{250, 249, 244};
constexpr Rgb kPrintInk{34, 34, 48};

int lineDots(const PrintLine& line) {
  return static_cast<int>(line.text.size()) * kCellDots * (line.doubleWidth ? 2 : 1);
}
}  // namespace

Image renderPrint(GlyphTable table, std::span<const PrintLine> lines, const PrintStyle& asked) {
  const PrintStyle style{std::max(asked.scale, 1), std::max(asked.lineGap, 0),
                         std::max(asked.margin, 0)};
  int widest = 0;
  for (const auto& line : lines) widest = std::max(widest, lineDots(line));
  const int s = style.scale;
  const int count = static_cast<int>(lines.size());
  const int heightDots =
      2 * style.margin + count * kGlyphRows + std::max(0, count - 1) * style.lineGap;
  Image image((widest + 2 * style.margin) * s, heightDots * s, kPrintPaper);

  int y = style.margin * s;
  for (const auto& line : lines) {
    int x = style.margin * s;
    for (unsigned char c : line.text) {
      if (!line.doubleWidth) {
        paintGlyph(image, table, 0, c, x, y, s, kPrintInk);
        x += kCellDots * s;
        continue;
      }
      const int bank = c < 0x80 ? 1 : 2;
      const int left = 2 * (c & 0x7F);
      paintGlyph(image, table, bank, left, x, y, s, kPrintInk);
      paintGlyph(image, table, bank, left + 1, x + kCellDots * s, y, s, kPrintInk);
      x += 2 * kCellDots * s;
    }
    y += (kGlyphRows + style.lineGap) * s;
  }
  return image;
}

}  // namespace voren::render
