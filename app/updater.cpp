#include "app/updater.h"

#include <chrono>
#include <thread>

#include "app/adapter_delay.h"
#include "app/dialogue.h"
#include "app/screen_text.h"
#include "app/texts.h"
#include "app/upload.h"
#include "link/link_state.h"
#include "link/port_setup.h"
#include "link/result_codes.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"

namespace voren {

namespace {

constexpr std::uint32_t kSpeed = 38400;
constexpr auto kKeyPoll = std::chrono::milliseconds(15);

// One key press after the last message. The first read takes the key that
// ended the port number (held back); the operator's press is left waiting.
void waitForKey(Keyboard& keyboard) {
  keyboard.readKey();
  while (!keyboard.keyWaiting()) std::this_thread::sleep_for(kKeyPoll);
}

void printEndReport(Console& console, ResultCode code) {
  if (code == KodBledu(ErrorNumber::Brak)) {
    console.write(format("\n\nAktualizacja %s zakonczona sukcesem!", "strony kodowej"));
  } else {
    console.write(format("\n\nBlad nr %d: ", static_cast<int>(code)));
    console.write(opisBledu(code));
  }
}

// What the port said when the byte that ended the update failed, in the
// operator's words: the bare time-out or failure says nothing of why.
void printPortFault(Console& console, const std::string& portName) {
  switch (PowodBleduPortu()) {
    case PortFault::None:
      return;
    case PortFault::CtsOff:
      console.write(format("\nDrukarka nie pozwala nadawac: linia CTS portu %s jest wylaczona "
                           "(drukarka wylaczona lub niegotowa, albo kabel bez linii CTS).",
                           portName.c_str()));
      return;
    case PortFault::PortGone:
      console.write(format("\nPort %s zostal odlaczony od komputera (adapter USB wyjety?).",
                           portName.c_str()));
      return;
  }
}

PortRefusal refusalOf(PortAbsence why) {
  switch (why) {
    case PortAbsence::InUse:
      return PortRefusal::InUse;
    case PortAbsence::NoPermission:
      return PortRefusal::NoPermission;
    case PortAbsence::Missing:
      break;
  }
  return PortRefusal::Missing;
}

}  // namespace

int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard,
                              const UpdateSettings& settings) {
  const bool unattended = settings.port.has_value();
  // Unattended, the output is a script's log: nothing of it is wiped.
  if (!unattended) console.clear();
  if (!settings.watcher) printBanner(console);

  PortChoice port;
  if (unattended) {
    port = *settings.port;
    if (!ObecnoscPortu(port.number)) {
      const PortAbsence why = PowodBrakuPortu();
      if (settings.watcher) settings.watcher->portRefused(refusalOf(why));
      printPortAbsence(console, port.number, screenText(port.name), why);
      return kUpdateFailed;
    }
  } else {
    const auto asked = askForPort(console, keyboard);
    if (!asked) return kUpdateFailed;
    port = {*asked, format("COM%d", *asked)};
  }

  LinkState& link = linkState();
  link.portNumber = port.number;
  link.speed = kSpeed;
  OtwarciePortu();
  if (!link.portOpen) {
    if (settings.watcher) settings.watcher->portRefused(PortRefusal::CannotOpen);
    console.write(format("\nNie mozna zainicjowac portu %s!\n", screenText(port.name).c_str()));
    if (!unattended) waitForKey(keyboard);
    return kUpdateFailed;
  }

  if (settings.watcher) settings.watcher->portOpened();
  if (!uploadGlyphTable(console, settings.table, settings.watcher)) {
    ZamknieciePortu();
    return kUpdateStopped;
  }
  const ResultCode code = link.resultCode;
  printEndReport(console, code);
  if (code != KodBledu(ErrorNumber::Brak)) printPortFault(console, screenText(port.name));
  // Read before the close: the adapter's timer as it was during the run, not
  // as the close puts it back.
  if (const auto line = adapterDelayReport(port.number, screenText(port.name))) {
    if (settings.watcher) {
      settings.watcher->answersLate(*line);
    } else {
      console.write("\n" + *line);
    }
  }
  ZamknieciePortu();
  // A log's last line ends like the others; the operator's key wait keeps
  // the cursor behind the report.
  if (unattended) {
    console.write("\n");
  } else {
    waitForKey(keyboard);
  }
  return code == KodBledu(ErrorNumber::Brak) ? kUpdated : kUpdateFailed;
}

}  // namespace voren
