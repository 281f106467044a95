#pragma once
// Every serial test starts from the unit's start values and leaves no port
// open or worker running behind it. Free of the Win32 names, like
// serial/winseria.h, which tests of the exported functions include.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

namespace voren::test {

class SerialUnitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Runs work on a thread of its own and gives it `limit` to end. Work that
// does not end fails the test, named by `what`, and is then freed by
// `release`: a hang shows at once and says what hung.
int32_t endsWithin(std::chrono::milliseconds limit, std::string_view what,
                   const std::function<int32_t()>& work, const std::function<void()>& release);

// The same for a transfer, released through the cancel signal.
int32_t answerWithin(std::chrono::milliseconds limit, std::string_view what,
                     const std::function<int32_t()>& transfer);

}  // namespace voren::test
