#include "sim/latency_timer.h"

#include <utility>

namespace voren::sim {

LatencyTimer::LatencyTimer(std::chrono::milliseconds timer) : timer_(timer) {}

bool LatencyTimer::hold(std::uint8_t byte, Clock::time_point at) {
  if (held_.empty()) firstHeld_ = at;
  held_.push_back(byte);
  return held_.size() >= kPacketData;
}

std::optional<LatencyTimer::Clock::time_point> LatencyTimer::due() const {
  if (held_.empty()) return std::nullopt;
  return firstHeld_ + timer_;
}

std::vector<std::uint8_t> LatencyTimer::release() { return std::exchange(held_, {}); }

}  // namespace voren::sim
