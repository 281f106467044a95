#pragma once
// Kernel objects of the emulation: what a HANDLE stands for, the handle table,
// the per-thread last error and the machinery every wait is built on.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/win32/posix/win32_api.h"

namespace voren::win32 {

using Clock = std::chrono::steady_clock;

// A thread blocked in a WaitFor... call. It sleeps on a futex word of its
// own, so that signalling an object wakes only the threads that wait for
// that object, and a wake-up is one system call: a condition variable's
// waiter takes its mutex back as contended, which costs each hand-over a
// second futex call that wakes nobody. One per thread, reused by its waits;
// a wake-up meant for an earlier wait only makes the next one look again.
class Waiter {
 public:
  // Under signalMutex(): gives it up until woken or past the deadline (none:
  // no limit), and takes it back. May return without either.
  void sleep(std::unique_lock<std::mutex>& lock, const Clock::time_point* deadline);
  // Once signalMutex() is released.
  void wake();

 private:
  static constexpr std::uint32_t kAwake = 0, kAsleep = 1, kWoken = 2;
  std::atomic<std::uint32_t> state_{kAwake};
};

class Object;

// The waiters a signal is to wake, woken as this goes out of scope. Declared
// before the lock on signalMutex(), so that they are woken after it is
// released: a waiter woken while its waker still holds the mutex runs only to
// block on it again, a thread switch more per signal. Shared ownership keeps
// a waiter that has already seen the signal and left alive until then.
class Wakeups {
 public:
  Wakeups() = default;
  Wakeups(const Wakeups&) = delete;
  Wakeups& operator=(const Wakeups&) = delete;
  ~Wakeups();
  // Under signalMutex().
  void collect(const Object& object);

 private:
  std::vector<std::shared_ptr<Waiter>> waiters_;
};

// Guards the signal state of every waitable object and their waiter lists.
// Lock order: a comm device's own mutex may be held when taking this one,
// never the other way round.
std::mutex& signalMutex();

class Object {
 public:
  virtual ~Object() = default;
  // Called by CloseHandle when the handle goes away (others may still hold a
  // reference for the length of a call).
  virtual void closed() {}

  // The wait protocol, all under signalMutex().
  virtual bool signalled() const { return false; }
  // A satisfied wait takes the signal (auto-reset events).
  virtual void consume() {}

  std::vector<std::shared_ptr<Waiter>> waiters;
};

using ObjectRef = std::shared_ptr<Object>;

HANDLE insertHandle(ObjectRef object);
ObjectRef findHandle(HANDLE handle);
ObjectRef removeHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> findAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(findHandle(handle));
}

// Waits until one (or, with all, every one) of the objects is signalled:
// WAIT_OBJECT_0 + index of the lowest signalled one, or WAIT_TIMEOUT.
DWORD waitForObjects(std::span<const ObjectRef> objects, bool all, DWORD milliseconds);

// Sets the thread's last error and hands back the value given, for
// `return fail(ERROR_X, FALSE);`.
template <class T>
T fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

}  // namespace voren::win32
