// Linux keeps an FTDI-type adapter's latency timer in the usb-serial
// driver's latency_timer attribute, readable by anyone, writable by root.
// It reads 1 while the port is in low latency mode, which the emulation
// asks for when it opens a port.
#include "platform/win32/posix/adapter_latency_posix.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "platform/win32/posix/com_names.h"

namespace voren {

namespace fs = std::filesystem;

AdapterLatency adapterLatencyUnder(const fs::path& sysRoot, const fs::path& devicePath) {
  AdapterLatency adapter{AdapterLatency::Setting::SysfsFile, std::nullopt, {}};
  struct stat status {};
  if (stat(devicePath.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return adapter;
  // The tty by its device number, whatever link or mapping named it.
  const fs::path tty =
      sysRoot / "dev/char" /
      (std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev)));
  std::error_code error;
  const fs::path name = fs::canonical(tty, error).filename();
  if (error) return adapter;
  std::ifstream attribute(tty / "device/latency_timer");
  unsigned timer = 0;
  if (!(attribute >> timer)) return adapter;
  adapter.timerMs = timer;
  // The path an operator knows it by.
  adapter.file = (sysRoot / "class/tty" / name / "device/latency_timer").string();
  return adapter;
}

AdapterLatency adapterLatency(std::uint8_t comPort) {
  return adapterLatencyUnder("/sys", win32::comDevicePath(comPort));
}

}  // namespace voren
