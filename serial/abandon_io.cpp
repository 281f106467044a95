#include "serial/abandon_io.h"

namespace winseria {

void AbandonIo(HANDLE device, OVERLAPPED& overlap) {
  DWORD moved = 0;
  // ERROR_NOT_FOUND: it has already ended, there is nothing to wait for.
  if (CancelIoEx(device, &overlap) || GetLastError() != ERROR_NOT_FOUND) {
    GetOverlappedResult(device, &overlap, &moved, TRUE);
  }
}

}  // namespace winseria
