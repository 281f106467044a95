#pragma once
// The receiving side of a USB serial adapter with a latency timer, as
// FTDI-type chips have it: a byte from the printer waits in the chip until
// the timer has run since the first byte waiting, or until a USB packet's
// 62 bytes of data are there, and then all of them go to the computer.
// Bytes in, release times out: the session does the writing.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace voren::sim {

class LatencyTimer {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::size_t kPacketData = 62;

  explicit LatencyTimer(std::chrono::milliseconds timer);  // 0: no adapter

  bool present() const { return timer_ != Clock::duration::zero(); }
  // A byte reached the adapter at that time. True when it filled the packet:
  // the bytes held go now.
  bool hold(std::uint8_t byte, Clock::time_point at);
  // When the bytes held go, if any are held.
  std::optional<Clock::time_point> due() const;
  // The bytes held, in order; none are held after.
  std::vector<std::uint8_t> release();

 private:
  Clock::duration timer_;
  Clock::time_point firstHeld_{};
  std::vector<std::uint8_t> held_;
};

}  // namespace voren::sim
