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
// Why COMn, named portName ("COM3", or a device), cannot be used: not
// there, followed by the ports the computer has; held by another program;
// or kept from this user, with what to do about it.
void printPortAbsence(Console& console, std::uint8_t port, const std::string& portName,
                      PortAbsence why);

// Asks until the operator names a COM port this computer has. Nothing when
// the operator quits with 0 or the console input has ended.
std::optional<std::uint8_t> askForPort(Console& console, Keyboard& keyboard);

}  // namespace voren
