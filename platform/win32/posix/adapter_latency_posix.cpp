// Linux keeps an FTDI-type adapter's latency timer in the usb-serial
// driver's latency_timer attribute, readable by anyone, writable by root.
// It reads 1 while the port is in low latency mode, which the emulation
// asks for when it opens a port.
#include "platform/win32/posix/adapter_latency_posix.h"

#include <fstream>

#include "platform/win32/posix/com_names.h"
#include "platform/win32/posix/tty_descriptions.h"

namespace voren {

namespace fs = std::filesystem;

AdapterLatency adapterLatencyUnder(const fs::path& sysRoot, const fs::path& devicePath) {
  AdapterLatency adapter{AdapterLatency::Setting::SysfsFile, std::nullopt, {}};
  // The tty by its device number, whatever link or mapping named it.
  const auto device = characterDevice(devicePath);
  const auto tty = device ? ttyDirectory(sysRoot, *device) : std::nullopt;
  if (!tty) return adapter;
  std::ifstream attribute(*tty / "device/latency_timer");
  unsigned timer = 0;
  if (!(attribute >> timer)) return adapter;
  adapter.timerMs = timer;
  // The path an operator knows it by.
  adapter.file = (sysRoot / "class/tty" / tty->filename() / "device/latency_timer").string();
  return adapter;
}

AdapterLatency adapterLatency(std::uint8_t comPort) {
  return adapterLatencyUnder("/sys", win32::comDevicePath(comPort));
}

}  // namespace voren
