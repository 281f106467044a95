// A device path becomes a COM number through the emulation's own mapping.
#include "platform/win32/com_device.h"
#include "platform/win32/posix/com_names.h"

namespace voren {

namespace {

// The last port number: the least likely to be named by anything else.
constexpr std::uint8_t kDevicePort = 255;

}  // namespace

ComName comPortForDevice(const std::string& device) {
  if (auto name = comNumberOfName(device)) return *name;
  // CreateFileA looks the mapping up when the port is opened; one port per
  // process, so nothing else here wants COM255.
  win32::mapComPort(kDevicePort, device);
  return {kDevicePort, {}};
}

std::optional<std::string> comPortPath(std::uint8_t number) {
  return win32::comMachinePath(number);
}

std::optional<std::uint8_t> comPortOpenedAsFile(const std::string&) { return std::nullopt; }

}  // namespace voren
