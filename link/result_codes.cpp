#include "link/result_codes.h"

#include <array>

#include "link/link_state.h"

namespace voren {

std::uint8_t KodBledu(std::uint8_t numer) {
  if (numer >= 63 && numer <= 67) return numer + 38;
  if (numer >= 68 && numer <= 79) return numer + 39;
  if (numer >= 80 && numer <= 92) return numer + 120;
  if (numer == 93) return 215;
  if (numer == 94) return 217;
  if (numer >= 95 && numer <= 106) return numer + 125;
  return numer;
}

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
