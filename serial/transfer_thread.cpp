#include "serial/transfer_thread.h"

#include <exception>

#include "serial/comm.h"
#include "serial/last_error.h"
#include "serial/port_object.h"
#include "serial/texts.h"
#include "serial/transfer_state.h"

namespace winseria {
namespace {

bool makeSignal(HANDLE& h, BOOL initiallySet) {
  h = CreateEventA(nullptr, TRUE, initiallySet, nullptr);
  if (h != nullptr) return true;
  RecordError(texts::kBladCreateEventSpacja, static_cast<int32_t>(GetLastError()));
  return false;
}

// An engine that faults, or finds no port object, ends the transfer like any
// other way out; its request may still be set, so the worker retires rather
// than take it again.
template <typename Engine>
void runEngine(Engine engine) {
  try {
    if (portObject() != nullptr) {
      engine(*portObject());
      return;
    }
  } catch (const std::exception&) {
  }
  RecordError(texts::kPortNieOtwarty, -1);
  transferState().SignalsBroken = true;
  EndTransfer(0);
}

}  // namespace

TZapisOdczytThread::TZapisOdczytThread(HANDLE commHandle) : CommHandle(commHandle) {
  auto& t = transferState();
  ReleaseTransferSignals();
  t.SignalsBroken = false;
  signalsReady_ = makeSignal(t.IdleSignal, TRUE) && makeSignal(StopSignal, FALSE) &&
                  makeSignal(t.WriteRequest, FALSE) && makeSignal(t.ReadRequest, FALSE);
  SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
  Resume();
}

TZapisOdczytThread::~TZapisOdczytThread() {
  if (Started()) {
    Stop();
    EndBeforeDestruction();
  }
  if (StopSignal != nullptr) CloseHandle(StopSignal);
}

void TZapisOdczytThread::Stop() {
  if (StopSignal != nullptr) SetEvent(StopSignal);
  Terminate();
}

void TZapisOdczytThread::Execute() {
  auto& t = transferState();
  if (!signalsReady_) return;
  for (;;) {
    HANDLE waits[3] = {StopSignal, t.WriteRequest, t.ReadRequest};
    const DWORD r = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 1) {
      ResetEvent(t.IdleSignal);
      DoWrite();
    } else if (r == WAIT_OBJECT_0 + 2) {
      ResetEvent(t.IdleSignal);
      DoRead();
    } else {
      return;
    }
    if (t.SignalsBroken || Terminated()) return;
  }
}

void TZapisOdczytThread::DoWrite() {
  runEngine([](TComm& port) { port.WriteData(&transferState().OutByte); });
}

void TZapisOdczytThread::DoRead() {
  runEngine([](TComm& port) { port.ReadData(&transferState().InByte, 1); });
}

}  // namespace winseria
