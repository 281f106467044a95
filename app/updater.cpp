#include "app/updater.h"

#include <chrono>
#include <thread>

#include "app/dialogue.h"
#include "app/texts.h"
#include "app/update_state.h"
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

void printEndReport(Console& console, std::uint8_t code) {
  if (code == KodBledu(blad::kBrak)) {
    console.write(format("\n\nAktualizacja %s zakonczona sukcesem!", "strony kodowej"));
  } else {
    console.write(format("\n\nBlad nr %d: ", code));
    console.write(opisBledu(code));
  }
}

}  // namespace

int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard) {
  resetUpdateState();
  printBanner(console);
  const auto port = askForPort(console, keyboard);
  if (!port) return 1;

  LinkState& link = linkState();
  link.portNumber = *port;
  link.speed = kSpeed;
  OtwarciePortu();
  if (!link.portOpen) {
    console.write(format("\nNie mozna zainicjowac portu COM%d!\n", *port));
    waitForKey(keyboard);
    return 1;
  }

  uploadGlyphTable(console);
  const std::uint8_t code = link.resultCode;
  printEndReport(console, code);
  ZamknieciePortu();
  waitForKey(keyboard);
  return code == KodBledu(blad::kBrak) ? 0 : 1;
}

}  // namespace voren
