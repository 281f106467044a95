#pragma once
// What COMn is on POSIX: the path in VOREN_COMn when that is set, else
// /dev/ttyS<n-1>.
#include <cstdlib>
#include <optional>
#include <string>

namespace voren::win32 {

inline std::optional<std::string> comMapping(unsigned number) {
  const std::string variable = "VOREN_COM" + std::to_string(number);
  const char* mapped = std::getenv(variable.c_str());
  if (mapped == nullptr || *mapped == '\0') return std::nullopt;
  return mapped;
}

inline std::string comDevicePath(unsigned number) {
  return comMapping(number).value_or("/dev/ttyS" + std::to_string(number - 1));
}

}  // namespace voren::win32
