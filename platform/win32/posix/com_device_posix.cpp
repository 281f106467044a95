// A device path becomes a COM number through the emulation's own mapping.
#include <cstdlib>

#include "platform/win32/com_device.h"

namespace voren {

namespace {

// The last port number: the least likely to be named by anything else.
constexpr std::uint8_t kDevicePort = 255;

}  // namespace

std::optional<std::uint8_t> comPortForDevice(const std::string& device) {
  if (const auto number = comNumberOfName(device)) {
    if (*number > 255) return std::nullopt;
    return static_cast<std::uint8_t>(*number);
  }
  if (device.empty()) return std::nullopt;
  // CreateFileA reads the mapping when the port is opened; one port per
  // process, so nothing else here wants COM255.
  if (setenv("VOREN_COM255", device.c_str(), 1) != 0) return std::nullopt;
  return kDevicePort;
}

}  // namespace voren
