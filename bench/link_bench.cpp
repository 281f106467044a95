// What the link costs per block, without a port: the CRC register over a
// block's 258 bytes, and the two exchanges of one block against a printer in
// memory (memory_printer.cpp).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "link/exchange.h"
#include "link/link_state.h"
#include "link/result_codes.h"

namespace {

constexpr unsigned kBlockWithAddress = 258;
constexpr std::uint8_t kHalf = 130;

void CrcOverABlock(benchmark::State& state) {
  voren::resetLinkState();
  for (auto _ : state) {
    voren::linkState().crc = 0;
    for (unsigned i = 0; i < kBlockWithAddress; ++i) {
      voren::AktualizacjaCRC(static_cast<std::uint8_t>(i * 37));
    }
    benchmark::DoNotOptimize(voren::linkState().crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBlockWithAddress);
}
BENCHMARK(CrcOverABlock);

void BlockExchangeInMemory(benchmark::State& state) {
  voren::resetLinkState();
  auto& link = voren::linkState();
  for (unsigned i = 0; i < kHalf; ++i) {
    link.frame[voren::kSendArea + i] = static_cast<std::uint8_t>(i * 7);
  }
  for (auto _ : state) {
    voren::WykonanieRozkazu(1, 1, kHalf, 1);
    voren::WymianaRozkazu(2, 0, 0, kHalf, 1);
    if (link.resultCode != 0) {
      state.SkipWithError("the printer in memory refused a block");
      break;
    }
  }
  // Both halves: ESC, command, 2 x 130 data bytes out, ACK and two statuses in.
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 265);
}
BENCHMARK(BlockExchangeInMemory);

}  // namespace

BENCHMARK_MAIN();
