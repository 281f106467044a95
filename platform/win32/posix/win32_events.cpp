#include "platform/win32/posix/win32_events.h"

#include <sched.h>

#include <thread>

#include "platform/win32/posix/win32_fault_points.h"

namespace voren::win32 {

void Event::set() {
  Wakeups wakeups;
  std::lock_guard lock(signalMutex());
  state_ = true;
  wakeups.collect(*this);
}

void Event::reset() {
  std::lock_guard lock(signalMutex());
  state_ = false;
}

}  // namespace voren::win32

using namespace voren::win32;
using voren::faults::Call;

namespace {

DWORD waitForHandles(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    return fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  }
  std::vector<ObjectRef> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    ObjectRef object = findHandle(handles[i]);
    if (!object) return fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    objects.push_back(std::move(object));
  }
  return waitForObjects(objects, waitAll != FALSE, milliseconds);
}

}  // namespace

extern "C" {

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
  if (injectFault(Call::CreateEventA)) return nullptr;
  // Named events would be shared between processes; the unit never names one.
  if (name != nullptr) return fail(ERROR_NOT_SUPPORTED, static_cast<HANDLE>(nullptr));
  return insertHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  if (injectFault(Call::SetEvent)) return FALSE;
  const auto e = findAs<Event>(event);
  if (!e) return fail(ERROR_INVALID_HANDLE, FALSE);
  e->set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  if (injectFault(Call::ResetEvent)) return FALSE;
  const auto e = findAs<Event>(event);
  if (!e) return fail(ERROR_INVALID_HANDLE, FALSE);
  e->reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return waitForHandles(1, &object, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
  if (injectFault(Call::WaitForMultipleObjects)) return WAIT_FAILED;
  return waitForHandles(count, objects, waitAll, milliseconds);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ULONGLONG GetTickCount64() {
  return static_cast<ULONGLONG>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

}  // extern "C"
