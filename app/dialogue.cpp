#include "app/dialogue.h"

#include <string>
#include <vector>

#include "app/port_list.h"
#include "app/texts.h"
#include "link/port_setup.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"
#include "platform/win32/com_ports.h"
#include "platform/win32/device_access.h"

namespace voren {

const char* const kNoComPortsLine = "W tym komputerze nie ma zadnego portu COM.";

namespace {

// The operator types a number, so only ports with a COM number are offered
// (an unmapped USB adapter has none), one a line with what the system knows
// of each: the number alone says little when several adapters hang there.
std::string portsLines(const std::vector<ComPort>& ports) {
  std::string lines;
  for (const auto& port : ports) {
    if (port.number == 0) continue;
    const std::string label = portLabel(port.description);
    lines += "  COM" + std::to_string(port.number) + (label.empty() ? "" : ": " + label) + "\n";
  }
  if (lines.empty()) return std::string(kNoComPortsLine) + "\n";
  return "Porty COM w tym komputerze:\n" + lines;
}

// The user may not open the device: which device, and who the system lets
// open it, as it stands now.
std::string noPermissionLines(std::uint8_t port, const std::string& portName) {
  const auto access = deviceGroup(port);
  std::string lines = format("Brak uprawnien do portu %s", portName.c_str());
  if (access && access->device != portName) lines += format(" (%s)", access->device.c_str());
  lines += ".\n";
  if (!access) return lines;
  if (access->groupMayOpen && access->joinable) {
    return lines + format("Dodaj uzytkownika do grupy %s (sudo usermod -aG %s NAZWA) i zaloguj "
                          "sie ponownie.\n",
                          access->group.c_str(), access->group.c_str());
  }
  return lines + format("Urzadzenie %s moze otwierac tylko root: uruchom program jako root albo "
                        "nadaj grupie prawo do niego regula udev (GROUP=\"dialout\", "
                        "MODE=\"0660\").\n",
                        access->device.c_str());
}

}  // namespace

void printPortAbsence(Console& console, std::uint8_t port, const std::string& portName,
                      PortAbsence why) {
  switch (why) {
    case PortAbsence::Missing:
      console.write(format("\nW tym komputerze nie ma portu %s!\n", portName.c_str()));
      console.write(portsLines(comPortsPresent()));
      return;
    case PortAbsence::InUse:
      console.write(format("\nPort %s jest zajety przez inny program.\n", portName.c_str()));
      return;
    case PortAbsence::NoPermission:
      console.write("\n");
      console.write(noPermissionLines(port, portName));
      return;
  }
}

void printBanner(Console& console) {
  console.write(
      format("Program dla %s do zmiany %s w drukarce VOREN\n", "Windows", "strony kodowej"));
  console.write(format("Program zmieni strone kodowa na %s\n\n", "852 (Latin-2)"));
}

std::optional<std::uint8_t> askForPort(Console& console, Keyboard& keyboard) {
  for (;;) {
    console.write(
        "\nPodaj numer portu COM do ktorego podlaczono drukarke (0-wyjscie z programu): ");
    std::int64_t number = 0;
    switch (keyboard.readNumber(number)) {
      case Keyboard::NumberRead::EndOfInput:
        return std::nullopt;
      case Keyboard::NumberRead::NotANumber:
        keyboard.readKey();  // the key that is no number
        continue;
      case Keyboard::NumberRead::Converted:
        break;
    }
    if (number == 0) return std::nullopt;
    // Port numbers are bytes; cutting a larger number down would pick a
    // port the operator never typed (259 would be COM3).
    if (number < 0 || number > 255) {
      printPortAbsence(console, 0, "COM" + std::to_string(number), PortAbsence::Missing);
      continue;
    }
    const auto port = static_cast<std::uint8_t>(number);
    if (ObecnoscPortu(port)) return port;
    printPortAbsence(console, port, "COM" + std::to_string(number), PowodBrakuPortu());
  }
}

}  // namespace voren
