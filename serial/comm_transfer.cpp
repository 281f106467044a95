// The overlapped transfer engines of TComm, run on the transfer worker.
#include <exception>

#include "serial/abandon_io.h"
#include "serial/comm.h"
#include "serial/last_error.h"
#include "serial/texts.h"
#include "serial/transfer_state.h"

namespace winseria {
namespace {

void record(std::string_view text) { RecordError(text, static_cast<int32_t>(GetLastError())); }

void closeCompletionEvent(OVERLAPPED& overlap) {
  if (overlap.hEvent != nullptr && !CloseHandle(overlap.hEvent)) {
    record(texts::kBladZamknieciaUchwytu);
  }
  overlap.hEvent = nullptr;
}

}  // namespace

DWORD EndTransfer(DWORD moved) {
  auto& t = transferState();
  t.TimeoutFlag = moved == 0;
  if (!SetEvent(t.IdleSignal)) {
    record(texts::kBladAnulacjiZdarzenia);
    t.SignalsBroken = true;
    t.TimeoutFlag = true;
    return 0;
  }
  return moved;
}

DWORD TComm::WriteData(const uint8_t* buffer) {
  auto& t = transferState();
  if (!ResetEvent(t.WriteRequest)) {
    record(texts::kBladZamknieciaUchwytu);
    t.SignalsBroken = true;
    return EndTransfer(0);
  }
  SetLastError(0);
  t.TimeoutFlag = true;
  WriteOverlap = OVERLAPPED{};
  WriteOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (WriteOverlap.hEvent == nullptr) {
    record(texts::kBladCreateEventSpacja);
    return EndTransfer(0);
  }
  DWORD written = 0;
  if (WriteFile(Handle, buffer, 1, &written, &WriteOverlap)) {
    if (written != 1) record(texts::kNiepoprawnyZapis);
  } else if (GetLastError() == ERROR_IO_PENDING) {
    t.WriteWaiting = true;
    HANDLE waits[2] = {WriteOverlap.hEvent, t.CancelSignal};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    t.WriteWaiting = false;
    if (r == WAIT_OBJECT_0) {
      SetLastError(0);
      if (!GetOverlappedResult(Handle, &WriteOverlap, &written, TRUE)) {
        record(texts::kNiepoprawnyZapis);
      } else if (written != 1) {
        record(texts::kTimeoutZapisu);
      }
    } else {
      if (r == WAIT_OBJECT_0 + 1) {
        record(texts::kZapisPrzerwany);
      } else if (r == WAIT_FAILED) {
        record(texts::kNiepoprawnyZapis);
      } else {
        record(texts::kNiepoprawnyZapisDoPortu);
      }
      AbandonIo(Handle, WriteOverlap);
    }
  } else {
    record(texts::kNiepoprawnyZapisDoPortu);
  }
  closeCompletionEvent(WriteOverlap);
  return EndTransfer(written);
}

DWORD TComm::ReadData(uint8_t* buffer, DWORD count) {
  auto& t = transferState();
  if (!ResetEvent(t.ReadRequest)) {
    record(texts::kBladZamknieciaUchwytu);
    t.SignalsBroken = true;
    return EndTransfer(0);
  }
  SetLastError(0);
  t.TimeoutFlag = true;
  ReadOverlap = OVERLAPPED{};
  ReadOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Without its own event the read still completes through the device handle.
  if (ReadOverlap.hEvent == nullptr) record(texts::kBladCreateEvent);
  DWORD read = 0;
  if (ReadFile(Handle, buffer, count, &read, &ReadOverlap)) {
    if (read != count) record(texts::kNiepoprawnyOdczyt);
  } else if (GetLastError() == ERROR_IO_PENDING) {
    t.ReadWaiting = true;
    HANDLE waits[2] = {ReadOverlap.hEvent, t.CancelSignal};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    t.ReadWaiting = false;
    if (r == WAIT_OBJECT_0) {
      SetLastError(0);
      if (!GetOverlappedResult(Handle, &ReadOverlap, &read, TRUE)) {
        // Aborted by a line error while fAbortOnError holds the device.
        if (GetLastError() == ERROR_OPERATION_ABORTED) {
          record(texts::kOdczytPrzerwanyBezKropki);
        } else {
          record(texts::kNiepoprawnyOdczyt);
        }
      } else if (read != count) {
        record(texts::kTimeoutOdczytu);
      }
    } else {
      if (r == WAIT_OBJECT_0 + 1) {
        record(texts::kOdczytPrzerwany);
      } else {
        record(texts::kNiepoprawnyOdczyt);
      }
      AbandonIo(Handle, ReadOverlap);
      read = 0;
    }
  } else {
    record(texts::kNiepoprawnyOdczyt);
  }
  closeCompletionEvent(ReadOverlap);
  return EndTransfer(read);
}

}  // namespace winseria
