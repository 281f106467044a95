#pragma once
// A USB serial adapter's latency timer: how long the adapter holds what the
// printer sends before it passes it on to the computer. Read where the
// system keeps it, never written: changing it is the operator's decision,
// and on Windows it needs an administrator.
#include <cstdint>
#include <optional>
#include <string>

namespace voren {

struct AdapterLatency {
  // Where the operator shortens it on this system: the port's properties in
  // the Device Manager (Windows), or the driver's attribute in sysfs (Linux).
  enum class Setting { PortProperties, SysfsFile };
  Setting setting = Setting::PortProperties;
  std::optional<unsigned> timerMs;  // the timer as set, where the system tells it
  std::string file;                 // SysfsFile: the attribute, where the driver has one
};

// What the system tells of the adapter behind COMn; looks up settings only,
// opens no port.
AdapterLatency adapterLatency(std::uint8_t comPort);

}  // namespace voren
