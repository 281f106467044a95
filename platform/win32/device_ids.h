#pragma once
// What Windows' device ids say of a USB device: the hardware id
// "USB\VID_0403&PID_6001&REV_0600", the instance id "USB\VID_0403&PID_6001\A50285BI"
// or, from FTDI's own bus driver, "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000".
// Plain text, so it is read the same way on every system.
#include <string_view>

#include "platform/win32/com_ports.h"

namespace voren {

// The vendor and product ids from the first id that carries them, and the
// serial number the instance id carries; the other fields stay empty.
PortDescription usbIdsOfDevice(std::string_view hardwareId, std::string_view instanceId);

}  // namespace voren
