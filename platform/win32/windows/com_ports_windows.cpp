// The COM ports of a Windows machine, from the DOS device names: the names
// CreateFile resolves "\\.\COMn" through, so every port listed is one the
// serial unit can be asked to open. Querying the names opens no device.
// (The SERIALCOMM key of the registry lists the same ports for the usual
// drivers, but only those that register there.) What each port is comes from
// the ports class of the device installer; a port the installer does not
// know is listed all the same.
#include <windows.h>
// After windows.h:
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/win32/com_device.h"
#include "platform/win32/com_ports.h"
#include "platform/win32/device_ids.h"
#include "platform/win32/windows/port_devices_windows.h"

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

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string converted(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
  converted.resize(static_cast<std::size_t>(size - 1));
  return converted;
}

// A text property of the device; of a list (the hardware ids) the first.
std::string property(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD which) {
  std::vector<wchar_t> text(256);
  DWORD type = 0, needed = 0;
  for (;;) {
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (SetupDiGetDeviceRegistryPropertyW(devices, &device, which, &type,
                                          reinterpret_cast<BYTE*>(text.data()), bytes, &needed)) {
      break;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= bytes) return {};
    text.assign(needed / sizeof(wchar_t) + 1, L'\0');
  }
  if (type != REG_SZ && type != REG_MULTI_SZ) return {};
  text.push_back(L'\0');  // a value stored without its terminator
  return utf8(text.data());
}

std::string instanceId(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  std::vector<wchar_t> id(256);
  DWORD needed = 0;
  if (!SetupDiGetDeviceInstanceIdW(devices, &device, id.data(), static_cast<DWORD>(id.size()),
                                   &needed)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    id.assign(needed + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, id.data(), static_cast<DWORD>(id.size()),
                                     nullptr)) {
      return {};
    }
  }
  id.push_back(L'\0');
  return utf8(id.data());
}

// The devices of the ports class by COM number.
std::map<int, PortDescription> describedPorts() {
  std::map<int, PortDescription> described;
  forEachComPortDevice([&](const PortDevice& port) {
    HDEVINFO devices = port.devices;
    SP_DEVINFO_DATA& device = *port.device;
    PortDescription d =
        usbIdsOfDevice(property(devices, device, SPDRP_HARDWAREID), instanceId(devices, device));
    d.driver = property(devices, device, SPDRP_SERVICE);
    d.manufacturer = property(devices, device, SPDRP_MFG);
    d.product = property(devices, device, SPDRP_DEVICEDESC);
    d.location = property(devices, device, SPDRP_LOCATION_INFORMATION);
    d.friendlyName = property(devices, device, SPDRP_FRIENDLYNAME);
    described.emplace(port.comPort, std::move(d));
    return true;
  });
  return described;
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
  const auto described = describedPorts();
  for (auto& port : ports) {
    if (const auto d = described.find(port.number); d != described.end()) {
      port.description = d->second;
    }
  }
  return ports;
}

PortDescription comPortDescription(std::uint8_t comPort) {
  const auto described = describedPorts();
  const auto d = described.find(comPort);
  return d == described.end() ? PortDescription{} : d->second;
}

}  // namespace voren
