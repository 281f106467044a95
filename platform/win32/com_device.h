#pragma once
// A port named by its device on the command line, turned into the COM
// number through which the serial unit opens it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace voren {

// The port number of "\\.\COMn", or of "COMn" for n 1 to 9 (the only ones
// Windows knows without the device prefix).
std::optional<unsigned> comNumberOfName(std::string_view name);

// "COMn" and "\\.\COMn" are that port on every system. On POSIX any other
// path is the device itself, reached as COM255 for the rest of this process
// (as VOREN_COM255 would map it). Nothing when the name names no port.
std::optional<std::uint8_t> comPortForDevice(const std::string& device);

}  // namespace voren
