// The serial unit over the emulation: a connection that has moved bytes both
// ways leaves no thread and no descriptor behind once it is closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "serial/winseria.h"
#include "tests/platform/pty_peer.h"

namespace {

using voren::test::countEntries;

TEST(SerialUnitOverEmulation, DisconnectLeavesNoThreadOrDescriptorBehind) {
  std::string name;
  const int master = voren::test::openRawPty(name);
  ASSERT_GE(master, 0);
  setenv("VOREN_COM9", name.c_str(), 1);

  // Sanitizers start a helper thread with the first thread: let that happen first.
  std::thread([] {}).join();
  const int threads = countEntries("/proc/self/task");
  const int descriptors = countEntries("/proc/self/fd");
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(InitializePort(9, 38400, 3, 3), 0);
    EXPECT_GT(countEntries("/proc/self/task"), threads);
    ASSERT_EQ(WriteByte(0x1b), 1);
    std::uint8_t byte = 0;
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    ASSERT_EQ(read(master, &byte, 1), 1);
    EXPECT_EQ(byte, 0x1b);
    ASSERT_EQ(write(master, "\x06", 1), 1);
    ASSERT_EQ(ReadByte(&byte), 1);
    EXPECT_EQ(byte, 0x06);

    EXPECT_EQ(UnInitializePort(), 0);
    EXPECT_EQ(countEntries("/proc/self/task"), threads);
    EXPECT_EQ(countEntries("/proc/self/fd"), descriptors);
  }
  unsetenv("VOREN_COM9");
  close(master);
}

}  // namespace
