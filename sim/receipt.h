#pragma once
// A receipt as the printer would print it with the font it was sent: what
// the demo shows, and a quick look at whether an upload went right.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/glyph_render/glyph_render.h"

namespace voren::sim {

// The receipt's lines in code page 852, in normal and double width, with
// every Polish letter in both.
std::vector<render::PrintLine> receiptLines();

// Prints the receipt with the font in memory (36,864 bytes, blocks in
// address order) to a PNG. False (and *error) when it cannot.
bool writeReceipt(std::span<const std::uint8_t> memory, const std::string& path,
                  std::string* error);

}  // namespace voren::sim
