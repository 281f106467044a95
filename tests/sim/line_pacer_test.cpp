// Answers paced at the line rate, as a real printer's come.
#include "sim/line_pacer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace voren::sim {
namespace {

TEST(LinePacer, AnswersWaitForTheLine) {
  using namespace std::chrono;
  LinePacer pacer(38400);
  const auto byte = nanoseconds(11'000'000'000LL / 38400);  // about 286 us
  const auto t0 = LinePacer::Clock::now();
  pacer.received(130, t0);
  // The status byte starts once the 130th byte is in, and takes a byte time.
  EXPECT_EQ(pacer.nextSend(t0), t0 + byte * 131);
  EXPECT_EQ(pacer.nextSend(t0), t0 + byte * 132);
  // Long after the line went quiet, an answer costs only its own time.
  const auto later = t0 + seconds(1);
  EXPECT_EQ(pacer.nextSend(later), later + byte);

  LinePacer unpaced(0);
  unpaced.received(130, t0);
  EXPECT_EQ(unpaced.nextSend(t0), t0);
}

}  // namespace
}  // namespace voren::sim
