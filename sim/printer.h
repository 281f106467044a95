#pragma once
// The simulated printer's protocol core: bytes in, answers out, no I/O.
// It knows command 1 as the updater uses it: ESC 0x01 answered by ACK, a
// first half of 130 bytes (block address high byte first, then block bytes
// 0..127) answered by status 0, a second half of 130 bytes (block bytes
// 128..255, then the CRC-16/ARC of address and block, high byte first)
// answered by status 0 once the block is stored, or 1 when the CRC fails.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/fault_plan.h"

namespace voren::sim {

// Written down here, not taken from link/printer_protocol.h, on purpose: the
// simulator is the independent printer the updater is checked against.
inline constexpr int kBlockCount = 144;
inline constexpr int kBlockSize = 256;
inline constexpr int kFirstBlockAddress = 320;
inline constexpr std::size_t kMemorySize = kBlockCount * kBlockSize;

inline constexpr std::uint8_t kEscape = 0x1B;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kStatusOk = 0;
inline constexpr std::uint8_t kStatusCrc = 1;
inline constexpr std::uint8_t kStatusVerify = 2;
// Our own choice for an address outside the font area: any status the
// updater does not repeat on.
inline constexpr std::uint8_t kStatusBadAddress = 3;

struct PrinterStats {
  std::uint64_t bytesReceived = 0;
  int blocksStored = 0;  // distinct blocks, 0..144
  int halvesAccepted = 0;
  int repeats = 0;  // a block's first half again right after the same block
  int crcFailures = 0;
  int verifyFailures = 0;
  int protocolErrors = 0;
  int updatesCompleted = 0;
};

class SimulatedPrinter {
 public:
  struct Reply {
    std::vector<std::uint8_t> bytes;
    bool hangUp = false;
  };
  // Told every byte or event that breaks the protocol, and (when verbose)
  // every exchange.
  using Reporter = std::function<void(const std::string&)>;

  SimulatedPrinter(FaultPlan faults, Reporter report, bool verbose = false);

  Reply receive(std::uint8_t byte);
  // The line went quiet or the peer closed: a command in progress is lost.
  void abandonCommand(const std::string& why);
  bool inCommand() const;
  bool hungUp() const { return state_ == State::HungUp; }
  // Hang up right after the n-th byte received (counted from the start).
  void hangUpAfter(std::uint64_t n) { hangUpAfter_ = n; }

  const PrinterStats& stats() const { return stats_; }
  // The font area, blocks in address order; blocks never stored read as 0.
  std::span<const std::uint8_t> memory() const { return memory_; }
  bool stored(int block) const { return stored_[block]; }

 private:
  enum class State { Idle, Escape, FirstHalf, SecondHalf, HungUp };

  Reply onCommandByte(std::uint8_t command);
  Reply onFirstHalf();
  Reply onSecondHalf();
  // The answer at a point, with the fault planned there (if any) applied;
  // *proceed says whether the command goes on as if the normal answer went out.
  Reply answer(AnswerPoint point, int block, std::uint8_t normal, bool* proceed);
  void protocolError(const std::string& what);
  void note(const std::string& what);

  FaultPlan faults_;
  Reporter report_;
  bool verbose_;
  State state_ = State::Idle;
  std::vector<std::uint8_t> frame_;
  std::array<std::uint8_t, 130> firstHalf_{};
  int block_ = 0;          // block of the command in progress
  int expectedBlock_ = 0;  // the block the updater will send next, for faults at ack
  std::optional<int> lastFirstHalf_;
  bool crcFaultArmed_ = false;
  std::uint64_t hangUpAfter_ = 0;
  std::vector<std::uint8_t> memory_ = std::vector<std::uint8_t>(kMemorySize, 0);
  std::array<bool, kBlockCount> stored_{};
  PrinterStats stats_;
};

}  // namespace voren::sim
