#include "serial/event_thread.h"

#include <iterator>

#include "serial/abandon_io.h"
#include "serial/comm.h"
#include "serial/priority_class.h"

namespace winseria {

DWORD EventMaskFor(uint16_t eventSet) {
  DWORD mask = 0;
  for (unsigned bit = 0; bit < std::size(kEventKinds); ++bit) {
    if (eventSet & (1u << bit)) mask |= kEventKinds[bit];
  }
  return mask;
}

TZdarzeniaCommThread::TZdarzeniaCommThread(HANDLE commHandle, uint16_t eventSet)
    : CommHandle(commHandle) {
  SetLastError(0);
  RaisePriorityClass();
  SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
  SetCommMask(commHandle, EventMaskFor(eventSet));
  // Made before the thread runs: Stop may come before Execute gets going.
  StopSignal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Resume();
}

TZdarzeniaCommThread::~TZdarzeniaCommThread() {
  if (Started()) {
    Stop();
    EndBeforeDestruction();
  }
  if (StopSignal != nullptr) CloseHandle(StopSignal);
}

void TZdarzeniaCommThread::Stop() {
  if (StopSignal != nullptr) SetEvent(StopSignal);
  Terminate();
}

void TZdarzeniaCommThread::Execute() {
  SetLastError(0);
  OVERLAPPED overlap{};
  overlap.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  bool pending = false;
  for (;;) {
    pending =
        !WaitCommEvent(CommHandle, &EventMask, &overlap) && GetLastError() == ERROR_IO_PENDING;
    HANDLE waits[2] = {StopSignal, overlap.hEvent};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_OBJECT_0 + 1) {
      DWORD unused = 0;
      if (!GetOverlappedResult(CommHandle, &overlap, &unused, FALSE)) break;
      pending = false;
      HandOver([this] { DispatchEvent(); });
    } else if (r == WAIT_FAILED) {
      // Waiting again would only fail again, at full speed.
      break;
    }
    if (Terminated()) break;
  }
  // The last query writes into this frame's record and EventMask when it
  // ends; it must end before they go.
  if (pending) AbandonIo(CommHandle, overlap);
  PurgeComm(CommHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  if (overlap.hEvent != nullptr) CloseHandle(overlap.hEvent);
}

void TZdarzeniaCommThread::DispatchEvent() {
  if (OnEvent) OnEvent(this, EventMask);
}

}  // namespace winseria
