// The procedural port interface: the port functions on the unit's single
// port object, the caller's side of a one-byte transfer, and the modem lines
// and line settings.
#include "serial/port_functions.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "platform/win32/device_access.h"
#include "serial/comm.h"
#include "serial/monitor.h"
#include "serial/texts.h"
#include "serial/unit_state.h"
#include "serial/workers.h"

namespace winseria::port {
namespace {

TComm* portObject() { return unitState().PortObject.get(); }

void record(std::string_view text) { RecordError(text, static_cast<int32_t>(GetLastError())); }

// The caller's side of a one-byte transfer: hands the byte to the transfer
// worker and blocks until the worker is done, the connection is cancelled,
// or the worker is gone. Returns 1 when the byte moved, else 0.
enum class Direction { Write, Read };

// The transfer worker's thread, looked up once per transfer (a disconnect
// from another thread may release the worker object meanwhile): none
// without a worker object, a null handle for a worker that never started.
std::optional<HANDLE> transferWorker() {
  const TComm* port = portObject();
  if (port == nullptr || !port->TransferThread) return std::nullopt;
  return port->TransferThread->ThreadHandle();
}

// Cancel (0) and idle (1), and while a transfer worker exists, its thread
// (2): a worker that ended, or never started (its null handle fails the
// wait), must not leave the caller waiting for an idle signal nobody will set.
DWORD waitCancelOrIdle(std::optional<HANDLE> worker) {
  auto& t = unitState().Transfer;
  HANDLE waits[3] = {t.CancelSignal, t.IdleSignal, worker.value_or(nullptr)};
  return WaitForMultipleObjects(worker ? 3 : 2, waits, FALSE, INFINITE);
}

// A cancel, set by a disconnect from another thread, can end the caller's
// wait while the engine still runs; the engine sees it too and ends soon.
// Its record and flag come first, or the two threads would write them at
// once. A worker that ended, or whose handle is gone, ends the wait as well.
void waitForEngineEnd(HANDLE worker) {
  HANDLE waits[2] = {unitState().Transfer.IdleSignal, worker};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

int32_t handOverByte(Direction direction, uint8_t value, uint8_t* destination) {
  auto& t = unitState().Transfer;
  const bool writing = direction == Direction::Write;
  t.TimeoutFlag = false;
  int32_t result = 0;
  const std::optional<HANDLE> worker = transferWorker();
  bool requested = false;

  const DWORD claim = waitCancelOrIdle(worker);
  if (claim == WAIT_OBJECT_0 + 1) {
    if (writing) t.OutByte = value;
    if (!ResetEvent(t.IdleSignal)) {
      record(texts::kBladAnulacjiZdarzenia);
      return 0;
    }
    if (!SetEvent(writing ? t.WriteRequest : t.ReadRequest)) {
      record(texts::kBladSygnalizacjiZdarzenia);
      // Give the claim back, or the next transfer would wait for it forever.
      SetEvent(t.IdleSignal);
      return 0;
    }
    requested = true;
  } else if (claim == WAIT_OBJECT_0) {
    if (writing) {
      record(texts::kZapisPrzerwany);
    } else {
      record(texts::kPrzerwanyZapis);
    }
  } else if (claim == WAIT_FAILED) {
    record(texts::kNiepoprawnyZapis);
  } else if (!writing) {
    record(texts::kBladWaitForMultipleObjects);
  }

  // Runs whatever the claim found: after a cancel or a failed wait it fails
  // the same way and leaves its own text.
  const DWORD done = waitCancelOrIdle(worker);
  if (done == WAIT_OBJECT_0 + 1) {
    result = t.TimeoutFlag ? 0 : 1;
    if (result == 1 && !writing && destination != nullptr) *destination = t.InByte;
  } else {
    if (done == WAIT_OBJECT_0 && requested && worker) waitForEngineEnd(*worker);
    record(texts::kBladWaitForMultipleObjects);
  }

  if (!SetEvent(t.IdleSignal)) {
    if (writing) {
      record(texts::kBladSygnalizacjiZdarzenia);
    } else {
      record(texts::kBladAnulacjiZdarzenia);
    }
    result = 0;
  }
  return result;
}

HANDLE portHandle() {
  const TComm* port = portObject();
  return port != nullptr ? port->GetHandle() : INVALID_HANDLE_VALUE;
}

int32_t escape(DWORD function) { return EscapeCommFunction(portHandle(), function); }

}  // namespace

int32_t InitializePort(uint8_t port, uint32_t speed, uint16_t writeSeconds, uint16_t readSeconds) {
  SetLastError(0);
  auto& state = unitState();
  if (state.Initialized && state.PortObject && state.PortObject->IsOpen()) {
    RecordError(texts::kPortJuzZainicjowany, 5);
    return 5;
  }
  // The earlier port object is closed here; it goes before the new one comes.
  state.PortObject.reset();
  state.PortObject = std::make_unique<TComm>();
  DWORD result = state.PortObject->SetParameters(port, speed, writeSeconds, readSeconds);
  if (result == 0) result = state.PortObject->Connect();
  state.Initialized = true;
  return static_cast<int32_t>(result);
}

int32_t pInitializePort(uint8_t port, uint32_t speed, uint16_t writeSeconds, uint16_t readSeconds,
                        uint8_t parity) {
  unitState().Settings.ParitySetting = parity;
  return InitializePort(port, speed, writeSeconds, readSeconds);
}

int32_t UnInitializePort() {
  SetLastError(0);
  TComm* port = portObject();
  return port != nullptr ? static_cast<int32_t>(port->Disconnect()) : 0;
}

uint8_t SerialPortPresent(uint8_t port) {
  // The device namespace prefix makes COM10 and up resolve like COM1 to COM9.
  const std::string name = "\\\\.\\COM" + std::to_string(port);
  HANDLE probe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
  const bool present = probe != INVALID_HANDLE_VALUE;
  if (present) CloseHandle(probe);
  return present ? 1 : 0;
}

uint32_t LastPlatformError() { return GetLastError(); }

uint8_t AccessDeniedForPermission() { return voren::accessDeniedForPermission() ? 1 : 0; }

int32_t ClearPort() {
  SetLastError(0);
  TComm* port = portObject();
  if (port == nullptr) return 0;
  DWORD result = port->PurgeOutput();
  if (result == 0) result = port->PurgeInput();
  return static_cast<int32_t>(result);
}

int32_t WriteThroughWorker(uint8_t value) { return handOverByte(Direction::Write, value, nullptr); }

int32_t ReadThroughWorker(uint8_t* destination) {
  return handOverByte(Direction::Read, 0, destination);
}

uint8_t TimeOut() { return unitState().Transfer.TimeoutFlag ? 1 : 0; }

void DllVersion(char* destination, uint32_t size) {
  static constexpr char kVersion[] = "3.00";
  if (destination == nullptr || size == 0) return;
  const std::size_t length = std::min<std::size_t>(size - 1, sizeof kVersion - 1);
  std::memcpy(destination, kVersion, length);
  destination[length] = '\0';
}

uint8_t IsError(char** textDestination, int32_t* codeDestination) {
  auto& record = unitState().LastError;
  if (textDestination == nullptr || *textDestination == nullptr) {
    if (codeDestination != nullptr) *codeDestination = -1;
    return 0;
  }
  std::memcpy(*textDestination, record.LastErrorText.c_str(), record.LastErrorText.size() + 1);
  const int32_t code = record.LastErrorCode;
  if (codeDestination != nullptr) *codeDestination = code;
  ClearError();
  return code != 0 ? 1 : 0;
}

void OpenThread() {
  auto& u = unitState();
  // One monitoring worker at a time: a second OpenThread replaces the first.
  u.MonitorThread.reset();
  u.MonitorThread = std::make_unique<TWatekObslugiKomunikatow>(*u.Link);
  u.MonitorThread->SetPriority(THREAD_PRIORITY_NORMAL);
  u.MonitorThread->Resume();
}

void CloseThread() { unitState().MonitorThread.reset(); }

// Line control.

uint8_t UstawCTS(uint8_t on) {
  unitState().Settings.CtsSetting = on;
  return on;
}

uint8_t UstawKanal(uint8_t channel) {
  struct Lines {
    DWORD dtr;
    DWORD rts;
  };
  // Two lines select one of five channels; 0 and 1 share a setting.
  static constexpr Lines kChannels[] = {
      {CLRDTR, SETRTS}, {CLRDTR, SETRTS}, {SETDTR, SETRTS}, {CLRDTR, CLRRTS}, {SETDTR, CLRRTS},
  };
  if (channel >= std::size(kChannels)) return 0;
  if (!escape(kChannels[channel].dtr)) return 0;
  return escape(kChannels[channel].rts) ? 1 : 0;
}

uint8_t ReadModemStatus(uint32_t* lines) {
  DWORD status = 0;
  if (lines == nullptr || !GetCommModemStatus(portHandle(), &status)) return 0;
  *lines = status & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
  return 1;
}

uint8_t ModemStatus() {
  uint32_t lines = 0;
  return ReadModemStatus(&lines) ? static_cast<uint8_t>(lines) : 0;
}

uint8_t CharSent() {
  if (portObject() == nullptr) return 0;
  const HANDLE device = portHandle();
  OVERLAPPED query{};
  query.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  DWORD mask = 0;
  bool sent = false;
  if (WaitCommEvent(device, &mask, &query)) {
    sent = (mask & EV_TXEMPTY) != 0;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    // Not waited for: cancelled, so it cannot write into this frame later.
    AbandonIo(device, query);
  }
  if (query.hEvent != nullptr) CloseHandle(query.hEvent);
  return sent ? 1 : 0;
}

int32_t SetDTRLine() { return escape(SETDTR); }
int32_t ClearDTRLine() { return escape(CLRDTR); }
int32_t SetRTSLine() { return escape(SETRTS); }
int32_t ClearRTSLine() { return escape(CLRRTS); }

uint8_t ChangeParity(uint8_t parity) {
  TComm* port = portObject();
  if (port == nullptr) return 0;
  ClearPort();
  Sleep(50);
  port->Parity = parity;
  const DWORD result = port->ApplyState();
  Sleep(50);
  return result == 0 ? 1 : 0;
}

uint8_t ChangeSpeed(uint16_t speed) {
  TComm* port = portObject();
  if (port == nullptr) return 0;
  port->BaudRate = speed;
  const DWORD result = port->ApplyState();
  Sleep(100);
  return result == 0 ? 1 : 0;
}

void Opoznienie(uint16_t milliseconds) { Sleep(milliseconds); }

}  // namespace winseria::port
