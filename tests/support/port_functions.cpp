// The serial unit's exported functions, answered by the scripted printer,
// and the platform's port list of the same machine: the ports it holds present.
#include <cstring>
#include <string>

#include "platform/com_ports.h"
#include "serial/winseria.h"
#include "tests/support/scripted_printer.h"

using voren::test::scriptedPrinter;

namespace {

std::string call(const char* name, std::initializer_list<std::uint32_t> args = {}) {
  std::string text = name;
  text += '(';
  const char* separator = "";
  for (std::uint32_t a : args) {
    text += separator + std::to_string(a);
    separator = ",";
  }
  return text + ')';
}

std::int32_t initialize(std::string logged, std::uint32_t port) {
  auto& printer = scriptedPrinter();
  printer.logCall(logged);
  if (printer.portOpen()) return 5;
  if (printer.presentPorts.count(port) == 0) return 2;
  if (printer.initializeResult == 0) printer.open(true);
  return printer.initializeResult;
}

}  // namespace

extern "C" {

int32_t InitializePort(uint32_t port, uint32_t speed, uint32_t writeSeconds, uint32_t readSeconds) {
  return initialize(call("InitializePort", {port, speed, writeSeconds, readSeconds}), port);
}

int32_t pInitializePort(uint32_t port, uint32_t speed, uint32_t writeSeconds, uint32_t readSeconds,
                        uint32_t parity) {
  return initialize(call("pInitializePort", {port, speed, writeSeconds, readSeconds, parity}),
                    port);
}

int32_t UnInitializePort() {
  scriptedPrinter().logCall(call("UnInitializePort"));
  scriptedPrinter().open(false);
  return 0;
}

uint8_t SerialPortPresent(uint32_t port) {
  scriptedPrinter().logCall(call("SerialPortPresent", {port}));
  return scriptedPrinter().presentPorts.count(port) ? 1 : 0;
}

int32_t ClearPort() {
  scriptedPrinter().clear();
  return 0;
}

int32_t WriteByte(uint32_t value) {
  return scriptedPrinter().write(static_cast<uint8_t>(value)) ? 1 : 0;
}

int32_t ReadByte(uint8_t* destination) {
  const auto byte = scriptedPrinter().read();
  if (!byte) return 0;
  *destination = *byte;
  return 1;
}

uint8_t TimeOut() { return 0; }

void DllVersion(char* destination, uint32_t size) {
  if (size > 0) {
    std::strncpy(destination, "3.00", size - 1);
    destination[size - 1] = '\0';
  }
}

uint8_t UstawCTS(uint32_t on) {
  scriptedPrinter().logCall(call("UstawCTS", {on}));
  return static_cast<uint8_t>(on);
}

uint8_t UstawKanal(uint32_t channel) {
  scriptedPrinter().logCall(call("UstawKanal", {channel}));
  return channel < 5 && scriptedPrinter().portOpen();
}

uint8_t ModemStatus() { return 0; }
uint8_t CharSent() { return 0; }

int32_t SetDTRLine() { return scriptedPrinter().portOpen(); }
int32_t ClearDTRLine() { return scriptedPrinter().portOpen(); }
int32_t SetRTSLine() { return scriptedPrinter().portOpen(); }
int32_t ClearRTSLine() { return scriptedPrinter().portOpen(); }

uint8_t ChangeParity(uint32_t parity) {
  scriptedPrinter().logCall(call("ChangeParity", {parity}));
  return scriptedPrinter().portOpen() && scriptedPrinter().parityResult;
}

uint8_t ChangeSpeed(uint32_t speed) {
  scriptedPrinter().logCall(call("ChangeSpeed", {speed}));
  return scriptedPrinter().portOpen();
}

void Opoznienie(uint32_t) {}

uint8_t IsError(char** textDestination, int32_t* codeDestination) {
  if (textDestination && *textDestination) **textDestination = '\0';
  if (codeDestination) *codeDestination = 0;
  return 0;
}

}  // extern "C"

std::vector<voren::ComPort> voren::comPortsPresent() {
  std::vector<ComPort> ports;
  for (std::uint32_t port : scriptedPrinter().presentPorts) {
    ports.push_back({static_cast<int>(port), {}});
  }
  for (const auto& device : scriptedPrinter().unnumberedPorts) ports.push_back({0, device});
  return ports;
}
