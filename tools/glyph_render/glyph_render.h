#pragma once
// Pictures of a glyph table: the sheet of all three banks, and text printed
// with it as the printer prints it. Takes any 36,864-byte table, so it works
// for a table read back from a printer as well as for our own.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/glyph_render/image.h"

namespace voren::render {

using GlyphTable = std::span<const std::uint8_t, 36864>;

// One printed line: code page 852 bytes, in normal or double width.
struct PrintLine {
  std::string text;
  bool doubleWidth = false;
};

struct PrintStyle {
  int scale = 3;    // pixels per dot
  int lineGap = 0;  // blank dot rows between lines; 0 lets box drawing join
  int margin = 12;  // dots of paper around the text
};

// 16 x 16 grids of banks 0, 1 and 2, each cell labelled with its code.
Image renderSheet(GlyphTable table, int scale = 3);

// The lines as printed, on paper as wide as the longest line.
Image renderPrint(GlyphTable table, std::span<const PrintLine> lines, const PrintStyle& style = {});

}  // namespace voren::render
