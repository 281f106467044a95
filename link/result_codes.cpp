#include "link/result_codes.h"

#include <array>

#include "link/link_state.h"

namespace voren {

std::uint8_t BajtLiczby(std::uint8_t n, std::uint32_t value) {
  if (n < 1 || n > 4) return 0;
  return static_cast<std::uint8_t>(value >> (8 * (n - 1)));
}

namespace {

// The reflected polynomial 0x8005, one entry per byte value.
constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
    table[i] = r;
  }
  return table;
}

constexpr auto kCrcTable = makeCrcTable();

}  // namespace

void AktualizacjaCRC(std::uint8_t byte) {
  std::uint32_t& crc = linkState().crc;
  crc = (crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF];
}

}  // namespace voren
