#pragma once
// Access to a COM port's device: whether an open refused with access denied
// kept out a user the device's permissions do not admit, rather than found
// the port held, and who the system lets open the device.
#include <cstdint>
#include <optional>
#include <string>

namespace voren {

// Right after a CreateFileA of a port that failed on this thread with
// ERROR_ACCESS_DENIED: true when the system refused the user (the device's
// owner, group and mode), false when another opener holds the port. Windows
// answers both with 5 and tells nobody which, so there it is always false;
// the emulation keeps Windows' 5 for both and the system's reason beside it.
bool accessDeniedForPermission();

// The group that owns the device COMn opens, and whether the device's mode
// lets that group read and write it. Nothing where the system has no such
// groups (Windows) or the device cannot be looked at.
struct DeviceGroup {
  std::string device;  // the path COMn opens
  std::string group;   // the group's name, or its number when it has none
  bool groupMayOpen = false;
  // A group a user can be added to: one with a name (usermod knows no other),
  // and not root's.
  bool joinable = false;
};
std::optional<DeviceGroup> deviceGroup(std::uint8_t port);

}  // namespace voren
