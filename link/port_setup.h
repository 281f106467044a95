#pragma once
// The link's adapter to the serial unit: opens and closes the port with the
// link's settings and turns byte transfers into the port error flag.
#include <cstdint>

namespace voren {

// What the serial unit answers for that COM number; nothing is opened.
std::uint8_t ObecnoscPortu(std::uint8_t port);
// Why the last ObecnoscPortu that answered 0 found no port: the computer has
// none of that number, or another program holds it.
enum class PortAbsence { Missing, InUse };
PortAbsence PowodBrakuPortu();
// Closes a port left open, then opens it with the settings of the link
// state; the port open flag tells the outcome.
void OtwarciePortu();
// Closes the port if it is open; otherwise touches nothing.
void ZamknieciePortu();
void ZapisDoPortu(std::uint8_t value);
// The byte read; meaningless (0) when the port error flag is set.
std::uint8_t OdczytZPortu();
// Discards output not yet sent and input not yet read.
std::int32_t CzyszczeniePortu();

}  // namespace voren
