#include "serial/port_interface.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "serial/byte_transfer.h"
#include "serial/last_error.h"
#include "serial/monitor_thread.h"
#include "serial/port_object.h"
#include "serial/priority_class.h"
#include "serial/texts.h"
#include "serial/transfer_state.h"
#include "serial/unit_settings.h"

namespace winseria {

PortObjectState& portObjectState() {
  // Never destroyed: a port left open at exit stays as it is.
  static auto* state = new PortObjectState;
  return *state;
}

namespace port {
namespace {

struct UnitLifetime {
  int users = 0;
};

UnitLifetime& unitLifetime() {
  static UnitLifetime lifetime;
  return lifetime;
}

}  // namespace

int32_t InitializePort(uint8_t port, uint32_t speed, uint16_t writeSeconds, uint16_t readSeconds) {
  SetLastError(0);
  auto& state = portObjectState();
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
  unitSettings().ParitySetting = parity;
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

int32_t ClearPort() {
  SetLastError(0);
  TComm* port = portObject();
  if (port == nullptr) return 0;
  DWORD result = port->PurgeOutput();
  if (result == 0) result = port->PurgeInput();
  return static_cast<int32_t>(result);
}

int32_t WriteByte(uint8_t value) { return TransferWriteByte(value); }

int32_t ReadByte(uint8_t* destination) { return TransferReadByte(destination); }

uint8_t TimeOut() { return transferState().TimeoutFlag ? 1 : 0; }

void DllVersion(char* destination, uint32_t size) {
  static constexpr char kVersion[] = "3.00";
  if (destination == nullptr || size == 0) return;
  const std::size_t length = std::min<std::size_t>(size - 1, sizeof kVersion - 1);
  std::memcpy(destination, kVersion, length);
  destination[length] = '\0';
}

uint8_t IsError(char** textDestination, int32_t* codeDestination) {
  auto& record = lastError();
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

void OpenThread() { OpenMonitor(); }

void CloseThread() { CloseMonitor(); }

void InitializeUnit() {
  if (unitLifetime().users++ != 0) return;
  // The records exist before the finalization is registered, so they are
  // still there when it runs.
  lastError();
  portObjectState();
  unitSettings() = UnitSettings{};
  transferState().WriteWaiting = false;
  transferState().ReadWaiting = false;
}

void FinalizeUnit() {
  if (--unitLifetime().users != 0) return;
  auto& text = lastError().LastErrorText;
  text.clear();
  text.shrink_to_fit();
}

void ResetUnit() {
  CloseMonitor();
  monitorState().Link = &silentServerLink();
  auto& state = portObjectState();
  state.PortObject.reset();
  state.Initialized = false;
  unitSettings() = UnitSettings{};
  ClearError();
  ReleaseTransferSignals();
  ReleaseCancelSignal();
  auto& t = transferState();
  t.OutByte = 0;
  t.InByte = 0;
  t.TimeoutFlag = false;
  t.WriteWaiting = false;
  t.ReadWaiting = false;
  t.SignalsBroken = false;
  priorityState().SavedPriorityClass.reset();
}

}  // namespace port
}  // namespace winseria
