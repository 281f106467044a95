#pragma once
// The start of the dialogue: banner and the port question.
#include <cstdint>
#include <optional>
#include <string>

#include "link/port_setup.h"

namespace voren {

class Console;
class Keyboard;

// What the dialogue and --list say when the computer has no COM port.
extern const char* const kNoComPortsLine;

void printBanner(Console& console);
// The port the operator named is not there: "COM3", or a device. Then the
// ports the computer has, or, for a port another program holds, that it is
// in use.
void printMissingPort(Console& console, const std::string& portName, PortAbsence why);

// Asks until the operator names a COM port this computer has. Nothing when
// the operator quits with 0 or the console input has ended.
std::optional<std::uint8_t> askForPort(Console& console, Keyboard& keyboard);

}  // namespace voren
