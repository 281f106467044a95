#pragma once
// The devices of the device installer's ports class that are COM ports, each
// found by the PortName its driver wrote into the device's own key. Both
// what a port is and an adapter's settings are read from these devices.
#include <windows.h>
// After windows.h:
#include <setupapi.h>

#include <cstdint>
#include <functional>

namespace voren {

struct PortDevice {
  std::uint8_t comPort;  // n of COMn
  HDEVINFO devices;      // the list the device is in, for its properties
  SP_DEVINFO_DATA* device;
  HKEY key;  // the device's key, open for reading during the call only
};

// Calls visit for each present device named as a COM port, in the installer's
// order, until visit returns false. Devices of the class without a COM name
// (printer ports) are passed over.
void forEachComPortDevice(const std::function<bool(const PortDevice&)>& visit);

}  // namespace voren
