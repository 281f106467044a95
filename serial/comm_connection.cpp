// Connection of TComm: the device, both workers, the settings and the cancel
// signal, brought up and taken down in a fixed order.
#include "serial/comm.h"
#include "serial/event_thread.h"
#include "serial/last_error.h"
#include "serial/priority_class.h"
#include "serial/texts.h"
#include "serial/transfer_state.h"
#include "serial/transfer_thread.h"

namespace winseria {

DWORD TComm::Connect() {
  Disconnect();
  SetLastError(0);
  ClearError();
  DWORD result = Open();
  Sleep(100);
  if (!IsOpen()) return result;

  EventThread = std::make_unique<TZdarzeniaCommThread>(Handle, EventSet);
  EventThread->OnEvent = [this](TZdarzeniaCommThread* worker, DWORD eventMask) {
    OnCommEvent(worker, eventMask);
  };
  TransferThread = std::make_unique<TZapisOdczytThread>(Handle);

  result = ApplyState();
  if (result != 0) return result;
  if (!SetupComm(Handle, static_cast<DWORD>(InQueueSize), static_cast<DWORD>(OutQueueSize))) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladBuforow, static_cast<int32_t>(error));
    return error;
  }
  result = ApplyTimeouts(WriteTimeout, ReadTimeout);

  auto& t = transferState();
  ReleaseCancelSignal();
  t.CancelSignal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD createError = GetLastError();
  Sleep(100);
  if (t.CancelSignal == nullptr) {
    RecordError(texts::kErrorCreateEvent, static_cast<int32_t>(createError));
    return createError;
  }
  return result;
}

DWORD TComm::Disconnect() {
  SetLastError(0);
  RestorePriorityClass();
  SetLastError(0);
  if (!IsOpen()) return 0;
  if (!SetCommTimeouts(Handle, &SavedTimeouts)) {
    RecordError(texts::kBladAktualizacjiCzasow, static_cast<int32_t>(GetLastError()));
  }
  // A transfer under way, started from another thread, ends on the cancel
  // signal; without it the transfer worker would only end with the
  // transfer's time-out, or never. A connection that failed before its
  // cancel signal was made has nothing to cancel: transfers already fail at
  // once on the missing signal.
  const HANDLE cancel = transferState().CancelSignal;
  const bool cancelFailed = cancel != nullptr && !SetEvent(cancel);
  const DWORD cancelError = cancelFailed ? GetLastError() : 0;
  // The event worker goes first; waiting for it runs its pending hand-over.
  if (EventThread) {
    EventThread->Stop();
    EventThread->WaitFor();
    EventThread.reset();
  }
  if (TransferThread) {
    TransferThread->Stop();
    TransferThread->WaitFor();
    TransferThread.reset();
  }
  CloseDevice();
  if (cancelFailed) {
    RecordError(texts::kBladSygnalizacjiZdarzenia, static_cast<int32_t>(cancelError));
    return cancelError;
  }
  return 0;
}

void TComm::OnCommEvent(TZdarzeniaCommThread* /*worker*/, DWORD eventMask) {
  // Until this runs, fAbortOnError keeps every transfer after a line error
  // failing.
  ClearCommError(Handle, &LineErrors, &LineStatus);
  // Each kind alone, the line error included, so its texts reach IsError.
  // The first event holds the worker until the disconnect, so a line error
  // that came later shows only in the bits just cleared.
  if (LineErrors != 0) eventMask |= EV_ERR;
  for (const DWORD kind : kEventKinds) {
    if (eventMask & kind) HandleEvent(kind);
  }
}

}  // namespace winseria
