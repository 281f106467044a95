#pragma once
// Faults the simulated printer injects, chosen per block and answer point:
//   BLOCK:POINT:KIND[:TIMES]
// BLOCK is a block index 0..143 or * for any block; POINT is ack (the answer
// to ESC 0x01), 1 (status after the first half) or 2 (status after the
// second half); KIND is one of
//   nak          answer NAK (0x15)
//   silence      answer nothing; the printer drops the command
//   status=S     answer status byte S (decimal or 0x..); the command ends
//   crc          take the second half as damaged on the line (CRC check fails)
//   verify       report a failed verification of the block (status 2)
//   hangup       hang the line up instead of answering
//   stray=XX,..  send these bytes (hex) just before the answer
// TIMES (default 1) is how many times the fault fires.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voren::sim {

enum class AnswerPoint { Acknowledge, FirstHalf, SecondHalf };

struct Fault {
  enum class Kind { Nak, Silence, Status, Crc, Verify, HangUp, Stray };

  static constexpr int kAnyBlock = -1;

  int block = kAnyBlock;
  AnswerPoint point = AnswerPoint::Acknowledge;
  Kind kind = Kind::Nak;
  std::uint8_t status = 0;          // Kind::Status
  std::vector<std::uint8_t> stray;  // Kind::Stray
  int times = 1;
};

// Parses one fault; on failure returns std::nullopt and says why in *error.
std::optional<Fault> parseFault(std::string_view text, std::string* error);

class FaultPlan {
 public:
  void add(Fault fault) { faults_.push_back(std::move(fault)); }
  // The first fault still armed for this block and point; firing uses up one
  // of its times.
  std::optional<Fault> fire(int block, AnswerPoint point);
  bool empty() const { return faults_.empty(); }

 private:
  std::vector<Fault> faults_;
};

}  // namespace voren::sim
