// The COM ports of a Linux machine: the VOREN_COMn mappings, the ttyS devices
// the kernel found a UART behind, and the USB adapters under their paths,
// each with what sysfs says of its device. Only stat, directory reads and
// sysfs attributes: no device is opened.
#include "platform/win32/posix/com_ports_posix.h"

#include <algorithm>
#include <fstream>
#include <tuple>

#include "platform/win32/com_ports.h"
#include "platform/win32/posix/com_names.h"
#include "platform/win32/posix/tty_descriptions.h"

namespace voren {

namespace {

namespace fs = std::filesystem;

constexpr unsigned kLastComNumber = 255;

// The 8250 driver makes a ttyS for every slot it has, UART or not; the slots
// without one read type 0 (PORT_UNKNOWN).
bool uartBehind(const fs::path& sysRoot, const std::string& name) {
  std::ifstream typeFile(sysRoot / "class/tty" / name / "type");
  int type = 0;
  return static_cast<bool>(typeFile >> type) && type != 0;
}

bool namesAUsbSerialTty(const std::string& name) {
  return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

}  // namespace

std::vector<ComPort> comPortsUnder(const fs::path& sysRoot, const fs::path& devRoot) {
  const TtyDescriptions descriptions(sysRoot, devRoot);
  std::vector<ComPort> ports;
  std::vector<dev_t> numbered;
  for (unsigned n = 1; n <= kLastComNumber; ++n) {
    fs::path path;
    if (const auto mapped = win32::comMapping(n)) {
      path = *mapped;
    } else {
      const std::string name = "ttyS" + std::to_string(n - 1);
      if (!uartBehind(sysRoot, name)) continue;
      path = devRoot / name;
    }
    if (const auto device = characterDevice(path)) {
      ports.push_back({static_cast<int>(n), path.string(), descriptions.of(*device)});
      numbered.push_back(*device);
    }
  }

  // An adapter a mapping already names is listed under its number only.
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(devRoot, error)) {
    if (!namesAUsbSerialTty(entry.path().filename().string())) continue;
    const auto device = characterDevice(entry.path());
    if (device && std::find(numbered.begin(), numbered.end(), *device) == numbered.end()) {
      ports.push_back({0, entry.path().string(), descriptions.of(*device)});
    }
  }

  std::sort(ports.begin(), ports.end(), [](const ComPort& a, const ComPort& b) {
    return std::tuple(a.number == 0, a.number, a.device) <
           std::tuple(b.number == 0, b.number, b.device);
  });
  return ports;
}

std::vector<ComPort> comPortsPresent() { return comPortsUnder("/sys", "/dev"); }

PortDescription comPortDescription(std::uint8_t comPort) {
  const auto device = characterDevice(win32::comDevicePath(comPort));
  return device ? TtyDescriptions("/sys", "/dev").of(*device) : PortDescription{};
}

}  // namespace voren
