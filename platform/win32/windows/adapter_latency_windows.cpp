// Windows keeps an FTDI adapter's latency timer in the device's hardware
// key (HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS\<id>\<instance>\Device
// Parameters), beside the PortName that says which COM port it is; its
// driver shows it as Latency Timer on the port's advanced settings. Anyone
// may read the key. Other drivers have no such value: nothing is told then.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/adapter_latency.h"
#include "platform/win32/windows/port_devices_windows.h"

namespace voren {

namespace {

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

}  // namespace

AdapterLatency adapterLatency(std::uint8_t comPort) {
  AdapterLatency adapter{AdapterLatency::Setting::PortProperties, std::nullopt, {}};
  forEachComPortDevice([&](const PortDevice& port) {
    if (port.comPort != comPort) return true;
    adapter.timerMs = dwordValue(port.key, "LatencyTimer");
    return false;
  });
  return adapter;
}

}  // namespace voren
