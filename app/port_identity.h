#pragma once
// The ports of one run, checked before any is opened, the same for one port
// and for the station: each name must name a port, no port may come twice
// under two names (a link, /dev/./pts/3, COM3 and the path VOREN_COM3 maps
// it to), and none may be the program's own terminal or standard stream.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/files/files.h"

namespace voren {

struct RunPort {
  PortArgument argument;  // as given
  // How the run names it: "COM3", or the device as given, byte for byte.
  // Events and the command to copy carry it so; a screen shows its screenText.
  std::string name;
  std::uint8_t number;  // the COM number the run opens it by
  // The device it reaches, so that no trace is written into it; all zero
  // when that cannot be looked at (a missing device, a port on Windows).
  FileIdentity device;
};

// "the program's own terminal" when identity is the terminal it runs in (under
// any name, /dev/tty too), "the program's standard output" when it is the file
// or device behind one of its standard streams; empty otherwise.
std::string ownPlaceName(const FileIdentity& identity);

// The ports in the order given; nothing and one line naming the port and
// the reason when one is refused (names as given: the screen filters the line).
std::optional<std::vector<RunPort>> checkRunPorts(const std::vector<PortArgument>& ports,
                                                  std::string& refusal);

}  // namespace voren
