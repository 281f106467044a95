// A write held by CTS on a port whose driver answers TIOCGICOUNT but never
// counts CTS changes, as cp210x's does in most kernels: the count stays still
// while the line moves. The driver is played here: this binary's ioctl answers for the
// pseudo-terminal under test and hands every other call to the kernel.
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/win32.h"
#include "tests/platform/win32/pty_peer.h"

namespace {

std::atomic<dev_t> playedDevice{0};
std::atomic<bool> ctsOn{false};

bool played(int fd) {
  struct stat node {};
  return playedDevice != 0 && fstat(fd, &node) == 0 && node.st_rdev == playedDevice;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (request == TIOCGICOUNT && played(fd)) {
    std::memset(argument, 0, sizeof(serial_icounter_struct));
    return 0;
  }
  if (request == TIOCMGET && played(fd)) {
    *static_cast<int*>(argument) = TIOCM_DSR | TIOCM_DTR | TIOCM_RTS | (ctsOn ? TIOCM_CTS : 0);
    return 0;
  }
  return static_cast<int>(syscall(SYS_ioctl, fd, request, argument));
}

namespace {

using namespace std::chrono_literals;

class UncountedCts : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = voren::test::openRawPty(slave_);
    ASSERT_GE(master_, 0);
    struct stat node {};
    ASSERT_EQ(stat(slave_.c_str(), &node), 0);
    playedDevice = node.st_rdev;
    setenv("VOREN_COM7", slave_.c_str(), 1);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    playedDevice = 0;
    if (master_ >= 0) close(master_);
    unsetenv("VOREN_COM7");
  }

  int master_ = -1;
  std::string slave_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

// A printer busy for a moment as the update starts holds CTS off, then lets
// go: the byte held back goes once it does, well inside its time-out.
TEST_F(UncountedCts, HeldWriteGoesWhenCtsComesOn) {
  ctsOn = false;
  port_ = CreateFileA(R"(\\.\COM7)", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port_, INVALID_HANDLE_VALUE) << GetLastError();
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_, &dcb));
  dcb.fOutxCtsFlow = TRUE;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutConstant = 3000;
  ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));

  OVERLAPPED held{};
  held.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const std::uint8_t byte = 0x1b;
  DWORD count = 0;
  ASSERT_FALSE(WriteFile(port_, &byte, 1, &count, &held)) << "written with CTS off";
  std::this_thread::sleep_for(200ms);
  const auto released = std::chrono::steady_clock::now();
  ctsOn = true;
  ASSERT_EQ(WaitForSingleObject(held.hEvent, 5000), WAIT_OBJECT_0) << "the held write hung";
  ASSERT_TRUE(GetOverlappedResult(port_, &held, &count, FALSE));
  EXPECT_EQ(count, 1u) << "the write timed out with CTS on";
  EXPECT_LT(std::chrono::steady_clock::now() - released, 1s);
  CloseHandle(held.hEvent);
  pollfd far{master_, POLLIN, 0};
  ASSERT_EQ(poll(&far, 1, 1000), 1) << "the byte never reached the far end";
  char arrived = 0;
  EXPECT_EQ(read(master_, &arrived, 1), 1);
  EXPECT_EQ(arrived, 0x1b);
}

}  // namespace
