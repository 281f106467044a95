// The port object: configuration and open, the overlapped transfer engines
// run on the transfer worker, and the connection that brings the device, the
// workers, the settings and the cancel signal up and down in a fixed order.
#include "serial/comm.h"

#include <exception>

#include "serial/texts.h"
#include "serial/unit_state.h"
#include "serial/workers.h"

namespace winseria {
namespace {

int32_t parityFromSetting(uint8_t setting) {
  if (setting == 0) return NOPARITY;
  if (setting == 1) return ODDPARITY;
  return EVENPARITY;
}

void record(std::string_view text) { RecordError(text, static_cast<int32_t>(GetLastError())); }

void closeCompletionEvent(OVERLAPPED& overlap) {
  if (overlap.hEvent != nullptr && !CloseHandle(overlap.hEvent)) {
    record(texts::kBladZamknieciaUchwytu);
  }
  overlap.hEvent = nullptr;
}

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

// Stops a worker and waits for its end before it goes.
template <typename Worker>
void endWorker(std::unique_ptr<Worker>& worker) {
  if (!worker) return;
  worker->Stop();
  worker->WaitFor();
  worker.reset();
}

}  // namespace

TComm::TComm() : Parity(parityFromSetting(unitState().Settings.ParitySetting)) {}

TComm::~TComm() { Disconnect(); }

DWORD TComm::SetParameters(uint8_t port, DWORD speed, uint16_t writeSeconds, uint16_t readSeconds) {
  SetLastError(0);
  try {
    BaudRate = speed;
    PortName = "\\\\.\\COM" + std::to_string(port);
    WriteTimeout = writeSeconds;
    ReadTimeout = readSeconds;
  } catch (const std::exception&) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladAktualizacjiDcb, static_cast<int32_t>(error));
    return error;
  }
  return 0;
}

DWORD TComm::Open() {
  SetLastError(0);
  Handle = CreateFileA(PortName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
        RecordError(texts::kBrakUrzadzenia, static_cast<int32_t>(error));
        break;
      case ERROR_ACCESS_DENIED:
        RecordError(texts::kZabronionyDostep, static_cast<int32_t>(error));
        break;
      case ERROR_INVALID_HANDLE:
        RecordError(texts::kNiepoprawnyUchwyt, static_cast<int32_t>(error));
        break;
      default:
        RecordError(texts::kBledneUrzadzenie, static_cast<int32_t>(error));
    }
    return error;
  }
  if (GetFileType(Handle) == FILE_TYPE_CHAR) return 0;
  // A disk file or a pipe reports its type without an error; the open fails
  // all the same, with 6 (invalid handle) to match the text it records.
  DWORD error = GetLastError();
  if (error == 0) error = ERROR_INVALID_HANDLE;
  CloseDevice();
  RecordError(texts::kNiepoprawnyUchwyt, static_cast<int32_t>(error));
  return error;
}

void TComm::CloseDevice() {
  CloseHandle(Handle);
  Handle = INVALID_HANDLE_VALUE;
}

DWORD TComm::ApplyState() {
  SetLastError(0);
  if (!IsOpen()) return 0;
  if (!GetCommState(Handle, &Dcb)) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladAktualizacjiDcb, static_cast<int32_t>(error));
    return error;
  }
  Dcb.BaudRate = BaudRate;
  Dcb.Parity = static_cast<BYTE>(Parity);
  Dcb.StopBits = static_cast<BYTE>(StopBits);
  Dcb.ByteSize = static_cast<BYTE>(ByteSize);
  ApplyFlowControl(Dcb);
  if (!SetCommState(Handle, &Dcb)) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladAktualizacjiDcb, static_cast<int32_t>(error));
    return error;
  }
  return 0;
}

void TComm::ApplyFlowControl(DCB& dcb) const {
  dcb.fOutxCtsFlow = unitState().Settings.CtsSetting != 0 ? TRUE : FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fAbortOnError = TRUE;
}

