#pragma once
// A printer that follows the block upload protocol: ACK to ESC 0x01, two
// halves of 130 bytes with a status byte each, a CRC-16/ARC check over the
// address and the block after the second half. Faults can be injected per
// block and stage.
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "link/printer_protocol.h"

namespace voren::test {

enum class Stage { Control, FirstHalf, SecondHalf };

struct Fault {
  std::uint16_t address = kFirstBlockAddress;
  Stage stage = Stage::SecondHalf;
  // The answer given instead of the right one (ACK or status 0); none is
  // silence. A control-stage fault hits the control sequence of the block
  // the printer expects next: the one after the last it accepted, or the
  // same block again after a refusal.
  std::optional<std::uint8_t> answer;
  int times = 1;
};

class PrinterModel {
 public:
  using Block = std::array<std::uint8_t, kBlockSize>;

  void inject(const Fault& fault) { faults_.push_back(fault); }

  // One byte off the wire; answers go to the back of replies.
  void receive(std::uint8_t byte, std::deque<std::uint8_t>& replies);

  // Blocks accepted, by address; a repeated block keeps its latest content.
  const std::map<std::uint16_t, Block>& blocks() const { return blocks_; }
  // How often each address came in a first half.
  const std::map<std::uint16_t, int>& attempts() const { return attempts_; }
  // Addresses of the first halves in the order they came.
  const std::vector<std::uint16_t>& addressOrder() const { return order_; }
  int controlSequences() const { return controlSequences_; }
  // Second halves whose CRC did not match what the printer computed.
  int crcMismatches() const { return crcMismatches_; }

 private:
  enum class Phase { Escape, Command, FirstHalf, SecondHalf };

  // The answer for this block and stage: a fault if one is due, else good.
  std::optional<std::uint8_t> answer(std::uint16_t address, Stage stage, std::uint8_t good);
  void endFirstHalf(std::deque<std::uint8_t>& replies);
  void endSecondHalf(std::deque<std::uint8_t>& replies);

  std::vector<Fault> faults_;
  Phase phase_ = Phase::Escape;
  std::vector<std::uint8_t> half_;
  std::uint16_t address_ = 0;
  std::uint16_t expected_ = kFirstBlockAddress;
  Block block_{};
  std::map<std::uint16_t, Block> blocks_;
  std::map<std::uint16_t, int> attempts_;
  std::vector<std::uint16_t> order_;
  int controlSequences_ = 0;
  int crcMismatches_ = 0;
};

// CRC-16/ARC bit by bit, apart from the link's table so each checks the other.
std::uint16_t crc16Arc(const std::vector<std::uint8_t>& bytes);

}  // namespace voren::test
