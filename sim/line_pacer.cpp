#include "sim/line_pacer.h"

#include <algorithm>

namespace voren::sim {

LinePacer::LinePacer(unsigned baud)
    : byteTime_(baud == 0 ? Clock::duration::zero()
                          : std::chrono::duration_cast<Clock::duration>(
                                std::chrono::nanoseconds(11'000'000'000LL / baud))) {}

void LinePacer::received(std::size_t count, Clock::time_point now) {
  if (byteTime_ == Clock::duration::zero()) return;
  received_ = std::max(received_, now) + byteTime_ * static_cast<long>(count);
}

LinePacer::Clock::time_point LinePacer::nextSend(Clock::time_point now) {
  if (byteTime_ == Clock::duration::zero()) return now;
  sent_ = std::max({now, received_, sent_}) + byteTime_;
  return sent_;
}

}  // namespace voren::sim