DWORD TComm::ApplyTimeouts(uint16_t writeSeconds, uint16_t readSeconds) {
  SetLastError(0);
  if (!GetCommTimeouts(Handle, &SavedTimeouts)) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladOdczytuCzasow, static_cast<int32_t>(error));
    return error;
  }
  if (!IsOpen()) return 0;
  Timeouts = COMMTIMEOUTS{};
  // An interval of MAXDWORD with no totals makes a read return at once with
  // whatever the driver holds.
  Timeouts.ReadIntervalTimeout = readSeconds == 0 ? MAXDWORD : DWORD{readSeconds} * 1000;
  Timeouts.ReadTotalTimeoutConstant = DWORD{readSeconds} * 1000;
  Timeouts.WriteTotalTimeoutConstant = DWORD{writeSeconds} * 1000;
  if (!SetCommTimeouts(Handle, &Timeouts)) {
    const DWORD error = GetLastError();
    RecordError(texts::kBladAktualizacjiCzasow, static_cast<int32_t>(error));
    return error;
  }
  return 0;
}

DWORD TComm::PurgeOutput() {
  SetLastError(0);
  if (!IsOpen()) return 0;
  return PurgeComm(Handle, PURGE_TXCLEAR) ? 0 : GetLastError();
}

DWORD TComm::PurgeInput() {
  SetLastError(0);
  if (!IsOpen()) return 0;
  return PurgeComm(Handle, PURGE_RXCLEAR) ? 0 : GetLastError();
}

void TComm::HandleEvent(DWORD event) {
  if (event != EV_ERR) return;
  // Each record replaces the one before: the last set bit in this order wins.
  struct LineError {
    DWORD bit;
    std::string_view text;
  };
  static constexpr LineError kTable[] = {
      {CE_BREAK, texts::kCeBreak},       {CE_FRAME, texts::kCeFrame},
      {CE_OVERRUN, texts::kCeOverrun},   {CE_RXOVER, texts::kCeRxOver},
      {CE_RXPARITY, texts::kCeRxParity}, {CE_TXFULL, texts::kCeTxFull},
  };
  for (const auto& e : kTable) {
    if (LineErrors & e.bit) RecordError(e.text, static_cast<int32_t>(e.bit));
  }
}

// Transfer engines.

DWORD EndTransfer(DWORD moved) {
  auto& t = unitState().Transfer;
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
  auto& t = unitState().Transfer;
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
  auto& t = unitState().Transfer;
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

// Connection.

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

  // The earlier connection's cancel signal goes before the new one comes.
  auto& t = unitState().Transfer;
  t.CancelSignal = Signal();
  t.CancelSignal = Signal(CreateEventA(nullptr, TRUE, FALSE, nullptr));
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
  const HANDLE cancel = unitState().Transfer.CancelSignal;
  const bool cancelFailed = cancel != nullptr && !SetEvent(cancel);
  const DWORD cancelError = cancelFailed ? GetLastError() : 0;
  // The event worker goes first; waiting for it runs its pending hand-over.
  endWorker(EventThread);
  endWorker(TransferThread);
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

// Process priority class.

void RaisePriorityClass() {
  HANDLE process = openOwnProcess(PROCESS_QUERY_INFORMATION);
  if (process == nullptr) return;
  const DWORD current = GetPriorityClass(process);
  CloseHandle(process);
  if (current == 0) return;
  unitState().SavedPriorityClass = current;
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
  const auto& saved = unitState().SavedPriorityClass;
  if (saved && current != *saved) setOwnClass(*saved);
}

// Abandoned I/O.

void AbandonIo(HANDLE device, OVERLAPPED& overlap) {
  DWORD moved = 0;
  // ERROR_NOT_FOUND: it has already ended, there is nothing to wait for.
  if (CancelIoEx(device, &overlap) || GetLastError() != ERROR_NOT_FOUND) {
    GetOverlappedResult(device, &overlap, &moved, TRUE);
  }
}

}  // namespace winseria
