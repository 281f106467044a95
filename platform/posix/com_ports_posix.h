#pragma once
// The port list of comPortsPresent() with the roots of sysfs and /dev given,
// so that tests can lay out a machine of their own.
#include <filesystem>
#include <vector>

#include "platform/com_ports.h"

namespace voren {

std::vector<ComPort> comPortsUnder(const std::filesystem::path& sysRoot,
                                   const std::filesystem::path& devRoot);

}  // namespace voren
