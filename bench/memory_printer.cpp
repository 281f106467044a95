// The serial unit's port functions as a printer in memory that accepts every
// block at once: ACK after ESC 0x01, status 0 after each 130-byte half. What
// an exchange costs above the port is what the link benchmark measures.
#include <cstdint>

#include "serial/winseria.h"

namespace {

constexpr unsigned kHalf = 130;

struct MemoryPrinter {
  unsigned controlBytes = 0;  // of ESC 0x01 seen
  unsigned dataLeft = 0;      // of the half being received
  bool secondHalfNext = false;
  int answer = -1;  // pending until read; -1 for none
};

MemoryPrinter printer;

void receive(std::uint8_t byte) {
  if (printer.dataLeft > 0) {
    if (--printer.dataLeft > 0) return;
    printer.answer = 0;
    if (printer.secondHalfNext) printer.dataLeft = kHalf;
    printer.secondHalfNext = !printer.secondHalfNext;
    return;
  }
  printer.controlBytes = byte == 0x1B ? 1 : (printer.controlBytes == 1 && byte == 0x01 ? 2 : 0);
  if (printer.controlBytes == 2) {
    printer.controlBytes = 0;
    printer.answer = 0x06;
    printer.dataLeft = kHalf;
    printer.secondHalfNext = true;
  }
}

}  // namespace

extern "C" {

int32_t InitializePort(uint32_t, uint32_t, uint32_t, uint32_t) { return 0; }
int32_t UnInitializePort() { return 0; }
uint8_t SerialPortPresent(uint32_t) { return 1; }
uint8_t UstawCTS(uint32_t on) { return static_cast<uint8_t>(on); }
uint8_t ChangeParity(uint32_t) { return 1; }

int32_t ClearPort() {
  printer.answer = -1;
  return 0;
}

int32_t WriteByte(uint32_t value) {
  receive(static_cast<std::uint8_t>(value));
  return 1;
}

int32_t ReadByte(uint8_t* destination) {
  if (printer.answer < 0) return 0;
  *destination = static_cast<uint8_t>(printer.answer);
  printer.answer = -1;
  return 1;
}

}  // extern "C"
