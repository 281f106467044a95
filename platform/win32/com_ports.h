#pragma once
// The COM ports this computer has, found without opening any of them: opening
// a real port moves its modem lines and can disturb the program that uses it.
#include <string>
#include <vector>

namespace voren {

// What the system knows about the device behind a port; every field is empty
// where it knows nothing (a UART has no vendor, a pseudo-terminal nothing at
// all). Texts are UTF-8 without control characters, as the device gave them.
struct PortDescription {
  std::string driver;        // the kernel driver (ftdi_sio, cdc_acm) or Windows service (usbser)
  std::string vendorId;      // USB vendor id, four lowercase hex digits: "0403"
  std::string productId;     // USB product id, the same way: "6001"
  std::string manufacturer;  // the device's maker (Linux: its USB string; Windows: the driver's)
  std::string product;       // the device's name (Linux: its USB string; Windows: its description)
  std::string serial;        // the device's serial number
  std::string location;      // where it hangs: the USB interface (1-1.2:1.0), Windows' location
  std::string byId;          // Linux: the /dev/serial/by-id link that points at the device
  std::string friendlyName;  // Windows: the name Device Manager shows ("USB Serial Port (COM3)")
};

struct ComPort {
  int number;          // COMn; 0 when the device has no COM number (an unmapped USB adapter)
  std::string device;  // what COMn opens: a device path on POSIX, the system's device name
                       // (\Device\Serial0) on Windows, empty when unknown
  PortDescription description{};
};

// Ascending by number, the unnumbered ones last, by device.
std::vector<ComPort> comPortsPresent();

}  // namespace voren
