// The exported functions. This file must not see <windows.h>: the unit's own
// OpenThread and CloseThread carry kernel32's names. Arguments arrive in
// 32-bit slots; only the width each function uses is passed on.
#include "serial/port_functions.h"
#include "serial/winseria.h"

namespace {

uint8_t u8(uint32_t v) { return static_cast<uint8_t>(v); }
uint16_t u16(uint32_t v) { return static_cast<uint16_t>(v); }

}  // namespace

namespace port = winseria::port;

extern "C" {

int32_t InitializePort(uint32_t p, uint32_t speed, uint32_t writeSeconds, uint32_t readSeconds) {
  return port::InitializePort(u8(p), speed, u16(writeSeconds), u16(readSeconds));
}
int32_t pInitializePort(uint32_t p, uint32_t speed, uint32_t writeSeconds, uint32_t readSeconds,
                        uint32_t parity) {
  return port::pInitializePort(u8(p), speed, u16(writeSeconds), u16(readSeconds), u8(parity));
}
int32_t UnInitializePort() { return port::UnInitializePort(); }
uint8_t SerialPortPresent(uint32_t p) { return port::SerialPortPresent(u8(p)); }
uint32_t LastPlatformError() { return port::LastPlatformError(); }
uint8_t AccessDeniedForPermission() { return port::AccessDeniedForPermission(); }
int32_t ClearPort() { return port::ClearPort(); }
int32_t WriteByte(uint32_t value) { return port::WriteThroughWorker(u8(value)); }
int32_t ReadByte(uint8_t* destination) { return port::ReadThroughWorker(destination); }
uint8_t TimeOut() { return port::TimeOut(); }
void DllVersion(char* destination, uint32_t size) { port::DllVersion(destination, size); }
uint8_t UstawCTS(uint32_t on) { return port::UstawCTS(u8(on)); }
uint8_t UstawKanal(uint32_t channel) { return port::UstawKanal(u8(channel)); }
uint8_t ModemStatus() { return port::ModemStatus(); }
uint8_t ReadModemStatus(uint32_t* lines) { return port::ReadModemStatus(lines); }
uint8_t CharSent() { return port::CharSent(); }
int32_t SetDTRLine() { return port::SetDTRLine(); }
int32_t ClearDTRLine() { return port::ClearDTRLine(); }
int32_t SetRTSLine() { return port::SetRTSLine(); }
int32_t ClearRTSLine() { return port::ClearRTSLine(); }
uint8_t ChangeParity(uint32_t parity) { return port::ChangeParity(u8(parity)); }
uint8_t ChangeSpeed(uint32_t speed) { return port::ChangeSpeed(u16(speed)); }
void Opoznienie(uint32_t milliseconds) { port::Opoznienie(u16(milliseconds)); }
uint8_t IsError(char** textDestination, int32_t* codeDestination) {
  return port::IsError(textDestination, codeDestination);
}
void OpenThread() { port::OpenThread(); }
void CloseThread() { port::CloseThread(); }

}  // extern "C"
