#pragma once
// Every serial test starts from the unit's start values and leaves no port
// open or worker running behind it.
#include <gtest/gtest.h>

#include "serial/port_interface.h"

namespace voren::test {

class SerialUnitTest : public ::testing::Test {
 protected:
  void SetUp() override { winseria::port::ResetUnit(); }
  void TearDown() override { winseria::port::ResetUnit(); }
};

}  // namespace voren::test
