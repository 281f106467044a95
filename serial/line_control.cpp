// The port's modem lines and line settings, as the procedural interface
// drives them on the single port object.
#include <iterator>

#include "serial/abandon_io.h"
#include "serial/port_interface.h"
#include "serial/port_object.h"
#include "serial/unit_settings.h"

namespace winseria::port {
namespace {

HANDLE portHandle() {
  const TComm* port = portObject();
  return port != nullptr ? port->GetHandle() : INVALID_HANDLE_VALUE;
}

int32_t escape(DWORD function) { return EscapeCommFunction(portHandle(), function); }

}  // namespace

uint8_t UstawCTS(uint8_t on) {
  unitSettings().CtsSetting = on;
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

uint8_t ModemStatus() {
  DWORD lines = 0;
  if (!GetCommModemStatus(portHandle(), &lines)) return 0;
  return static_cast<uint8_t>(lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON));
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
