#pragma once
// Small hexadecimal numbers for labelling the sheet, from a 3 x 5 figure set
// of our own, so labels read right even when the table drawn is damaged.
#include "tools/glyph_render/image.h"

namespace voren::render {

inline constexpr int kHexDigitWidth = 3;
inline constexpr int kHexDigitHeight = 5;

// Draws `digits` hexadecimal digits of `value` with its top left at (x, y),
// `pixel` pixels to a figure dot, one figure dot between digits.
void drawHex(Image& image, unsigned value, int digits, int x, int y, int pixel, Rgb colour);

}  // namespace voren::render
