#include "platform/win32/posix/win32_objects.h"

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

Wakeups::~Wakeups() {
  for (const auto& waiter : waiters_) waiter->wake.notify_one();
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
  std::shared_ptr<Waiter> self;
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
    if (!self) {
      self = std::make_shared<Waiter>();
      for (auto& o : objects) o->waiters.push_back(self);
    }
    if (milliseconds == INFINITE) {
      self->wake.wait(lock);
    } else if (self->wake.wait_until(lock, deadline) == std::cv_status::timeout &&
               Clock::now() >= deadline) {
      // One last look, so that a signal racing the deadline is not lost.
      milliseconds = 0;
    }
  }
  if (self) {
    for (auto& o : objects) std::erase(o->waiters, self);
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
