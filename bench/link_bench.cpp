// What the link costs per block, without a port: the CRC register over a
// block's 258 bytes, and the two exchanges of one block against a printer in
// memory behind the port functions.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <utility>

#include "link/exchange.h"
#include "link/link_state.h"
#include "link/printer_protocol.h"
#include "link/result_codes.h"
#include "tests/support/port_functions.h"

namespace {

constexpr unsigned kBlockWithAddress = voren::kBlockSize + 2;

// A printer that accepts every block at once: ACK after ESC and the block
// command, status 0 after each half. What an exchange costs above the port
// is what the benchmark measures.
class MemoryPrinter : public voren::test::PrinterDouble {
 public:
  void clear() override { answer_.reset(); }

  bool write(std::uint8_t byte) override {
    if (dataLeft_ > 0) {
      if (--dataLeft_ > 0) return true;
      answer_ = voren::kStatusAccepted;
      if (secondHalfNext_) dataLeft_ = voren::kHalfLength;
      secondHalfNext_ = !secondHalfNext_;
      return true;
    }
    if (afterEscape_ && byte == voren::kBlockCommand) {
      answer_ = voren::kAck;
      dataLeft_ = voren::kHalfLength;
      secondHalfNext_ = true;
    }
    afterEscape_ = byte == voren::kEsc;
    return true;
  }

  std::optional<std::uint8_t> read() override { return std::exchange(answer_, std::nullopt); }

 private:
  bool afterEscape_ = false;
  unsigned dataLeft_ = 0;  // of the half being received
  bool secondHalfNext_ = false;
  std::optional<std::uint8_t> answer_;  // pending until read
};

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
  MemoryPrinter printer;
  voren::test::plugIn(printer);
  voren::resetLinkState();
  auto& link = voren::linkState();
  for (unsigned i = 0; i < voren::kHalfLength; ++i) {
    link.frame[voren::kSendArea + i] = static_cast<std::uint8_t>(i * 7);
  }
  for (auto _ : state) {
    voren::WykonanieRozkazu(voren::kBlockCommand, 1, voren::kHalfLength, 1);
    voren::WymianaRozkazu(2, 0, 0, voren::kHalfLength, 1);
    if (link.resultCode != voren::KodBledu(voren::ErrorNumber::Brak)) {
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
