// Who may open a port's device on POSIX: its group and mode, looked at as
// the system has them now.
#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "platform/win32/device_access.h"
#include "platform/win32/posix/com_names.h"

namespace voren {

std::optional<DeviceGroup> deviceGroup(std::uint8_t port) {
  // What this process opens: a device given on the command line too.
  const std::string path = win32::comDevicePath(port);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  DeviceGroup found;
  found.device = path;
  found.group = std::to_string(info.st_gid);
  std::vector<char> buffer(16384);
  group entry {};
  group* result = nullptr;
  const bool named =
      getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &result) == 0 && result;
  if (named) found.group = result->gr_name;
  found.groupMayOpen = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  found.joinable = named && info.st_gid != 0;
  return found;
}

}  // namespace voren
