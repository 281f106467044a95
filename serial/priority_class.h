#pragma once
// The process priority class, raised while a connection is open and put
// back at disconnect.
#include <optional>

#include "platform/win32/win32.h"

namespace winseria {

struct PriorityState {
  // The class found when the last event worker was created.
  std::optional<DWORD> SavedPriorityClass;
};

PriorityState& priorityState();

// Saves the current class and raises idle or normal to high.
void RaisePriorityClass();
// Puts back the saved class, when one was saved and it changed since or
// cannot be read.
void RestorePriorityClass();

}  // namespace winseria
