#include "platform/win32/windows/port_devices_windows.h"

// GUID_DEVCLASS_PORTS defined here, not only declared.
#include <devguid.h>
#include <initguid.h>

#include <string>

#include "platform/win32/com_device.h"

namespace voren {

namespace {

// "COM3": a COM name is plain ASCII, so the narrow value serves.
std::string portName(HKEY key) {
  char name[64] = {};
  DWORD type = 0, bytes = sizeof name - 1;
  const LONG read =
      RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes);
  return read == ERROR_SUCCESS && type == REG_SZ ? std::string(name) : std::string();
}

}  // namespace

void forEachComPortDevice(const std::function<bool(const PortDevice&)>& visit) {
  HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  bool more = true;
  for (DWORD index = 0; more && SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    // The name as \\.\COMn opens it: any case, COM10 and above too.
    const auto com = comNumberOfName(R"(\\.\)" + portName(key));
    if (com && com->port) more = visit({*com->port, devices, &device, key});
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(devices);
}

}  // namespace voren
