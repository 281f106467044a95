#pragma once
// What a Linux machine says about its ttys, found by device number: sysfs
// (the driver; for a USB device its ids, strings and interface) and the
// /dev/serial/by-id links. Only directory reads, links and attribute files:
// no device is opened.
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/win32/com_ports.h"

namespace voren {

// The device number of the character device at path, following links;
// std::nullopt for anything else.
std::optional<dev_t> characterDevice(const std::filesystem::path& path);

// The sysfs directory of the tty with that device number, by the kernel's
// index of character devices (sysRoot/dev/char/MAJOR:MINOR), links resolved:
// its name is the tty's. std::nullopt when sysfs has no such device.
std::optional<std::filesystem::path> ttyDirectory(const std::filesystem::path& sysRoot,
                                                  dev_t device);

class TtyDescriptions {
 public:
  // sysRoot is where sysfs is mounted (/sys), devRoot the device folder (/dev).
  TtyDescriptions(const std::filesystem::path& sysRoot, const std::filesystem::path& devRoot);

  // Empty for a device sysfs does not know as a tty (a pseudo-terminal has
  // no device behind it, so it gets nothing either).
  PortDescription of(dev_t device) const;

 private:
  std::filesystem::path sysRoot_;
  std::map<dev_t, std::string> byId_;
};

}  // namespace voren
