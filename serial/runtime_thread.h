#pragma once
// The thread object the unit's workers are built on: created suspended and
// started by Resume, a stop-requested flag the worker polls, and a wait for
// the end during which the waiting (owner) thread runs the operations that
// workers hand over to it.
#include <atomic>
#include <functional>

#include "platform/win32/win32.h"

namespace winseria {

class RuntimeThread {
 public:
  RuntimeThread(const RuntimeThread&) = delete;
  RuntimeThread& operator=(const RuntimeThread&) = delete;
  virtual ~RuntimeThread();

  void Resume();
  // Sets the stop-requested flag; the worker looks at it between its waits.
  void Terminate() { stopRequested_ = true; }
  bool Terminated() const { return stopRequested_; }
  bool SetPriority(int priority);
  // Blocks until the thread has ended, running handed-over operations
  // meanwhile. Returns at once for a thread that never started.
  void WaitFor();
  bool Started() const { return handle_ != nullptr; }
  // Signalled once the thread has ended; null when it never started.
  HANDLE ThreadHandle() const { return handle_; }

 protected:
  // Creates the platform thread suspended; Execute runs after Resume.
  RuntimeThread();
  virtual void Execute() = 0;
  // Runs op on the owner thread while it waits for a worker to end, and
  // blocks until it has run there.
  static void HandOver(const std::function<void()>& op);
  // For destructors of derived classes: the thread must not outlive the
  // part of the object it runs in. Resumes a thread that never ran.
  void EndBeforeDestruction();

 private:
  static DWORD WINAPI Entry(LPVOID self);

  HANDLE handle_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> resumed_{false};
};

}  // namespace winseria
