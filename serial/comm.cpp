#include "serial/comm.h"

#include <exception>

#include "serial/event_thread.h"
#include "serial/last_error.h"
#include "serial/texts.h"
#include "serial/transfer_thread.h"
#include "serial/unit_settings.h"

namespace winseria {
namespace {

int32_t parityFromSetting(uint8_t setting) {
  if (setting == 0) return NOPARITY;
  if (setting == 1) return ODDPARITY;
  return EVENPARITY;
}

}  // namespace

UnitSettings& unitSettings() {
  static UnitSettings settings;
  return settings;
}

TComm::TComm() : Parity(parityFromSetting(unitSettings().ParitySetting)) {}

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
  dcb.fOutxCtsFlow = unitSettings().CtsSetting != 0 ? TRUE : FALSE;
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

}  // namespace winseria
