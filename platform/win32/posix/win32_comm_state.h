#pragma once
// Line settings: the DCB of the Win32 comm API against termios.
#include <termios.h>

#include "platform/win32/posix/win32_api.h"

namespace voren::win32 {

// Raw mode as a Windows comm port works: no echo, no line editing, no
// signals, no translation of any byte in either direction and no XON/XOFF
// (payloads hold 0x11 and 0x13), reads that return what has arrived.
void makeRaw(termios& settings);

// The DCB a freshly opened device reports; fields termios has no place for
// keep the Windows defaults.
DCB defaultDcb();

// Fills the DCB fields that termios holds (speed, framing, flow control).
void readTermios(const termios& settings, DCB& dcb);

// Puts the DCB into termios; 0, or ERROR_INVALID_PARAMETER for a speed,
// data size, parity, stop-bit code or DTR/RTS mode the line cannot take.
DWORD writeTermios(const DCB& dcb, termios& settings);

}  // namespace voren::win32
