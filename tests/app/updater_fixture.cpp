#include "tests/app/updater_fixture.h"

#include "app/updater.h"
#include "link/link_state.h"

namespace voren {

void Updater::SetUp() {
  resetLinkState();
  printer().reset();
  printer().followProtocol();
}

int Updater::run(std::string_view keys, const UpdateSettings& settings) {
  console = std::make_unique<test::ScriptedConsole>(options);
  console->type(keys);
  Keyboard keyboard(*console);
  return AktualizacjaStronyKodowej(*console, keyboard, settings);
}

std::vector<std::string> Updater::openedAndClosed() {
  return {"SerialPortPresent(3)", "UstawCTS(1)", "InitializePort(3,38400,3,3)", "ChangeParity(2)",
          "UnInitializePort()"};
}

}  // namespace voren
