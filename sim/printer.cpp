#include "sim/printer.h"

#include <algorithm>
#include <cstdio>

#include "sim/crc16_arc.h"

namespace voren::sim {
namespace {

constexpr std::size_t kHalfFrame = 130;

std::string hexByte(std::uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

}  // namespace

SimulatedPrinter::SimulatedPrinter(FaultPlan faults, Reporter report, bool verbose)
    : faults_(std::move(faults)), report_(std::move(report)), verbose_(verbose) {}

bool SimulatedPrinter::inCommand() const {
  return state_ == State::Escape || state_ == State::FirstHalf || state_ == State::SecondHalf;
}

void SimulatedPrinter::protocolError(const std::string& what) {
  ++stats_.protocolErrors;
  if (report_) report_("protocol error: " + what);
}

void SimulatedPrinter::note(const std::string& what) {
  if (verbose_ && report_) report_(what);
}

SimulatedPrinter::Reply SimulatedPrinter::receive(std::uint8_t byte) {
  if (state_ == State::HungUp) return {};
  ++stats_.bytesReceived;
  if (hangUpAfter_ != 0 && stats_.bytesReceived >= hangUpAfter_) {
    note("hanging up after byte " + std::to_string(stats_.bytesReceived));
    state_ = State::HungUp;
    return {{}, true};
  }
  switch (state_) {
    case State::Idle:
      if (byte == kEscape) {
        state_ = State::Escape;
      } else {
        protocolError("byte " + hexByte(byte) + " between commands, expected ESC");
      }
      return {};
    case State::Escape:
      return onCommandByte(byte);
    case State::FirstHalf:
    case State::SecondHalf:
      frame_.push_back(byte);
      if (frame_.size() < kHalfFrame) return {};
      return state_ == State::FirstHalf ? onFirstHalf() : onSecondHalf();
    case State::HungUp:
      break;
  }
  return {};
}

SimulatedPrinter::Reply SimulatedPrinter::onCommandByte(std::uint8_t command) {
  if (command != 0x01) {
    // A printer refuses a control sequence it does not know.
    protocolError("unknown command " + hexByte(command) + " after ESC");
    state_ = State::Idle;
    return {{kNak}, false};
  }
  bool proceed = false;
  Reply reply = answer(AnswerPoint::Acknowledge, expectedBlock_, kAck, &proceed);
  if (!reply.hangUp) state_ = proceed ? State::FirstHalf : State::Idle;
  frame_.clear();
  return reply;
}

SimulatedPrinter::Reply SimulatedPrinter::onFirstHalf() {
  int address = frame_[0] << 8 | frame_[1];
  if (address < kFirstBlockAddress || address >= kFirstBlockAddress + kBlockCount) {
    protocolError("block address " + std::to_string(address) + " outside 320..463");
    state_ = State::Idle;
    return {{kStatusBadAddress}, false};
  }
  block_ = address - kFirstBlockAddress;
  if (lastFirstHalf_ == block_) ++stats_.repeats;
  lastFirstHalf_ = block_;
  expectedBlock_ = block_;
  std::copy(frame_.begin(), frame_.end(), firstHalf_.begin());
  frame_.clear();
  note("block " + std::to_string(block_) + ": first half");
  bool proceed = false;
  Reply reply = answer(AnswerPoint::FirstHalf, block_, kStatusOk, &proceed);
  if (proceed) ++stats_.halvesAccepted;
  if (!reply.hangUp) state_ = proceed ? State::SecondHalf : State::Idle;
  return reply;
}

SimulatedPrinter::Reply SimulatedPrinter::onSecondHalf() {
  std::array<std::uint8_t, 2 + kBlockSize> checked{};
  std::copy(firstHalf_.begin(), firstHalf_.end(), checked.begin());
  std::copy(frame_.begin(), frame_.begin() + 128, checked.begin() + kHalfFrame);
  std::uint16_t sent = static_cast<std::uint16_t>(frame_[128] << 8 | frame_[129]);
  frame_.clear();
  state_ = State::Idle;

  crcFaultArmed_ = false;
  bool proceed = false;
  Reply reply = answer(AnswerPoint::SecondHalf, block_, kStatusOk, &proceed);
  if (!proceed) return reply;

  std::uint16_t computed = crc16Arc(checked);
  if (crcFaultArmed_) {
    // The line damaged a byte: the check runs on what "arrived".
    checked[2 + 17] ^= 0x10;
    computed = crc16Arc(checked);
  } else if (computed != sent) {
    char text[96];
    std::snprintf(text, sizeof text, "block %d: CRC 0x%04X received, 0x%04X computed", block_, sent,
                  computed);
    if (report_) report_(text);
  }
  if (computed != sent) {
    ++stats_.crcFailures;
    note("block " + std::to_string(block_) + ": CRC failure, status 1");
    reply.bytes.push_back(kStatusCrc);
    return reply;
  }

  std::copy(checked.begin() + 2, checked.end(), memory_.begin() + block_ * kBlockSize);
  if (!stored_[block_]) ++stats_.blocksStored;
  stored_[block_] = true;
  ++stats_.halvesAccepted;
  expectedBlock_ = (block_ + 1) % kBlockCount;
  note("block " + std::to_string(block_) + ": stored");
  if (block_ == kBlockCount - 1 && stats_.blocksStored == kBlockCount) ++stats_.updatesCompleted;
  reply.bytes.push_back(kStatusOk);
  return reply;
}

SimulatedPrinter::Reply SimulatedPrinter::answer(AnswerPoint point, int block, std::uint8_t normal,
                                                 bool* proceed) {
  *proceed = true;
  Reply reply;
  std::optional<Fault> fault = faults_.fire(block, point);
  if (!fault) {
    if (point != AnswerPoint::SecondHalf) reply.bytes.push_back(normal);
    return reply;
  }
  note("block " + std::to_string(block) + ": injecting a fault");
  switch (fault->kind) {
    case Fault::Kind::Nak:
      reply.bytes.push_back(kNak);
      *proceed = false;
      break;
    case Fault::Kind::Status:
      reply.bytes.push_back(fault->status);
      *proceed = false;
      break;
    case Fault::Kind::Silence:
      *proceed = false;
      break;
    case Fault::Kind::HangUp:
      state_ = State::HungUp;
      reply.hangUp = true;
      *proceed = false;
      break;
    case Fault::Kind::Stray:
      reply.bytes = fault->stray;
      if (point != AnswerPoint::SecondHalf) reply.bytes.push_back(normal);
      break;
    case Fault::Kind::Crc:
      crcFaultArmed_ = true;
      break;
    case Fault::Kind::Verify:
      ++stats_.verifyFailures;
      reply.bytes.push_back(kStatusVerify);
      *proceed = false;
      break;
  }
  return reply;
}

void SimulatedPrinter::abandonCommand(const std::string& why) {
  if (!inCommand()) return;
  bool partial = state_ != State::SecondHalf || !frame_.empty();
  if (partial) {
    protocolError("command cut short (" + why + ") after " + std::to_string(frame_.size()) +
                  " of 130 bytes");
  } else {
    note("second half never came (" + why + ")");
  }
  frame_.clear();
  state_ = State::Idle;
}

}  // namespace voren::sim
