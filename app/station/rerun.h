#pragma once
// What a station prints last when printers were left not updated: the
// command that updates those alone, with the run's other options, ready to
// copy into this system's shell.
#include <string>
#include <vector>

#include "app/command_line.h"

namespace voren {

// One command in two spellings: a script runs the exact one (sh, cmd.exe);
// the operator copies the shown one, in which a word with a byte the screen
// cannot show (an escape, a carriage return, a letter outside ASCII) is
// spelled with the shell's escapes instead (shownShellWord). Empty when
// every printer was updated.
struct RerunCommand {
  std::string exact;
  std::string shown;
};

// c with ports in place of its own: the program as it was started, then
// each word quoted where the shell needs it. traces are those ports' trace
// files: one port left traces into the file the station gave it
// (wire-COM4.txt, or the device all ports shared), not into the station's name.
RerunCommand rerunCommand(const CommandLine& c, const std::vector<PortArgument>& ports,
                          const std::vector<std::string>& traces);

}  // namespace voren
