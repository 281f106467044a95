#include "link/port_setup.h"

#include "link/link_state.h"
#include "serial/winseria.h"

namespace voren {

std::uint8_t ObecnoscPortu(std::uint8_t port) { return SerialPortPresent(port); }

void OtwarciePortu() {
  ZamknieciePortu();
  LinkState& s = linkState();
  UstawCTS(s.cts);
  const std::int32_t r =
      InitializePort(s.portNumber, s.speed, s.writeTimeoutSeconds, s.readTimeoutSeconds);
  s.portOpen = r == 0 ? 1 : 0;
  if (!s.portOpen) return;
  // A failed parity change leaves the port open at the parity it had.
  if (s.parity <= 2) ChangeParity(s.parity);
}

void ZamknieciePortu() {
  LinkState& s = linkState();
  if (!s.portOpen) return;
  UnInitializePort();
  s.portOpen = 0;
}

void ZapisDoPortu(std::uint8_t value) { linkState().portError = WriteByte(value) == 1 ? 0 : 1; }

std::uint8_t OdczytZPortu() {
  std::uint8_t byte = 0;
  linkState().portError = ReadByte(&byte) == 1 ? 0 : 1;
  return byte;
}

std::int32_t CzyszczeniePortu() { return ClearPort(); }

}  // namespace voren
