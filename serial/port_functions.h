#pragma once
// The procedural port interface behind the exported functions, on the unit's
// single port object. This header stays free of the Win32 names: the
// exports' own OpenThread and CloseThread clash with kernel32's, so the
// exporting file cannot see <windows.h>.
#include <cstdint>

namespace winseria::port {

int32_t InitializePort(uint8_t port, uint32_t speed, uint16_t writeSeconds, uint16_t readSeconds);
int32_t pInitializePort(uint8_t port, uint32_t speed, uint16_t writeSeconds, uint16_t readSeconds,
                        uint8_t parity);
int32_t UnInitializePort();
uint8_t SerialPortPresent(uint8_t port);
uint32_t LastPlatformError();
uint8_t AccessDeniedForPermission();
int32_t ClearPort();
// The caller's side of a one-byte transfer, behind the exported WriteByte
// and ReadByte: hands the byte to the transfer worker and waits for it.
int32_t WriteThroughWorker(uint8_t value);
int32_t ReadThroughWorker(uint8_t* destination);
uint8_t TimeOut();
void DllVersion(char* destination, uint32_t size);
uint8_t UstawCTS(uint8_t on);
uint8_t UstawKanal(uint8_t channel);
uint8_t ModemStatus();
uint8_t ReadModemStatus(uint32_t* lines);
uint8_t CharSent();
int32_t SetDTRLine();
int32_t ClearDTRLine();
int32_t SetRTSLine();
int32_t ClearRTSLine();
uint8_t ChangeParity(uint8_t parity);
uint8_t ChangeSpeed(uint16_t speed);
void Opoznienie(uint16_t milliseconds);
uint8_t IsError(char** textDestination, int32_t* codeDestination);
void OpenThread();
void CloseThread();

}  // namespace winseria::port
