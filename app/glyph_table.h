#pragma once
// The code page 852 character set the updater writes into the printer:
// three banks of 256 glyphs, 48 bytes each (24 row words, high byte first).
#include <array>
#include <cstddef>
#include <cstdint>

namespace voren {

inline constexpr std::size_t kGlyphTableSize = 36864;

const std::array<std::uint8_t, kGlyphTableSize>& glyphTable();

}  // namespace voren
