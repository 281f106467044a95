#pragma once
#include "platform/win32/win32.h"

namespace winseria {

// An overlapped I/O nobody waits for any more is cancelled and waited out,
// so its completion never writes into storage that is about to go.
void AbandonIo(HANDLE device, OVERLAPPED& overlap);

}  // namespace winseria
