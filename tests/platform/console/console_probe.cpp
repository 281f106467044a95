// Drives the system console the way the updater does, for the terminal tests:
// a question answered with a number, a progress line rewritten in place and
// a key wait. Prints what it got so a test can read it off the screen.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/console/console.h"
#include "platform/console/keyboard.h"

int main(int argc, char** argv) {
  // Optional: milliseconds per progress step, to leave time for a signal.
  const int stepMs = argc > 1 ? std::atoi(argv[1]) : 0;
  auto& console = voren::systemConsole();
  voren::Keyboard keyboard(console);
  const auto say = [&](const std::string& text) { console.write(text); };

  console.clear();
  say("Proba konsoli\n");
  std::int64_t number = 0;
  for (;;) {
    say("\nPodaj liczbe: ");
    const auto read = keyboard.readNumber(number);
    if (read == voren::Keyboard::NumberRead::Converted) break;
    if (read == voren::Keyboard::NumberRead::EndOfInput) {
      say("\nKoniec wejscia\n");
      return 3;
    }
    say("\nOdrzucony klawisz " + std::to_string(keyboard.readKey().value_or(-1)));
  }
  say("\nLiczba " + std::to_string(number) + "\n\nPostep: 0%");

  const auto at = console.cursor();
  for (int i = 0; i < 144; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    if (!at) continue;
    console.moveToColumn(at->column - 2);
    say(std::to_string((i + 1) * 100 / 144) + "%");
  }
  if (!at) say(" ... 100%");

  say("\n\nZatrzymany klawisz " + std::to_string(keyboard.readKey().value_or(-1)));
  while (!keyboard.keyWaiting()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  say("\nNastepny klawisz " + std::to_string(keyboard.readKey().value_or(-1)) + "\n");
  return 0;
}
