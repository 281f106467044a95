// Events, waits, threads and the priority class of the Win32 subset. The
// same expectations hold on Windows; this binary runs natively and under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32/win32.h"
#include "platform/win32/win32_faults.h"

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Events {
  explicit Events(int count, BOOL manualReset = TRUE) {
    for (int i = 0; i < count; ++i)
      handles.push_back(CreateEventA(nullptr, manualReset, FALSE, nullptr));
  }
  ~Events() {
    for (HANDLE h : handles) CloseHandle(h);
  }
  std::vector<HANDLE> handles;
};

TEST(Win32Events, ManualResetStaysSignalledUntilReset) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Win32Events, AutoResetReleasesOneWaitAndClears) {
  HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

  // Two threads wait; one SetEvent lets exactly one of them through.
  std::atomic<int> through{0};
  auto waiter = [&] {
    if (WaitForSingleObject(event, 300) == WAIT_OBJECT_0) ++through;
  };
  std::thread a(waiter), b(waiter);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  SetEvent(event);
  a.join();
  b.join();
  EXPECT_EQ(through, 1);
  CloseHandle(event);
}

TEST(Win32Events, WaitAnyReportsTheLowestSignalledIndex) {
  Events events(3);
  SetEvent(events.handles[2]);
  SetEvent(events.handles[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events.handles.data(), FALSE, 0), WAIT_OBJECT_0 + 1);
  ResetEvent(events.handles[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events.handles.data(), FALSE, 0), WAIT_OBJECT_0 + 2);
  // Wait-all needs every one of them.
  EXPECT_EQ(WaitForMultipleObjects(3, events.handles.data(), TRUE, 0), WAIT_TIMEOUT);
  SetEvent(events.handles[0]);
  SetEvent(events.handles[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events.handles.data(), TRUE, 0), WAIT_OBJECT_0);
}

TEST(Win32Events, WaitTakesUpToSixtyFourHandles) {
  Events events(MAXIMUM_WAIT_OBJECTS + 1);
  SetEvent(events.handles[MAXIMUM_WAIT_OBJECTS - 1]);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, events.handles.data(), FALSE, 0),
            WAIT_OBJECT_0 + MAXIMUM_WAIT_OBJECTS - 1);
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, events.handles.data(), FALSE, 0),
            WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Win32Events, WaitEndsWhenAnotherThreadSignals) {
  Events events(2, FALSE);
  // Timed from before the setter starts: a busy host may run it, sleep and
  // all, before this thread reads the clock.
  const auto start = Clock::now();
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    SetEvent(events.handles[1]);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, events.handles.data(), FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  EXPECT_GE(millisecondsSince(start), 90);
  setter.join();
  // The auto-reset event was taken by the wait.
  EXPECT_EQ(WaitForSingleObject(events.handles[1], 0), WAIT_TIMEOUT);
}

TEST(Win32Events, TimeOutsLastAsLongAsAsked) {
  Events events(2);
  const auto start = Clock::now();
  EXPECT_EQ(WaitForMultipleObjects(2, events.handles.data(), FALSE, 200), WAIT_TIMEOUT);
  const auto waited = millisecondsSince(start);
  EXPECT_GE(waited, 195);
  EXPECT_LT(waited, 600);
}

TEST(Win32Events, BadHandlesFailTheWaitWithSix) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  HANDLE handles[2] = {event, nullptr};
  SetLastError(0);
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), 6u);
  CloseHandle(event);
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), 6u);
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), 6u);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), 6u);
}

TEST(Win32Events, LastErrorBelongsToTheThread) {
  std::atomic<int> step{0};
  DWORD otherSaw = 1;
  std::thread other([&] {
    otherSaw = GetLastError();
    SetLastError(5);
    step = 1;
    while (step != 2) std::this_thread::yield();
    otherSaw = GetLastError();
  });
  while (step != 1) std::this_thread::yield();
  SetLastError(87);
  EXPECT_EQ(GetLastError(), 87u);
  step = 2;
  other.join();
  EXPECT_EQ(otherSaw, 5u);
}

DWORD WINAPI countUp(LPVOID parameter) {
  ++*static_cast<std::atomic<int>*>(parameter);
  return 42;
}

TEST(Win32Threads, SuspendedThreadRunsOnlyAfterResume) {
  std::atomic<int> runs{0};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, countUp, &runs, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL));
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(runs, 0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(runs, 1);
  // A thread handle stays signalled once the thread has ended.
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(Win32Priority, ClassReadsBackWhatWasAskedAndRestores) {
  HANDLE query = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(query, nullptr);
  const DWORD original = GetPriorityClass(query);
  EXPECT_NE(original, 0u);

  HANDLE set = OpenProcess(PROCESS_SET_INFORMATION, FALSE, GetCurrentProcessId());
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(SetPriorityClass(set, HIGH_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(query), HIGH_PRIORITY_CLASS);
  EXPECT_TRUE(SetPriorityClass(set, original));
  EXPECT_EQ(GetPriorityClass(query), original);
  CloseHandle(set);
  CloseHandle(query);
}

TEST(Win32Faults, PlannedFailuresHitTheChosenCalls) {
  if (!voren::faults::available()) GTEST_SKIP() << "the real API cannot be made to fail";
  voren::faults::failCall(voren::faults::Call::CreateEventA, 8, 1, 1);
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE second = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD error = GetLastError();
  HANDLE third = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(error, 8u);
  EXPECT_NE(third, nullptr);

  voren::faults::failCall(voren::faults::Call::SetEvent, 6, 5);
  voren::faults::reset();
  EXPECT_TRUE(SetEvent(first));
  CloseHandle(first);
  CloseHandle(third);
}

}  // namespace
