#pragma once
// The link's adapter to the serial unit: opens and closes the port with the
// link's settings and turns byte transfers into the port error flag.
#include <cstdint>

namespace voren {

// What the serial unit answers for that COM number; nothing is opened.
std::uint8_t ObecnoscPortu(std::uint8_t port);
// Why the last ObecnoscPortu that answered 0 found no port: the computer has
// none of that number, another program holds it, or the system does not let
// this user open it (only where the system says so: not on Windows).
enum class PortAbsence { Missing, InUse, NoPermission };
PortAbsence PowodBrakuPortu();
// What the port said when the last byte written or read failed: CTS off
// (the printer lets nothing out: off, not ready, or a cable without the
// line), or the port's device gone (a USB adapter pulled out); nothing
// known of it otherwise, and after a byte that moved.
enum class PortFault { None, CtsOff, PortGone };
PortFault PowodBleduPortu();
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
