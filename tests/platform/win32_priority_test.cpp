// Priorities as Linux sees them: nice values per thread.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/win32/win32.h"

namespace {

int niceOf(long tid) { return getpriority(PRIO_PROCESS, static_cast<id_t>(tid)); }

TEST(Win32PriorityOnLinux, ClassReachesEveryThreadAndThreadPrioritiesMoveIt) {
  if (geteuid() != 0) GTEST_SKIP() << "lowering nice values needs privileges";
  // A thread that exists before the class changes: Linux keeps nice per thread.
  std::atomic<long> otherTid{0};
  std::atomic<bool> done{false};
  std::thread other([&] {
    otherTid = syscall(SYS_gettid);
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  while (otherTid == 0) std::this_thread::yield();

  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION, FALSE,
                               GetCurrentProcessId());
  const DWORD original = GetPriorityClass(process);
  ASSERT_TRUE(SetPriorityClass(process, HIGH_PRIORITY_CLASS));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), -10);
  EXPECT_EQ(niceOf(otherTid), -10);

  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), -20);
  // A class change keeps the thread's own priority.
  ASSERT_TRUE(SetPriorityClass(process, original));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), -20);
  EXPECT_EQ(niceOf(otherTid), 0);
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), 0);

  done = true;
  other.join();
  CloseHandle(process);
}

}  // namespace
