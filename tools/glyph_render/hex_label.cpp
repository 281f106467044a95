#include "tools/glyph_render/hex_label.h"

#include <cstdint>

namespace voren::render {

namespace {
// Five rows of three bits per figure, leftmost bit first.
constexpr std::uint8_t kFigures[16][kHexDigitHeight] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7},  // 0 1 2 3
    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2},  // 4 5 6 7
    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6},  // 8 9 A B
    {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4},  // C D E F
};
}  // namespace

void drawHex(Image& image, unsigned value, int digits, int x, int y, int pixel, Rgb colour) {
  for (int i = 0; i < digits; ++i) {
    const unsigned figure = (value >> (4 * (digits - 1 - i))) & 0xF;
    const int left = x + i * (kHexDigitWidth + 1) * pixel;
    for (int r = 0; r < kHexDigitHeight; ++r)
      for (int c = 0; c < kHexDigitWidth; ++c)
        if (kFigures[figure][r] & (4 >> c))
          image.fillRect(left + c * pixel, y + r * pixel, pixel, pixel, colour);
  }
}

}  // namespace voren::render
