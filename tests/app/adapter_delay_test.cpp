// The line that names the printer's delayed answers: when it comes, and what
// it tells the operator on each system and kind of port.
#include "app/adapter_delay.h"

#include <gtest/gtest.h>

#include <vector>

namespace voren {
namespace {

using std::chrono::microseconds;
using Setting = AdapterLatency::Setting;

// The waits as the link measures them, on a line with no time of its own.
AnswerWaits waitsOf(const std::vector<std::pair<int, int>>& waitsAndCounts) {
  AnswerClock clock;
  clock.start(0, 0);
  AnswerClock::Clock::time_point at{};
  for (const auto& [waitUs, count] : waitsAndCounts) {
    for (int i = 0; i < count; ++i) {
      clock.wrote(at);
      at += microseconds(waitUs);
      clock.read(at, true);
      at += microseconds(40'000);
    }
  }
  return clock.summary();
}

TEST(AdapterDelay, OnlyAnAdapterLikeDelayIsNamed) {
  struct Row {
    const char* name;
    AnswerWaits waits;
    bool delayed;
  };
  const Row rows[] = {
      {"no answers", {}, false},
      {"a printer on a UART", waitsOf({{300, 400}, {2'000, 32}}), false},
      {"timer 16 ms", waitsOf({{16'100, 200}, {16'900, 232}}), true},
      {"timer 4 ms", waitsOf({{4'200, 300}, {4'900, 132}}), true},
      {"at the bound", waitsOf({{3'000, 432}}), false},
      // As measured through the simulated adapter on this busy machine.
      {"timer 16 ms, many answers held by a busy computer too",
       waitsOf({{16'200, 80}, {19'000, 120}, {22'000, 100}, {35'000, 80}, {66'000, 52}}), true},
      // Two in three answers held by one slice of another program: the
      // median is a slice, the quick tenth is not.
      {"three programs wanting the CPU", waitsOf({{400, 150}, {6'500, 200}, {8'000, 82}}), false},
      // At nice 19 among them, as measured: most answers wait, by one
      // slice or several, some not at all.
      {"at lowest priority among them",
       waitsOf({{500, 60}, {3'500, 80}, {9'000, 100}, {16'000, 100}, {40'000, 92}}), false},
      // Every answer held, but by one slice or many: no floor a timer sets.
      {"a computer far too busy",
       waitsOf({{4'000, 60}, {10'000, 120}, {20'000, 130}, {40'000, 122}}), false},
      // A steady delay with a quick tenth is no floor under every answer.
      {"a quick tenth", waitsOf({{1'000, 50}, {16'000, 382}}), false},
      {"too few answers to tell", waitsOf({{16'000, 8}}), false},
      {"enough", waitsOf({{16'000, 9}}), true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(answersDelayed(row.waits), row.delayed) << row.name;
  }
}

TEST(AdapterDelay, AdviceOnlyForAnAdapterWithATimerToShorten) {
  const AnswerWaits waits16{432, microseconds(15'900), microseconds(16'040), microseconds(17'000)};
  const PortDescription ftdiLinux{"ftdi_sio", "0403", "6001"};
  const PortDescription ftdiWindows{"FTDIBUS"};
  const PortDescription uart{"serial8250"};
  const PortDescription pseudoTerminal{};
  struct Row {
    AnswerWaits waits;
    const char* port;
    PortDescription description;
    AdapterLatency adapter;
    const char* line;
  };
  const Row rows[] = {
      {waits16,
       "COM3",
       ftdiWindows,
       {Setting::PortProperties, 16, {}},
       "Adapter portu COM3 opoznia odpowiedzi drukarki o 16 ms (latency timer 16 ms), ta "
       "aktualizacja trwala przez to o 6,9 s dluzej. Ustaw 1 ms: Menedzer urzadzen, COM3, "
       "Ustawienia portu, Zaawansowane."},
      // A USB device by its ids, whose driver keeps no timer the system can read.
      {{432, microseconds(4'100), microseconds(4'600), microseconds(9'000)},
       "COM12",
       {"usbser", "2341", "0043"},
       {Setting::PortProperties, std::nullopt, {}},
       "Adapter portu COM12 opoznia odpowiedzi drukarki o 5 ms, ta aktualizacja trwala przez to "
       "o 2,0 s dluzej. Ustaw 1 ms: Menedzer urzadzen, COM12, Ustawienia portu, Zaawansowane."},
      {{432, microseconds(16'000), microseconds(16'300), microseconds(18'000)},
       "/dev/ttyUSB0",
       ftdiLinux,
       {Setting::SysfsFile, 16, "/sys/class/tty/ttyUSB0/device/latency_timer"},
       "Adapter portu /dev/ttyUSB0 opoznia odpowiedzi drukarki o 16 ms (latency timer 16 ms), ta "
       "aktualizacja trwala przez to o 7,0 s dluzej. Ustaw 1 ms jako root: echo 1 > "
       "/sys/class/tty/ttyUSB0/device/latency_timer"},
      // Tenths that round up to the next second.
      {{10, microseconds(99'000), microseconds(99'996), microseconds(102'000)},
       "COM1",
       {"ch341-uart"},
       {Setting::SysfsFile, std::nullopt, {}},
       "Adapter portu COM1 opoznia odpowiedzi drukarki o 100 ms, ta aktualizacja trwala przez to "
       "o 1,0 s dluzej. Ustaw latency timer adaptera na 1 ms (README: opoznienie adaptera)."},
      // Its timer at 1 ms already: something else holds the answers.
      {{432, microseconds(4'500), microseconds(5'000), microseconds(9'000)},
       "/dev/ttyUSB0",
       ftdiLinux,
       {Setting::SysfsFile, 1, "/sys/class/tty/ttyUSB0/device/latency_timer"},
       "Odpowiedzi drukarki na porcie /dev/ttyUSB0 przychodza z opoznieniem 5 ms, ta aktualizacja "
       "trwala przez to o 2,2 s dluzej."},
      // No adapter, so no timer, whatever the driver's look-up says.
      {{432, microseconds(8'500), microseconds(9'000), microseconds(12'000)},
       "/dev/ttyS1",
       uart,
       {Setting::SysfsFile, std::nullopt, {}},
       "Odpowiedzi drukarki na porcie /dev/ttyS1 przychodza z opoznieniem 9 ms, ta aktualizacja "
       "trwala przez to o 3,9 s dluzej."},
      {waits16,
       "COM1",
       pseudoTerminal,
       {Setting::PortProperties, 16, {}},
       "Odpowiedzi drukarki na porcie COM1 przychodza z opoznieniem 16 ms, ta aktualizacja "
       "trwala przez to o 6,9 s dluzej."},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(answerDelayLine(row.waits, row.port, row.description, row.adapter), row.line);
  }
}

}  // namespace
}  // namespace voren
