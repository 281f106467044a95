#include "serial/runtime_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace winseria {
namespace {

struct PendingOp {
  const std::function<void()>* op;
  bool done = false;
};

// Operations handed over by workers, waiting for the owner thread. The
// signal wakes an owner blocked in WaitFor; it is made once per process.
struct HandOverQueue {
  std::mutex lock;
  std::condition_variable ran;
  std::deque<PendingOp*> pending;
  HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

HandOverQueue& queue() {
  // Never destroyed: workers may outlive the static objects at exit.
  static auto* q = new HandOverQueue;
  return *q;
}

void runHandOvers() {
  auto& q = queue();
  std::unique_lock guard(q.lock);
  while (!q.pending.empty()) {
    PendingOp* p = q.pending.front();
    q.pending.pop_front();
    guard.unlock();
    (*p->op)();
    guard.lock();
    p->done = true;
    q.ran.notify_all();
  }
  ResetEvent(q.signal);
}

}  // namespace

RuntimeThread::RuntimeThread() {
  queue();  // the hand-over signal exists before any worker can need it
  DWORD id = 0;
  handle_ = CreateThread(nullptr, 0, &RuntimeThread::Entry, this, CREATE_SUSPENDED, &id);
}

RuntimeThread::~RuntimeThread() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

DWORD WINAPI RuntimeThread::Entry(LPVOID self) {
  static_cast<RuntimeThread*>(self)->Execute();
  return 0;
}

void RuntimeThread::Resume() {
  if (handle_ != nullptr && !resumed_.exchange(true)) ResumeThread(handle_);
}

bool RuntimeThread::SetPriority(int priority) {
  return handle_ != nullptr && SetThreadPriority(handle_, priority);
}

void RuntimeThread::WaitFor() {
  if (handle_ == nullptr) return;
  auto& q = queue();
  for (;;) {
    HANDLE waits[2] = {handle_, q.signal};
    // Without a wake-up signal the queue is looked at every 10 ms instead.
    const bool woken = q.signal != nullptr;
    const DWORD r = WaitForMultipleObjects(woken ? 2 : 1, waits, FALSE, woken ? INFINITE : 10);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_OBJECT_0 + 1 || r == WAIT_TIMEOUT) {
      runHandOvers();
    } else {
      // A failed wait must not let the caller destroy a running thread.
      runHandOvers();
      Sleep(1);
    }
  }
}

void RuntimeThread::HandOver(const std::function<void()>& op) {
  auto& q = queue();
  PendingOp p{&op};
  std::unique_lock guard(q.lock);
  q.pending.push_back(&p);
  SetEvent(q.signal);
  q.ran.wait(guard, [&] { return p.done; });
}

void RuntimeThread::EndBeforeDestruction() {
  if (handle_ == nullptr) return;
  Terminate();
  Resume();
  WaitFor();
}

}  // namespace winseria
