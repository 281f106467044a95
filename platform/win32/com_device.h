#pragma once
// COM port names, read the same way on every system: the one parser of
// "COMn" and "\\.\COMn" for the emulation's CreateFileA, the Windows port
// list and a device named on the command line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace voren {

// What a name spelled as a COM port gives: the port, or why it gives none.
struct ComName {
  std::optional<std::uint8_t> port;  // 1..255
  std::string refusal;               // set exactly when port is not
};

// A name spelled as a COM port is "COM" and decimal digits, in any case,
// with or without the device prefix \\.\. It names port n when n is 1 to
// 255 without a leading zero, and from 10 up only with the prefix: Windows
// takes a plain "COM10" for a file of that name in the current folder.
// Nothing when the name is not spelled as a COM port.
std::optional<ComName> comNumberOfName(std::string_view name);

// The port a device given on the command line names. A name spelled as a
// COM port is that port on every system, or refused. On POSIX any other path
// is the device itself, reached as COM255 for the rest of this process
// through the emulation's own table (no environment variable is set); on
// Windows it is refused.
ComName comPortForDevice(const std::string& device);

// What COMn opens, to tell two names of one port by the device they reach:
// on POSIX its path (VOREN_COMn, else /dev/ttyS<n-1>), the same in every
// process; nothing on Windows, where a port is its number.
std::optional<std::string> comPortPath(std::uint8_t number);

// The COM port a program reaches when it opens name as a file (a trace): on
// Windows a name spelled as a COM port (COM3, \\.\COM3); on POSIX none, as
// there only this program's port layer reads COM names.
std::optional<std::uint8_t> comPortOpenedAsFile(const std::string& name);

}  // namespace voren
