#pragma once
// The code page 852 character set the updater writes into the printer:
// three banks of 256 glyphs, 48 bytes each (24 row words, high byte first).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace voren {

inline constexpr std::size_t kGlyphTableSize = 36864;

const std::array<std::uint8_t, kGlyphTableSize>& glyphTable();

// A table to upload: the built-in one or one the operator brought.
using GlyphTableView = std::span<const std::uint8_t, kGlyphTableSize>;

}  // namespace voren
