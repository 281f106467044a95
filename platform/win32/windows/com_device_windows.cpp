// Windows names its serial devices: COMn, or \\.\COMn from COM10 up.
#include "platform/win32/com_device.h"

namespace voren {

std::optional<std::uint8_t> comPortForDevice(const std::string& device) {
  const auto number = comNumberOfName(device);
  if (!number || *number > 255) return std::nullopt;
  return static_cast<std::uint8_t>(*number);
}

}  // namespace voren
