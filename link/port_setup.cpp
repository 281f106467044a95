#include "link/port_setup.h"

#include <chrono>
#include <thread>

#include "link/link_state.h"
#include "link/wire_trace.h"
#include "serial/winseria.h"

namespace voren {

namespace {

// The platform's answers to an open of a port someone else has open:
// Windows and our emulation refuse access; Wine, when the holder made the
// device exclusive, reports a lock conflict; sharing is the general refusal.
// Windows refuses a user the device does not admit with access denied too;
// our emulation says which of the two it was.
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kLockViolation = 33;

// What a transfer on a port whose device has gone fails with: our emulation
// and Windows' own drivers give ERROR_DEVICE_NOT_CONNECTED; Windows' USB
// serial drivers also ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, access denied,
// or the abort of the I/O under way. None of them proves the device gone:
// its name does, when an open of it finds nothing any more.
constexpr std::uint32_t kBadCommand = 22;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kAborted = 995;
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kGoneErrors[] = {kAccessDenied, kBadCommand, kGenFailure, kAborted,
                                         kDeviceNotConnected};
// What an open of a device that is gone finds.
constexpr std::uint32_t kFileNotFound = 2;
// How long the system may take to drop the device's name after its driver
// failed the transfer.
constexpr auto kGoneWait = std::chrono::milliseconds(1500);
constexpr auto kGoneLook = std::chrono::milliseconds(50);

// MS_CTS_ON of the modem status.
constexpr std::uint32_t kCtsOn = 0x0010;

// The number the serial unit recorded for the failed transfer.
std::int32_t transferError() {
  char text[64] = {};
  char* destination = text;
  std::int32_t code = 0;
  IsError(&destination, &code);
  return code;
}

// The port we hold is there while an open of it finds it held; gone when
// the open finds no such device.
bool portGone(std::uint8_t port) {
  const auto until = std::chrono::steady_clock::now() + kGoneWait;
  for (;;) {
    if (!SerialPortPresent(port) && LastPlatformError() == kFileNotFound) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kGoneLook);
  }
}

// Read as the transfer fails: CTS may come on again, and the system drops a
// removed device's name soon after.
PortFault faultOfFailedTransfer(bool writing) {
  const LinkState& s = linkState();
  const std::int32_t error = transferError();
  for (const std::uint32_t gone : kGoneErrors) {
    if (static_cast<std::uint32_t>(error) == gone) {
      if (portGone(s.portNumber)) return PortFault::PortGone;
      break;
    }
  }
  std::uint32_t lines = 0;
  if (writing && s.cts && ReadModemStatus(&lines) && (lines & kCtsOn) == 0) {
    return PortFault::CtsOff;
  }
  return PortFault::None;
}

}  // namespace

std::uint8_t ObecnoscPortu(std::uint8_t port) {
  const std::uint8_t present = SerialPortPresent(port);
  // Read at once: the next platform call may overwrite them.
  LinkState& s = linkState();
  s.probeError = present ? 0 : LastPlatformError();
  s.probeDeniedPermission = s.probeError == kAccessDenied && AccessDeniedForPermission();
  return present;
}

PortAbsence PowodBrakuPortu() {
  const LinkState& s = linkState();
  if (s.probeDeniedPermission) return PortAbsence::NoPermission;
  switch (s.probeError) {
    case kAccessDenied:
    case kSharingViolation:
    case kLockViolation:
      return PortAbsence::InUse;
    default:
      return PortAbsence::Missing;
  }
}

PortFault PowodBleduPortu() { return linkState().portFault; }

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
  s.portFault = r == 1 ? PortFault::None : faultOfFailedTransfer(true);
}

std::uint8_t OdczytZPortu() {
  const auto began = wireTraceMark();
  std::uint8_t byte = 0;
  const std::int32_t r = ReadByte(&byte);
  LinkState& s = linkState();
  s.portError = r == 1 ? 0 : 1;
  s.answers.read(std::chrono::steady_clock::now(), r == 1);
  wireTraceByte(WireDirection::In, byte, r, began);
  s.portFault = r == 1 ? PortFault::None : faultOfFailedTransfer(false);
  return byte;
}

std::int32_t CzyszczeniePortu() {
  wireTraceBreak();
  return ClearPort();
}

}  // namespace voren
