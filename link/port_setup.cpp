#include "link/port_setup.h"

#include <chrono>

#include "link/link_state.h"
#include "link/wire_trace.h"
#include "serial/winseria.h"

namespace voren {

namespace {

// The platform's answers to an open of a port someone else has open:
// Windows and our emulation refuse access; Wine, when the holder made the
// device exclusive, reports a lock conflict; sharing is the general refusal.
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kLockViolation = 33;

}  // namespace

std::uint8_t ObecnoscPortu(std::uint8_t port) {
  const std::uint8_t present = SerialPortPresent(port);
  // Read at once: the next platform call may overwrite it.
  linkState().probeError = present ? 0 : LastPlatformError();
  return present;
}

PortAbsence PowodBrakuPortu() {
  switch (linkState().probeError) {
    case kAccessDenied:
    case kSharingViolation:
    case kLockViolation:
      return PortAbsence::InUse;
    default:
      return PortAbsence::Missing;
  }
}

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
  s.answers.start(s.speed, s.parity);
}

void ZamknieciePortu() {
  LinkState& s = linkState();
  if (!s.portOpen) return;
  UnInitializePort();
  s.portOpen = 0;
}

void ZapisDoPortu(std::uint8_t value) {
  const auto began = wireTraceMark();
  const std::int32_t r = WriteByte(value);
  LinkState& s = linkState();
  s.portError = r == 1 ? 0 : 1;
  if (r == 1) s.answers.wrote(std::chrono::steady_clock::now());
  wireTraceByte(WireDirection::Out, value, r, began);
}

std::uint8_t OdczytZPortu() {
  const auto began = wireTraceMark();
  std::uint8_t byte = 0;
  const std::int32_t r = ReadByte(&byte);
  LinkState& s = linkState();
  s.portError = r == 1 ? 0 : 1;
  s.answers.read(std::chrono::steady_clock::now(), r == 1);
  wireTraceByte(WireDirection::In, byte, r, began);
  return byte;
}

std::int32_t CzyszczeniePortu() {
  wireTraceBreak();
  return ClearPort();
}

}  // namespace voren
