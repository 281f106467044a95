// The summary line the simulator ends with, which the end-to-end tests read.
#include "sim/report.h"

#include <gtest/gtest.h>

namespace voren::sim {
namespace {

TEST(Summary, NamesEveryCount) {
  PrinterStats stats;
  stats.blocksStored = 144;
  stats.repeats = 1;
  stats.crcFailures = 1;
  stats.protocolErrors = 2;
  stats.updatesCompleted = 1;
  EXPECT_EQ(summaryLine(stats),
            "summary: blocks stored 144/144, repeats 1, CRC failures 1, verification failures 0, "
            "protocol errors 2, updates completed 1, bytes received 0");
}

}  // namespace
}  // namespace voren::sim
