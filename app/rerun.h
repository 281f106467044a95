#pragma once
// What a station prints last when printers were left not updated: the
// command that updates those alone, with the run's other options, ready to
// copy into this system's shell.
#include <string>
#include <vector>

#include "app/command_line.h"

namespace voren {

// c with ports in place of its own, as one line: this program's path, then
// each word quoted where the shell needs it. traces are those ports' trace
// files: one port left traces into the file the station gave it
// (wire-COM4.txt, or the device all ports shared), not into the station's name.
std::string rerunCommand(const CommandLine& c, const std::vector<PortArgument>& ports,
                         const std::vector<std::string>& traces);

}  // namespace voren
