#include "platform/win32/posix/win32_objects.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "platform/win32/posix/win32_fault_points.h"

namespace voren::win32 {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, ObjectRef> objects;
  // Handle values are multiples of 4 as on Windows and are not reused, so a
  // stale handle fails with 6 instead of reaching a newer object.
  std::uintptr_t next = 4;
};

// Never destroyed: threads still running at exit must not meet a dead table.
HandleTable& table() {
  static auto* instance = new HandleTable;
  return *instance;
}

thread_local DWORD lastError = 0;

}  // namespace

std::mutex& signalMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

void Waiter::sleep(std::unique_lock<std::mutex>& lock, const Clock::time_point* deadline) {
  state_.store(kAsleep, std::memory_order_relaxed);
  timespec until{};
  if (deadline != nullptr) {
    const auto since = deadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    until.tv_sec = static_cast<time_t>(seconds.count());
    until.tv_nsec = static_cast<long>(std::chrono::nanoseconds(since - seconds).count());
  }
  lock.unlock();
  // An absolute time on the monotonic clock, which steady_clock reads. A
  // wake-up that came first leaves the word changed and this returns at once.
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state_), FUTEX_WAIT_BITSET_PRIVATE, kAsleep,
          deadline != nullptr ? &until : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
  lock.lock();
}

void Waiter::wake() {
  if (state_.exchange(kWoken) == kAsleep) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&state_), FUTEX_WAKE_PRIVATE, 1);
  }
}

Wakeups::~Wakeups() {
  for (const auto& waiter : waiters_) waiter->wake();
}

void Wakeups::collect(const Object& object) {
  waiters_.insert(waiters_.end(), object.waiters.begin(), object.waiters.end());
}

HANDLE insertHandle(ObjectRef object) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

ObjectRef findHandle(HANDLE handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

ObjectRef removeHandle(HANDLE handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  const auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end()) return nullptr;
  ObjectRef object = std::move(it->second);
  t.objects.erase(it);
  return object;
}

DWORD waitForObjects(std::span<const ObjectRef> objects, bool all, DWORD milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  thread_local const auto waiter = std::make_shared<Waiter>();
  bool waiting = false;
  std::unique_lock lock(signalMutex());
  DWORD result = WAIT_TIMEOUT;
  for (;;) {
    if (all) {
      if (std::all_of(objects.begin(), objects.end(), [](auto& o) { return o->signalled(); })) {
        for (auto& o : objects) o->consume();
        result = WAIT_OBJECT_0;
        break;
      }
    } else {
      const auto hit =
          std::find_if(objects.begin(), objects.end(), [](auto& o) { return o->signalled(); });
      if (hit != objects.end()) {
        (*hit)->consume();
        result = WAIT_OBJECT_0 + static_cast<DWORD>(hit - objects.begin());
        break;
      }
    }
    if (milliseconds == 0) break;
    if (!waiting) {
      waiting = true;
      for (auto& o : objects) o->waiters.push_back(waiter);
    }
    if (milliseconds == INFINITE) {
      waiter->sleep(lock, nullptr);
    } else {
      waiter->sleep(lock, &deadline);
      // One last look, so that a signal racing the deadline is not lost.
      if (Clock::now() >= deadline) milliseconds = 0;
    }
  }
  if (waiting) {
    for (auto& o : objects) std::erase(o->waiters, waiter);
  }
  return result;
}

}  // namespace voren::win32

using namespace voren::win32;

extern "C" {

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

BOOL CloseHandle(HANDLE object) {
  if (injectFault(voren::faults::Call::CloseHandle)) return FALSE;
  ObjectRef removed = removeHandle(object);
  if (!removed) return fail(ERROR_INVALID_HANDLE, FALSE);
  removed->closed();
  return TRUE;
}

}  // extern "C"
