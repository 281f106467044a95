#include "app/rerun.h"

#include "platform/process/process.h"

namespace voren {

std::string rerunCommand(const CommandLine& c, const std::vector<PortArgument>& ports,
                         const std::vector<std::string>& traces) {
  CommandLine again = c;
  again.ports = ports;
  if (traces.size() == 1) again.trace = traces.front();
  std::string line = shellWord(ownProgramPath());
  for (const auto& word : argumentsOf(again)) {
    line += ' ';
    line += shellWord(word);
  }
  return line;
}

}  // namespace voren
