#pragma once
// The serial unit's procedural port interface: one COM port per process,
// exported from the executable under these exact, undecorated names.
//
// This header must not meet <windows.h> in one translation unit: the unit's
// own OpenThread and CloseThread carry the same names as kernel32 functions.
#include <cstdint>

#include "platform/win32/export.h"

extern "C" {

// Port number 1 is COM1. Time-outs are whole seconds (low 16 bits used).
// 0 on success, else the platform error; 5 when the port is already open.
WINSERIA_EXPORT int32_t InitializePort(uint32_t port, uint32_t speed, uint32_t writeSeconds,
                                       uint32_t readSeconds);
// As InitializePort, with the parity the new port object takes
// (0 none, 1 odd, any other value even).
WINSERIA_EXPORT int32_t pInitializePort(uint32_t port, uint32_t speed, uint32_t writeSeconds,
                                        uint32_t readSeconds, uint32_t parity);
WINSERIA_EXPORT int32_t UnInitializePort();
WINSERIA_EXPORT uint8_t SerialPortPresent(uint32_t port);
// Not exported, for the program's own link: the platform's last error on
// the calling thread. Right after a SerialPortPresent that answered 0 it
// says why: no such device, or one that another program holds.
uint32_t LastPlatformError();
// Not exported, for the program's own link: right after a SerialPortPresent
// that failed with access denied (5), 1 when the system refused the user
// (the device's permissions), 0 when another program holds the port.
// Windows gives 5 to both and says no more: 0 there.
uint8_t AccessDeniedForPermission();
WINSERIA_EXPORT int32_t ClearPort();
// 1 when the byte moved, 0 when not.
WINSERIA_EXPORT int32_t WriteByte(uint32_t value);
WINSERIA_EXPORT int32_t ReadByte(uint8_t* destination);
WINSERIA_EXPORT uint8_t TimeOut();
// Writes the zero-terminated version "3.00" into destination (size bytes).
WINSERIA_EXPORT void DllVersion(char* destination, uint32_t size);
WINSERIA_EXPORT uint8_t UstawCTS(uint32_t on);
WINSERIA_EXPORT uint8_t UstawKanal(uint32_t channel);
WINSERIA_EXPORT uint8_t ModemStatus();
// Not exported, for the program's own link: the open port's modem lines
// (MS_CTS_ON and the others) into *lines; 0 when the port cannot tell (none
// open, or a pseudo-terminal, which has no modem lines), where ModemStatus
// would answer 0 as for lines all off.
uint8_t ReadModemStatus(uint32_t* lines);
WINSERIA_EXPORT uint8_t CharSent();
WINSERIA_EXPORT int32_t SetDTRLine();
WINSERIA_EXPORT int32_t ClearDTRLine();
WINSERIA_EXPORT int32_t SetRTSLine();
WINSERIA_EXPORT int32_t ClearRTSLine();
WINSERIA_EXPORT uint8_t ChangeParity(uint32_t parity);
WINSERIA_EXPORT uint8_t ChangeSpeed(uint32_t speed);
WINSERIA_EXPORT void Opoznienie(uint32_t milliseconds);
// Copies the last error text (code page 1250, zero-terminated) into the
// buffer *textDestination points to (at least 52 bytes), the number into
// *codeDestination, and clears the record. True when the number is not 0.
WINSERIA_EXPORT uint8_t IsError(char** textDestination, int32_t* codeDestination);
WINSERIA_EXPORT void OpenThread();
WINSERIA_EXPORT void CloseThread();

}  // extern "C"
