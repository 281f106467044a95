#include "link/answer_waits.h"

#include <algorithm>

#include "link/link_state.h"

namespace voren {

namespace {

using std::chrono::microseconds;

// Start bit, 8 data bits, the parity bit when there is one, stop bit.
unsigned bitsAByte(std::uint8_t parity) { return parity == 0 ? 10 : 11; }

}  // namespace

void AnswerClock::start(std::uint32_t speed, std::uint8_t parity) {
  *this = AnswerClock{};
  if (speed == 0) return;
  byteTime_ = std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(1'000'000'000LL * bitsAByte(parity) / speed));
}

void AnswerClock::wrote(Clock::time_point at) {
  // The driver may take a byte before the line has carried the one before.
  lineFree_ = std::max(lineFree_, at) + byteTime_;
  awaitingAnswer_ = true;
}

void AnswerClock::read(Clock::time_point at, bool read) {
  if (awaitingAnswer_ && read) {
    // The soonest the answer's first byte can be here: the printer has all
    // we wrote, and the byte has crossed back. Sooner is no wait.
    const Clock::time_point soonest = lineFree_ + byteTime_;
    waits_.push_back(at > soonest ? std::chrono::duration_cast<microseconds>(at - soonest)
                                  : microseconds{0});
  }
  awaitingAnswer_ = false;
}

AnswerWaits AnswerClock::summary() const {
  AnswerWaits s;
  s.count = waits_.size();
  if (waits_.empty()) return s;
  std::vector<microseconds> sorted = waits_;
  std::sort(sorted.begin(), sorted.end());
  // The wait a tenth of the answers did not exceed.
  s.tenth = sorted[(sorted.size() - 1) / 10];
  s.median = sorted[sorted.size() / 2];
  s.largest = sorted.back();
  return s;
}

AnswerWaits answerWaits() { return linkState().answers.summary(); }

}  // namespace voren
