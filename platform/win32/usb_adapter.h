#pragma once
// Whether a port is a USB serial adapter, told by what the system says of
// its device. Only such an adapter has a latency timer to blame for slow
// answers; a UART, a pseudo-terminal or a port the system tells nothing of
// has none.
#include "platform/win32/com_ports.h"

namespace voren {

bool isUsbAdapter(const PortDescription& description);

}  // namespace voren
