#include "app/rerun.h"

#include "app/station.h"
#include "platform/process/process.h"

namespace voren {

std::string rerunCommand(const CommandLine& c, const std::vector<PortArgument>& ports) {
  CommandLine again = c;
  again.ports = ports;
  if (c.trace && ports.size() == 1)
    again.trace = stationTraceFile(*c.trace, portName(ports.front()));
  std::string line = shellWord(ownProgramPath());
  for (const auto& word : argumentsOf(again)) {
    line += ' ';
    line += shellWord(word);
  }
  return line;
}

}  // namespace voren
