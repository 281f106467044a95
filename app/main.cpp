// voren-cp852: writes the code page 852 character set into a VOREN printer.
#include "app/updater.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"

int main() {
  voren::Console& console = voren::systemConsole();
  voren::Keyboard keyboard(console);
  return voren::AktualizacjaStronyKodowej(console, keyboard);
}
