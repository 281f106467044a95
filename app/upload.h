#pragma once
// The block upload: 144 blocks of the glyph table as two halves of printer
// command 1 each, with a CRC over address and block, repeats of blocks the
// printer reports damaged, and the progress line.
#include <cstdint>

#include "app/glyph_table.h"

namespace voren {

class Console;
class UpdateWatcher;

inline constexpr std::uint8_t kMaxRepeats = 3;

// Runs with the port open and leaves the outcome in the link's result code:
// 0, 1 (checksum) or 2 (verification) after the last repeat, or the code of
// the failed exchange. A watcher, when there is one, gets the progress in
// place of the console; false when it asked to stop before the last block.
bool uploadGlyphTable(Console& console, GlyphTableView table, UpdateWatcher* watcher = nullptr);

}  // namespace voren
