#pragma once
// The block upload: 144 blocks of the glyph table as two halves of printer
// command 1 each, with a CRC over address and block, repeats of blocks the
// printer reports damaged, and the progress line.
#include <cstdint>

#include "app/glyph_table.h"

namespace voren {

class Console;

inline constexpr std::uint8_t kMaxRepeats = 3;

// Runs with the port open and leaves the outcome in the link's result code:
// 0, 1 (checksum) or 2 (verification) after the last repeat, or the code of
// the failed exchange.
void uploadGlyphTable(Console& console, GlyphTableView table);

}  // namespace voren
