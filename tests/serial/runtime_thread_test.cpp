// The workers' thread object: a hand-over runs on the owner thread, and only
// while the owner waits for a worker to end.
#include <gtest/gtest.h>

#include <atomic>

#include "serial/workers.h"

namespace winseria {
namespace {

class HandingOverThread : public RuntimeThread {
 public:
  HandingOverThread() { Resume(); }
  ~HandingOverThread() override { EndBeforeDestruction(); }

  std::atomic<DWORD> ranOn{0};
  std::atomic<bool> handedBack{false};

 protected:
  void Execute() override {
    HandOver([this] { ranOn = GetCurrentThreadId(); });
    handedBack = true;
  }
};

TEST(RuntimeThread, HandOverRunsOnTheOwnerWhileItWaits) {
  HandingOverThread worker;
  Sleep(100);
  // The owner is not waiting yet: the worker is held in its hand-over.
  EXPECT_EQ(worker.ranOn, 0u);
  EXPECT_FALSE(worker.handedBack);
  worker.WaitFor();
  EXPECT_EQ(worker.ranOn, GetCurrentThreadId());
  EXPECT_TRUE(worker.handedBack);
}

class IdleThread : public RuntimeThread {
 public:
  ~IdleThread() override { EndBeforeDestruction(); }
  using RuntimeThread::Resume;
  std::atomic<bool> ran{false};

 protected:
  void Execute() override {
    ran = true;
    while (!Terminated()) Sleep(1);
  }
};

TEST(RuntimeThread, CreatedSuspendedAndEndedOnRequest) {
  auto worker = std::make_unique<IdleThread>();
  ASSERT_TRUE(worker->Started());
  Sleep(50);
  EXPECT_FALSE(worker->ran);
  worker->Resume();
  Sleep(50);
  EXPECT_TRUE(worker->ran);
  worker.reset();  // requests the stop and waits

  // One that never ran ends as well.
  auto never = std::make_unique<IdleThread>();
  never.reset();
}

}  // namespace
}  // namespace winseria
