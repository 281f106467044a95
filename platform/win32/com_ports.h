#pragma once
// The COM ports this computer has, found without opening any of them: opening
// a real port moves its modem lines and can disturb the program that uses it.
#include <cstdint>
#include <string>
#include <vector>

namespace voren {

// What the system knows about the device behind a port; every field is empty
// where it knows nothing (a UART has no vendor, a pseudo-terminal nothing at
// all). Texts are valid UTF-8, otherwise as the device gave them: a device
// names itself, so whoever shows them keeps control characters off the screen.
struct PortDescription {
  // The kernel driver (ftdi_sio, cdc_acm), the Windows service (usbser).
  std::string driver{};
  // USB vendor and product ids, four lowercase hex digits each: "0403", "6001".
  std::string vendorId{};
  std::string productId{};
  // The device's maker and name: on Linux its USB strings; on Windows the
  // maker of its driver and the device's description.
  std::string manufacturer{};
  std::string product{};
  std::string serial{};
  // Where it hangs: the USB interface on Linux (1-1.2:1.0), the location
  // information on Windows (Port_#0002.Hub_#0001).
  std::string location{};
  // Linux: the /dev/serial/by-id link that points at the device.
  std::string byId{};
  // Windows: the name Device Manager shows ("USB Serial Port (COM3)").
  std::string friendlyName{};

  friend bool operator==(const PortDescription&, const PortDescription&) = default;
};

struct ComPort {
  int number;          // COMn; 0 when the device has no COM number (an unmapped USB adapter)
  std::string device;  // what COMn opens: a device path on POSIX, the system's device name
                       // (\Device\Serial0) on Windows, empty when unknown
  PortDescription description{};

  friend bool operator==(const ComPort&, const ComPort&) = default;
};

// Ascending by number, the unnumbered ones last, by device.
std::vector<ComPort> comPortsPresent();

// What the system says of the device COMn opens, whether the list above
// holds it or not (Wine lists no port that a link made by hand gives it).
PortDescription comPortDescription(std::uint8_t comPort);

}  // namespace voren
