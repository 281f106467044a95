#include "tests/support/printer_model.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace voren::test {

std::uint16_t crc16Arc(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

std::optional<std::uint8_t> PrinterModel::answer(std::uint16_t address, Stage stage,
                                                 std::uint8_t good) {
  auto due = std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) {
    return f.address == address && f.stage == stage && f.times > 0;
  });
  if (due == faults_.end()) return good;
  --due->times;
  return due->answer;
}

void PrinterModel::receive(std::uint8_t byte, std::deque<std::uint8_t>& replies) {
  switch (phase_) {
    case Phase::Escape:
      if (byte != kEsc) {
        ADD_FAILURE() << "printer: expected ESC, got byte " << int(byte);
        return;
      }
      phase_ = Phase::Command;
      return;
    case Phase::Command: {
      phase_ = Phase::Escape;
      if (byte != kBlockCommand) {
        ADD_FAILURE() << "printer: unknown command " << int(byte);
        replies.push_back(kNak);
        return;
      }
      ++controlSequences_;
      const auto a = answer(expected_, Stage::Control, kAck);
      if (a) replies.push_back(*a);
      if (a == kAck) {
        phase_ = Phase::FirstHalf;
        half_.clear();
      }
      return;
    }
    case Phase::FirstHalf:
    case Phase::SecondHalf:
      half_.push_back(byte);
      if (half_.size() < kHalfLength) return;
      if (phase_ == Phase::FirstHalf) {
        endFirstHalf(replies);
      } else {
        endSecondHalf(replies);
      }
      half_.clear();
      return;
  }
}

void PrinterModel::endFirstHalf(std::deque<std::uint8_t>& replies) {
  address_ = static_cast<std::uint16_t>(half_[0] << 8 | half_[1]);
  std::copy(half_.begin() + 2, half_.end(), block_.begin());
  ++attempts_[address_];
  order_.push_back(address_);
  expected_ = address_;
  const auto a = answer(address_, Stage::FirstHalf, kStatusAccepted);
  if (a) replies.push_back(*a);
  phase_ = a == kStatusAccepted ? Phase::SecondHalf : Phase::Escape;
}

void PrinterModel::endSecondHalf(std::deque<std::uint8_t>& replies) {
  std::copy(half_.begin(), half_.begin() + kHalfData, block_.begin() + kHalfData);
  std::vector<std::uint8_t> checked{static_cast<std::uint8_t>(address_ >> 8),
                                    static_cast<std::uint8_t>(address_)};
  checked.insert(checked.end(), block_.begin(), block_.end());
  const std::uint16_t sent =
      static_cast<std::uint16_t>(half_[kHalfData] << 8 | half_[kHalfData + 1]);
  const bool crcGood = crc16Arc(checked) == sent;
  if (!crcGood) ++crcMismatches_;
  const auto a = answer(address_, Stage::SecondHalf, crcGood ? kStatusAccepted : kStatusCrc);
  if (a) replies.push_back(*a);
  if (a == kStatusAccepted) {
    blocks_[address_] = block_;
    expected_ = address_ + 1;
  }
  phase_ = Phase::Escape;
}

}  // namespace voren::test
