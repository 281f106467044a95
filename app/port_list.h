#pragma once
// The ports of the computer as the operator reads them: each one with what
// the system knows of its device, on one line.
#include <string>
#include <vector>

#include "platform/win32/com_ports.h"

namespace voren {

// What the operator recognises a port by: "FTDI FT232R USB UART, USB
// 0403:6001, nr seryjny A50285BI"; empty when the system knows nothing.
std::string portLabel(const PortDescription& description);

// One line a port for --list: "COM5 /dev/ttyUSB0: " and the label, then how
// the system reaches the device (driver, location, the by-id link); an
// unnumbered adapter by its path, a port nothing is known of by its names alone.
std::vector<std::string> portListLines(const std::vector<ComPort>& ports);

}  // namespace voren
