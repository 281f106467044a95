// Priorities as Linux sees them: nice values per thread.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
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
  // The run may itself have been started under nice: the class put back is
  // the nice value the process started at, whatever that was.
  const int startNice = niceOf(syscall(SYS_gettid));

  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_INFORMATION, FALSE,
                               GetCurrentProcessId());
  const DWORD original = GetPriorityClass(process);
  // A class other than the one the run started in, so that it moves the nice value.
  const bool startedHigh = original == HIGH_PRIORITY_CLASS;
  const DWORD raised = startedHigh ? REALTIME_PRIORITY_CLASS : HIGH_PRIORITY_CLASS;
  const int raisedNice = startedHigh ? -20 : -10;
  ASSERT_TRUE(SetPriorityClass(process, raised));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), raisedNice);
  EXPECT_EQ(niceOf(otherTid), raisedNice);
  // Highest (2), below normal (-1), lowest (-2): one level is two nice
  // steps, and a higher priority is a lower nice value.
  for (const auto& [priority, niceSteps] : {std::pair{2, -4}, {-1, 2}, {-2, 4}}) {
    ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), priority));
    EXPECT_EQ(niceOf(syscall(SYS_gettid)), std::clamp(raisedNice + niceSteps, -20, 19))
        << "thread priority " << priority;
  }

  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), -20);
  // A class change keeps the thread's own priority.
  ASSERT_TRUE(SetPriorityClass(process, original));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), -20);
  EXPECT_EQ(niceOf(otherTid), startNice);
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(niceOf(syscall(SYS_gettid)), startNice);

  done = true;
  other.join();
  CloseHandle(process);
}

}  // namespace
