// Windows refuses a held port and a user it does not admit with the same 5,
// and a COM port's access is no matter of groups.
#include "platform/win32/device_access.h"

namespace voren {

bool accessDeniedForPermission() { return false; }

std::optional<DeviceGroup> deviceGroup(std::uint8_t) { return std::nullopt; }

}  // namespace voren
