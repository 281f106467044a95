#pragma once
// The COM ports this computer has, found without opening any of them: opening
// a real port moves its modem lines and can disturb the program that uses it.
#include <string>
#include <vector>

namespace voren {

struct ComPort {
  int number;          // COMn; 0 when the device has no COM number (an unmapped USB adapter)
  std::string device;  // what COMn opens: a device path on POSIX, the system's device name
                       // (\Device\Serial0) on Windows, empty when unknown
};

// Ascending by number, the unnumbered ones last, by device.
std::vector<ComPort> comPortsPresent();

}  // namespace voren
