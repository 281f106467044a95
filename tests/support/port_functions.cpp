#include "tests/support/port_functions.h"

#include <cstdio>
#include <cstdlib>

#include "serial/winseria.h"

using voren::test::PrinterDouble;

namespace {

PrinterDouble* plugged = nullptr;
std::uint32_t lastError = 0;  // the platform's, as the last probe left it
std::uint32_t lastProbed = 0;

PrinterDouble& printer() {
  if (plugged == nullptr) {
    std::fputs("port functions: no printer double plugged in\n", stderr);
    std::abort();
  }
  return *plugged;
}

}  // namespace

void voren::test::plugIn(PrinterDouble& printer) { plugged = &printer; }

// Only what the device link calls.
extern "C" {

int32_t InitializePort(uint32_t port, uint32_t speed, uint32_t writeSeconds, uint32_t readSeconds) {
  return printer().open(port, speed, writeSeconds, readSeconds);
}

int32_t UnInitializePort() {
  printer().close();
  return 0;
}

uint8_t SerialPortPresent(uint32_t port) {
  lastProbed = port;
  lastError = printer().probe(port);
  return lastError == 0 ? 1 : 0;
}

uint32_t LastPlatformError() { return lastError; }

uint8_t AccessDeniedForPermission() {
  return lastError == 5 && printer().deniedForPermission(lastProbed) ? 1 : 0;
}

uint8_t ReadModemStatus(uint32_t* lines) {
  const auto status = printer().modemStatus();
  if (!status) return 0;
  *lines = *status;
  return 1;
}

uint8_t IsError(char** textDestination, int32_t* codeDestination) {
  const int32_t code = printer().transferError();
  if (textDestination != nullptr && *textDestination != nullptr) **textDestination = '\0';
  if (codeDestination != nullptr) *codeDestination = code;
  return code != 0 ? 1 : 0;
}

uint8_t UstawCTS(uint32_t on) {
  printer().setCts(on);
  return static_cast<uint8_t>(on);
}

uint8_t ChangeParity(uint32_t parity) { return printer().changeParity(parity) ? 1 : 0; }

int32_t ClearPort() {
  printer().clear();
  return 0;
}

int32_t WriteByte(uint32_t value) { return printer().write(static_cast<uint8_t>(value)) ? 1 : 0; }

int32_t ReadByte(uint8_t* destination) {
  const auto byte = printer().read();
  if (!byte) return 0;
  *destination = *byte;
  return 1;
}

}  // extern "C"
