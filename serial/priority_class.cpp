#include "serial/priority_class.h"

#include "serial/last_error.h"

namespace winseria {
namespace {

// A failure to open the own process leaves only its number in the record.
HANDLE openOwnProcess(DWORD access) {
  HANDLE process = OpenProcess(access, FALSE, GetCurrentProcessId());
  if (process == nullptr) RecordCode(static_cast<int32_t>(GetLastError()));
  return process;
}

bool setOwnClass(DWORD priorityClass) {
  HANDLE process = openOwnProcess(PROCESS_SET_INFORMATION);
  if (process == nullptr) return false;
  const bool set = SetPriorityClass(process, priorityClass);
  CloseHandle(process);
  return set;
}

}  // namespace

PriorityState& priorityState() {
  static PriorityState state;
  return state;
}

void RaisePriorityClass() {
  HANDLE process = openOwnProcess(PROCESS_QUERY_INFORMATION);
  if (process == nullptr) return;
  const DWORD current = GetPriorityClass(process);
  CloseHandle(process);
  if (current == 0) return;
  priorityState().SavedPriorityClass = current;
  if (current == IDLE_PRIORITY_CLASS || current == NORMAL_PRIORITY_CLASS) {
    setOwnClass(HIGH_PRIORITY_CLASS);
  }
}

void RestorePriorityClass() {
  // A class that cannot be read back is put back all the same: the process
  // must not stay raised.
  DWORD current = 0;
  HANDLE process = openOwnProcess(PROCESS_QUERY_INFORMATION);
  if (process != nullptr) {
    current = GetPriorityClass(process);
    CloseHandle(process);
  }
  const auto& saved = priorityState().SavedPriorityClass;
  if (saved && current != *saved) setOwnClass(*saved);
}

}  // namespace winseria
