#pragma once
// The start of the dialogue: banner and the port question.
#include <cstdint>
#include <optional>

namespace voren {

class Console;
class Keyboard;

void printBanner(Console& console);

// Asks until the operator names a COM port this computer has. Nothing when
// the operator quits with 0 or the console input has ended.
std::optional<std::uint8_t> askForPort(Console& console, Keyboard& keyboard);

}  // namespace voren
