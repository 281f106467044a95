#pragma once
// What COMn is on POSIX: the path this process mapped it to, else the path
// in VOREN_COMn when that is set, else /dev/ttyS<n-1>.
#include <optional>
#include <string>

namespace voren::win32 {

// Maps COMn to path for this process alone (an empty path takes the mapping
// away). The program puts a device given on its command line here: the
// environment would pass it on to child processes and overwrite a
// VOREN_COMn of the user's own.
void mapComPort(unsigned number, const std::string& path);

// What the user mapped COMn to (VOREN_COMn), for every process: the machine's
// ports are these, not the device one run reaches as COM255.
std::optional<std::string> comMapping(unsigned number);
// What COMn opens in every process: VOREN_COMn, else /dev/ttyS<n-1>.
std::string comMachinePath(unsigned number);
// What COMn opens in this process: its own mapping first.
std::string comDevicePath(unsigned number);

}  // namespace voren::win32
