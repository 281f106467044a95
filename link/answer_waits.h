#pragma once
// How long the printer's answers keep the link waiting beyond the line's own
// time. A USB serial adapter may hold each byte it receives until its
// latency timer runs out (16 ms by default), and an update waits for 432
// answers: that delay shows here as the answers' wait, while the line's own
// time does not.
//
// An answer is the first byte read after one or more bytes written. Its
// wait runs from the end of the last byte written to that read, less the
// wire time of the bytes still in flight: those written but not yet on the
// line's far end (the driver takes them faster than the line carries them)
// and the answer byte itself.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace voren {

// The answers' wait over a run: what the end of a run reports. The tenth
// percentile against the median gives its shape: whether nearly every
// answer waited about as long.
struct AnswerWaits {
  std::size_t count = 0;  // answers measured
  std::chrono::microseconds tenth{0};
  std::chrono::microseconds median{0};
  std::chrono::microseconds largest{0};
};

// The measurement itself, fed by the port calls with the times they ended.
class AnswerClock {
 public:
  using Clock = std::chrono::steady_clock;

  // A port opened at this speed and parity (0 none, 1 odd, 2 even; 8 data
  // bits, 1 stop bit): the measurement starts afresh.
  void start(std::uint32_t speed, std::uint8_t parity);
  // A byte the port took from us at that time.
  void wrote(Clock::time_point at);
  // A byte that came from the port at that time (read true), or a read that
  // failed (false): no answer came.
  void read(Clock::time_point at, bool read);

  AnswerWaits summary() const;

 private:
  Clock::duration byteTime_{};
  // When the bytes written so far have all crossed the line.
  Clock::time_point lineFree_{};
  bool awaitingAnswer_ = false;
  std::vector<std::chrono::microseconds> waits_;
};

// The answers' wait since the port was last opened.
AnswerWaits answerWaits();

}  // namespace voren
