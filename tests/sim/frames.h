#pragma once
// Builds what the updater sends for one block, for feeding the printer core.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/crc16_arc.h"
#include "sim/printer.h"

namespace voren::test {

inline std::vector<std::uint8_t> patternBlock(int block) {
  std::vector<std::uint8_t> bytes(sim::kBlockSize);
  for (int k = 0; k < sim::kBlockSize; ++k)
    bytes[k] = static_cast<std::uint8_t>(block * 31 + k * 7);
  // The font holds XON and XOFF bytes; make sure every block does too.
  bytes[3] = 0x11;
  bytes[200] = 0x13;
  return bytes;
}

struct BlockFrames {
  std::vector<std::uint8_t> first;   // address, bytes 0..127
  std::vector<std::uint8_t> second;  // bytes 128..255, CRC
};

inline BlockFrames framesFor(int block, const std::vector<std::uint8_t>& bytes) {
  int address = sim::kFirstBlockAddress + block;
  BlockFrames frames;
  // Sized once and filled: growing it from the two address bytes trips a
  // false -Warray-bounds in GCC 12 at -O3.
  frames.first.resize(2 + 128);
  frames.first[0] = static_cast<std::uint8_t>(address >> 8);
  frames.first[1] = static_cast<std::uint8_t>(address);
  std::copy(bytes.begin(), bytes.begin() + 128, frames.first.begin() + 2);
  std::vector<std::uint8_t> checked = frames.first;
  checked.insert(checked.end(), bytes.begin() + 128, bytes.end());
  std::uint16_t crc = sim::crc16Arc(checked);
  frames.second.assign(bytes.begin() + 128, bytes.end());
  frames.second.push_back(static_cast<std::uint8_t>(crc >> 8));
  frames.second.push_back(static_cast<std::uint8_t>(crc));
  return frames;
}

}  // namespace voren::test
