#include "fuzz/answering_port.h"

#include "serial/winseria.h"

using voren::fuzz::answeringPort;

namespace voren::fuzz {

AnsweringPort& answeringPort() {
  static AnsweringPort port;
  return port;
}

}  // namespace voren::fuzz

namespace {

void noteTransfer() {
  auto& port = answeringPort();
  if (port.clears == 0) ++port.transfersBeforeClear;
  if (port.failed) ++port.transfersAfterFailure;
}

}  // namespace

// Only what the device link calls; the port is always there and opens.
extern "C" {

int32_t InitializePort(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
int32_t UnInitializePort() { return 0; }
uint8_t SerialPortPresent(uint32_t) { return 1; }
uint8_t UstawCTS(uint32_t on) { return static_cast<uint8_t>(on); }
uint8_t ChangeParity(uint32_t) { return 1; }

int32_t ClearPort() {
  ++answeringPort().clears;
  return 0;
}

int32_t WriteByte(uint32_t value) {
  auto& port = answeringPort();
  noteTransfer();
  if (port.writes++ == port.refuseWrite) {
    port.failed = true;
    return 0;
  }
  port.written.push_back(static_cast<uint8_t>(value));
  return 1;
}

int32_t ReadByte(uint8_t* destination) {
  auto& port = answeringPort();
  noteTransfer();
  ++port.reads;
  if (port.answersLeft == 0) {
    port.failed = port.readTimedOut = true;
    return 0;
  }
  *destination = *port.answers++;
  --port.answersLeft;
  return 1;
}

}  // extern "C"
