// The answers' wait: what is left of each answer's delay once the line's
// own time is taken off, on a clock the test drives.
#include "link/answer_waits.h"

#include <gtest/gtest.h>

namespace voren {
namespace {

using namespace std::chrono;
using Clock = AnswerClock::Clock;

// 11 bits at 38400 baud.
constexpr auto kByte = nanoseconds(286'458);

double millis(microseconds wait) { return static_cast<double>(wait.count()) / 1000; }

TEST(AnswerClock, AnAnswerWaitsOnlyWhatTheLineDoesNotExplain) {
  AnswerClock clock;
  clock.start(38400, 2);
  const Clock::time_point t0{seconds(100)};

  // ESC and the command, the acknowledgement 16 ms after it could be here.
  clock.wrote(t0);
  clock.wrote(t0 + microseconds(20));
  clock.read(t0 + 3 * kByte + milliseconds(16), true);
  // The rest of a longer answer is no answer of its own.
  clock.read(t0 + seconds(1), true);

  // 130 bytes taken by the driver at once: the status can come no sooner
  // than they and it have crossed the line, and comes then.
  const Clock::time_point t1 = t0 + seconds(2);
  for (int i = 0; i < 130; ++i) clock.wrote(t1 + microseconds(i));
  clock.read(t1 + 131 * kByte, true);

  // A pseudo-terminal has no line: an answer sooner than a line allows
  // waited nothing.
  const Clock::time_point t2 = t0 + seconds(3);
  clock.wrote(t2);
  clock.read(t2 + microseconds(50), true);

  // A read that failed brought no answer, nor does the read after it.
  const Clock::time_point t3 = t0 + seconds(4);
  clock.wrote(t3);
  clock.read(t3 + seconds(3), false);
  clock.read(t3 + seconds(4), true);

  // One more adapter-held answer, shorter than the first.
  const Clock::time_point t4 = t0 + seconds(5);
  clock.wrote(t4);
  clock.read(t4 + 2 * kByte + milliseconds(4), true);

  const AnswerWaits waits = clock.summary();
  EXPECT_EQ(waits.count, 4u);
  // Waits 16, 0, 0 and 4 ms: the upper of the two middle ones.
  EXPECT_NEAR(millis(waits.median), 4, 0.01);
  EXPECT_NEAR(millis(waits.largest), 16, 0.01);

  // An opened port starts afresh, at its own speed and frame.
  clock.start(9600, 0);
  EXPECT_EQ(clock.summary().count, 0u);
  clock.wrote(t0);
  clock.read(t0 + 2 * nanoseconds(1'041'667) + milliseconds(1), true);
  EXPECT_NEAR(millis(clock.summary().median), 1, 0.01);
}

}  // namespace
}  // namespace voren
