#pragma once
// Every serial test starts from the unit's start values and leaves no port
// open or worker running behind it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "serial/unit_state.h"

namespace voren::test {

class SerialUnitTest : public ::testing::Test {
 protected:
  void SetUp() override { winseria::ResetUnit(); }
  void TearDown() override { winseria::ResetUnit(); }
};

// Runs a transfer on a thread of its own and gives it `limit` to answer. One
// that does not answer fails the test, named by `what`, and is then released
// through the cancel signal: a hang shows at once and says what hung.
int32_t answerWithin(std::chrono::milliseconds limit, std::string_view what,
                     const std::function<int32_t()>& transfer);

}  // namespace voren::test
