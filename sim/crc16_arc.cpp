#include "sim/crc16_arc.h"

namespace voren::sim {

std::uint16_t crc16Arc(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
  }
  return crc;
}

}  // namespace voren::sim
