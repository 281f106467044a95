// Who may open a port's device on POSIX: its group and mode, looked at as
// the system has them now.
#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "platform/win32/com_device.h"
#include "platform/win32/device_access.h"

namespace voren {

std::optional<DeviceGroup> deviceGroup(std::uint8_t port) {
  const auto path = comPortPath(port);
  struct stat info {};
  if (!path || stat(path->c_str(), &info) != 0) return std::nullopt;
  DeviceGroup found;
  found.device = *path;
  found.group = std::to_string(info.st_gid);
  std::vector<char> buffer(16384);
  group entry {};
  group* result = nullptr;
  if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &result) == 0 && result) {
    found.group = result->gr_name;
  }
  found.groupMayOpen = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  found.rootGroup = info.st_gid == 0;
  return found;
}

}  // namespace voren
