// The line that names a USB adapter's delay: when it comes, and what it
// tells the operator on each system.
#include "app/adapter_delay.h"

#include <gtest/gtest.h>

namespace voren {
namespace {

using std::chrono::microseconds;

TEST(AdapterDelay, NamedOnlyAboveTheBound) {
  EXPECT_FALSE(adapterDelayed({}));
  EXPECT_FALSE(adapterDelayed({432, microseconds(3000), microseconds(90'000)}));
  EXPECT_TRUE(adapterDelayed({432, microseconds(3001), microseconds(3001)}));
  EXPECT_FALSE(adapterDelayed({8, microseconds(50'000), microseconds(50'000)}));
  EXPECT_TRUE(adapterDelayed({9, microseconds(50'000), microseconds(50'000)}));
}

TEST(AdapterDelay, SaysWhatItCostAndWhereToRemoveIt) {
  using Setting = AdapterLatency::Setting;
  struct Row {
    AnswerWaits waits;
    const char* port;
    AdapterLatency adapter;
    const char* line;
  };
  const Row rows[] = {
      {{432, microseconds(16'040), microseconds(17'000)},
       "COM3",
       {Setting::PortProperties, 16, {}},
       "Adapter portu COM3 opoznia odpowiedzi drukarki o 16 ms (latency timer 16 ms), ta "
       "aktualizacja trwala przez to o 6,9 s dluzej. Ustaw 1 ms: Menedzer urzadzen, COM3, "
       "Ustawienia portu, Zaawansowane."},
      // A driver that keeps no timer the system can read.
      {{432, microseconds(4'600), microseconds(9'000)},
       "COM12",
       {Setting::PortProperties, std::nullopt, {}},
       "Adapter portu COM12 opoznia odpowiedzi drukarki o 5 ms, ta aktualizacja trwala przez to "
       "o 2,0 s dluzej. Ustaw 1 ms: Menedzer urzadzen, COM12, Ustawienia portu, Zaawansowane."},
      {{432, microseconds(16'300), microseconds(18'000)},
       "/dev/ttyUSB0",
       {Setting::SysfsFile, 16, "/sys/class/tty/ttyUSB0/device/latency_timer"},
       "Adapter portu /dev/ttyUSB0 opoznia odpowiedzi drukarki o 16 ms (latency timer 16 ms), ta "
       "aktualizacja trwala przez to o 7,0 s dluzej. Ustaw 1 ms jako root: echo 1 > "
       "/sys/class/tty/ttyUSB0/device/latency_timer"},
      // Tenths that round up to the next second.
      {{10, microseconds(99'996), microseconds(102'000)},
       "COM1",
       {Setting::SysfsFile, std::nullopt, {}},
       "Adapter portu COM1 opoznia odpowiedzi drukarki o 100 ms, ta aktualizacja trwala przez to "
       "o 1,0 s dluzej. Ustaw latency timer adaptera na 1 ms (README: opoznienie adaptera)."},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(adapterDelayLine(row.waits, row.port, row.adapter), row.line);
  }
}

}  // namespace
}  // namespace voren
