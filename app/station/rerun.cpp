#include "app/station/rerun.h"

#include "platform/process/process.h"

namespace voren {

RerunCommand rerunCommand(const CommandLine& c, const std::vector<PortArgument>& ports,
                          const std::vector<std::string>& traces) {
  CommandLine again = c;
  again.ports = ports;
  if (traces.size() == 1) again.trace = traces.front();
  const std::string program = startedProgramPath();
  RerunCommand command{shellWord(program), shownShellWord(program)};
  for (const auto& word : argumentsOf(again)) {
    command.exact += ' ' + shellWord(word);
    command.shown += ' ' + shownShellWord(word);
  }
  return command;
}

}  // namespace voren
