#pragma once
// CRC-16/ARC as the printer checks it. Computed bit by bit on purpose: the
// simulator must not share the updater's table, or a wrong table entry there
// would agree with itself here.
#include <cstdint>
#include <span>

namespace voren::sim {

std::uint16_t crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

}  // namespace voren::sim
