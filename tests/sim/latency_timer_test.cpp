// The adapter between the printer and the computer: what it holds and when
// it lets go.
#include "sim/latency_timer.h"

#include <gtest/gtest.h>

namespace voren::sim {
namespace {

using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

TEST(LatencyTimer, HoldsFromTheFirstByteUntilTheTimerOrAFullPacket) {
  LatencyTimer adapter(milliseconds(16));
  ASSERT_TRUE(adapter.present());
  const LatencyTimer::Clock::time_point t0{seconds(10)};
  EXPECT_FALSE(adapter.due());

  // The timer runs from the first byte held; later ones do not restart it.
  EXPECT_FALSE(adapter.hold(0x06, t0));
  EXPECT_FALSE(adapter.hold(0x00, t0 + milliseconds(5)));
  EXPECT_EQ(adapter.due(), t0 + milliseconds(16));
  EXPECT_EQ(adapter.release(), (Bytes{0x06, 0x00}));
  EXPECT_FALSE(adapter.due());

  // A new byte starts a new wait.
  const auto t1 = t0 + seconds(1);
  adapter.hold(0x06, t1);
  EXPECT_EQ(adapter.due(), t1 + milliseconds(16));
  adapter.release();

  // The 62nd byte fills a USB packet: all go at once, in order.
  Bytes sent;
  for (int i = 0; i < 61; ++i) {
    sent.push_back(static_cast<std::uint8_t>(i));
    EXPECT_FALSE(adapter.hold(sent.back(), t1)) << i;
  }
  sent.push_back(61);
  EXPECT_TRUE(adapter.hold(61, t1));
  EXPECT_EQ(adapter.release(), sent);

  EXPECT_FALSE(LatencyTimer(milliseconds(0)).present());
}

}  // namespace
}  // namespace voren::sim
