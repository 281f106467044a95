#pragma once
// Paces the simulated line at a baud rate, 11 bits a byte (start, 8 data,
// parity, stop). A pty moves bytes at once; the pacer keeps track of when
// they would have arrived on a real line, so an answer goes out no earlier
// than the end of the bytes it answers and answers take their own time too.
#include <chrono>
#include <cstddef>

namespace voren::sim {

class LinePacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit LinePacer(unsigned baud);  // 0: no pacing

  // Bytes taken from the pty at time now.
  void received(std::size_t count, Clock::time_point now);
  // When the next answer byte has fully reached the other side; the byte is
  // written then.
  Clock::time_point nextSend(Clock::time_point now);

 private:
  Clock::duration byteTime_;
  Clock::time_point received_{};
  Clock::time_point sent_{};
};

}  // namespace voren::sim
