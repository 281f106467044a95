// Windows reaches a serial device by its COM name only.
#include "platform/win32/com_device.h"

namespace voren {

ComName comPortForDevice(const std::string& device) {
  if (auto name = comNumberOfName(device)) return *name;
  return {std::nullopt, R"(no COM port name; write COMn or \\.\COMn)"};
}

std::optional<std::string> comPortPath(std::uint8_t) { return std::nullopt; }

std::optional<std::uint8_t> comPortOpenedAsFile(const std::string& name) {
  const auto port = comNumberOfName(name);
  return port ? port->port : std::nullopt;
}

}  // namespace voren
