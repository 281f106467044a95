// Windows keeps an FTDI adapter's latency timer in the device's hardware
// key (HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<id>\<instance>\Device
// Parameters), beside the PortName that says which COM port it is; its
// driver shows it as Latency Timer on the port's advanced settings. Anyone
// may read the key. Other drivers have no such value: nothing is told then.
#include <windows.h>
// After windows.h, which they need.
#include <devguid.h>
#include <setupapi.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/win32/adapter_latency.h"

namespace voren {

namespace {

// A value of the key, or nothing when it is not there or not of that type.
std::optional<std::string> stringValue(HKEY key, const char* name) {
  char text[64] = {};
  DWORD size = sizeof text - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return std::string(text);
}

std::optional<unsigned> dwordValue(HKEY key, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}

bool namesPort(HKEY key, const std::string& port) {
  const auto name = stringValue(key, "PortName");
  return name && _stricmp(name->c_str(), port.c_str()) == 0;
}

}  // namespace

AdapterLatency adapterLatency(std::uint8_t comPort) {
  AdapterLatency adapter{AdapterLatency::Setting::PortProperties, std::nullopt, {}};
  const std::string port = "COM" + std::to_string(comPort);
  HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return adapter;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const bool found = namesPort(key, port);
    if (found) adapter.timerMs = dwordValue(key, "LatencyTimer");
    RegCloseKey(key);
    if (found) break;
  }
  SetupDiDestroyDeviceInfoList(devices);
  return adapter;
}

}  // namespace voren
