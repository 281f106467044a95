// The COM ports of a Windows machine, from the DOS device names: the names
// CreateFile resolves "\\.\COMn" through, so every port listed is one the
// serial unit can be asked to open. Querying the names opens no device.
// (The SERIALCOMM key of the registry lists the same ports for the usual
// drivers, but only those that register there.)
#include <windows.h>

#include <algorithm>

#include "platform/win32/com_device.h"
#include "platform/win32/com_ports.h"

namespace voren {

namespace {

// Every DOS device name, each ended by a NUL, the list by a second one.
std::string dosDeviceNames() {
  std::string names(16 * 1024, '\0');
  while (QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size())) == 0) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= 16 * 1024 * 1024) return {};
    names.assign(names.size() * 2, '\0');
  }
  return names;
}

// The first device a DOS name points to: \Device\Serial0.
std::string deviceOf(const std::string& name) {
  char target[1024] = {};
  if (QueryDosDeviceA(name.c_str(), target, sizeof target) == 0) return {};
  return target;
}

}  // namespace

std::vector<ComPort> comPortsPresent() {
  std::vector<ComPort> ports;
  const std::string names = dosDeviceNames();
  for (std::size_t at = 0; at < names.size() && names[at] != '\0';) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    // The DOS name COMn is what \\.\COMn opens.
    const auto com = comNumberOfName(R"(\\.\)" + name);
    if (!com || !com->port) continue;
    const int number = *com->port;
    // A name held both in the session and globally comes twice.
    if (std::any_of(ports.begin(), ports.end(),
                    [&](const ComPort& p) { return p.number == number; })) {
      continue;
    }
    ports.push_back({number, deviceOf(name)});
  }
  std::sort(ports.begin(), ports.end(),
            [](const ComPort& a, const ComPort& b) { return a.number < b.number; });
  return ports;
}

}  // namespace voren
