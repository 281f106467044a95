// The serial unit over the emulation: a connection that has moved bytes both
// ways leaves no thread and no descriptor behind once it is closed, and a
// disconnect from another thread ends a transfer that is under way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "platform/win32/win32.h"
#include "platform/win32/win32_faults.h"
#include "serial/winseria.h"
#include "tests/platform/win32/pty_peer.h"

namespace {

using namespace std::chrono_literals;
using voren::test::countEntries;
using voren::test::settledCount;

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
    EXPECT_EQ(settledCount("/proc/self/task", threads), threads);
    EXPECT_EQ(countEntries("/proc/self/fd"), descriptors);
  }
  unsetenv("VOREN_COM9");
  close(master);
}

TEST(SerialUnitOverEmulation, DisconnectFromAnotherThreadEndsAHeldWrite) {
  std::string name;
  const int master = voren::test::openRawPty(name);
  ASSERT_GE(master, 0);
  setenv("VOREN_COM9", name.c_str(), 1);
  // The far end stops taking output: a write pends, and with a write
  // time-out of 0 it would pend for ever.
  const int line = open(name.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(line, 0);
  // No event worker: its end purges the port, which would end the write by
  // itself; only the cancel signal is left to do it.
  voren::faults::failCall(voren::faults::Call::CreateThread, ERROR_NOT_ENOUGH_MEMORY);
  ASSERT_EQ(InitializePort(9, 38400, 0, 3), 0);
  voren::faults::reset();
  ASSERT_EQ(tcflow(line, TCOOFF), 0);

  auto written = std::async(std::launch::async, [] { return WriteByte(0x41); });
  ASSERT_EQ(written.wait_for(300ms), std::future_status::timeout) << "the write was not held";
  const auto start = std::chrono::steady_clock::now();
  auto disconnected = std::async(std::launch::async, [] { return UnInitializePort(); });
  if (disconnected.wait_for(1s) != std::future_status::ready) {
    ADD_FAILURE() << "UnInitializePort did not end the held write within 1 s";
    tcflow(line, TCOON);  // let the write go, so both threads can end
  }
  EXPECT_EQ(disconnected.get(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(written.wait_for(1s), std::future_status::ready) << "WriteByte still waits";
  EXPECT_EQ(written.get(), 0);
  unsetenv("VOREN_COM9");
  close(line);
  close(master);
}

}  // namespace
